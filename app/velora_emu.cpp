// velora-emu: the controller emulator on a pseudo-terminal.

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/controller_model.h"
#include "emulator/demo_show.h"
#include "emulator/demo_upgrade.h"
#include "emulator/emu_options.h"
#include "emulator/memory_file.h"
#include "emulator/pty_server.h"

int main(int argc, char** argv) {
    using namespace velora;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const auto options = parseEmuOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "velora-emu: %s\n(see velora-emu --help)\n", error.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(emuUsage().c_str(), stdout);
        return 0;
    }

    // A demonstration upgrade is a file to make, not a controller to serve.
    if (!options->demoUpgrade.empty()) {
        const auto version = writeDemoUpgradeFile(options->demoUpgrade, options->version, error);
        if (!version) {
            std::fprintf(stderr, "velora-emu: %s\n", error.c_str());
            return 2;
        }
        std::printf("velora-emu: demonstration upgrade %s written to %s\n", version->c_str(),
                    options->demoUpgrade.c_str());
        return 0;
    }

    // The stop signals are taken through the server's signalfd; block them
    // before anything else can be interrupted by them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    auto model = std::make_unique<ControllerModel>();
    model->setVersion(options->version);
    for (const FaultRule& rule : options->faults) model->faults().add(rule);

    MemoryLoad loaded = MemoryLoad::Missing;
    if (!options->memoryFile.empty()) {
        loaded = loadMemoryFile(*model, options->memoryFile, error);
        if (loaded == MemoryLoad::Failed) {
            // Never overwrite a file we could not read.
            std::fprintf(stderr, "velora-emu: %s\n", error.c_str());
            return 2;
        }
    }
    if (options->demo && loaded != MemoryLoad::Loaded) loadDemoShow(*model);

    PtySettings settings;
    settings.paced = options->paced;
    settings.turnaround = options->turnaround;
    settings.linkPath = options->link;
    settings.memoryFile = options->memoryFile;
    settings.log = options->log;
    PtyServer server(*model, settings);
    if (!server.open(error)) {
        std::fprintf(stderr, "velora-emu: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.devicePath().c_str());
    std::fflush(stdout);
    if (options->log)
        std::fprintf(stderr, "velora-emu: controller %s on %s%s\n", model->version().text().c_str(),
                     server.devicePath().c_str(), options->paced ? " (paced, 38400 baud 8N2)" : "");
    return server.run(stop);
}
