#pragma once
// velora-soak's velora-cli runs, with a time limit and, if asked, a SIGINT
// at a set moment. (velora-emu runs as testing::EmulatorProcess.)

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velora::soak {

// When a velora-cli run gets SIGINT, if at all.
struct Interrupt {
    std::optional<double> after;         // this many seconds after the start
    std::filesystem::path whenReplaced;  // or as soon as this file is renamed into place
    std::function<bool()> when;          // or as soon as this answers true (asked every millisecond)
};

struct CliResult {
    int status = -1;           // as a shell shows it; -1 when killed for hanging
    bool hung = false;         // still running after the time limit
    bool interrupted = false;  // SIGINT was sent while it still ran
    double interruptedAt = 0;  // seconds after the start
    double seconds = 0;
};

// Runs `bin`/velora-cli with `args`, standard error to `log`; SIGINT as
// `interrupt` says, SIGKILL after `limit` seconds.
CliResult runCli(const std::string& bin, const std::vector<std::string>& args,
                 const std::filesystem::path& log, double limit, const Interrupt& interrupt);

// The last thing a program said on its standard error, for the report.
std::string lastWords(const std::filesystem::path& log);
// How many faults velora-emu's log says it injected.
int countInjected(const std::filesystem::path& log);

// Shell-quoted words joined by spaces, for lines a user can paste.
std::string commandLine(const std::vector<std::string>& words);

}  // namespace velora::soak
