// velora-cli: the command-line program over the transfer engine.

#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <iostream>

#include "app/cli/cli.h"
#include "platform/prompt_wake_ups.h"
#include "serial_qt/serial_ports.h"

namespace {
std::atomic<bool> interrupted{false};
extern "C" void onSignal(int) {
    interrupted.store(true);
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    auto options = velora::cli::parseArguments(args, std::cerr);
    if (!options) return velora::cli::kError;

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    // Each exchange waits for a reply or a silence on the line; a wake-up
    // that comes late adds its delay to every exchange of a transfer.
    velora::askForPromptWakeUps();

    QCoreApplication app(argc, argv);
    velora::SteadyClock clock;
    velora::QtSerialPortFactory factory(clock);
    return velora::cli::run(*options, factory, clock, std::cout, std::cerr, isatty(STDERR_FILENO) != 0,
                            interrupted);
}
