#include "app/cli/cli.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>

#include "app/cli/show_commands.h"
#include "app/cli/show_files.h"
#include "app/cli/terminal_ui.h"
#include "engine/engine.h"
#include "engine/run_loop.h"
#include "image/controller_image.h"
#include "link/serial_link.h"
#include "shell/application.h"
#include "upgrade/version_questions.h"

namespace velora::cli {

namespace {

std::vector<Region> regionsOf(const Options& o) {
    if (o.region == "all") return {kMemoryRegions.begin(), kMemoryRegions.end()};
    if (o.region == "settings") return {Region::Settings};
    if (o.region == "midi") return {Region::Midi};
    return {Region::Scenes};
}

// One command's objects: the program's wiring with a terminal for a face.
class Session {
  public:
    Session(const Options& o, SerialPortFactory& factory, const Clock& clock, std::ostream& out,
            std::ostream& err, bool progressBar, const std::atomic<bool>& interrupted)
        : options_(o),
          factory_(factory),
          clock_(clock),
          ui_(out, err, Answers{o.yes, o.retries, o.ignoreDifferences}, progressBar, o.quiet),
          app_(factory, ui_, clock, &ui_),
          interrupted_(interrupted),
          started_(clock.now()) {
        ui_.setContext([this] { return where(); });
        ui_.followProgress(app_.progress());
    }

    // The port in use, and the block or firmware record of a run on it.
    std::string where() {
        const std::string port = app_.connection().port();
        if (port.empty() || engine().idle()) return port;
        switch (engine().region()) {
            case Region::Scenes:
            case Region::Settings:
            case Region::Midi:
                return port + ", block " + std::to_string(engine().currentBlock());
            case Region::Firmware: {
                char address[16];
                std::snprintf(address, sizeof address, "0x%05X", engine().currentBlock());
                return port + ", record at " + address;
            }
            default:
                return port;
        }
    }
    // Seconds since the command started, as "82.7 s".
    std::string elapsed() const {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s",
                      std::chrono::duration<double>(clock_.now() - started_).count());
        return text;
    }
    // Blocks done by the last run, as "2048 blocks".
    std::string blocks() const {
        const std::size_t n = app_.progress().done();
        return std::to_string(n) + (n == 1 ? " block" : " blocks");
    }

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
    TimePoint started_;
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

// Where what --quiet silences goes.
std::ostream& nullStream() {
    static std::ostream none(nullptr);
    return none;
}

std::string records(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

// "upgrade FILE" and "upgrade --verify-only FILE", once connected (the
// version questions need the controller's version). The engine reads and
// checks the file, asks the version questions, installs and verifies.
int runUpgrade(Session& s, const Options& o, std::ostream& out, std::ostream& err) {
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
    std::ostream& info = o.quiet ? nullStream() : out;
    info << "velora-cli: " << (install ? "installing " : "verifying ") << records(count) << " from "
         << o.upgradeFile << std::endl;
    s.ui().setProgressLabel(install ? "velora-cli: installing" : "velora-cli: verifying");
    Action pass = engine.action();
    const bool finished = s.pump([&] {
        // The install pass turns into the verification pass by itself.
        if (engine.region() != Region::Firmware || engine.action() == pass) return;
        pass = engine.action();
        s.ui().finishProgress();
        s.ui().setProgressLabel("velora-cli: verifying");
        info << "velora-cli: " << records(count) << " installed; verifying them" << std::endl;
    });
    s.ui().setProgressLabel({});
    if (s.interrupted()) {
        // Cut short in the install pass, the controller may be left with part
        // of the new firmware; say so, as a failed pass would.
        if (install && pass == Action::WriteController)
            err << "velora-cli: interrupted while installing; the controller's firmware may be incomplete: "
                   "run the upgrade again\n";
        return kInterrupted;
    }

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
            info << "velora-cli: every record verified in " << s.elapsed()
                 << "; the controller reports version " << version << "\n";
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
        out << o.helpText;
        return kSuccess;
    }
    if (o.command == "export") return runExport(o, out, err);
    if (o.command == "import") return runImport(o, out, err);
    if (o.command == "diff") return runDiff(o, out, err);
    Session s(o, factory, clock, out, err, progressBar, interrupted);
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
            std::string tried;
            for (const std::string& name : s.link().portTable()) tried += (tried.empty() ? "" : ", ") + name;
            err << "velora-cli: no controller answered on any port ("
                << (tried.empty() ? std::string("none found; name one with --port") : tried) << ")\n";
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
    if (o.command == "upgrade") return runUpgrade(s, o, out, err);

    if (o.command == "version") {
        const std::string& text = s.engine().firmwareText();
        out << text.substr(text.find(": ") + 2) << "\n";
        return kSuccess;
    }
    // A success says so on the standard output, in one line (not with --quiet).
    const auto summary = [&](const std::string& line) {
        if (!o.quiet) out << "velora-cli: " << line << "\n";
        return kSuccess;
    };
    if (o.command == "restart") {
        s.engine().restart();
        if (!s.pump()) return statusAfterFailure(s);
        return summary("restarted the controller on " + s.app().connection().port());
    }
    if (o.command == "read") {
        // A read that did not finish saves no file.
        if (!s.runRegion(Action::ReadController)) return statusAfterFailure(s);
        if (!saveDataFiles(o.base, regions, image, err)) return kError;
        return summary("read " + s.blocks() + " in " + s.elapsed() + "; saved " +
                       dataFilePaths(o.base, regions));
    }
    if (o.command == "write") {
        if (!s.runRegion(Action::WriteController)) {
            // The blocks written so far are in the controller; the rest are not.
            if (s.interrupted())
                err << "velora-cli: interrupted after " << s.blocks()
                    << " written; the controller holds part of the new data: write again\n";
            return statusAfterFailure(s);
        }
        return summary("wrote " + s.blocks() + " in " + s.elapsed());
    }
    // verify: differences count only for a run that was not cut short by
    // an error or a signal.
    const bool finished = s.runRegion(Action::Verify);
    if (s.interrupted()) return kInterrupted;
    const bool differences = !s.engine().lastVerificationClean();
    if (finished && !differences)
        return summary("verified " + s.blocks() + " in " + s.elapsed() + ": no differences");
    if (finished) return kDifferences;
    return differences && s.engine().outcome() == RunOutcome::Stopped ? kDifferences : kError;
}

}  // namespace velora::cli
