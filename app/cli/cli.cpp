#include "app/cli/cli.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>

#include "app/cli/show_files.h"
#include "app/cli/terminal_ui.h"
#include "engine/engine.h"
#include "engine/run_loop.h"
#include "image/controller_image.h"
#include "link/serial_link.h"
#include "shell/application.h"
#include "upgrade/version_questions.h"

namespace velora::cli {

void printUsage(std::ostream& out) {
    out << "Usage: velora-cli [options] COMMAND [REGION BASE]\n"
           "\n"
           "Commands:\n"
           "  ports                  list the serial ports offered\n"
           "  search                 find the controller on the ports\n"
           "  version                show the controller's firmware version\n"
           "  restart                restart the controller\n"
           "  read REGION BASE       read the controller and save the region's data files\n"
           "  write REGION BASE      load the region's data files and write the controller\n"
           "  verify REGION BASE     load the data files and verify the controller against them\n"
           "  upgrade FILE           install the firmware of an upgrade file, then read every\n"
           "                         record back and compare it (the verification pass)\n"
           "  upgrade --verify-only FILE\n"
           "                         only the verification pass\n"
           "\n"
           "REGION is scenes[=P/S-P/S] (programme/scene, 1-based), settings, midi or all.\n"
           "BASE is the data files' path without extension (.K5s, .K5p, .K5m are added).\n"
           "\n"
           "Options:\n"
           "  --port NAME     use this port (default: search for the controller)\n"
           "  --yes           answer Yes to questions (verification goes on past differences;\n"
           "                  upgrade: the version questions before anything is sent)\n"
           "  --retries N     answer Retry at most N times in a row to line errors, then Cancel\n"
           "                  (upgrade: also to a record that reads back different, then Abort)\n"
           "  --ignore-differences\n"
           "                  upgrade: answer Ignore, not Abort, to a record that reads back\n"
           "                  different (once the retries are used up); the run then ends with 1\n"
           "  --help          show this text\n"
           "\n"
           "Exit status: 0 success, 1 verification found differences, 2 error or cancelled,\n"
           "130 interrupted. An upgrade ends with 0 only after a clean verification pass, with 1\n"
           "when differences were ignored, and with 2 when the file or a version question\n"
           "stopped it (nothing is sent then), on a line error and on Abort.\n";
}

namespace {

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

}  // namespace

std::optional<std::pair<std::uint32_t, std::uint32_t>> parseSceneRange(const std::string& text,
                                                                       std::string& why) {
    const auto dash = text.find('-');
    std::uint32_t p1, s1, p2, s2;
    if (dash == std::string::npos || !parsePair(text.substr(0, dash), p1, s1) ||
        !parsePair(text.substr(dash + 1), p2, s2)) {
        why = "a scene range reads P/S-P/S, for example 1/1-2/32";
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
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.command = "help";
            return o;
        } else if (a == "--yes") {
            o.yes = true;
        } else if (a == "--verify-only") {
            o.verifyOnly = true;
        } else if (a == "--ignore-differences") {
            o.ignoreDifferences = true;
        } else if (a == "--port" || a == "--retries") {
            if (i + 1 >= args.size()) {
                err << "velora-cli: " << a << " needs a value\n";
                return std::nullopt;
            }
            const std::string& value = args[++i];
            if (a == "--port") {
                o.port = value;
            } else {
                std::uint32_t n = 0;
                if (!parseNumber(value, n) || n > 1000000) {
                    err << "velora-cli: --retries takes a whole number\n";
                    return std::nullopt;
                }
                o.retries = static_cast<int>(n);
            }
        } else if (a.size() > 1 && a[0] == '-') {
            err << "velora-cli: unknown option " << a << "\n";
            return std::nullopt;
        } else {
            words.push_back(a);
        }
    }
    if (words.empty()) {
        err << "velora-cli: no command given (try --help)\n";
        return std::nullopt;
    }
    o.command = words[0];
    if ((o.verifyOnly || o.ignoreDifferences) && o.command != "upgrade") {
        err << "velora-cli: " << (o.verifyOnly ? "--verify-only" : "--ignore-differences")
            << " goes with upgrade\n";
        return std::nullopt;
    }
    if (o.command == "upgrade") {
        if (words.size() != 2 || words[1].empty()) {
            err << "velora-cli: upgrade needs FILE, the upgrade file\n";
            return std::nullopt;
        }
        o.upgradeFile = words[1];
        return o;
    }
    static const std::vector<std::string> plain{"ports", "search", "version", "restart"};
    static const std::vector<std::string> transfers{"read", "write", "verify"};
    if (std::find(plain.begin(), plain.end(), o.command) != plain.end()) {
        if (words.size() != 1) {
            err << "velora-cli: " << o.command << " takes no arguments\n";
            return std::nullopt;
        }
        return o;
    }
    if (std::find(transfers.begin(), transfers.end(), o.command) == transfers.end()) {
        err << "velora-cli: unknown command " << o.command << " (try --help)\n";
        return std::nullopt;
    }
    if (words.size() != 3) {
        err << "velora-cli: " << o.command << " needs REGION and BASE\n";
        return std::nullopt;
    }
    std::string region = words[1];
    if (region.rfind("scenes=", 0) == 0) {
        std::string why;
        auto range = parseSceneRange(region.substr(7), why);
        if (!range) {
            err << "velora-cli: " << why << "\n";
            return std::nullopt;
        }
        o.firstScene = range->first;
        o.lastScene = range->second;
        region = "scenes";
    }
    if (region != "scenes" && region != "settings" && region != "midi" && region != "all") {
        err << "velora-cli: REGION is scenes, settings, midi or all\n";
        return std::nullopt;
    }
    o.region = region;
    o.base = words[2];
    // BASE names the data files: without a name the files would be hidden
    // ones called ".K5s", and a folder holds no file of that name.
    std::error_code ec;
    if (o.base.empty() || o.base.back() == '/' || std::filesystem::is_directory(o.base, ec)) {
        err << "velora-cli: BASE names the data files without their extension, not "
            << (o.base.empty() ? std::string("an empty text") : "the folder " + o.base) << "\n";
        return std::nullopt;
    }
    return o;
}

namespace {

std::vector<Region> regionsOf(const Options& o) {
    if (o.region == "all") return {Region::Scenes, Region::Settings, Region::Midi};
    if (o.region == "settings") return {Region::Settings};
    if (o.region == "midi") return {Region::Midi};
    return {Region::Scenes};
}

// One command's objects: the program's wiring with a terminal for a face.
class Session {
  public:
    Session(const Options& o, SerialPortFactory& factory, const Clock& clock, std::ostream& err,
            bool progressBar, const std::atomic<bool>& interrupted)
        : options_(o),
          factory_(factory),
          clock_(clock),
          ui_(err, Answers{o.yes, o.retries, o.ignoreDifferences}, progressBar),
          app_(factory, ui_, clock, &ui_),
          interrupted_(interrupted) {}

    Application& app() { return app_; }
    TerminalUi& ui() { return ui_; }
    TransferEngine& engine() { return app_.engine(); }
    SerialLink& link() { return app_.link(); }
    bool interrupted() const { return interrupted_.load(); }

    // Runs the engine to Idle, calling `onStep` (if any) before every step;
    // true when the run completed.
    bool pump(const std::function<void()>& onStep = {}) {
        const RunOutcome outcome = runUntilIdle(engine(), link(), clock_, [this, &onStep] {
            if (onStep) onStep();
            return interrupted();
        });
        ui_.finishProgress();
        return outcome == RunOutcome::Completed;
    }

    // Opens the port named by --port, or searches for the controller; then
    // the version query.
    bool connect(std::ostream& err) {
        std::vector<std::string> table = buildPortTable(factory_.enumerate());
        if (options_.port) {
            auto it = std::find(table.begin(), table.end(), *options_.port);
            if (it == table.end()) it = table.insert(table.end(), *options_.port);
            link().setPortTable(table);
            link().choosePort(static_cast<int>(it - table.begin()));
            if (!link().isOpen()) return false;
            return pump();  // the version query that follows a chosen port
        }
        if (table.empty()) {
            err << "velora-cli: no serial ports (name one with --port)\n";
            return false;
        }
        link().setPortTable(table);
        if (!link().searchController()) {
            ui_.messageBox(kNotFoundAutoText, kNotFoundCaption, Icon::Warning, Buttons::Ok);
            return false;
        }
        engine().startVersionQuery();
        return pump();
    }

    // A run of `action` over the options' region; true when it completed.
    bool runRegion(Action action) {
        engine().setSceneRange(options_.firstScene, options_.lastScene);
        if (options_.region == "all")
            engine().startAll(action);
        else
            engine().startRun(regionsOf(options_).front(), action);
        if (engine().idle()) return false;  // refused
        return pump();
    }

  private:
    const Options& options_;
    SerialPortFactory& factory_;
    const Clock& clock_;
    TerminalUi ui_;
    Application app_;
    const std::atomic<bool>& interrupted_;
};

int statusAfterFailure(const Session& s) {
    return s.interrupted() ? kInterrupted : kError;
}

// The upgrade file must be there to read before anything goes to the line;
// the reason is the system's.
bool upgradeFileReadable(const std::string& name, std::ostream& err) {
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec)) {
        err << "velora-cli: " << name << ": it is a folder, not an upgrade file\n";
        return false;
    }
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        err << "velora-cli: " << name << ": " << std::strerror(errno) << "\n";
        return false;
    }
    std::fclose(file);
    return true;
}

std::string records(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

// "upgrade FILE" and "upgrade --verify-only FILE", once connected (the
// version questions need the controller's version). The engine reads and
// checks the file, asks the version questions, installs and verifies.
int runUpgrade(Session& s, const Options& o, std::ostream& err) {
    TransferEngine& engine = s.engine();
    const bool install = !o.verifyOnly;
    s.ui().presetOpenFile(o.upgradeFile);
    engine.startUpgrade(install);
    if (engine.idle()) {
        if (s.interrupted()) return kInterrupted;
        err << "velora-cli: " << o.upgradeFile << ": no upgrade, nothing was sent to the controller ("
            << (engine.outcome() == RunOutcome::Stopped
                    ? "a version question was answered No; --yes answers Yes"
                    : "the file was refused")
            << ")\n";
        return kError;
    }
    const std::size_t count = engine.upgradeRecordCount();
    err << "velora-cli: " << (install ? "installing " : "verifying ") << records(count) << " from "
        << o.upgradeFile << std::endl;
    s.ui().setProgressLabel(install ? "velora-cli: installing" : "velora-cli: verifying");
    Action pass = engine.action();
    const bool finished = s.pump([&] {
        // The install pass turns into the verification pass by itself.
        if (engine.region() != Region::Firmware || engine.action() == pass) return;
        pass = engine.action();
        s.ui().finishProgress();
        s.ui().setProgressLabel("velora-cli: verifying");
        err << "velora-cli: " << records(count) << " installed; verifying them" << std::endl;
    });
    s.ui().setProgressLabel({});
    if (s.interrupted()) return kInterrupted;

    const std::string version(controllerVersionOf(engine.firmwareText()));
    switch (engine.lastUpgradeVerification()) {
        case UpgradeVerification::NotFinished:
            err << "velora-cli: the upgrade did not finish"
                << (install ? "; the controller's firmware may be incomplete: run the upgrade again" : "")
                << "\n";
            return kError;
        case UpgradeVerification::Clean:
            if (!finished) {
                err << "velora-cli: every record verified, but the version query afterwards failed\n";
                return kError;
            }
            err << "velora-cli: every record verified; the controller reports version " << version << "\n";
            return kSuccess;
        case UpgradeVerification::WithDifferences:
            err << "velora-cli: records read back different (ignored)"
                << (install ? "; run the upgrade again" : "") << "\n";
            return finished ? kDifferences : kError;
    }
    return kError;
}

}  // namespace

int run(const Options& o, SerialPortFactory& factory, const Clock& clock, std::ostream& out,
        std::ostream& err, bool progressBar, const std::atomic<bool>& interrupted) {
    if (o.command == "help") {
        printUsage(out);
        return kSuccess;
    }
    Session s(o, factory, clock, err, progressBar, interrupted);
    const std::vector<Region> regions = regionsOf(o);
    ControllerImage& image = s.app().image();

    if (o.command == "ports") {
        for (const std::string& name : buildPortTable(factory.enumerate())) out << name << "\n";
        return kSuccess;
    }
    if (o.command == "search") {
        s.link().setPortTable(buildPortTable(factory.enumerate()));
        const bool found = s.link().searchController();
        if (s.interrupted()) return kInterrupted;
        if (!found) {
            err << "velora-cli: no controller answered on any port\n";
            return kError;
        }
        out << s.link().portTable()[static_cast<std::size_t>(s.link().currentPort())] << "\n";
        return kSuccess;
    }

    // The files come first: nothing touches the line when they cannot be
    // read, or when what is read could not be saved.
    if (o.command == "write" || o.command == "verify") {
        if (!loadDataFiles(o.base, regions, image, err)) return kError;
    }
    if (o.command == "read") {
        if (!checkSaveTargets(o.base, regions, err)) return kError;
        // A scene range updates the scene file rather than replacing the
        // scenes outside the range with empty ones.
        const bool range = o.region == "scenes" && !(o.firstScene == 0 && o.lastScene == kScenes - 1);
        if (range && std::filesystem::exists(dataFilePath(o.base, Region::Scenes)) &&
            !loadDataFiles(o.base, regions, image, err))
            return kError;
    }
    if (o.command == "upgrade" && !upgradeFileReadable(o.upgradeFile, err)) return kError;
    if (!s.connect(err)) return statusAfterFailure(s);
    if (o.command == "upgrade") return runUpgrade(s, o, err);

    if (o.command == "version") {
        const std::string& text = s.engine().firmwareText();
        out << text.substr(text.find(": ") + 2) << "\n";
        return kSuccess;
    }
    if (o.command == "restart") {
        s.engine().restart();
        return s.pump() ? kSuccess : statusAfterFailure(s);
    }
    if (o.command == "read") {
        // A read that did not finish saves no file.
        if (!s.runRegion(Action::ReadController)) return statusAfterFailure(s);
        return saveDataFiles(o.base, regions, image, err) ? kSuccess : kError;
    }
    if (o.command == "write") return s.runRegion(Action::WriteController) ? kSuccess : statusAfterFailure(s);
    // verify: differences count only for a run that was not cut short by
    // an error or a signal.
    const bool finished = s.runRegion(Action::Verify);
    if (s.interrupted()) return kInterrupted;
    const bool differences = !s.engine().lastVerificationClean();
    if (finished) return differences ? kDifferences : kSuccess;
    return differences && s.engine().outcome() == RunOutcome::Stopped ? kDifferences : kError;
}

}  // namespace velora::cli
