#include "shell/sync_command.h"

#include <ctime>
#include <set>

#include "files/backup_set.h"
#include "image/compare.h"
#include "shell/application.h"

namespace velora {

namespace {

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

SyncRun::SyncRun(Application& app, ShowRegion region, std::filesystem::path backupFolder, bool dryRun)
    : app_(app),
      region_(region),
      folder_(std::move(backupFolder)),
      dryRun_(dryRun),
      held_(std::make_unique<ControllerImage>()) {}

SyncRun::~SyncRun() = default;

std::optional<std::string> SyncRun::refusal(const ControllerImage& show, const ShowRegion& region) {
    // The controller keeps the low byte of the special buttons mode; the
    // verification compares all 16 bits, so a higher value never agrees.
    if (region.includes(Region::Settings) && show.specialButtonsMode > 0xFF)
        return "the special buttons mode is " + std::to_string(show.specialButtonsMode) +
               ", above 255: the controller keeps one byte of it, so it could never equal the show";
    return std::nullopt;
}

bool SyncRun::start() {
    step_ = Step::Reading;
    app_.engine().startBlockRun(region_.blocks(), Action::ReadController, held_.get());
    if (app_.engine().idle()) {
        fail(Failure::NotStarted);
        return false;
    }
    return true;
}

void SyncRun::fail(Failure failure) {
    step_ = Step::Failed;
    failure_ = failure;
}

std::vector<std::uint32_t> SyncRun::judge(const std::vector<std::uint32_t>& blocks) const {
    std::vector<std::uint32_t> differ;
    for (std::uint32_t b : blocks) {
        const Block held = packBlock(*held_, b);
        if (blockDiffers(app_.image(), b, held)) differ.push_back(b);
    }
    return differ;
}

void SyncRun::afterRead() {
    differing_ = judge(region_.blocks());
    // The list: the controller as read beside the controller as the write
    // will leave it, so that it names exactly what the judgement found (a
    // slow mode flag by on or off, no reserved byte) and nothing outside
    // the blocks to be written.
    auto after = std::make_unique<ControllerImage>(*held_);
    for (std::uint32_t b : differing_) storeBlock(*after, b, packBlock(app_.image(), b));
    differences_ = differencesBetween(*held_, *after);
    if (dryRun_) {
        step_ = Step::Finished;
        return;
    }
    // Nothing is written before what the controller held is on disk.
    if (folder_.empty()) {
        backupFault_ = "no folder for backups: neither XDG_DATA_HOME nor HOME is set";
        fail(Failure::Backup);
        return;
    }
    const BackupSaved saved = saveBackupSet(folder_, std::time(nullptr), region_, *held_);
    if (!saved.saved) {
        backupFault_ = saved.base.string() + ": " + saved.reason;
        fail(Failure::Backup);
        return;
    }
    backup_ = saved.base;
    step_ = differing_.empty() ? Step::Finished : Step::Listed;
}

SyncRun::Step SyncRun::advance() {
    TransferEngine& engine = app_.engine();
    if (!active() || !engine.idle()) return step_;
    const bool completed = engine.outcome() == RunOutcome::Completed;
    switch (step_) {
        case Step::Reading:
            if (!completed)
                fail(Failure::Read);
            else
                afterRead();
            break;
        case Step::Writing: {
            // A list run goes in order: the blocks done are the first ones.
            const std::size_t done = std::min(app_.progress().done(), differing_.size());
            written_.assign(differing_.begin(), differing_.begin() + static_cast<std::ptrdiff_t>(done));
            if (!completed) {
                fail(Failure::Write);
                break;
            }
            step_ = Step::ReadingBack;
            engine.startBlockRun(differing_, Action::ReadController, held_.get());
            if (engine.idle()) fail(Failure::ReadBack);
            break;
        }
        case Step::ReadingBack:
            if (!completed) {
                fail(Failure::ReadBack);
                break;
            }
            stillDiffering_ = judge(differing_);
            if (!stillDiffering_.empty())
                fail(Failure::StillDiffers);
            else
                step_ = Step::Finished;
            break;
        default:
            break;
    }
    return step_;
}

bool SyncRun::confirm() {
    if (step_ != Step::Listed) return false;
    step_ = Step::Writing;
    app_.engine().startBlockRun(differing_, Action::WriteController);
    if (app_.engine().idle()) {
        // The question about blocks never filled answered No, or no port.
        fail(app_.engine().outcome() == RunOutcome::Stopped ? Failure::Cancelled : Failure::Write);
        return false;
    }
    return true;
}

void SyncRun::cancel() {
    if (step_ == Step::Listed) fail(Failure::Cancelled);
}

std::string SyncRun::backupText() const {
    return backup_.empty() ? std::string() : backupFilesText(backup_, region_);
}

std::string blockWords(std::uint32_t block) {
    std::string what;
    switch (regionOfBlock(block)) {
        case Region::Scenes:
            what = "scene " + sceneNameOf(block / 2);
            break;
        case Region::Settings:
            what = "settings";
            break;
        case Region::Midi:
            what = "MIDI assignments";
            break;
    }
    return "block " + std::to_string(block) + " (" + what + ")";
}

std::string blockList(const std::vector<std::uint32_t>& blocks) {
    if (blocks.empty()) return "no block";
    std::string list;
    for (std::uint32_t b : blocks) list += (list.empty() ? "" : ", ") + blockWords(b);
    return list;
}

std::string blockCount(const std::vector<std::uint32_t>& blocks) {
    std::set<std::uint32_t> scenes;
    bool settings = false, midi = false;
    for (std::uint32_t b : blocks) {
        switch (regionOfBlock(b)) {
            case Region::Scenes:
                scenes.insert(b / 2);
                break;
            case Region::Settings:
                settings = true;
                break;
            case Region::Midi:
                midi = true;
                break;
        }
    }
    std::string what;
    const auto add = [&what](const std::string& part) { what += (what.empty() ? "" : ", ") + part; };
    if (!scenes.empty()) add(plural(scenes.size(), "scene", "scenes"));
    if (settings) add("settings");
    if (midi) add("MIDI assignments");
    return plural(blocks.size(), "block", "blocks") + (what.empty() ? "" : " (" + what + ")");
}

std::string differenceCount(std::size_t differences, std::size_t blocks) {
    return plural(differences, "difference", "differences") + " in " + plural(blocks, "block", "blocks");
}

std::string writeBlocksButton(std::size_t blocks) {
    return blocks == 1 ? std::string("Write this block")
                       : "Write these " + std::to_string(blocks) + " blocks";
}

SyncCommand::SyncCommand(Application& app, UserInterface& ui) : app_(app), ui_(ui) {}

SyncCommand::~SyncCommand() = default;

bool SyncCommand::active() const {
    return run_ && (run_->active() || run_->step() == SyncRun::Step::Listed);
}

void SyncCommand::start(Region region, bool all, const std::filesystem::path& folder) {
    TransferEngine& engine = app_.engine();
    if (active() || !engine.idle()) return;
    ShowRegion chosen = all ? ShowRegion::whole() : ShowRegion::of(region);
    if (!all && region == Region::Scenes) {
        auto [first, last] = engine.sceneRange();
        if (first > kScenes - 1) first = 0;
        if (last < first || last > kScenes - 1) last = kScenes - 1;
        if (!ui_.sceneRangeDialog(first, last)) return;
        engine.setSceneRange(first, last);
        chosen = ShowRegion::scenes(first, last);
    }
    if (const auto why = SyncRun::refusal(app_.image(), chosen)) {
        ui_.messageBoxWithReason(kSyncRefusedText, kSyncCaption, Icon::Warning, Buttons::Ok, *why);
        return;
    }
    run_ = std::make_unique<SyncRun>(app_, chosen, folder);
    run_->start();
}

void SyncCommand::advance(const std::function<bool(const SyncRun&)>& confirm) {
    if (!active()) return;
    SyncRun& run = *run_;
    const SyncRun::Step before = run.step();
    if (run.advance() == SyncRun::Step::Listed) {
        if (confirm(run))
            run.confirm();
        else
            run.cancel();
    }
    if (!run.active() && run.step() != before) finish();
}

// The summary box: what was written, and where the backup is.
void SyncCommand::finish() {
    const SyncRun& run = *run_;
    const std::string backup =
        run.backup().empty() ? std::string() : "What the controller held is in " + run.backupText();
    const std::string written = "\nWritten: " + blockList(run.written()) + ".";
    switch (run.failure()) {
        case SyncRun::Failure::None:
            if (run.differing().empty())
                ui_.messageBoxWithReason(kSyncNothingText, kSyncCaption, Icon::Information, Buttons::Ok,
                                         backup);
            else
                ui_.messageBoxWithReason(
                    "Synced " + blockCount(run.differing()) + ": written and read back equal to the show.",
                    kSyncCaption, Icon::Information, Buttons::Ok, backup);
            break;
        case SyncRun::Failure::Cancelled:
            break;  // the user's own choice: nothing to tell
        case SyncRun::Failure::Backup:
            ui_.messageBoxWithReason(kSyncBackupFailedText, kSyncCaption, Icon::Error, Buttons::Ok,
                                     run.backupFault());
            break;
        case SyncRun::Failure::NotStarted:
            break;  // the engine said why
        case SyncRun::Failure::Read:
            ui_.messageBox("The sync stopped while reading; nothing was written.", kSyncCaption,
                           Icon::Warning, Buttons::Ok);
            break;
        case SyncRun::Failure::Write:
            ui_.messageBoxWithReason("The sync stopped while writing." + written, kSyncCaption, Icon::Warning,
                                     Buttons::Ok, backup);
            break;
        case SyncRun::Failure::ReadBack:
            ui_.messageBoxWithReason("The sync stopped while reading back." + written, kSyncCaption,
                                     Icon::Warning, Buttons::Ok, backup);
            break;
        case SyncRun::Failure::StillDiffers:
            ui_.messageBoxWithReason("Read back, " + blockList(run.stillDiffering()) + " still " +
                                         (run.stillDiffering().size() == 1 ? "differs" : "differ") +
                                         " from the show." + written,
                                     kSyncCaption, Icon::Warning, Buttons::Ok, backup);
            break;
    }
}

}  // namespace velora
