// The firmware run of an upgrade: the install pass sends every record, the
// verification pass reads each back and compares it with the file's, and
// the version query ends the run.

#include "engine/engine.h"
#include "engine/engine_texts.h"

namespace velora {

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

std::size_t TransferEngine::currentRecordLength() const {
    if (kind_ != RunKind::Firmware || recordIndex_ >= records_.size()) return 0;
    return records_[recordIndex_].length;
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

void TransferEngine::nextRecord() {
    ++recordIndex_;
    state_ = TransferState::SendFrame;
    const std::size_t count = records_.size();
    if (events_) events_->blockDone(recordIndex_, count);
    if (recordIndex_ < count) return;
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

}  // namespace velora
