#include "app/cli/cli.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>

#include "app/cli/commands.h"
#include "app/cli/show_files.h"
#include "app/cli/terminal_ui.h"
#include "engine/engine.h"
#include "engine/engine_texts.h"
#include "engine/run_loop.h"
#include "files/backup_set.h"
#include "files/file_reason.h"
#include "image/controller_image.h"
#include "link/serial_link.h"
#include "shell/application.h"
#include "shell/sync_command.h"
#include "shell/upgrade_command.h"
#include "upgrade/upgrade_file.h"
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
    Session(const Options& o, const CommandContext& c)
        : options_(o),
          factory_(c.factory),
          clock_(c.clock),
          ui_(c.err, Answers{o.yes, o.retries, o.ignoreDifferences}, c.progressBar),
          app_(c.factory, ui_, c.clock, &ui_),
          interrupted_(c.interrupted),
          started_(c.clock.now()) {
        ui_.setContext([this] { return where(); });
        ui_.followProgress(app_.progress());
    }

    // The port in use, and the block or firmware record of a run on it.
    std::string where() {
        const std::string port = app_.connection().port();
        if (port.empty() || engine().idle()) return port;
        switch (engine().runKind()) {
            case RunKind::Memory:
                return port + ", block " + std::to_string(engine().currentBlock());
            case RunKind::Firmware: {
                char address[16];
                std::snprintf(address, sizeof address, "0x%05X", engine().currentBlock());
                return port + ", record at " + address;
            }
            default:
                return port;
        }
    }
    // Seconds since the command started, as "82.7 s".
    std::string elapsed() const { return seconds(clock_.now() - started_); }
    static std::string seconds(Duration d) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(d).count());
        return text;
    }
    TimePoint now() const { return clock_.now(); }
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
            ui_.messageBoxWithReason(kNotFoundAutoText, kNotFoundCaption, Icon::Warning, Buttons::Ok,
                                     link().searchReport());
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
        ran_ = !engine().idle();
        if (!ran_) return false;  // refused
        return pump();
    }
    // True once a run of runRegion started (it was not refused).
    bool ran() const { return ran_; }
    // Why a run that started ended early, in words.
    std::string whyCutShort() {
        if (interrupted()) return "interrupted";
        return app_.link().lineLost() ? "the line was lost" : "stopped";
    }

  private:
    const Options& options_;
    SerialPortFactory& factory_;
    const Clock& clock_;
    TerminalUi ui_;
    Application app_;
    const std::atomic<bool>& interrupted_;
    TimePoint started_;
    bool ran_ = false;
};

int statusAfterFailure(const Session& s) {
    return s.interrupted() ? kInterrupted : kError;
}

// The upgrade file is read and checked whole before anything goes to the
// line: a refused file is named with the reason, in the system's words or the
// program's, and the controller is not asked anything.
bool upgradeFileAccepted(const std::string& name, std::ostream& err) {
    const auto refuse = [&](const std::string& why) {
        err << "velora-cli: " << name << ": " << why << " (nothing was sent to the controller)\n";
        return false;
    };
    std::ifstream in;
    if (const auto refused = openToRead(name, in)) return refuse(refused->reason);
    UpgradeFile upgrade;
    const UpgradeError error = readUpgradeFile(in, upgrade);
    if (error == UpgradeError::None) return true;
    std::string text = upgradeErrorText(error);
    std::replace(text.begin(), text.end(), '\n', ' ');
    return refuse(text);
}

std::string records(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

// "upgrade FILE" and "upgrade --verify-only FILE", once the file has been
// accepted and the controller found (the version questions need its
// version). The upgrade command reads the file again and asks the version
// questions; the engine installs and verifies. Exit 0 once every record reads back as the file
// has it (some perhaps only when read again), 1 when a difference was
// ignored; a run cut short says what the controller holds and what to do.
int runUpgrade(Session& s, const Options& o, std::ostream& out, std::ostream& err) {
    TransferEngine& engine = s.engine();
    const bool install = !o.verifyOnly;
    // What the file step says concerns the file, not the port.
    s.ui().setContext([&o] { return o.upgradeFile; });
    const RunOutcome fileStep = startUpgradeFrom(s.app(), o.upgradeFile, install);
    s.ui().setContext([&s] { return s.where(); });
    if (engine.idle()) {
        if (s.interrupted()) return kInterrupted;
        err << "velora-cli: " << o.upgradeFile << ": no upgrade, nothing was sent to the controller ("
            << (fileStep == RunOutcome::Stopped ? "a version question was answered No; --yes answers Yes"
                                                : "the file was refused")
            << ")\n";
        return kError;
    }
    // Records that agreed when read again leave nothing to warn about.
    s.ui().omitWarningsSummaryWhen(
        [&engine] { return engine.lastUpgradeVerification() == UpgradeVerification::AgreedWhenReadAgain; });
    const std::size_t count = engine.upgradeRecordCount();
    s.ui().setProgressLabel(install ? "velora-cli: installing" : "velora-cli: verifying");
    Action pass = engine.action();
    const TimePoint started = s.now();
    TimePoint verifying = started, verified = started;
    const bool finished = s.pump([&] {
        if (engine.runKind() == RunKind::Version) {
            if (verified == started) verified = s.now();
            return;
        }
        // The install pass turns into the verification pass by itself.
        if (engine.runKind() != RunKind::Firmware || engine.action() == pass) return;
        pass = engine.action();
        verifying = s.now();
        s.ui().finishProgress();
        s.ui().setProgressLabel("velora-cli: verifying");
    });
    s.ui().setProgressLabel({});
    const int cutShort = s.interrupted() ? kInterrupted : kError;
    const std::string verifyAgain = "velora-cli upgrade --verify-only " + o.upgradeFile;

    switch (engine.lastUpgradeVerification()) {
        case UpgradeVerification::NotFinished:
            if (install && pass == Action::WriteController) {
                err << "velora-cli: " << s.whyCutShort()
                    << " while installing; the controller's firmware may be incomplete: run the upgrade "
                       "again\n";
            } else if (engine.outcome() == RunOutcome::Stopped && !s.interrupted()) {
                // Abort at a record that read back different.
                err << "velora-cli: verification aborted; the controller's firmware differs from "
                    << o.upgradeFile << (install ? ": run the upgrade again" : "") << "\n";
            } else {
                err << "velora-cli: " << s.whyCutShort() << " while verifying; the firmware is "
                    << (install ? "installed but not verified" : "not verified") << ": verify it with "
                    << verifyAgain << "\n";
            }
            return cutShort;
        case UpgradeVerification::Clean:
        case UpgradeVerification::AgreedWhenReadAgain:
            if (!finished) {
                err << "velora-cli: every record verified, but the version query afterwards "
                    << (s.interrupted() ? "was interrupted" : "failed") << "\n";
                return cutShort;
            }
            if (!o.quiet) {
                out << "velora-cli: ";
                if (install)
                    out << "installed " << records(count) << " of " << o.upgradeFile << " in "
                        << Session::seconds(verifying - started) << " and verified them in ";
                else
                    out << "verified " << records(count) << " of " << o.upgradeFile << " in ";
                out << Session::seconds(verified - verifying) << "; the controller reports version "
                    << controllerVersionOf(engine.firmwareText()) << "\n";
            }
            return kSuccess;
        case UpgradeVerification::WithDifferences:
            err << "velora-cli: records read back different (ignored)"
                << (install ? "; run the upgrade again" : "") << "\n";
            if (!finished) return cutShort;
            return kDifferences;
    }
    return kError;
}

// A success says so on the standard output, in one line (not with --quiet).
int summary(const Options& o, const CommandContext& c, const std::string& line) {
    if (!o.quiet) c.out << "velora-cli: " << line << "\n";
    return kSuccess;
}

ShowRegion showRegionOf(const Options& o) {
    if (o.region == "all") return ShowRegion::whole();
    if (o.region == "scenes") return ShowRegion::scenes(o.firstScene, o.lastScene);
    return ShowRegion::of(regionsOf(o).front());
}

// The backups' folder exists, or is made, and takes new files; false after
// a message on `err`.
bool backupFolderReady(const std::filesystem::path& folder, const ShowRegion& region, std::ostream& err) {
    if (folder.empty()) {
        err << "velora-cli: no folder for the backup: neither XDG_DATA_HOME nor HOME is set (name one with "
               "--backup-dir)\n";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        err << "velora-cli: cannot make the backup folder " << folder.string() << ": " << ec.message()
            << " (nothing was sent to the controller)\n";
        return false;
    }
    return checkSaveTargets((folder / "backup").string(), region.dataRegions(), err);
}

// The list of a sync: the differences in the verification's words, then
// their count.
void listDifferences(const SyncRun& run, std::ostream& out) {
    for (const std::string& line : run.differences().lines()) out << line << "\n";
    out << (run.differing().empty() ? std::string("no differences")
                                    : differenceCount(run.differences().count(), run.differing().size()))
        << "\n";
}

// What a sync that ended early leaves: the blocks written, the backup.
int syncCutShort(Session& s, const SyncRun& run, std::ostream& err) {
    const std::string why = s.whyCutShort();
    err << "velora-cli: ";
    switch (run.failure()) {
        case SyncRun::Failure::NotStarted:
        case SyncRun::Failure::Read:
            err << why << " while reading; nothing was written";
            break;
        case SyncRun::Failure::Backup:
            err << "cannot save the backup " << run.backupFault() << "; nothing was written";
            break;
        case SyncRun::Failure::Cancelled:
            err << "nothing was written";
            break;
        case SyncRun::Failure::Write:
            err << why << " while writing; written: " << blockList(run.written());
            break;
        case SyncRun::Failure::ReadBack:
            err << why << " while reading back; written: " << blockList(run.written());
            break;
        case SyncRun::Failure::StillDiffers:
            err << blockList(run.stillDiffering()) << " still "
                << (run.stillDiffering().size() == 1 ? "differs" : "differ")
                << " when read back; written: " << blockList(run.written());
            break;
        case SyncRun::Failure::None:
            break;
    }
    if (!run.backup().empty()) err << "; what the controller held is in " << run.backupText();
    err << "\n";
    if (s.interrupted()) return kInterrupted;
    return kError;
}

}  // namespace

namespace commands {

int help(const Options& o, const CommandContext& c) {
    c.out << o.helpText;
    return kSuccess;
}

int ports(const Options&, const CommandContext& c) {
    for (const std::string& name : buildPortTable(c.factory.enumerate())) c.out << name << "\n";
    return kSuccess;
}

int search(const Options& o, const CommandContext& c) {
    Session s(o, c);
    s.link().setPortTable(buildPortTable(c.factory.enumerate()));
    const bool found = s.link().searchController();
    if (s.interrupted()) return kInterrupted;
    if (!found) {
        for (const std::string& trial : s.link().searchTrials()) c.err << "velora-cli: " << trial << "\n";
        std::string tried;
        for (const std::string& name : s.link().portTable()) tried += (tried.empty() ? "" : ", ") + name;
        c.err << "velora-cli: no controller answered on any port ("
              << (tried.empty() ? std::string("none found; name one with --port") : tried) << ")\n";
        return kError;
    }
    c.out << s.link().portTable()[static_cast<std::size_t>(s.link().currentPort())] << "\n";
    return kSuccess;
}

int version(const Options& o, const CommandContext& c) {
    Session s(o, c);
    if (!s.connect(c.err)) return statusAfterFailure(s);
    const std::string& text = s.engine().firmwareText();
    c.out << text.substr(text.find(": ") + 2) << "\n";
    return kSuccess;
}

int restart(const Options& o, const CommandContext& c) {
    Session s(o, c);
    if (!s.connect(c.err)) return statusAfterFailure(s);
    s.engine().restart();
    if (!s.pump()) return statusAfterFailure(s);
    return summary(o, c, "restarted the controller on " + s.app().connection().port());
}

int read(const Options& o, const CommandContext& c) {
    Session s(o, c);
    const std::vector<Region> regions = regionsOf(o);
    ControllerImage& image = s.app().image();
    // Nothing touches the line when what is read could not be saved.
    if (!checkSaveTargets(o.base, regions, c.err)) return kError;
    // A scene range updates the scene file rather than replacing the
    // scenes outside the range with empty ones.
    const bool range = o.region == "scenes" && !(o.firstScene == 0 && o.lastScene == kScenes - 1);
    if (range && std::filesystem::exists(dataFilePath(o.base, Region::Scenes)) &&
        !loadDataFiles(o.base, regions, image, c.err))
        return kError;
    if (!s.connect(c.err)) return statusAfterFailure(s);
    // A read that did not finish saves no file.
    if (!s.runRegion(Action::ReadController)) return statusAfterFailure(s);
    if (!saveDataFiles(o.base, regions, image, c.err)) return kError;
    return summary(o, c,
                   "read " + s.blocks() + " in " + s.elapsed() + "; saved " + dataFilePaths(o.base, regions));
}

int write(const Options& o, const CommandContext& c) {
    Session s(o, c);
    // The files come first: nothing touches the line when they cannot be read.
    const std::vector<Region> regions = regionsOf(o);
    if (!loadDataFiles(o.base, regions, s.app().image(), c.err)) return kError;
    // The files are the show to write: none of their blocks is empty by oversight.
    for (Region r : regions) s.app().filledBlocks().markRegion(r);
    if (!s.connect(c.err)) return statusAfterFailure(s);
    if (!s.runRegion(Action::WriteController)) {
        // The blocks written so far are in the controller; the rest are not.
        if (s.ran())
            c.err << "velora-cli: " << s.whyCutShort() << " after " << s.blocks()
                  << " written; the controller holds part of the new data: write again\n";
        return statusAfterFailure(s);
    }
    return summary(o, c, "wrote " + s.blocks() + " in " + s.elapsed());
}

int verify(const Options& o, const CommandContext& c) {
    Session s(o, c);
    // The files come first: nothing touches the line when they cannot be read.
    const std::vector<Region> regions = regionsOf(o);
    if (!loadDataFiles(o.base, regions, s.app().image(), c.err)) return kError;
    // The files are the show to write: none of their blocks is empty by oversight.
    for (Region r : regions) s.app().filledBlocks().markRegion(r);
    if (!s.connect(c.err)) return statusAfterFailure(s);
    // Differences count only for a run that was not cut short by an error
    // or a signal.
    const bool finished = s.runRegion(Action::Verify);
    if (s.interrupted()) return kInterrupted;
    const bool differences = !s.engine().lastVerificationClean();
    // The run ends with the count of the differences seen, in the words of
    // "diff" (a MIDI key may differ in several fields).
    const std::string count = counted(s.engine().verificationDifferences().count(), "difference");
    if (finished && !differences)
        return summary(o, c, "verified " + s.blocks() + " in " + s.elapsed() + ": no differences");
    if (finished) {
        summary(o, c, "verified " + s.blocks() + " in " + s.elapsed() + ": " + count);
        return kDifferences;
    }
    if (differences && s.engine().outcome() == RunOutcome::Stopped) {
        summary(o, c, "stopped at a difference after " + s.blocks() + ": " + count);
        return kDifferences;
    }
    return kError;
}

int sync(const Options& o, const CommandContext& c) {
    Session s(o, c);
    const ShowRegion region = showRegionOf(o);
    // The files come first: nothing touches the line when they cannot be read.
    if (!loadDataFiles(o.base, region.dataRegions(), s.app().image(), c.err)) return kError;
    for (Region r : region.dataRegions()) s.app().filledBlocks().markRegion(r);
    if (const auto why = SyncRun::refusal(s.app().image(), region)) {
        c.err << "velora-cli: " << dataFilePath(o.base, Region::Settings) << ": cannot sync: " << *why
              << " (nothing was sent to the controller)\n";
        return kError;
    }
    const std::filesystem::path folder = o.backupDir.empty() ? defaultBackupFolder() : pathOf(o.backupDir);
    if (!o.dryRun && !backupFolderReady(folder, region, c.err)) return kError;
    if (!s.connect(c.err)) return statusAfterFailure(s);

    SyncRun run(s.app(), region, folder, o.dryRun);
    run.start();
    while (run.active()) {
        s.pump();
        if (run.advance() == SyncRun::Step::Listed) {
            if (!o.quiet) listDifferences(run, c.out);
            s.ui().setProgressLabel("velora-cli: writing");
            run.confirm();
        }
        if (run.step() == SyncRun::Step::ReadingBack) s.ui().setProgressLabel("velora-cli: reading back");
    }
    s.ui().setProgressLabel({});
    if (run.step() == SyncRun::Step::Failed) return syncCutShort(s, run, c.err);
    if (o.dryRun) {
        if (!o.quiet) listDifferences(run, c.out);
        if (run.differing().empty()) return summary(o, c, "nothing to write");
        if (!o.quiet) c.out << "velora-cli: dry run: would write " << blockCount(run.differing()) << "\n";
        return kDifferences;
    }
    if (run.differing().empty()) return summary(o, c, "nothing to write; backup " + run.backupText());
    return summary(
        o, c,
        "synced " + blockCount(run.differing()) + " in " + s.elapsed() + "; backup " + run.backupText());
}

int upgrade(const Options& o, const CommandContext& c) {
    Session s(o, c);
    if (!upgradeFileAccepted(o.upgradeFile, c.err)) return kError;
    if (!s.connect(c.err)) return statusAfterFailure(s);
    return runUpgrade(s, o, c.out, c.err);
}

}  // namespace commands

int run(const Options& o, SerialPortFactory& factory, const Clock& clock, std::ostream& out,
        std::ostream& err, bool progressBar, const std::atomic<bool>& interrupted) {
    const CommandContext context{factory, clock, out, err, progressBar, interrupted};
    return o.handler ? o.handler(o, context) : kError;
}

}  // namespace velora::cli
