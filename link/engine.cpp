#include "link/engine.h"

#include <cerrno>

#include "files/file_step.h"
#include "image/compare.h"

namespace velora {

const char* regionText(Region region) {
    switch (region) {
        case Region::Scenes: return "\tScenes";
        case Region::Settings: return "\tSettings";
        case Region::Midi: return "\tMIDI";
        case Region::Version: return "\tVersion";
        case Region::Firmware: return "\tFirmWare";
        case Region::Restart: break;
    }
    return "\tN/A";
}

const char* actionText(Action action) {
    switch (action) {
        case Action::WriteController: return "\tWriting to Kq318";
        case Action::ReadController: return "\tReading from Kq318";
        case Action::Verify: return "\tVeryfication";
        case Action::FileRead: return "\tFile reading";
        case Action::FileWrite: return "\tFile writing";
        case Action::NoAction: break;
    }
    return "\tN/A";
}

std::string firmwareTextOf(std::uint8_t major, std::uint8_t minor, std::uint8_t suffix) {
    std::string version;
    if (major > 9) {
        version = "?.??X";
    } else {
        version = std::string(1, static_cast<char>('0' + major)) + ".";
        if (minor <= 99) {
            version += static_cast<char>('0' + minor / 10);
            version += static_cast<char>('0' + minor % 10);
        } else {
            version += "??X";
        }
    }
    const bool letter = (suffix >= 'A' && suffix <= 'Z') || (suffix >= 'a' && suffix <= 'z');
    if (letter) version = version.substr(0, 4) + static_cast<char>(suffix);
    return "\tFW : " + version;
}

namespace {
bool isMemoryRegion(Region r) { return r == Region::Scenes || r == Region::Settings || r == Region::Midi; }
}  // namespace

TransferEngine::TransferEngine(ControllerImage& image, SerialLink& link, UserInterface& ui)
    : image_(image), link_(link), ui_(ui) {}

// --- commands ---------------------------------------------------------------

void TransferEngine::startRun(Region region, Action action) {
    if (!idle()) return;
    v_.action = action;
    const bool fileRun = v_.action == Action::FileRead || v_.action == Action::FileWrite;
    v_.state = fileRun ? TransferState::FileStep : TransferState::SendFrame;
    if (!link_.isOpen() && !fileRun) {
        ui_.messageBox("You have to choise an accessible comm port !", "Warning", Icon::Warning, Buttons::Ok);
        v_.state = TransferState::Idle;
        v_.wholeImage = false;
        outcome_ = RunOutcome::Failed;
        return;
    }
    outcome_ = RunOutcome::Running;
    // What a stopped or failed run left on its way in must not be taken for
    // the first reply of this one.
    if (!fileRun) link_.purge();
    v_.cleanVerification = true;
    v_.region = region;
    v_.lastRegion = region;
    v_.lastAction = v_.action;
    switch (region) {
        case Region::Scenes:
            if (v_.firstScene > kScenes - 1) v_.firstScene = 0;
            if (v_.lastScene < v_.firstScene || v_.lastScene > kScenes - 1) v_.lastScene = kScenes - 1;
            if (!v_.wholeImage && !fileRun && !ui_.sceneRangeDialog(v_.firstScene, v_.lastScene)) {
                v_.state = TransferState::Idle;
                outcome_ = RunOutcome::Stopped;
                return;
            }
            if (v_.wholeImage) {
                v_.firstScene = 0;
                v_.lastScene = kMidiPseudoScene;
            }
            break;
        case Region::Settings: v_.firstScene = v_.lastScene = kSettingsPseudoScene; break;
        case Region::Midi: v_.firstScene = v_.lastScene = kMidiPseudoScene; break;
        default: break;
    }
    v_.currentBlock = 2 * v_.firstScene;
}

void TransferEngine::startAll(Action action) {
    if (!idle()) return;
    v_.wholeImage = true;
    startRun(Region::Scenes, action);
}

void TransferEngine::repeat() {
    if (!idle() || v_.lastAction == Action::NoAction) return;
    link_.purge();  // as at the start of any run on the line
    v_.action = v_.lastAction;
    v_.region = v_.lastRegion;
    v_.currentBlock = 2 * v_.firstScene;
    v_.cleanVerification = true;
    v_.state = TransferState::SendFrame;
    outcome_ = RunOutcome::Running;
}

void TransferEngine::stop() {
    if (!idle()) outcome_ = RunOutcome::Stopped;
    v_.state = TransferState::Idle;
    v_.wholeImage = false;
    ui_.enableActionEntry(kStopEntry, false);
    link_.purge();
    ui_.repaint();
}

void TransferEngine::restart() {
    v_.wholeImage = false;  // a run it abandons ends here
    ui_.enableActionEntry(kStopEntry, false);
    link_.purge();
    v_.region = Region::Restart;
    v_.state = TransferState::SendFrame;
    outcome_ = RunOutcome::Running;
}

void TransferEngine::startVersionQuery() {
    v_.wholeImage = false;  // a run it abandons ends here
    link_.purge();
    v_.region = Region::Version;
    v_.currentBlock = 0;
    v_.state = TransferState::SendFrame;
    outcome_ = RunOutcome::Running;
}

void TransferEngine::endRun(RunOutcome outcome) {
    outcome_ = outcome;
    v_.state = TransferState::Idle;
    v_.wholeImage = false;
    ui_.enableActionEntry(kStopEntry, false);
}

// --- ticks ------------------------------------------------------------------

void TransferEngine::tick(TransferState postedFor) {
    if (postedFor != v_.state) return;  // stale: a command changed the state since
    switch (v_.state) {
        case TransferState::Idle: break;
        case TransferState::SendFrame: sendFrame(); break;
        case TransferState::AwaitWrite: awaitWrite(); break;
        case TransferState::AwaitReply: awaitReply(); break;
        case TransferState::NextBlock: nextBlock(); break;
        case TransferState::FileStep: runFileStep(*this); break;
    }
}

bool TransferEngine::waitingOnLine() const {
    return (v_.state == TransferState::AwaitWrite && writeStartError_ == 0) || v_.state == TransferState::AwaitReply;
}

Request TransferEngine::currentRequest() const {
    const bool write = v_.action == Action::WriteController;
    switch (v_.region) {
        case Region::Version: return Request::VersionQuery;
        case Region::Restart: return Request::Restart;
        case Region::Firmware: return write ? Request::WriteFirmwareRecord : Request::ReadFirmwareRecord;
        default: return write ? Request::WriteMemoryBlock : Request::ReadMemoryBlock;
    }
}

void TransferEngine::sendFrame() {
    ui_.setStatusText(1, regionText(v_.region));
    const bool write = v_.action == Action::WriteController;
    switch (v_.region) {
        case Region::Scenes:
        case Region::Settings:
        case Region::Midi: {
            v_.payloadLength = write ? kBlockSize : 0;
            if (write) {
                const Block block = packBlock(image_, v_.currentBlock);
                sendLength_ = buildBlockRequest(send_, true, kTypeMemory, v_.currentBlock, kBlockSize, block);
            } else {
                sendLength_ = buildBlockRequest(send_, false, kTypeMemory, v_.currentBlock, kBlockSize);
            }
            ui_.enableActionEntry(kRepeatEntry, true);
            break;
        }
        case Region::Firmware: {
            if (v_.recordIndex >= v_.records.size()) {  // nothing left to send
                endRun();
                return;
            }
            const UpgradeRecord& record = v_.records[v_.recordIndex];
            v_.currentBlock = record.address;
            v_.payloadLength = write ? record.length : 0;
            sendLength_ = buildBlockRequest(send_, write, firmwareTypeByte(record.address), record.address,
                                            record.length, std::span<const std::uint8_t>(record.data.data(), record.length));
            break;
        }
        case Region::Version:
        case Region::Restart: {
            const ShortFrame f = buildShortFrame(v_.region == Region::Version ? kCodeVersionQuery : kCodeRestart);
            std::copy(f.begin(), f.end(), send_.begin());
            sendLength_ = f.size();
            break;
        }
    }
    SerialDevice* device = link_.device();
    // Without a port the write cannot even start; the failure is reported
    // by the next tick like any other failed write.
    writeStartError_ = device ? device->startWrite(std::span<const std::uint8_t>(send_.data(), sendLength_)) : EBADF;
    v_.state = TransferState::AwaitWrite;
}

void TransferEngine::awaitWrite() {
    SerialDevice* device = link_.device();
    IoStatus status = writeStartError_ != 0 ? IoStatus::failed(writeStartError_)
                      : device            ? device->pollWrite()
                                          : IoStatus::failed(EBADF);
    writeStartError_ = 0;
    if (status.kind == IoStatus::Pending) return;
    if (status.kind == IoStatus::Failed) {
        ui_.messageBox("Error code : " + std::to_string(status.error), "Fault", Icon::Error, Buttons::Ok);
        endRun();
        link_.purge();
        ui_.repaint();
        return;
    }
    if (v_.region == Region::Restart) {
        v_.state = TransferState::Idle;  // nothing comes back from a restart
        outcome_ = RunOutcome::Completed;
        return;
    }
    std::size_t recordLength = 0;
    if (v_.region == Region::Firmware && v_.recordIndex < v_.records.size())
        recordLength = v_.records[v_.recordIndex].length;
    v_.state = TransferState::AwaitReply;
    device->startRead(replyBytesFor(currentRequest(), recordLength));
}

void TransferEngine::awaitReply() {
    SerialDevice* device = link_.device();
    const IoStatus status = device ? device->pollRead() : IoStatus::failed(EBADF);
    if (status.kind == IoStatus::Pending) return;
    if (status.kind == IoStatus::Failed) {
        // Every failed read ends the run, a partial negative acknowledgement
        // included: polling a failed read again could never succeed.
        ui_.messageBox("Error code : " + std::to_string(status.error), "Fault", Icon::Error, Buttons::Ok);
        endRun();
        return;
    }
    const std::span<const std::uint8_t> received = device->received().first(std::min(status.count, device->received().size()));
    const bool writeFrame =
        v_.action == Action::WriteController && (isMemoryRegion(v_.region) || v_.region == Region::Firmware);
    if (writeFrame)
        judgeWriteReply(received);
    else
        judgeDataReply(received);
}

void TransferEngine::judgeWriteReply(std::span<const std::uint8_t> received) {
    if (isAcknowledgement(received)) {
        v_.state = TransferState::NextBlock;
        ui_.repaint();
        return;
    }
    askRetryOrCancel("Communication error : NAK", false);
}

void TransferEngine::askRetryOrCancel(const std::string& text, bool purgeBeforeResend) {
    if (ui_.messageBox(text, "Fault", Icon::Warning, Buttons::RetryCancel) == Answer::Retry) {
        // The rest of a bad reply may still have been on its way when the
        // line was purged before the question; what came in while the user
        // answered must not be read as the reply to the frame sent again.
        if (purgeBeforeResend) link_.purge();
        v_.state = TransferState::SendFrame;
    } else {
        endRun();
    }
}

void TransferEngine::judgeDataReply(std::span<const std::uint8_t> received) {
    const std::uint32_t expected = v_.region == Region::Version ? 0 : v_.currentBlock;
    const ReplyJudgement reply = velora::judgeDataReply(received, expected);
    if (!reply.valid()) {
        link_.purge();
        askRetryOrCancel(reply.errorText(), true);
        ui_.repaint();
        return;
    }
    v_.replyAddress = reply.address;
    std::size_t recordLength = 0;
    if (v_.region == Region::Firmware && v_.recordIndex < v_.records.size())
        recordLength = v_.records[v_.recordIndex].length;
    if (!replyMatchesRequest(reply, currentRequest(), recordLength)) {
        ui_.messageBox("Protocol error", "Fault", Icon::Warning, Buttons::Ok);
        v_.state = TransferState::Idle;  // "&Stop" keeps its state here
        v_.wholeImage = false;
        outcome_ = RunOutcome::Failed;
        ui_.repaint();
        return;
    }
    switch (v_.region) {
        case Region::Scenes:
        case Region::Settings:
        case Region::Midi: {
            v_.state = TransferState::NextBlock;
            const std::span<const std::uint8_t, kBlockSize> payload(reply.payload.data(), kBlockSize);
            if (v_.action == Action::ReadController) {
                storeBlock(image_, v_.currentBlock, payload);
            } else if (v_.action == Action::Verify) {
                if (compareBlock(image_, v_.currentBlock, payload, ui_, v_.cleanVerification) == CompareResult::EndRun) {
                    endRun(RunOutcome::Stopped);
                    ui_.repaint();
                }
            }
            break;
        }
        case Region::Version:
            v_.firmwareText = firmwareTextOf(reply.payload[1], reply.payload[0], reply.payload[2]);
            ui_.setStatusText(0, v_.firmwareText);
            setProgress(100);
            v_.state = TransferState::Idle;
            outcome_ = RunOutcome::Completed;
            ui_.repaint();
            break;
        case Region::Firmware: {
            v_.state = TransferState::NextBlock;
            const UpgradeRecord& record = v_.records[v_.recordIndex];
            for (std::size_t i = 0; i < record.length; ++i) {
                if (reply.payload[i] == record.data[i]) continue;
                v_.cleanVerification = false;
                const Answer a = ui_.messageBox(
                    "Upgrade veryfication error : line " + std::to_string(v_.recordIndex) +
                        "\n If veryfication doesn't succeed,\nyou have to repeat upgrade !!! \nContinue veryfication ?\n",
                    "Fault", Icon::Warning, Buttons::AbortRetryIgnore);
                if (a == Answer::Abort) {
                    endRun(RunOutcome::Stopped);
                    break;
                }
                if (a == Answer::Retry) {
                    v_.state = TransferState::SendFrame;
                    break;
                }
            }
            break;
        }
        case Region::Restart: v_.state = TransferState::Idle; break;
    }
}

void TransferEngine::nextBlock() {
    if (isMemoryRegion(v_.region)) {
        ++v_.currentBlock;
        if (v_.currentBlock == kFirstSettingsBlock) v_.region = Region::Settings;
        if (v_.currentBlock == kFirstMidiBlock) v_.region = Region::Midi;
        if (v_.currentBlock > 2 * v_.lastScene + 1) {
            v_.state = TransferState::Idle;
            v_.wholeImage = false;
            outcome_ = RunOutcome::Completed;
            if (v_.action == Action::Verify) showVerificationSummary();
            ui_.enableActionEntry(kStopEntry, false);
            ui_.repaint();
            return;
        }
        v_.state = TransferState::SendFrame;
        ui_.enableActionEntry(kStopEntry, true);
        v_.pendingProgress =
            static_cast<int>((v_.currentBlock - 2 * v_.firstScene) * 50u / (v_.lastScene - v_.firstScene + 1));
    } else if (v_.region == Region::Firmware) {
        ++v_.recordIndex;
        v_.state = TransferState::SendFrame;
        const std::size_t count = v_.records.size();
        if (v_.recordIndex >= count) {
            if (v_.action == Action::WriteController) {
                v_.action = Action::Verify;
                v_.recordIndex = 0;
            } else {
                showVerificationSummary();
                v_.region = Region::Version;
                v_.cleanVerification = true;
                v_.currentBlock = 0;
                v_.records.clear();
                v_.recordIndex = 0;
            }
        }
        v_.pendingProgress = count ? static_cast<int>(v_.recordIndex * 100 / count) : 0;
    } else {
        v_.state = TransferState::Idle;
        outcome_ = RunOutcome::Completed;
        return;
    }
    ui_.repaint();
    ui_.setProgress(v_.pendingProgress);
}

void TransferEngine::showVerificationSummary() {
    if (v_.cleanVerification)
        ui_.messageBox("Veryfication successfully finished !", "Sukces !", Icon::Information, Buttons::Ok);
    else
        ui_.messageBox("Veryfication finished with warnings !", "Sukces ?", Icon::Information, Buttons::Ok);
}

void TransferEngine::setProgress(int value) {
    v_.pendingProgress = value;
    ui_.setProgress(value);
}

std::string TransferEngine::statusText(int part) const {
    switch (part) {
        case 0: return v_.firmwareText;
        case 1: return regionText(v_.region);
        case 2: return idle() ? "\tReady" : actionText(v_.action);
        default: return {};
    }
}

bool TransferEngine::takeProgressReset() {
    if (v_.pendingProgress == 0) return false;
    v_.pendingProgress = 0;
    return true;
}

}  // namespace velora
