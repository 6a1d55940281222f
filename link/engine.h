#pragma once
// The transfer engine: a state machine that moves the controller image
// between the PC and the controller one short step per tick. It also runs
// the data-file steps, queries the firmware version and restarts the
// controller. Nothing in it blocks on the line.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <functional>
#include <string>
#include <vector>

#include "image/controller_image.h"
#include "link/frames.h"
#include "link/serial_link.h"
#include "platform/ui.h"

namespace velora {

enum class TransferState { Idle = 0, SendFrame = 1, AwaitWrite = 2, AwaitReply = 3, NextBlock = 4, FileStep = 5 };
enum class Action { WriteController = 0, ReadController = 1, Verify = 2, FileRead = 3, FileWrite = 4, NoAction = 5 };

// How the last run ended, so that no interrupted or failed run can pass for
// a finished one.
enum class RunOutcome { None, Running, Completed, Stopped, Failed };

// Positions in the "&Action" menu that the engine greys and enables.
inline constexpr int kRepeatEntry = 0;
inline constexpr int kStopEntry = 9;

const char* regionText(Region region);  // "\tScenes" ... "\tN/A"
const char* actionText(Action action);  // "\tWriting to Kq318" ... "\tN/A"

// "\tFW : " and the version text of a version reply's payload.
std::string firmwareTextOf(std::uint8_t major, std::uint8_t minor, std::uint8_t suffix);

// One firmware record of an upgrade.
struct UpgradeRecord {
    std::uint32_t address = 0;
    std::uint32_t length = 0;  // 0..16
    std::array<std::uint8_t, 16> data{};
};

// The engine's variables; they exist once and live as long as the program.
struct EngineVariables {
    TransferState state = TransferState::SendFrame;
    Action action = Action::WriteController;
    Region region = Region::Version;
    Action lastAction = Action::WriteController;
    Region lastRegion = Region::Scenes;
    std::uint32_t firstScene = 0;
    std::uint32_t lastScene = 1021;  // during an upgrade: the record count
    std::uint32_t currentBlock = 0;  // during an upgrade: the record address
    std::uint32_t replyAddress = 0;
    std::size_t payloadLength = 2;
    std::size_t recordIndex = 0;
    std::vector<UpgradeRecord> records;
    bool wholeImage = false;
    bool cleanVerification = true;
    int pendingProgress = 0;
    std::string firmwareText = "\tFW : N/A";
    FileDialogRequest fileDialog = FileDialogRequest::standard();
};

class TransferEngine {
public:
    TransferEngine(ControllerImage& image, SerialLink& link, UserInterface& ui);

    // --- commands ---------------------------------------------------------
    // 102 Scenes, 103 Settings, 104 Midi, with the action the run carries out.
    void startRun(Region region, Action action);
    void startAll(Action action);  // 112
    void repeat();                 // 107
    void stop();                   // 105 and Escape
    void restart();                // 113
    void startVersionQuery();      // after a found or chosen port

    // One step for the state the tick was posted for. A tick whose state is
    // no longer the engine's is stale and does nothing.
    void tick(TransferState postedFor);

    // --- state ------------------------------------------------------------
    TransferState state() const { return v_.state; }
    bool idle() const { return v_.state == TransferState::Idle; }
    // True while the engine waits on the line: the next tick can only make
    // progress once bytes move or a deadline passes.
    bool waitingOnLine() const;
    EngineVariables& vars() { return v_; }
    const EngineVariables& vars() const { return v_; }
    ControllerImage& image() { return image_; }
    UserInterface& ui() { return ui_; }
    SerialLink& link() { return link_; }

    // Status texts the client window shows on every repaint: part 0, 1, 2.
    std::string statusText(int part) const;

    // Progress shown last; the idle pump resets it to 0 once.
    bool takeProgressReset();

    // Ends the run: Idle, whole-image flag cleared, "&Stop" greyed.
    void endRun(RunOutcome outcome = RunOutcome::Failed);
    RunOutcome outcome() const { return outcome_; }
    void setOutcome(RunOutcome outcome) { outcome_ = outcome; }

private:
    void sendFrame();
    void awaitWrite();
    void awaitReply();
    void nextBlock();
    void judgeWriteReply(std::span<const std::uint8_t> received);
    void judgeDataReply(std::span<const std::uint8_t> received);
    void askRetryOrCancel(const std::string& text, bool purgeBeforeResend);
    void setProgress(int value);
    void showVerificationSummary();
    void beginRun(Region region);
    Request currentRequest() const;

    ControllerImage& image_;
    SerialLink& link_;
    UserInterface& ui_;
    EngineVariables v_;
    FrameBuffer send_{};
    std::size_t sendLength_ = 0;
    int writeStartError_ = 0;
    RunOutcome outcome_ = RunOutcome::None;  // set when the last write could not even start
};

}  // namespace velora
