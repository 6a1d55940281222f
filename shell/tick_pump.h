#pragma once
// The rule that drives the transfer engine from the window's event loop:
// one engine step per posted tick, at most one tick pending, never while a
// modal dialog is open, never re-entered, and no spinning while the engine
// waits for the line (the next tick is posted when the line reports
// activity or when its next deadline passes).

#include <cstdint>
#include <functional>
#include <optional>

#include "engine/engine.h"
#include "platform/clock.h"

namespace velora {

// What the pump drives: the engine and its line.
class PumpTarget {
  public:
    virtual ~PumpTarget() = default;
    virtual TransferState state() const = 0;
    // True while the next step can only progress once bytes move or a
    // deadline passes.
    virtual bool waitingOnLine() const = 0;
    virtual void tick(TransferState postedFor) = 0;
    // True once after a run ended with the progress bar away from 0.
    virtual bool takeProgressReset() = 0;
    virtual std::optional<TimePoint> nextDeadline() const = 0;
    // Asks the open line to call `onActivity` whenever bytes move.
    virtual void watchLine(std::function<void()> onActivity) = 0;
};

// What the pump needs of the event loop.
class PumpHost {
  public:
    virtual ~PumpHost() = default;
    // Posts one tick behind the input already queued; it arrives as
    // TickPump::runPostedTick.
    virtual void postTick() = 0;
    // Calls TickPump::wakeUpTime after `delay`, replacing an earlier request.
    virtual void armWakeUp(Duration delay) = 0;
    virtual void cancelWakeUp() = 0;
    // True while a modal dialog or message box is open.
    virtual bool modalOpen() const = 0;
    // Calls TickPump::wake once the open modal dialogs have closed.
    virtual void wakeWhenModalCloses() = 0;
    // Puts the progress bar back to 0.
    virtual void resetProgress() = 0;
};

class TickPump {
  public:
    // While the line names no deadline, the pump still looks at it this
    // often, so a missed activity report cannot stall a run.
    static constexpr Duration kFallbackWakeUp = std::chrono::milliseconds(100);

    TickPump(PumpTarget& target, PumpHost& host, const Clock& clock);

    // Something may have changed (a command ran, a dialog closed): post a
    // tick, wait for the line, or, when Idle, reset the progress once.
    void wake();
    // The line reported bytes written or arrived. A tick follows when the
    // line names no deadline or one already reached; the line's deadline is
    // expected to come to now as soon as a poll would complete.
    void lineActivity();
    // The wake-up armed for a line deadline has come.
    void wakeUpTime();
    // The posted tick has arrived.
    void runPostedTick();

    bool tickPending() const { return pending_; }

    struct Counters {
        std::uint64_t ticks = 0;     // engine steps run
        std::uint64_t stale = 0;     // ticks dropped because the state changed
        std::uint64_t deferred = 0;  // ticks held back by a modal dialog
        std::uint64_t wakeUps = 0;   // deadline wake-ups armed
    };
    const Counters& counters() const { return counters_; }

  private:
    void post();
    void armWakeUp(Duration delay);
    void cancelWakeUp();

    PumpTarget& target_;
    PumpHost& host_;
    const Clock& clock_;
    bool pending_ = false;
    TransferState postedFor_ = TransferState::Idle;
    bool inTick_ = false;
    bool lineMoved_ = false;
    std::optional<TimePoint> armedFor_;  // when the armed wake-up comes
    Counters counters_;
};

}  // namespace velora
