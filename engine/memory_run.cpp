// Memory runs: a region, "&All" or a list of blocks written to, read from
// or verified against the controller, the range dialog and the question
// before writing blocks never filled, and where a read stopped early.

#include <algorithm>

#include "engine/engine.h"
#include "engine/engine_texts.h"
#include "image/compare.h"

namespace velora {

namespace {

bool isFileAction(Action a) {
    return a == Action::FileRead || a == Action::FileWrite;
}

}  // namespace

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
    listRun_ = false;
    readInto_ = nullptr;
    blocks_.clear();
    for (std::uint32_t b = 2 * firstScene_; b <= 2 * lastScene_ + 1; ++b) blocks_.push_back(b);
    if (action == Action::WriteController && !confirmWriteOfUnfilled()) {
        wholeImage_ = false;
        outcome_ = RunOutcome::Stopped;
        return;
    }
    startMemoryRun();
}

void TransferEngine::startAll(Action action) {
    if (!idle()) return;
    wholeImage_ = true;
    startRun(Region::Scenes, action);
}

void TransferEngine::startBlockRun(std::vector<std::uint32_t> blocks, Action action,
                                   ControllerImage* readInto) {
    if (!idle() || isFileAction(action) || action == Action::NoAction || blocks.empty()) return;
    for (std::uint32_t b : blocks)
        if (b >= kBlocks) return;
    action_ = action;
    if (!prepareLine()) {
        outcome_ = RunOutcome::Failed;
        return;
    }
    kind_ = RunKind::Memory;
    wholeImage_ = false;
    cleanVerification_ = true;
    listRun_ = true;
    readInto_ = readInto;
    blocks_ = std::move(blocks);
    region_ = regionOfBlock(blocks_.front());
    // "&Repeat" repeats the range runs of the menus, not this list.
    lastAction_ = Action::NoAction;
    if (events_) events_->repeatPossible(false);
    if (action == Action::WriteController && !confirmWriteOfUnfilled()) {
        outcome_ = RunOutcome::Stopped;
        return;
    }
    startMemoryRun();
}

void TransferEngine::startMemoryRun() {
    if (action_ == Action::Verify) differing_.reset();
    blockIndex_ = 0;
    currentBlock_ = blocks_.front();
    state_ = TransferState::SendFrame;
    startRunOnLine();
    outcome_ = RunOutcome::Running;
    if (events_) events_->runStarted(kind_, action_, region_);
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
    // The range stays as the last range run left it.
    listRun_ = false;
    readInto_ = nullptr;
    blocks_.clear();
    for (std::uint32_t b = 2 * firstScene_; b <= 2 * lastScene_ + 1; ++b) blocks_.push_back(b);
    if (action_ == Action::WriteController && !confirmWriteOfUnfilled()) {
        outcome_ = RunOutcome::Stopped;
        return true;
    }
    cleanVerification_ = true;
    startMemoryRun();
    return true;
}

// Blocks the program never filled hold zeros, not a show: writing them
// would replace the controller's own with empty ones. The user decides,
// once for the whole run; No is the default.
bool TransferEngine::confirmWriteOfUnfilled() {
    const std::string unfilled = filled_.describeUnfilled(blocks_);
    if (unfilled.empty()) return true;
    return ui_.messageBox(unfilledWriteQuestion(unfilled), kWarningCaption, Icon::Question, Buttons::YesNo,
                          Answer::No) == Answer::Yes;
}

// Keeps, per data region, where the last read from the controller stopped
// when it stopped before the region's end, a region that the read never
// reached included; a read that went through to the end of that stretch
// clears it.
void TransferEngine::noteReadEnd(RunOutcome outcome) {
    if (outcome_ != RunOutcome::Running || action_ != Action::ReadController || kind_ != RunKind::Memory ||
        listRun_)
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

void TransferEngine::storeMemoryReply(const ReplyJudgement& reply) {
    state_ = TransferState::NextBlock;
    const std::span<const std::uint8_t, kBlockSize> payload(reply.payload.data(), kBlockSize);
    if (action_ == Action::ReadController) {
        if (readInto_ != nullptr) {
            storeBlock(*readInto_, currentBlock_, payload);
        } else {
            storeBlock(image_, currentBlock_, payload);
            filled_.mark(currentBlock_);
        }
        if (events_) events_->blockMoved(action_, currentBlock_);
    } else if (action_ == Action::Verify) {
        const bool cleanBefore = cleanVerification_;
        bool cleanHere = true;
        const CompareResult result = compareBlock(image_, currentBlock_, payload, ui_, cleanHere);
        cleanVerification_ = cleanBefore && cleanHere;
        if (!cleanHere) {
            noteDifference(payload);
            if (events_) events_->differenceFound(currentBlock_);
        }
        if (events_) events_->blockMoved(action_, currentBlock_);
        if (result == CompareResult::EndRun) endRun(RunOutcome::Stopped);
    }
}

// Keeps the block where the verification found a difference, the image's
// beside the controller's, for the list of every difference seen. The
// verification takes a slow mode by on and off alone: so does the list.
void TransferEngine::noteDifference(std::span<const std::uint8_t, kBlockSize> read) {
    if (!differing_) differing_ = std::make_unique<DifferingBlocks>();
    copyBlock(differing_->held, image_, currentBlock_);
    differing_->held.slowMode = differing_->held.slowMode != 0 ? 0xFFFF : 0;
    storeBlock(differing_->read, currentBlock_, read);
}

ImageDifferences TransferEngine::verificationDifferences() const {
    if (!differing_) return {};
    return differencesBetween(differing_->held, differing_->read);
}

// The next block of a memory run; false once the run has ended.
bool TransferEngine::nextMemoryBlock() {
    ++blockIndex_;
    if (events_) events_->blockDone(blockIndex_, blocks_.size());
    if (blockIndex_ >= blocks_.size()) {
        if (action_ == Action::Verify) {
            // The run is over while its summary is read: the status bar
            // and the progress bar say so, not the last block's progress.
            state_ = TransferState::Idle;
            ui_.repaint();
            showVerificationSummary();
        }
        endRun(RunOutcome::Completed);
        return false;
    }
    currentBlock_ = blocks_[blockIndex_];
    if (regionOfBlock(currentBlock_) != region_) {
        region_ = regionOfBlock(currentBlock_);
        if (events_) events_->regionEntered(region_);
    }
    state_ = TransferState::SendFrame;
    if (events_) events_->stopPossible(true);
    return true;
}

}  // namespace velora
