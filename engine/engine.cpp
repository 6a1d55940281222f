#include "engine/engine.h"

#include <algorithm>
#include <cerrno>

#include "engine/engine_texts.h"

namespace velora {

TransferEngine::TransferEngine(ControllerImage& image, FilledBlocks& filled, SerialLink& link,
                               UserInterface& ui, EngineEvents* events)
    : image_(image), filled_(filled), link_(link), ui_(ui), events_(events), firmwareText_(kNoFirmwareText) {}

// --- commands ---------------------------------------------------------------

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
            if (events_ && !listRun_) events_->repeatPossible(true);
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
        if (kind_ == RunKind::Memory && events_) events_->blockMoved(action_, currentBlock_);
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

void TransferEngine::versionReply(const ReplyJudgement& reply) {
    firmwareText_ = firmwareTextOf(reply.payload[1], reply.payload[0], reply.payload[2]);
    if (events_) events_->firmwareKnown(firmwareText_);
    endRun(RunOutcome::Completed);
}

void TransferEngine::nextBlock() {
    if (kind_ == RunKind::Memory) {
        if (!nextMemoryBlock()) return;
    } else if (kind_ == RunKind::Firmware) {
        nextRecord();
    } else {
        endRun(RunOutcome::Completed);
        return;
    }
    ui_.repaint();
}

void TransferEngine::showVerificationSummary() {
    if (cleanVerification_) {
        ui_.messageBox(kCleanVerificationText, kCleanCaption, Icon::Information, Buttons::Ok);
    } else if (kind_ == RunKind::Memory) {
        // Every difference seen, listed under the box with their count.
        const ImageDifferences seen = verificationDifferences();
        std::string list;
        for (const std::string& line : seen.lines()) list += (list.empty() ? "" : "\n") + line;
        ui_.messageBoxWithDetails(kVerificationWarningsText, kWarningsCaption, Icon::Information, Buttons::Ok,
                                  counted(seen.count(), "difference"), list);
    } else {
        ui_.messageBox(kVerificationWarningsText, kWarningsCaption, Icon::Information, Buttons::Ok);
    }
}

}  // namespace velora
