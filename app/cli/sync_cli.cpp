// velora-cli sync: REGION of BASE's data files set beside what the
// controller holds, a backup of the controller's, and only the blocks that
// differ written and read back.

#include <filesystem>
#include <ostream>
#include <string>

#include "app/cli/commands.h"
#include "app/cli/session.h"
#include "app/cli/show_files.h"
#include "files/backup_set.h"
#include "files/file_reason.h"
#include "shell/sync_command.h"

namespace velora::cli {

namespace {

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

}  // namespace commands

}  // namespace velora::cli
