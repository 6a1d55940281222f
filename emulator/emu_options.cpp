#include "emulator/emu_options.h"

#include <charconv>

namespace velora {

std::string emuUsage() {
    return std::string(
               "usage: velora-emu [options]\n"
               "Emulates the controller on a pseudo-terminal. Prints the device path on the first\n"
               "line of standard output, then serves frames until SIGINT or SIGTERM.\n"
               "\n"
               "  --link PATH       also make PATH a symbolic link to the device (removed at exit)\n"
               "  --paced           run at the line speed, 38400 baud 8N2 (11 bits a byte), both ways\n"
               "  --turnaround MS   wait MS milliseconds before each reply\n"
               "  --memory FILE     keep the controller memory in FILE: loaded at start if present,\n"
               "                    saved (atomically) shortly after writes and at exit\n"
               "  --demo            start with the demonstration show (unless --memory loads a file)\n"
               "  --demo-upgrade FILE  write a demonstration upgrade file (a 4 KiB firmware across\n"
               "                    address 0xFFFF, one version above --version) to install or verify\n"
               "  --version V       firmware version to report, e.g. 1.05b (the default)\n"
               "  --fault RULE      inject a fault; repeatable (see below)\n"
               "  --log             every frame both ways in hex on standard error\n"
               "  --help            this text\n"
               "\n"
               "A 'drop' fault closes the pseudo-terminal (the client sees a hang-up) and the\n"
               "emulator then exits with status 0, after saving its memory.\n"
               "\n") +
           kFaultSyntaxHelp;
}

std::optional<EmuOptions> parseEmuOptions(std::span<const std::string_view> args, std::string& error) {
    EmuOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::string_view value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        const bool takesValue = arg == "--link" || arg == "--turnaround" || arg == "--memory" ||
                                arg == "--version" || arg == "--fault" || arg == "--demo-upgrade";
        if (takesValue && !hasValue) {
            if (i + 1 >= args.size()) {
                error = std::string(arg) + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        } else if (!takesValue && hasValue) {
            error = std::string(arg) + " takes no value";
            return std::nullopt;
        }

        if (arg == "--link") {
            options.link = value;
        } else if (arg == "--paced") {
            options.paced = true;
        } else if (arg == "--turnaround") {
            unsigned ms = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
            if (ec != std::errc{} || end != value.data() + value.size() || ms > 10000) {
                error = "--turnaround needs milliseconds from 0 to 10000";
                return std::nullopt;
            }
            options.turnaround = std::chrono::milliseconds(ms);
        } else if (arg == "--memory") {
            options.memoryFile = value;
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--demo-upgrade") {
            options.demoUpgrade = value;
        } else if (arg == "--version") {
            const auto version = FirmwareVersion::parse(value);
            if (!version) {
                error = "--version needs a version like 1.05b (digit, point, two digits, optional letter)";
                return std::nullopt;
            }
            options.version = *version;
        } else if (arg == "--fault") {
            std::string why;
            const auto rule = parseFaultRule(value, &why);
            if (!rule) {
                error = "--fault: " + why;
                return std::nullopt;
            }
            options.faults.push_back(*rule);
        } else if (arg == "--log") {
            options.log = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            error = "unknown option " + std::string(arg);
            return std::nullopt;
        }
        if (takesValue && value.empty()) {
            error = std::string(arg) + " needs a value";
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace velora
