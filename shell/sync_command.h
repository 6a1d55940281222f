#pragma once
// A sync: the controller brought into step with the show in the program's
// image by writing only what differs. The region is read from the
// controller into a copy of its own (the image stays as it is), what the
// controller held is saved as a backup set before anything is written, the
// blocks are judged as the verification judges them, the differences listed,
// only the blocks that differ written in ascending order and then read back
// and judged again.
//
// The run goes step by step: the program starts it, and each time the engine
// has gone idle after a step's run it calls advance(). Between the list and
// the write the program asks (the desktop) or decides (velora-cli).

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_events.h"
#include "files/show_differences.h"
#include "image/controller_image.h"
#include "image/show_region.h"

namespace velora {

class Application;

class SyncRun {
  public:
    enum class Step {
        NotStarted,
        Reading,      // the region is read into the controller's copy
        Listed,       // judged, backed up and listed: the write waits for confirm()
        Writing,      // the blocks that differ are written
        ReadingBack,  // and read back
        Finished,     // the controller equals the show (nothing to write, or written)
        Failed,       // ended early: see failure()
    };
    enum class Failure {
        None,
        NotStarted,    // the read did not start (no port: its message was shown)
        Read,          // the read ended early
        Backup,        // the backup set could not be saved: nothing was written
        Cancelled,     // the write was not confirmed, or its question answered No
        Write,         // the write ended early
        ReadBack,      // the read back ended early
        StillDiffers,  // blocks read back different
    };

    // Syncs `region` of the program's image. A dry run stops at the list:
    // no backup, nothing written. The backup goes to `backupFolder`.
    SyncRun(Application& app, ShowRegion region, std::filesystem::path backupFolder, bool dryRun = false);
    ~SyncRun();
    SyncRun(const SyncRun&) = delete;
    SyncRun& operator=(const SyncRun&) = delete;

    // Why the show can never compare equal with the controller, so that a
    // sync of `region` is refused before any frame; nullopt when it can.
    static std::optional<std::string> refusal(const ControllerImage& show, const ShowRegion& region);

    // Starts the read; false (Failed) when it did not start.
    bool start();
    // Once the engine is idle after the run of the step in progress: the
    // step's outcome judged and the next step taken. Reading goes to Listed
    // (a dry run, or a show equal to the controller, to Finished); Writing
    // to ReadingBack; ReadingBack to Finished.
    Step advance();
    // Listed: writes the blocks that differ. False (Failed) when the write
    // did not start.
    bool confirm();
    // Listed: the user chose not to write.
    void cancel();

    Step step() const { return step_; }
    bool active() const {
        return step_ == Step::Reading || step_ == Step::Writing || step_ == Step::ReadingBack;
    }
    Failure failure() const { return failure_; }
    bool dryRun() const { return dryRun_; }
    const ShowRegion& region() const { return region_; }
    // The blocks that differed when read, ascending; the differences they
    // hold, "what the controller held <> what the show has".
    const std::vector<std::uint32_t>& differing() const { return differing_; }
    const ImageDifferences& differences() const { return differences_; }
    // The blocks written and acknowledged.
    const std::vector<std::uint32_t>& written() const { return written_; }
    // The blocks that still differed when read back.
    const std::vector<std::uint32_t>& stillDiffering() const { return stillDiffering_; }
    // The backup set's path without extension; empty when none was saved.
    const std::filesystem::path& backup() const { return backup_; }
    // The backup's files as "DIR/2026-12-09-221503-all.K5s, .K5p, .K5m".
    std::string backupText() const;
    // Why the backup could not be saved: the file and the reason.
    const std::string& backupFault() const { return backupFault_; }
    // What the controller held, as read (zeros outside the region).
    const ControllerImage& held() const { return *held_; }

  private:
    std::vector<std::uint32_t> judge(const std::vector<std::uint32_t>& blocks) const;
    void fail(Failure failure);
    void afterRead();

    Application& app_;
    ShowRegion region_;
    std::filesystem::path folder_;
    bool dryRun_;
    std::unique_ptr<ControllerImage> held_;
    Step step_ = Step::NotStarted;
    Failure failure_ = Failure::None;
    std::vector<std::uint32_t> differing_;
    std::vector<std::uint32_t> written_;
    std::vector<std::uint32_t> stillDiffering_;
    ImageDifferences differences_;
    std::filesystem::path backup_;
    std::string backupFault_;
};

// "block 5 (scene 1/3)", "block 2044 (settings)", "block 2047 (MIDI assignments)".
std::string blockWords(std::uint32_t block);
// The blocks one after another: "blocks 4, 5 (scene 1/3)" ... ; "no block".
std::string blockList(const std::vector<std::uint32_t>& blocks);
// "3 blocks (2 scenes, settings)": how many, and what they hold.
std::string blockCount(const std::vector<std::uint32_t>& blocks);
// "12 differences in 3 blocks"
std::string differenceCount(std::size_t differences, std::size_t blocks);

}  // namespace velora

namespace velora {

class UserInterface;

// Texts of the desktop's sync.
inline constexpr const char* kSyncCaption = "Sync with controller";
inline constexpr const char* kSyncRefusedText = "This show cannot be synced with the controller.";
inline constexpr const char* kSyncNothingText = "Nothing to write: the controller holds the show.";
inline constexpr const char* kSyncBackupFailedText = "The backup could not be saved, so nothing was written.";
// "Write these 3 blocks" ("Write this block" for one), the differences window's button.
std::string writeBlocksButton(std::size_t blocks);

// "&Show" / "S&ync with controller" in the desktop program: one sync at a
// time, over the region picked (the scene range dialog first for
// "&Scenes"), the list shown by the program for the user to confirm, and a
// summary box at the end.
class SyncCommand {
  public:
    SyncCommand(Application& app, UserInterface& ui);
    ~SyncCommand();

    // Starts a sync of `region` ("&All" when `all`), its backup in `folder`.
    // Refused with the reason when the show can never equal the
    // controller; nothing when the range dialog was cancelled.
    void start(Region region, bool all, const std::filesystem::path& folder);
    // The engine went idle: the sync goes on. At the list, `confirm` shows
    // the differences and answers whether to write them.
    void advance(const std::function<bool(const SyncRun&)>& confirm);
    bool active() const;
    // The sync in progress or the last one; null before the first.
    const SyncRun* run() const { return run_.get(); }

  private:
    void finish();

    Application& app_;
    UserInterface& ui_;
    std::unique_ptr<SyncRun> run_;
};

}  // namespace velora
