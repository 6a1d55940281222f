// velora-cli's command line: the commands, their arguments and the options,
// parsed with CLI11; each command is bound to its handler, which the parse
// hands to run(). A usage error is reported in one style and ends with exit
// status 2.

#include <CLI/CLI.hpp>
#include <charconv>
#include <filesystem>
#include <ostream>
#include <tuple>

#include "app/cli/cli.h"
#include "app/cli/commands.h"
#include "app/cli/show_commands.h"
#include "image/controller_image.h"

namespace velora::cli {

namespace {

constexpr const char* kDescription =
    "velora-cli: scripted backups, restores, verification and firmware upgrades of the Kq318 Velora\n"
    "Tarvane over its serial line, and its data files (.K5s scenes, .K5p programme settings, .K5m MIDI\n"
    "assignments) as text.\n";

constexpr const char* kFooter =
    "REGION is scenes[=RANGE], settings, midi or all. RANGE is P/S-P/S, P/S (one scene) or P (a\n"
    "whole programme), programme/scene 1-based: scenes=2/5-2/9, scenes=2/5, scenes=2.\n"
    "BASE is the data files' path without extension (.K5s, .K5p, .K5m are added).\n"
    "Ports: the serial devices found, and every path in VELORA_PORTS (colon-separated);\n"
    "using one needs membership of its group (often dialout).\n"
    "\n"
    "Exit status: 0 success, 1 verification found differences (diff: the files differ),\n"
    "2 error, refusal or cancelled run, 130 interrupted. sync ends with 0 once the controller\n"
    "equals the show (sync --dry-run: 0 equal, 1 different). An upgrade ends with 0 once every\n"
    "record reads back as the file has it (read again on Retry included), with 1 when a\n"
    "difference was ignored; its file is checked whole before the controller is asked anything.\n"
    "On success the summary goes to the standard output and nothing to the standard error\n"
    "(--quiet: nothing at all).";

bool parseNumber(const std::string& text, std::uint32_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool parsePair(const std::string& text, std::uint32_t& programme, std::uint32_t& scene) {
    const auto slash = text.find('/');
    return slash != std::string::npos && parseNumber(text.substr(0, slash), programme) &&
           parseNumber(text.substr(slash + 1), scene);
}

bool validPair(std::uint32_t programme, std::uint32_t scene) {
    return programme >= 1 && programme <= kProgrammes && scene >= 1 &&
           scene <= static_cast<std::uint32_t>(sceneCountOf(static_cast<int>(programme - 1)));
}

// REGION into the options; an error text when it is none.
std::string takeRegion(std::string region, Options& o) {
    if (region.rfind("scenes=", 0) == 0) {
        std::string why;
        const auto range = parseSceneRange(region.substr(7), why);
        if (!range) return why;
        o.firstScene = range->first;
        o.lastScene = range->second;
        region = "scenes";
    }
    if (region != "scenes" && region != "settings" && region != "midi" && region != "all")
        return "REGION is scenes, settings, midi or all";
    o.region = region;
    return {};
}

// BASE names the data files: without a name they would be hidden files
// called ".K5s", and a folder holds no file of that name.
std::string checkBase(const std::string& base) {
    std::error_code ec;
    if (base.empty() || base.back() == '/' || std::filesystem::is_directory(base, ec))
        return "BASE names the data files without their extension, not " +
               (base.empty() ? std::string("an empty text") : "the folder " + base);
    return {};
}

// The command run when `command` is the one given: its name and its handler
// go to the options once the parse has chosen it.
CLI::App* bind(CLI::App* command, Options& o, CommandHandler handler) {
    command->callback([command, &o, handler] {
        o.command = command->get_name();
        o.handler = handler;
    });
    return command;
}

}  // namespace

std::optional<std::pair<std::uint32_t, std::uint32_t>> parseSceneRange(const std::string& text,
                                                                       std::string& why) {
    std::uint32_t p1 = 0, s1 = 0, p2 = 0, s2 = 0;
    bool read = false;
    if (const auto dash = text.find('-'); dash != std::string::npos) {
        read = parsePair(text.substr(0, dash), p1, s1) && parsePair(text.substr(dash + 1), p2, s2);
    } else if (text.find('/') != std::string::npos) {  // one scene
        read = parsePair(text, p1, s1);
        p2 = p1;
        s2 = s1;
    } else if (parseNumber(text, p1)) {  // a whole programme: its first scene to its last
        read = true;
        s1 = 1;
        p2 = p1;
        s2 = p1 >= 1 && p1 <= kProgrammes ? static_cast<std::uint32_t>(sceneCountOf(static_cast<int>(p1 - 1)))
                                          : 1;
    }
    if (!read) {
        why = "a scene range reads P/S-P/S, P/S (one scene) or P (a whole programme), for example 2/5-2/9";
        return std::nullopt;
    }
    if (!validPair(p1, s1) || !validPair(p2, s2)) {
        why = "programmes are 1..48; programmes 1-16 have 32 scenes, 17-47 have 16, 48 has 14";
        return std::nullopt;
    }
    const auto first = static_cast<std::uint32_t>(sceneIndexOf(p1 - 1, s1 - 1));
    const auto last = static_cast<std::uint32_t>(sceneIndexOf(p2 - 1, s2 - 1));
    if (last < first) {
        why = "the range ends before it begins";
        return std::nullopt;
    }
    return std::make_pair(first, last);
}

std::optional<Options> parseArguments(const std::vector<std::string>& args, std::ostream& err) {
    Options o;
    std::string port, region, base, second;

    CLI::App app{kDescription, "velora-cli"};
    // Options begin with a dash everywhere: on Windows too, a path such as
    // /shows/tonight is a path, not an option.
    app.allow_windows_style_options(false);
    app.footer(kFooter);
    app.set_help_flag("-h,--help", "show this text (after a command: that command's)");
    app.require_subcommand(1);
    app.fallthrough();  // the options may also follow the command
    app.add_option("--port", port, "use this port (default: search the ports for the controller)");
    app.add_flag("--yes", o.yes,
                 "answer Yes to questions (verification goes on past differences; upgrade: the version "
                 "questions)");
    app.add_option("--retries", o.retries,
                   "answer Retry at most N times in a row to line errors (upgrade: also to a record that "
                   "reads back different), then Cancel or Abort")
        ->check(CLI::Range(0, 1000000));
    app.add_flag("-q,--quiet", o.quiet, "write nothing on success");
    app.add_flag("--ignore-differences", o.ignoreDifferences,
                 "upgrade: answer Ignore, not Abort, to a record that reads back different once the retries "
                 "are used up; the run then ends with 1");

    bind(app.add_subcommand("ports", "list the serial ports offered"), o, commands::ports);
    bind(app.add_subcommand("search", "find the controller on the ports and name its port"), o,
         commands::search);
    bind(app.add_subcommand("version", "show the controller's firmware version"), o, commands::version);
    bind(app.add_subcommand("restart", "restart the controller"), o, commands::restart);
    for (const auto& [name, what, handler] :
         std::vector<std::tuple<const char*, const char*, CommandHandler>>{
             {"read", "read REGION from the controller and save its data files (all three: as one set)",
              commands::read},
             {"write", "load REGION's data files and write them to the controller", commands::write},
             {"verify", "load REGION's data files and verify the controller against them",
              commands::verify}}) {
        CLI::App* command = bind(app.add_subcommand(name, what), o, handler);
        command->add_option("REGION", region, "scenes[=P/S-P/S | P/S | P], settings, midi or all")
            ->required();
        command->add_option("BASE", base, "the data files' path without extension")->required();
    }
    CLI::App* sync =
        bind(app.add_subcommand(
                 "sync",
                 "read REGION from the controller, back it up, and write only the blocks that differ "
                 "from BASE's data files; then read them back"),
             o, commands::sync);
    sync->add_option("REGION", region, "scenes[=P/S-P/S | P/S | P], settings, midi or all")->required();
    sync->add_option("BASE", base, "the data files' path without extension")->required();
    sync->add_flag("--dry-run", o.dryRun, "list the differences only: no backup, nothing written");
    sync->add_option("--backup-dir", o.backupDir,
                     "the folder of the backups (default: $XDG_DATA_HOME/velora/backups, that is "
                     "~/.local/share/velora/backups)");
    CLI::App* upgrade = bind(
        app.add_subcommand(
            "upgrade", "install the firmware of an upgrade file, then read every record back and compare it"),
        o, commands::upgrade);
    upgrade->add_option("FILE", o.upgradeFile, "the upgrade file (kq318*.upg)")->required();
    upgrade->add_flag("--verify-only", o.verifyOnly, "only the verification pass");

    // The commands on data files alone touch no line.
    CLI::App* exportCommand = bind(
        app.add_subcommand("export", "write BASE's three data files as one JSON document"), o,
        [](const Options& options, const CommandContext& c) { return runExport(options, c.out, c.err); });
    exportCommand->add_option("BASE", base, "the data files' path without extension")->required();
    exportCommand->add_option("-o,--output", o.output, "the file to write (default: the standard output)");
    CLI::App* importCommand = bind(
        app.add_subcommand(
            "import",
            "check a JSON document and save it as BASE's three data files (as one set; existing "
            "ones only with --force)"),
        o, [](const Options& options, const CommandContext& c) { return runImport(options, c.out, c.err); });
    importCommand->add_option("FILE", o.input, "the JSON document (- for the standard input)")->required();
    importCommand->add_option("BASE", base, "the data files' path without extension")->required();
    importCommand->add_flag("--force", o.force, "replace BASE's data files if they exist");
    CLI::App* diff =
        bind(app.add_subcommand("diff", "list every difference between two sets of data files"), o,
             [](const Options& options, const CommandContext& c) { return runDiff(options, c.out, c.err); });
    diff->add_option("BASE1", base, "the first set's path without extension")->required();
    diff->add_option("BASE2", second, "the second set's path without extension")->required();
    diff->add_option("--limit", o.limit, "list at most N differences (the count is always given)")
        ->check(CLI::NonNegativeNumber);

    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        o.command = "help";
        o.handler = commands::help;
        o.helpText = app.help();
        return o;
    } catch (const CLI::CallForAllHelp&) {
        o.command = "help";
        o.handler = commands::help;
        o.helpText = app.help("", CLI::AppFormatMode::All);
        return o;
    } catch (const CLI::ParseError& e) {
        err << "velora-cli: " << e.what() << " (try --help)\n";
        return std::nullopt;
    }

    if (!port.empty()) o.port = port;
    std::string why;
    if (o.ignoreDifferences && o.command != "upgrade") why = "--ignore-differences goes with upgrade";
    if (why.empty() && !region.empty()) why = takeRegion(region, o);
    const bool namesBase = o.command == "read" || o.command == "write" || o.command == "verify" ||
                           o.command == "sync" || o.command == "export" || o.command == "import";
    if (why.empty() && namesBase) why = checkBase(base);
    if (!why.empty()) {
        err << "velora-cli: " << why << " (try --help)\n";
        return std::nullopt;
    }
    o.base = base;
    o.base2 = second;
    return o;
}

}  // namespace velora::cli
