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
        host_.cancelWakeUp();
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
        ++counters_.wakeUps;
        host_.armWakeUp(std::max(delay, kShortestWakeUp));
        return;
    }
    post();
}

void TickPump::lineActivity() {
    lineMoved_ = true;
    wake();
}

void TickPump::wakeUpTime() {
    lineMoved_ = true;
    wake();
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
