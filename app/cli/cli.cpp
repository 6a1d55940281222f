#include "app/cli/cli.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>

#include "app/cli/commands.h"
#include "app/cli/session.h"
#include "app/cli/show_files.h"
#include "app/cli/terminal_ui.h"
#include "engine/engine.h"
#include "engine/engine_texts.h"
#include "engine/run_loop.h"
#include "files/file_reason.h"
#include "image/controller_image.h"
#include "link/serial_link.h"
#include "shell/application.h"
#include "shell/upgrade_command.h"
#include "upgrade/upgrade_file.h"
#include "upgrade/version_questions.h"

namespace velora::cli {

namespace {

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
