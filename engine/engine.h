#pragma once
// The transfer engine: a state machine that moves the controller image
// between the PC and the controller one short step per tick. It also sends
// firmware records, queries the firmware version and restarts the
// controller. Nothing in it blocks on the line; it opens no file.
//
// Callers start runs with the named commands, drive them with ticks and
// learn what happens through the typed events (EngineEvents) and the
// read-only queries; the engine's variables are its own. What the status
// bar and the progress bar show is the caller's, made from the events.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_events.h"
#include "files/show_differences.h"
#include "image/controller_image.h"
#include "image/filled_blocks.h"
#include "link/frames.h"
#include "link/serial_link.h"
#include "platform/ui.h"
#include "upgrade/upgrade_file.h"

namespace velora {

// How the verification pass of the last upgrade ended: not at all (the run
// was refused, stopped, aborted or failed before its last record), without a
// difference, with every record agreeing at last although one or more read
// back different first and agreed when read again (Retry), or with at least
// one difference ignored: only then may the firmware differ from the file.
enum class UpgradeVerification { NotFinished, Clean, AgreedWhenReadAgain, WithDifferences };

// Where the last read of a region from the controller stopped before the
// region's end: the first block of the region it did not store (the
// region's first block of that read when the read never reached it).
struct IncompleteRead {
    std::uint32_t stoppedAt = 0;
    std::uint32_t lastBlock = 0;  // the last block of the region that read was to take
};

class TransferEngine {
  public:
    // Before the first frame of a run and before a frame goes out again, the
    // line is let fall quiet: bytes of an earlier exchange still on their
    // way are thrown away until none has come for kQuietTime (bounded by
    // kQuietLimit), so they are never taken for the reply to the new frame.
    static constexpr Duration kQuietTime = std::chrono::milliseconds(20);
    static constexpr Duration kQuietLimit = std::chrono::milliseconds(500);

    // Starts Idle; `events` (may be null) hears of every run. `filled` keeps
    // the blocks of `image` that reads and file loads fill; a write of
    // blocks never filled asks first.
    TransferEngine(ControllerImage& image, FilledBlocks& filled, SerialLink& link, UserInterface& ui,
                   EngineEvents* events = nullptr);

    // --- commands ---------------------------------------------------------
    // 102 Scenes, 103 Settings, 104 Midi, with the action the run carries out
    // on the line (a data-file action is the shell's: refused).
    void startRun(Region region, Action action);
    void startAll(Action action);  // 112
    // A memory run over the given blocks, in the order given, without the
    // range dialog: written, read or verified against the image. A read
    // fills `readInto` when given (what the controller holds, kept beside
    // the program's own image: neither the image nor what it counts as
    // filled changes), else the image. Such a run is not repeated by
    // repeat(); an empty list starts nothing.
    void startBlockRun(std::vector<std::uint32_t> blocks, Action action, ControllerImage* readInto = nullptr);
    // The last memory run again; false (nothing done) when there is none to
    // repeat: a data-file run, an upgrade, a version query or a restart.
    bool repeat();             // 107
    void stop();               // 105 and Escape
    void restart();            // 113
    void startVersionQuery();  // after a found or chosen port
    // The records of an accepted upgrade file: installed and then read back
    // (`install`), or read back only; the version query follows in the same
    // run.
    void startFirmwareRun(std::vector<UpgradeRecord> records, bool install);
    // A run on the line needs the port: one that went away is opened again;
    // false, after "You have to choise an accessible comm port !" when
    // there is none, or the fault's event when it cannot be opened again.
    bool prepareLine();
    // The range of the next scene run, as the "Zakres" dialog would leave it
    // (for programs that choose it otherwise).
    void setSceneRange(std::uint32_t firstScene, std::uint32_t lastScene);

    // One step for the state the tick was posted for. A tick whose state is
    // no longer the engine's is stale and does nothing.
    void tick(TransferState postedFor);

    // --- what it is doing -------------------------------------------------
    TransferState state() const { return state_; }
    bool idle() const { return state_ == TransferState::Idle; }
    Action action() const { return action_; }
    RunKind runKind() const { return kind_; }
    // The region of the memory run in progress (or of the last one).
    Region region() const { return region_; }
    // True while the engine waits on the line: the next tick can only make
    // progress once bytes move or a deadline passes.
    bool waitingOnLine() const;
    // The block (or record address) of the frame in progress.
    std::uint32_t currentBlock() const { return currentBlock_; }
    std::pair<std::uint32_t, std::uint32_t> sceneRange() const { return {firstScene_, lastScene_}; }
    // True while the run in progress is an "&All" run.
    bool wholeImageRun() const { return wholeImage_; }
    // How the last run ended; Running while one goes on.
    RunOutcome outcome() const { return outcome_; }
    // False once the last verification found a difference.
    bool lastVerificationClean() const { return cleanVerification_; }
    // What the last verification of the image saw differ, over the blocks
    // where it found a difference, as "the image's <> the controller's".
    ImageDifferences verificationDifferences() const;
    // True while a read stores into a second image, not the program's own.
    bool readsIntoSecondImage() const { return readInto_ != nullptr; }
    const std::string& firmwareText() const { return firmwareText_; }
    // The records of the upgrade in progress (none once its verification
    // pass has ended), and how the last upgrade's verification pass ended.
    std::size_t upgradeRecordCount() const { return records_.size(); }
    UpgradeVerification lastUpgradeVerification() const { return upgradeVerification_; }
    // Where the last read of a data region from the controller stopped early.
    std::optional<IncompleteRead> incompleteRead(Region region) const;
    // The image holds the region whole again (a data file was loaded).
    void forgetIncompleteRead(Region region);

  private:
    // Ticks.
    void sendFrame();
    void awaitWrite();
    void awaitReply();
    void nextBlock();
    bool nextMemoryBlock();  // nextBlock() of a memory run; false once it ended
    void nextRecord();       // nextBlock() of a firmware run
    bool letLineFallQuiet();
    void judgeWriteReply(std::span<const std::uint8_t> received);
    void judgeDataReply(std::span<const std::uint8_t> received);
    void storeMemoryReply(const ReplyJudgement& reply);
    void compareRecordReply(const ReplyJudgement& reply);
    void versionReply(const ReplyJudgement& reply);

    // Runs.
    bool confirmWriteOfUnfilled();
    void startMemoryRun();
    void startRunOnLine();
    void endRun(RunOutcome outcome);
    void lineFailed(LineFault::Kind kind, int error);
    void askRetryOrCancel(LineFault::Kind kind, const std::string& text);
    void noteReadEnd(RunOutcome outcome);
    void showVerificationSummary();
    void noteDifference(std::span<const std::uint8_t, kBlockSize> read);
    Request currentRequest() const;
    std::size_t currentRecordLength() const;

    ControllerImage& image_;
    FilledBlocks& filled_;
    SerialLink& link_;
    UserInterface& ui_;
    EngineEvents* events_;

    TransferState state_ = TransferState::Idle;
    Action action_ = Action::WriteController;
    RunKind kind_ = RunKind::Version;
    Region region_ = Region::Scenes;
    Action lastAction_ = Action::NoAction;  // of the last memory run; NoAction: none yet
    Region lastRegion_ = Region::Scenes;
    std::uint32_t firstScene_ = 0;
    std::uint32_t lastScene_ = kScenes - 1;
    std::uint32_t currentBlock_ = 0;  // during an upgrade: the record address
    // The blocks of the memory run in progress, in order, and how many of
    // them went through; a range run lists its range.
    std::vector<std::uint32_t> blocks_;
    std::size_t blockIndex_ = 0;
    bool listRun_ = false;                 // started by startBlockRun
    ControllerImage* readInto_ = nullptr;  // where a read stores; the image when null
    std::size_t recordIndex_ = 0;
    std::vector<UpgradeRecord> records_;  // the record count of an upgrade is their number
    UpgradeVerification upgradeVerification_ = UpgradeVerification::NotFinished;
    bool differenceIgnored_ = false;  // this verification pass accepted a record that differed
    bool wholeImage_ = false;
    bool cleanVerification_ = true;
    // The blocks where the last verification of the image found a
    // difference, as the image held them and as the controller did.
    struct DifferingBlocks {
        ControllerImage held;
        ControllerImage read;
    };
    std::unique_ptr<DifferingBlocks> differing_;
    std::string firmwareText_;
    std::array<std::optional<IncompleteRead>, 3> incomplete_;  // Scenes, Settings, Midi

    RunOutcome outcome_ = RunOutcome::None;
    FrameBuffer send_{};
    std::size_t sendLength_ = 0;
    int writeStartError_ = 0;  // set when the last write could not even start
    bool quietFirst_ = false;  // the line must fall quiet before the next frame
    bool quietPending_ = false;
};

}  // namespace velora
