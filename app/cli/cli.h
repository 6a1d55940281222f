#pragma once
// velora-cli: scripted backups and end-to-end runs over the same engine and
// serial device as the desktop program.

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial.h"

namespace velora::cli {

enum ExitStatus { kSuccess = 0, kDifferences = 1, kError = 2, kInterrupted = 130 };

// What a command runs with: the ports, the clock, the terminal's two streams,
// whether the standard error shows a progress bar, and the flag a signal
// raises.
struct CommandContext {
    SerialPortFactory& factory;
    const Clock& clock;
    std::ostream& out;
    std::ostream& err;
    bool progressBar;
    const std::atomic<bool>& interrupted;
};

struct Options;
// A command: its exit status.
using CommandHandler = int (*)(const Options&, const CommandContext&);

struct Options {
    // ports, search, version, restart, read, write, verify, sync, upgrade,
    // export, import, diff; or help
    std::string command;
    CommandHandler handler = nullptr;  // the command's, bound by parseArguments
    std::string helpText;              // help: the usage asked for
    std::string region;                // scenes, settings, midi, all
    std::uint32_t firstScene = 0;
    std::uint32_t lastScene = 1021;
    std::string base;   // data files without extension
    std::string base2;  // diff: the second set
    std::optional<std::string> port;
    bool yes = false;
    int retries = 0;
    bool quiet = false;  // nothing written on success
    std::string output;  // export: the file to write; empty: out
    std::string input;   // import: the document; "-": the standard input
    bool force = false;  // import: replace data files that exist already
    std::size_t limit = std::numeric_limits<std::size_t>::max();  // diff: lines listed at most
    std::string upgradeFile;                                      // upgrade: the upgrade file
    bool verifyOnly = false;                                      // upgrade: the verification pass alone
    bool ignoreDifferences = false;  // upgrade: Ignore at a record that reads back different
    bool dryRun = false;             // sync: list the differences only
    std::string backupDir;           // sync: where the backup goes; empty: the default folder
};

// Parses the arguments (CLI11); on a usage error returns nullopt and says
// why on `err`.
std::optional<Options> parseArguments(const std::vector<std::string>& args, std::ostream& err);

// Parses a scene range into absolute scene numbers: "P/S-P/S", "P/S" (one
// scene) or "P" (every scene of the programme); programmes and scenes 1-based.
std::optional<std::pair<std::uint32_t, std::uint32_t>> parseSceneRange(const std::string& text,
                                                                       std::string& why);

// Runs the command parsed. `interrupted` is raised by a signal handler; the run
// then stops within one wait of the line and the status says so.
int run(const Options& options, SerialPortFactory& factory, const Clock& clock, std::ostream& out,
        std::ostream& err, bool progressBar, const std::atomic<bool>& interrupted);

}  // namespace velora::cli
