#include "shell/tick_pump.h"

#include <algorithm>

namespace velora {

namespace {

// A wake-up is never shorter than this, so a deadline already past cannot
// turn the loop into a spin.
constexpr Duration kShortestWakeUp = std::chrono::milliseconds(1);

}  // namespace

TickPump::TickPump(PumpTarget& target, PumpHost& host, const Clock& clock)
    : target_(target), host_(host), clock_(clock) {}

void TickPump::wake() {
    // A tick in progress decides what follows once it returns; a posted tick
    // is already on its way.
    if (inTick_ || pending_) return;

    if (target_.state() == TransferState::Idle) {
        cancelWakeUp();
        lineMoved_ = false;
        if (target_.takeProgressReset()) host_.resetProgress();
        return;
    }
    if (host_.modalOpen()) {
        ++counters_.deferred;
        host_.wakeWhenModalCloses();
        return;
    }
    if (target_.waitingOnLine() && !lineMoved_) {
        target_.watchLine([this] { lineActivity(); });
        Duration delay = kFallbackWakeUp;
        if (const auto deadline = target_.nextDeadline()) delay = *deadline - clock_.now();
        armWakeUp(delay);
        return;
    }
    post();
}

void TickPump::lineActivity() {
    // Bytes that do not complete the operation cannot move the engine on: a
    // line that names a deadline still ahead brings it to now once a poll
    // would complete. Sleep on until then rather than tick for every byte.
    if (!inTick_ && !pending_ && target_.waitingOnLine() && !host_.modalOpen()) {
        const auto deadline = target_.nextDeadline();
        const TimePoint now = clock_.now();
        if (deadline && *deadline > now) {
            // A wake-up already due earlier stays: it only polls once more.
            if (!armedFor_ || *armedFor_ > *deadline) armWakeUp(*deadline - now);
            return;
        }
    }
    lineMoved_ = true;
    wake();
}

void TickPump::wakeUpTime() {
    armedFor_.reset();
    lineMoved_ = true;
    wake();
}

void TickPump::armWakeUp(Duration delay) {
    delay = std::max(delay, kShortestWakeUp);
    armedFor_ = clock_.now() + delay;
    ++counters_.wakeUps;
    host_.armWakeUp(delay);
}

void TickPump::cancelWakeUp() {
    armedFor_.reset();
    host_.cancelWakeUp();
}

void TickPump::post() {
    lineMoved_ = false;
    pending_ = true;
    postedFor_ = target_.state();
    host_.postTick();
}

void TickPump::runPostedTick() {
    if (inTick_) return;  // a tick never re-enters the engine
    pending_ = false;
    if (host_.modalOpen()) {
        ++counters_.deferred;
        host_.wakeWhenModalCloses();
        return;
    }
    if (target_.state() != postedFor_) {
        // A command changed the state since this tick was posted.
        ++counters_.stale;
        wake();
        return;
    }
    inTick_ = true;
    ++counters_.ticks;
    target_.tick(postedFor_);
    inTick_ = false;
    wake();
}

}  // namespace velora
