#include "emulator/emu_options.h"

#include <CLI/CLI.hpp>

namespace velora {

namespace {

// The program's options, bound to `o`; the values that need checking first
// go to the strings given.
void describe(CLI::App& app, EmuOptions& o, std::string& version, std::vector<std::string>& faults,
              unsigned& turnaround) {
    app.description(
        "velora-emu: emulates the controller on a pseudo-terminal. Prints the device path on the first\n"
        "line of standard output, then serves frames until SIGINT or SIGTERM.\n");
    app.footer(std::string("A 'drop' fault closes the pseudo-terminal (the client sees a hang-up) and the\n"
                           "emulator then exits with status 0, after saving its memory.\n\n") +
               kFaultSyntaxHelp);
    app.set_help_flag("-h,--help", "show this text");
    app.add_option("--link", o.link, "also make PATH a symbolic link to the device (removed at exit)")
        ->type_name("PATH");
    app.add_flag("--paced", o.paced, "run at the line speed, 38400 baud 8N2 (11 bits a byte), both ways");
    app.add_option("--turnaround", turnaround, "wait MS milliseconds before each reply")
        ->type_name("MS")
        ->check(CLI::Range(0u, 10000u));
    app.add_option("--memory", o.memoryFile,
                   "keep the controller memory in FILE: loaded at start if present, saved (atomically) "
                   "shortly after writes and at exit")
        ->type_name("FILE");
    app.add_flag("--demo", o.demo, "start with the demonstration show (unless --memory loads a file)");
    app.add_option("--demo-upgrade", o.demoUpgrade,
                   "write a demonstration upgrade file (a 4 KiB firmware across address 0xFFFF, one version "
                   "above --version) to install or verify, and exit")
        ->type_name("FILE");
    app.add_option("--version", version, "firmware version to report, e.g. 1.05b (the default)")
        ->type_name("V");
    app.add_option("--fault", faults, "inject a fault; repeatable (see below)")->type_name("RULE");
    app.add_flag("--log", o.log, "every frame both ways in hex on standard error");
}

// The parser with the options bound: to the result, or to the values that
// are checked after parsing.
struct EmuCommandLine {
    CLI::App app{"", "velora-emu"};
    EmuOptions options;
    std::string version;
    std::vector<std::string> faults;
    unsigned turnaround = 0;
    EmuCommandLine() { describe(app, options, version, faults, turnaround); }
};

}  // namespace

std::string emuUsage() {
    return EmuCommandLine().app.help();
}

std::optional<EmuOptions> parseEmuOptions(std::span<const std::string_view> args, std::string& error) {
    EmuCommandLine line;
    auto& [app, options, version, faults, turnaround] = line;
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return options;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return std::nullopt;
    }
    options.turnaround = std::chrono::milliseconds(turnaround);
    if (!version.empty()) {
        const auto parsed = FirmwareVersion::parse(version);
        if (!parsed) {
            error = "--version needs a version like 1.05b (digit, point, two digits, optional letter)";
            return std::nullopt;
        }
        options.version = *parsed;
    }
    for (const std::string& text : faults) {
        std::string why;
        const auto rule = parseFaultRule(text, &why);
        if (!rule) {
            error = "--fault: " + why;
            return std::nullopt;
        }
        options.faults.push_back(*rule);
    }
    return options;
}

}  // namespace velora
