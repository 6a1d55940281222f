// The pump rule: one tick at a time, none while a modal dialog is open,
// none re-entered, stale ticks dropped, no spinning while the line is
// waited for, and the progress bar reset once the engine is Idle.

#include <gtest/gtest.h>

#include <vector>

#include "shell/tick_pump.h"
#include "tests/support/manual_clock.h"

namespace velora {
namespace {

using namespace std::chrono_literals;

// An engine whose every step is written by the test.
class FakeTarget : public PumpTarget {
  public:
    TransferState state() const override { return current; }
    bool waitingOnLine() const override {
        return current == TransferState::AwaitWrite || current == TransferState::AwaitReply;
    }
    void tick(TransferState postedFor) override {
        ticked.push_back(postedFor);
        if (onTick) onTick();
    }
    bool takeProgressReset() override {
        const bool reset = progress != 0;
        progress = 0;
        return reset;
    }
    std::optional<TimePoint> nextDeadline() const override { return deadline; }
    void watchLine(std::function<void()> onActivity) override { activity = std::move(onActivity); }

    TransferState current = TransferState::Idle;
    int progress = 0;
    std::optional<TimePoint> deadline;
    std::vector<TransferState> ticked;
    std::function<void()> onTick;
    std::function<void()> activity;
};

class FakeHost : public PumpHost {
  public:
    void postTick() override { ++posted; }
    void armWakeUp(Duration delay) override { wakeUp = delay; }
    void cancelWakeUp() override { wakeUp.reset(); }
    bool modalOpen() const override { return modal; }
    void wakeWhenModalCloses() override { watchingModal = true; }
    void resetProgress() override { ++progressResets; }

    int posted = 0;
    std::optional<Duration> wakeUp;
    bool modal = false;
    bool watchingModal = false;
    int progressResets = 0;
};

class TickPumpTest : public ::testing::Test {
  protected:
    // Delivers the posted tick, as the event loop would.
    void deliver() {
        ASSERT_TRUE(pump.tickPending());
        pump.runPostedTick();
    }

    testing::ManualClock clock;
    FakeTarget target;
    FakeHost host;
    TickPump pump{target, host, clock};
};

TEST_F(TickPumpTest, IdleEnginePostsNothingAndResetsTheProgressOnce) {
    target.progress = 100;
    pump.wake();
    pump.wake();
    EXPECT_EQ(host.posted, 0);
    EXPECT_EQ(host.progressResets, 1);
    EXPECT_FALSE(host.wakeUp.has_value());
}

TEST_F(TickPumpTest, AtMostOneTickIsPending) {
    target.current = TransferState::SendFrame;
    pump.wake();
    pump.wake();
    pump.lineActivity();
    EXPECT_EQ(host.posted, 1);

    target.onTick = [&] { target.current = TransferState::NextBlock; };
    deliver();
    EXPECT_EQ(target.ticked, (std::vector<TransferState>{TransferState::SendFrame}));
    EXPECT_EQ(host.posted, 2);  // the next step follows behind the input queue
}

TEST_F(TickPumpTest, WaitingForTheLineSleepsUntilActivityOrTheDeadline) {
    target.current = TransferState::AwaitReply;
    target.deadline = clock.now() + 360ms;
    pump.wake();
    EXPECT_EQ(host.posted, 0);
    EXPECT_EQ(host.wakeUp, Duration(360ms));
    ASSERT_TRUE(target.activity);

    // The reply is in: the next tick polls the read.
    target.deadline = clock.now();
    target.activity();
    EXPECT_EQ(host.posted, 1);
    target.deadline = clock.now() + 360ms;
    deliver();
    EXPECT_EQ(target.ticked.size(), 1u);
    // Still waiting: back to sleep, no tick posted.
    EXPECT_EQ(host.posted, 1);

    // The deadline passes (even one already behind us never arms a zero wait).
    clock.advance(400ms);
    pump.wake();
    EXPECT_EQ(host.wakeUp, Duration(1ms));
    pump.wakeUpTime();
    EXPECT_EQ(host.posted, 2);
}

TEST_F(TickPumpTest, BytesThatCannotCompleteTheReadDoNotTick) {
    target.current = TransferState::AwaitReply;
    target.deadline = clock.now() + 360ms;
    pump.wake();
    // Part of the reply: the silence deadline moves, nothing to poll yet.
    clock.advance(10ms);
    target.deadline = clock.now() + 100ms;
    target.activity();
    EXPECT_EQ(host.posted, 0);
    EXPECT_EQ(host.wakeUp, Duration(100ms));
    // The rest: the line says a poll completes now.
    target.deadline = clock.now();
    target.activity();
    EXPECT_EQ(host.posted, 1);
    // A line that names no deadline gets a tick for every report.
    deliver();
    target.deadline.reset();
    target.activity();
    EXPECT_EQ(host.posted, 2);
}

TEST_F(TickPumpTest, WithoutADeadlineTheLineIsStillLookedAtNowAndThen) {
    target.current = TransferState::AwaitWrite;
    pump.wake();
    EXPECT_EQ(host.wakeUp, TickPump::kFallbackWakeUp);
    EXPECT_EQ(host.posted, 0);
}

TEST_F(TickPumpTest, AStaleTickIsDroppedAndAFreshOnePosted) {
    target.current = TransferState::NextBlock;
    pump.wake();
    // A command changes the state before the tick arrives (Retry, Repeat...).
    target.current = TransferState::SendFrame;
    deliver();
    EXPECT_TRUE(target.ticked.empty());
    EXPECT_EQ(pump.counters().stale, 1u);
    EXPECT_EQ(host.posted, 2);
    deliver();
    EXPECT_EQ(target.ticked, (std::vector<TransferState>{TransferState::SendFrame}));

    // Stop makes the engine Idle: the tick is dropped and nothing follows.
    target.onTick = nullptr;
    pump.wake();
    target.current = TransferState::Idle;
    deliver();
    EXPECT_EQ(target.ticked.size(), 1u);
    EXPECT_FALSE(pump.tickPending());
}

TEST_F(TickPumpTest, AModalDialogPausesTheEngineUntilItCloses) {
    target.current = TransferState::SendFrame;
    host.modal = true;
    pump.wake();
    EXPECT_EQ(host.posted, 0);
    EXPECT_TRUE(host.watchingModal);

    // A tick posted before the dialog opened does not run under it either.
    host.modal = false;
    pump.wake();
    host.modal = true;
    deliver();
    EXPECT_TRUE(target.ticked.empty());

    host.modal = false;
    pump.wake();  // the dialog closed
    deliver();
    EXPECT_EQ(target.ticked.size(), 1u);
}

TEST_F(TickPumpTest, ATickIsNeverReEntered) {
    target.current = TransferState::AwaitReply;
    pump.lineActivity();
    // The step shows a message box; its own event loop delivers line
    // activity, deadlines and even a stray tick meanwhile.
    target.onTick = [&] {
        pump.lineActivity();
        pump.wakeUpTime();
        pump.wake();
        pump.runPostedTick();
        EXPECT_EQ(target.ticked.size(), 1u);
    };
    deliver();
    EXPECT_EQ(target.ticked.size(), 1u);
    // The activity seen during the step is not lost: a poll follows.
    EXPECT_EQ(host.posted, 2);
}

TEST_F(TickPumpTest, TheRunEndingResetsTheProgressAndCancelsTheWakeUp) {
    target.current = TransferState::AwaitReply;
    target.deadline = clock.now() + 100ms;
    pump.wake();
    ASSERT_TRUE(host.wakeUp.has_value());
    target.onTick = [&] {
        target.current = TransferState::Idle;
        target.progress = 100;
    };
    pump.wakeUpTime();
    deliver();
    EXPECT_EQ(host.progressResets, 1);
    EXPECT_FALSE(host.wakeUp.has_value());
    EXPECT_FALSE(pump.tickPending());
}

}  // namespace
}  // namespace velora
