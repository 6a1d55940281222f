#include "engine/engine.h"

#include <algorithm>
#include <cerrno>

#include "engine/engine_texts.h"
#include "image/compare.h"

namespace velora {

namespace {

bool isFileAction(Action a) {
    return a == Action::FileRead || a == Action::FileWrite;
}

}  // namespace

TransferEngine::TransferEngine(ControllerImage& image, FilledBlocks& filled, SerialLink& link,
                               UserInterface& ui, EngineEvents* events)
    : image_(image), filled_(filled), link_(link), ui_(ui), events_(events), firmwareText_(kNoFirmwareText) {}

// --- commands ---------------------------------------------------------------

void TransferEngine::startRun(Region region, Action action) {
    // The data files are the shell's: the engine only moves blocks.
    if (!idle() || isFileAction(action)) {
        wholeImage_ = false;
        return;
    }
    action_ = action;
    if (!prepareLine()) {
        wholeImage_ = false;
        outcome_ = RunOutcome::Failed;
        return;
    }
    cleanVerification_ = true;
    kind_ = RunKind::Memory;
    region_ = region;
    lastRegion_ = region;
    lastAction_ = action;
    switch (region) {
        case Region::Scenes:
            if (firstScene_ > kScenes - 1) firstScene_ = 0;
            if (lastScene_ < firstScene_ || lastScene_ > kScenes - 1) lastScene_ = kScenes - 1;
            if (!wholeImage_ && !ui_.sceneRangeDialog(firstScene_, lastScene_)) {
                outcome_ = RunOutcome::Stopped;
                return;
            }
            if (wholeImage_) {
                firstScene_ = 0;
                lastScene_ = kMidiPseudoScene;
            }
            break;
        case Region::Settings:
            firstScene_ = lastScene_ = kSettingsPseudoScene;
            break;
        case Region::Midi:
            firstScene_ = lastScene_ = kMidiPseudoScene;
            break;
    }
    if (action == Action::WriteController && !confirmWriteOfUnfilled()) {
        wholeImage_ = false;
        outcome_ = RunOutcome::Stopped;
        return;
    }
    currentBlock_ = 2 * firstScene_;
    state_ = TransferState::SendFrame;
    startRunOnLine();
    outcome_ = RunOutcome::Running;
    if (events_) events_->runStarted(kind_, action_, region_);
}

void TransferEngine::startAll(Action action) {
    if (!idle()) return;
    wholeImage_ = true;
    startRun(Region::Scenes, action);
}

bool TransferEngine::repeat() {
    // Only a memory run on the line is repeated: the last one.
    if (!idle() || lastAction_ == Action::NoAction) return false;
    if (!prepareLine()) {
        outcome_ = RunOutcome::Failed;
        return true;
    }
    kind_ = RunKind::Memory;
    action_ = lastAction_;
    region_ = lastRegion_;
    if (action_ == Action::WriteController && !confirmWriteOfUnfilled()) {
        outcome_ = RunOutcome::Stopped;
        return true;
    }
    currentBlock_ = 2 * firstScene_;
    cleanVerification_ = true;
    state_ = TransferState::SendFrame;
    startRunOnLine();
    outcome_ = RunOutcome::Running;
    if (events_) events_->runStarted(kind_, action_, region_);
    return true;
}

void TransferEngine::stop() {
    if (!idle()) {
        endRun(RunOutcome::Stopped);
    } else {
        wholeImage_ = false;
        if (events_) events_->stopPossible(false);
        ui_.repaint();
    }
    link_.purge();
}

void TransferEngine::restart() {
    if (!idle()) endRun(RunOutcome::Stopped);  // the run it abandons ends here
    if (events_) events_->stopPossible(false);
    // A port that went away is opened again; without one the write reports it.
    if (!link_.isOpen() && link_.lineLost()) link_.reopenLostPort();
    link_.purge();
    kind_ = RunKind::Restart;
    state_ = TransferState::SendFrame;
    startRunOnLine();
    outcome_ = RunOutcome::Running;
    if (events_) events_->runStarted(kind_, action_, region_);
}

void TransferEngine::startFirmwareRun(std::vector<UpgradeRecord> records, bool install) {
    if (!idle() || !prepareLine()) return;
    cleanVerification_ = true;
    upgradeVerification_ = UpgradeVerification::NotFinished;
    differenceIgnored_ = false;
    // The new list replaces any earlier one, and the run starts on a line
    // with nothing left over in either direction.
    link_.purge();
    records_ = std::move(records);
    kind_ = RunKind::Firmware;
    action_ = install ? Action::WriteController : Action::Verify;
    recordIndex_ = 0;
    // The scene range of the last memory run stays as it was: "&Repeat" and
    // the next range dialog must not take the record count for a scene.
    state_ = TransferState::SendFrame;
    startRunOnLine();
    outcome_ = RunOutcome::Running;
    if (events_) events_->runStarted(kind_, action_, region_);
}

void TransferEngine::startVersionQuery() {
    if (!idle()) endRun(RunOutcome::Stopped);  // the run it abandons ends here
    kind_ = RunKind::Version;
    currentBlock_ = 0;
    state_ = TransferState::SendFrame;
    startRunOnLine();
    outcome_ = RunOutcome::Running;
    if (events_) events_->runStarted(kind_, action_, region_);
}

void TransferEngine::setSceneRange(std::uint32_t firstScene, std::uint32_t lastScene) {
    if (!idle()) return;
    firstScene_ = firstScene;
    lastScene_ = lastScene;
}

// A run on the line needs the port. One that went away during an earlier
// run is opened again by name, once and silently; "Comm open error !" only
// when that fails.
bool TransferEngine::prepareLine() {
    if (!link_.isOpen() && link_.lineLost()) {
        if (!link_.reopenLostPort()) {
            if (events_) events_->lineError({LineFault::PortLost, link_.lastOpenError(), {}, 0, false});
            return false;
        }
    }
    if (!link_.isOpen()) {
        ui_.messageBox(kNoPortText, kWarningCaption, Icon::Warning, Buttons::Ok);
        return false;
    }
    return true;
}

// Blocks the program never filled hold zeros, not a show: writing them
// would replace the controller's own with empty ones. The user decides,
// once for the whole run; No is the default.
bool TransferEngine::confirmWriteOfUnfilled() {
    const std::string unfilled = filled_.describeUnfilled(blockRangeOf(firstScene_, lastScene_));
    if (unfilled.empty()) return true;
    return ui_.messageBox(unfilledWriteQuestion(unfilled), kWarningCaption, Icon::Question, Buttons::YesNo,
                          Answer::No) == Answer::Yes;
}

void TransferEngine::startRunOnLine() {
    // What an earlier, stopped or failed exchange left on its way in must not
    // be taken for the first reply of this run.
    quietFirst_ = true;
    quietPending_ = false;
}

void TransferEngine::endRun(RunOutcome outcome) {
    noteReadEnd(outcome);
    outcome_ = outcome;
    state_ = TransferState::Idle;
    wholeImage_ = false;
    quietFirst_ = quietPending_ = false;
    if (events_) events_->stopPossible(false);
    // An idle program never claims to be reading or writing.
    ui_.repaint();
    if (events_) events_->runEnded(outcome);
}

// Keeps, per data region, where the last read from the controller stopped
// when it stopped before the region's end, a region that the read never
// reached included; a read that went through to the end of that stretch
// clears it.
void TransferEngine::noteReadEnd(RunOutcome outcome) {
    if (outcome_ != RunOutcome::Running || action_ != Action::ReadController || kind_ != RunKind::Memory)
        return;
    const std::uint32_t first = 2 * firstScene_;
    const std::uint32_t last = 2 * lastScene_ + 1;
    const std::uint32_t stopped = outcome == RunOutcome::Completed ? last + 1 : currentBlock_;
    for (Region r : kMemoryRegions) {
        const BlockRange blocks = blockRangeOf(r);
        const std::uint32_t a = std::max(first, blocks.first);
        const std::uint32_t b = std::min(last, blocks.last);
        if (a > b) continue;
        std::optional<IncompleteRead>& mark = incomplete_[static_cast<std::size_t>(r)];
        if (stopped > b) {
            if (mark && mark->stoppedAt >= a && mark->lastBlock <= b) mark.reset();
        } else {
            mark = IncompleteRead{std::max(stopped, a), b};
        }
    }
}

void TransferEngine::forgetIncompleteRead(Region region) {
    incomplete_[static_cast<std::size_t>(region)].reset();
}

std::optional<IncompleteRead> TransferEngine::incompleteRead(Region region) const {
    return incomplete_[static_cast<std::size_t>(region)];
}

// --- ticks ------------------------------------------------------------------

void TransferEngine::tick(TransferState postedFor) {
    if (postedFor != state_) return;  // stale: a command changed the state since
    switch (state_) {
        case TransferState::Idle:
            break;
        case TransferState::SendFrame:
            sendFrame();
            break;
        case TransferState::AwaitWrite:
            awaitWrite();
            break;
        case TransferState::AwaitReply:
            awaitReply();
            break;
        case TransferState::NextBlock:
            nextBlock();
            break;
    }
}

bool TransferEngine::waitingOnLine() const {
    return (state_ == TransferState::SendFrame && quietPending_) ||
           (state_ == TransferState::AwaitWrite && writeStartError_ == 0) ||
           state_ == TransferState::AwaitReply;
}

Request TransferEngine::currentRequest() const {
    const bool write = action_ == Action::WriteController;
    switch (kind_) {
        case RunKind::Version:
            return Request::VersionQuery;
        case RunKind::Restart:
            return Request::Restart;
        case RunKind::Firmware:
            return write ? Request::WriteFirmwareRecord : Request::ReadFirmwareRecord;
        case RunKind::Memory:
            break;
    }
    return write ? Request::WriteMemoryBlock : Request::ReadMemoryBlock;
}

std::size_t TransferEngine::currentRecordLength() const {
    if (kind_ != RunKind::Firmware || recordIndex_ >= records_.size()) return 0;
    return records_[recordIndex_].length;
}

// True once the line has been quiet; until then the frame waits.
bool TransferEngine::letLineFallQuiet() {
    SerialDevice* device = link_.device();
    if (device == nullptr) {
        quietFirst_ = false;
        return true;
    }
    if (!quietPending_) {
        device->purge();
        device->startQuiet(kQuietTime, kQuietLimit);
        quietPending_ = true;
    }
    if (device->pollRead().kind == IoStatus::Pending) return false;
    // A line that failed meanwhile shows with the write that follows.
    quietFirst_ = quietPending_ = false;
    return true;
}

void TransferEngine::sendFrame() {
    if (quietFirst_ && !letLineFallQuiet()) return;
    const bool write = action_ == Action::WriteController;
    switch (kind_) {
        case RunKind::Memory: {
            if (write) {
                const Block block = packBlock(image_, currentBlock_);
                sendLength_ = buildBlockRequest(send_, true, kTypeMemory, currentBlock_, kBlockSize, block);
            } else {
                sendLength_ = buildBlockRequest(send_, false, kTypeMemory, currentBlock_, kBlockSize);
            }
            if (events_) events_->repeatPossible(true);
            break;
        }
        case RunKind::Firmware: {
            if (recordIndex_ >= records_.size()) {  // nothing left to send
                endRun(RunOutcome::Failed);
                return;
            }
            const UpgradeRecord& record = records_[recordIndex_];
            currentBlock_ = record.address;
            sendLength_ = buildBlockRequest(send_, write, firmwareTypeByte(record.address), record.address,
                                            record.length,
                                            std::span<const std::uint8_t>(record.data.data(), record.length));
            break;
        }
        case RunKind::Version:
        case RunKind::Restart: {
            const ShortFrame f =
                buildShortFrame(kind_ == RunKind::Version ? kCodeVersionQuery : kCodeRestart);
            std::copy(f.begin(), f.end(), send_.begin());
            sendLength_ = f.size();
            break;
        }
    }
    SerialDevice* device = link_.device();
    // Without a port the write cannot even start; the failure is reported
    // by the next tick like any other failed write.
    writeStartError_ =
        device ? device->startWrite(std::span<const std::uint8_t>(send_.data(), sendLength_)) : EBADF;
    state_ = TransferState::AwaitWrite;
}

void TransferEngine::awaitWrite() {
    SerialDevice* device = link_.device();
    const IoStatus status = writeStartError_ != 0 ? IoStatus::failed(writeStartError_)
                            : device              ? device->pollWrite()
                                                  : IoStatus::failed(EBADF);
    writeStartError_ = 0;
    if (status.kind == IoStatus::Pending) return;
    if (status.kind == IoStatus::Failed) {
        lineFailed(LineFault::WriteFailed, status.error);
        return;
    }
    if (kind_ == RunKind::Restart) {
        endRun(RunOutcome::Completed);  // nothing comes back from a restart
        return;
    }
    state_ = TransferState::AwaitReply;
    device->startRead(replyBytesFor(currentRequest(), currentRecordLength()));
}

void TransferEngine::awaitReply() {
    SerialDevice* device = link_.device();
    const IoStatus status = device ? device->pollRead() : IoStatus::failed(EBADF);
    if (status.kind == IoStatus::Pending) return;
    if (status.kind == IoStatus::Failed) {
        // Every failed read ends the run, a partial negative acknowledgement
        // included: polling a failed read again could never succeed.
        lineFailed(LineFault::ReadFailed, status.error);
        return;
    }
    const std::span<const std::uint8_t> received =
        device->received().first(std::min(status.count, device->received().size()));
    const bool writeFrame =
        action_ == Action::WriteController && (kind_ == RunKind::Memory || kind_ == RunKind::Firmware);
    if (writeFrame)
        judgeWriteReply(received);
    else
        judgeDataReply(received);
}

// A write or read that failed in the system ends the run. The port is
// closed: a line that went away (the controller unplugged) is opened again
// by name when the next command needs it.
void TransferEngine::lineFailed(LineFault::Kind kind, int error) {
    const std::string text = errorCodeText(error);
    ui_.messageBox(text, kFaultCaption, Icon::Error, Buttons::Ok);
    if (events_) events_->lineError({kind, error, text, currentBlock_, false});
    link_.purge();
    link_.loseLine();
    endRun(RunOutcome::Failed);
}

void TransferEngine::judgeWriteReply(std::span<const std::uint8_t> received) {
    if (isAcknowledgement(received)) {
        state_ = TransferState::NextBlock;
        ui_.repaint();
        return;
    }
    askRetryOrCancel(LineFault::NotAcknowledged, kNotAcknowledgedText);
}

void TransferEngine::askRetryOrCancel(LineFault::Kind kind, const std::string& text) {
    const bool retry =
        ui_.messageBox(text, kFaultCaption, Icon::Warning, Buttons::RetryCancel) == Answer::Retry;
    if (events_) events_->lineError({kind, 0, text, currentBlock_, retry});
    if (retry) {
        // The same frame again, once the line has fallen quiet: the rest of
        // a bad reply, or a late one, must not pass for the new reply.
        state_ = TransferState::SendFrame;
        startRunOnLine();
    } else {
        endRun(RunOutcome::Failed);
    }
}

void TransferEngine::judgeDataReply(std::span<const std::uint8_t> received) {
    const std::uint32_t expected = kind_ == RunKind::Version ? 0 : currentBlock_;
    const ReplyJudgement reply = velora::judgeDataReply(received, expected);
    if (!reply.valid()) {
        link_.purge();
        askRetryOrCancel(LineFault::BadReply, reply.errorText());
        ui_.repaint();
        return;
    }
    if (!replyMatchesRequest(reply, currentRequest(), currentRecordLength())) {
        ui_.messageBox(kProtocolErrorText, kFaultCaption, Icon::Warning, Buttons::Ok);
        if (events_) events_->lineError({LineFault::WrongKind, 0, kProtocolErrorText, currentBlock_, false});
        endRun(RunOutcome::Failed);
        return;
    }
    switch (kind_) {
        case RunKind::Memory:
            storeMemoryReply(reply);
            break;
        case RunKind::Version:
            versionReply(reply);
            break;
        case RunKind::Firmware:
            compareRecordReply(reply);
            break;
        case RunKind::Restart:
            endRun(RunOutcome::Completed);
            break;
    }
}

void TransferEngine::storeMemoryReply(const ReplyJudgement& reply) {
    state_ = TransferState::NextBlock;
    const std::span<const std::uint8_t, kBlockSize> payload(reply.payload.data(), kBlockSize);
    if (action_ == Action::ReadController) {
        storeBlock(image_, currentBlock_, payload);
        filled_.mark(currentBlock_);
    } else if (action_ == Action::Verify) {
        const bool cleanBefore = cleanVerification_;
        bool cleanHere = true;
        const CompareResult result = compareBlock(image_, currentBlock_, payload, ui_, cleanHere);
        cleanVerification_ = cleanBefore && cleanHere;
        if (!cleanHere && events_) events_->differenceFound(currentBlock_);
        if (result == CompareResult::EndRun) endRun(RunOutcome::Stopped);
    }
}

void TransferEngine::versionReply(const ReplyJudgement& reply) {
    firmwareText_ = firmwareTextOf(reply.payload[1], reply.payload[0], reply.payload[2]);
    if (events_) events_->firmwareKnown(firmwareText_);
    endRun(RunOutcome::Completed);
}

void TransferEngine::compareRecordReply(const ReplyJudgement& reply) {
    state_ = TransferState::NextBlock;
    const UpgradeRecord& record = records_[recordIndex_];
    bool told = false;
    for (std::size_t i = 0; i < record.length; ++i) {
        if (reply.payload[i] == record.data[i]) continue;
        cleanVerification_ = false;
        if (!told && events_) events_->differenceFound(record.address);
        told = true;
        const Answer a = ui_.messageBox(recordDifferenceText(recordIndex_), kFaultCaption, Icon::Warning,
                                        Buttons::AbortRetryIgnore);
        if (a == Answer::Abort) {
            endRun(RunOutcome::Stopped);
            return;
        }
        if (a == Answer::Retry) {
            // The record is compared whole again; what was ignored in this
            // reply no longer counts.
            state_ = TransferState::SendFrame;
            startRunOnLine();
            return;
        }
    }
    // Accepted with a difference let pass: the firmware may differ from the file.
    if (told) differenceIgnored_ = true;
}

void TransferEngine::nextBlock() {
    if (kind_ == RunKind::Memory) {
        const std::uint32_t firstBlock = 2 * firstScene_;
        const std::size_t total = 2 * (lastScene_ - firstScene_ + 1);
        ++currentBlock_;
        if (events_) events_->blockDone(currentBlock_ - firstBlock, total);
        if (currentBlock_ > 2 * lastScene_ + 1) {
            if (action_ == Action::Verify) {
                // The run is over while its summary is read: the status bar
                // and the progress bar say so, not the last block's progress.
                state_ = TransferState::Idle;
                ui_.repaint();
                showVerificationSummary();
            }
            endRun(RunOutcome::Completed);
            return;
        }
        if (currentBlock_ == kFirstSettingsBlock || currentBlock_ == kFirstMidiBlock) {
            region_ = regionOfBlock(currentBlock_);
            if (events_) events_->regionEntered(region_);
        }
        state_ = TransferState::SendFrame;
        if (events_) events_->stopPossible(true);
    } else if (kind_ == RunKind::Firmware) {
        ++recordIndex_;
        state_ = TransferState::SendFrame;
        const std::size_t count = records_.size();
        if (events_) events_->blockDone(recordIndex_, count);
        if (recordIndex_ >= count) {
            if (action_ == Action::WriteController) {
                action_ = Action::Verify;
                recordIndex_ = 0;
            } else {
                upgradeVerification_ = cleanVerification_   ? UpgradeVerification::Clean
                                       : differenceIgnored_ ? UpgradeVerification::WithDifferences
                                                            : UpgradeVerification::AgreedWhenReadAgain;
                showVerificationSummary();
                // The version query follows in the same run.
                kind_ = RunKind::Version;
                cleanVerification_ = true;
                currentBlock_ = 0;
                records_.clear();
                recordIndex_ = 0;
            }
            if (events_) events_->passStarted(kind_, action_);
        }
    } else {
        endRun(RunOutcome::Completed);
        return;
    }
    ui_.repaint();
}

void TransferEngine::showVerificationSummary() {
    if (cleanVerification_)
        ui_.messageBox(kCleanVerificationText, kCleanCaption, Icon::Information, Buttons::Ok);
    else
        ui_.messageBox(kVerificationWarningsText, kWarningsCaption, Icon::Information, Buttons::Ok);
}

}  // namespace velora
