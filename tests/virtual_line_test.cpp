#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "emulator/controller_model.h"
#include "link/frames.h"
#include "tests/support/virtual_line.h"
#include "tests/support/virtual_port_factory.h"

namespace velora::testing {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const Bytes kAck{0x06, 0x03, 0xF7};
constexpr Duration kByte = kByteTime38400;

Bytes shortFrame(std::uint8_t code) {
    const ShortFrame f = buildShortFrame(code);
    return Bytes(f.begin(), f.end());
}

Bytes bytesOf(std::span<const std::uint8_t> s) {
    return Bytes(s.begin(), s.end());
}

// Waits (in virtual time) until the read is no longer pending.
IoStatus finishRead(SerialDevice& device) {
    IoStatus status = device.pollRead();
    for (int i = 0; i < 10000 && status.kind == IoStatus::Pending; ++i) {
        device.wait(1s);
        status = device.pollRead();
    }
    return status;
}

TEST(VirtualLine, ReadTimeOutsRunOnVirtualTime) {
    ManualClock clock;
    ControllerModel model;
    VirtualSerialDevice line(clock, &model);
    ASSERT_TRUE(line.configure(LineSettings{}));
    const TimePoint t0 = clock.now();

    // The probe goes out (3 bytes), the acknowledgement comes back (3 bytes):
    // a read of exactly 3 completes on the third byte.
    ASSERT_EQ(line.startWrite(shortFrame(kCodeProbe)), 0);
    line.startRead(3);
    EXPECT_EQ(line.pollRead().kind, IoStatus::Pending);
    const IoStatus ack = finishRead(line);
    ASSERT_EQ(ack.kind, IoStatus::Done);
    EXPECT_EQ(bytesOf(line.received()), kAck);
    EXPECT_EQ(clock.now() - t0, 6 * kByte);
    EXPECT_EQ(line.pollWrite().kind, IoStatus::Done);

    // Asking for 6 where 3 come: the read ends 100 ms after the last byte,
    // not a moment earlier, with the count it got.
    const TimePoint t1 = clock.now();
    line.startWrite(shortFrame(kCodeProbe));
    line.startRead(6);
    const TimePoint lastByte = t1 + 6 * kByte;
    clock.advanceTo(lastByte + 100ms - 1ns);
    EXPECT_EQ(line.pollWrite().kind, IoStatus::Done);
    EXPECT_EQ(line.pollRead().kind, IoStatus::Pending);
    EXPECT_EQ(line.nextDeadline(), lastByte + 100ms);
    clock.advanceTo(lastByte + 100ms);
    const IoStatus three = line.pollRead();
    ASSERT_EQ(three.kind, IoStatus::Done);
    EXPECT_EQ(three.count, 3u);
    EXPECT_EQ(bytesOf(line.received()), kAck);

    // A silent line: a read of 9 ends after 9 x 120 ms with nothing, and
    // received() holds nothing left over from the earlier read.
    VirtualSerialDevice silent(clock, nullptr);
    const TimePoint t2 = clock.now();
    silent.startWrite(shortFrame(kCodeVersionQuery));
    silent.startRead(9);
    EXPECT_EQ(silent.nextDeadline(), t2 + 3 * kByte);  // first the write completes
    clock.advance(1ms);
    EXPECT_EQ(silent.nextDeadline(), clock.now());  // a poll would report it: no sleeping
    EXPECT_EQ(silent.pollWrite().kind, IoStatus::Done);
    EXPECT_EQ(silent.nextDeadline(), t2 + 9 * 120ms);
    const IoStatus nothing = finishRead(silent);
    ASSERT_EQ(nothing.kind, IoStatus::Done);
    EXPECT_EQ(nothing.count, 0u);
    EXPECT_TRUE(silent.received().empty());
    EXPECT_EQ(clock.now(), t2 + 9 * 120ms);

    // Judged by arrival times, not by when the test polls: one jump of a
    // whole second gives the same answer as waiting step by step.
    const TimePoint t3 = clock.now();
    line.startWrite(shortFrame(kCodeProbe));
    line.startRead(6);
    clock.advance(1s);
    const IoStatus jumped = line.pollRead();
    EXPECT_EQ(jumped.count, 3u);
    EXPECT_GT(clock.now(), t3 + 6 * kByte + 100ms);
}

TEST(VirtualLine, DroppedLineFailsWithEioAndIsNeverSilence) {
    ManualClock clock;
    ControllerModel model;
    model.faults().add("drop@2");
    VirtualSerialDevice line(clock, &model);
    line.startWrite(shortFrame(kCodeProbe));
    line.startRead(3);
    ASSERT_EQ(finishRead(line).kind, IoStatus::Done);

    const TimePoint t0 = clock.now();
    line.startWrite(shortFrame(kCodeProbe));  // frame 2 takes the line away
    line.startRead(3);
    const IoStatus failed = finishRead(line);
    EXPECT_EQ(failed.kind, IoStatus::Failed);
    EXPECT_EQ(failed.error, EIO);
    EXPECT_EQ(clock.now() - t0, 3 * kByte);  // at once, not after the time-out...
    clock.advance(10s);
    EXPECT_EQ(line.pollRead().kind, IoStatus::Failed);  // ...and does not turn into one later
    EXPECT_TRUE(line.lineDropped());
    EXPECT_EQ(line.startWrite(shortFrame(kCodeProbe)), EIO);
    line.startRead(3);
    EXPECT_EQ(line.pollRead().error, EIO);

    // Pulling the plug of a silent line during a read.
    VirtualSerialDevice silent(clock, nullptr);
    silent.startRead(134);
    clock.advance(50ms);
    silent.dropLine();
    EXPECT_EQ(silent.pollRead().kind, IoStatus::Failed);
    EXPECT_EQ(silent.pollRead().error, EIO);
}

TEST(VirtualLine, LateAndExcessBytesStayUntilPurgeOrALaterRead) {
    ManualClock clock;
    ControllerModel model;
    model.faults().add("extra@1");
    model.faults().add("delay@2:ms=400");
    VirtualSerialDevice line(clock, &model);

    // The spare acknowledgement after the reply waits in the input...
    line.startWrite(shortFrame(kCodeProbe));
    line.startRead(3);
    ASSERT_EQ(finishRead(line).count, 3u);
    clock.advance(10ms);
    EXPECT_EQ(line.bytesWaiting(), 3u);
    // ...and a later read gets it, although nothing was sent.
    line.startRead(3);
    EXPECT_EQ(finishRead(line).count, 3u);
    EXPECT_EQ(bytesOf(line.received()), kAck);

    // A reply later than the read's whole time-out: the read ends empty at
    // 3 x 120 ms, the acknowledgement arrives afterwards and is purged.
    const TimePoint t0 = clock.now();
    line.startWrite(shortFrame(kCodeProbe));
    line.startRead(3);
    const IoStatus late = finishRead(line);
    EXPECT_EQ(late.count, 0u);
    EXPECT_EQ(clock.now(), t0 + 360ms);
    clock.advance(100ms);
    EXPECT_EQ(line.bytesWaiting(), 3u);
    line.purge();
    EXPECT_EQ(line.bytesWaiting(), 0u);
    line.startRead(3);
    EXPECT_EQ(finishRead(line).count, 0u);

    // Purge aborts what is pending.
    line.startRead(3);
    line.purge();
    EXPECT_EQ(line.pollRead().error, ECANCELED);
}

TEST(VirtualLine, PacingTurnaroundAndFrameGap) {
    ManualClock clock;
    ControllerModel model;
    LineTiming timing;
    timing.turnaround = 2ms;
    VirtualSerialDevice line(clock, &model, timing);

    // A block read: 6 bytes out, 134 back, at 11 bits a byte, plus turnaround.
    Bytes request(6);
    FrameBuffer buffer{};
    buildBlockRequest(buffer, false, kTypeMemory, 12, 128);
    std::copy_n(buffer.begin(), 6, request.begin());
    const TimePoint t0 = clock.now();
    line.startWrite(request);
    line.startRead(134);
    ASSERT_EQ(finishRead(line).count, 134u);
    EXPECT_EQ(clock.now() - t0, 140 * kByte + 2ms);
    EXPECT_TRUE(judgeDataReply(line.received(), 12).valid());
    EXPECT_EQ(line.log().writes.size(), 1u);

    // A frame cut short (the write purged half-way) is given up after a
    // silence, so the next probe is answered and not swallowed.
    FrameBuffer write{};
    const std::size_t n = buildBlockRequest(write, true, kTypeMemory, 3, 128, Bytes(128, 1));
    line.startWrite(std::span<const std::uint8_t>(write.data(), n));
    clock.advance(20 * kByte);
    line.purge();
    clock.advance(1s);
    line.pollRead();
    EXPECT_FALSE(model.midFrame());
    line.startWrite(shortFrame(kCodeProbe));
    line.startRead(3);
    EXPECT_EQ(finishRead(line).count, 3u);
    EXPECT_EQ(bytesOf(line.received()), kAck);
    EXPECT_EQ(model.block(3)[0], 0);

    // The activity handler hears about arriving bytes.
    int activity = 0;
    line.setActivityHandler([&] { ++activity; });
    line.startWrite(shortFrame(kCodeProbe));
    line.startRead(3);
    finishRead(line);
    EXPECT_GT(activity, 0);
}

TEST(VirtualLine, HeldRepliesComeOneAtEachRelease) {
    ManualClock clock;
    ControllerModel model;
    VirtualSerialDevice line(clock, &model, LineTiming{.byteTime = Duration::zero()});
    int activity = 0;
    line.setActivityHandler([&] { ++activity; });
    line.holdReplies(true);
    line.startWrite(shortFrame(kCodeProbe));
    line.startRead(6);
    clock.advance(300ms);
    EXPECT_EQ(line.pollWrite().kind, IoStatus::Done);
    EXPECT_EQ(line.pollRead().kind, IoStatus::Pending);
    EXPECT_EQ(line.bytesWaiting(), 0u);

    // The release wakes a pump, which polls the read on the silence after it.
    activity = 0;
    line.releaseReply();
    EXPECT_EQ(activity, 1);
    EXPECT_EQ(line.nextDeadline(), clock.now() + 100ms);
    clock.advance(100ms);
    EXPECT_EQ(line.nextDeadline(), clock.now());
    EXPECT_EQ(line.pollRead().count, 3u);
    EXPECT_EQ(bytesOf(line.received()), kAck);

    // A release ahead of the reply lets the next one through.
    line.releaseReply();
    line.startWrite(shortFrame(kCodeProbe));
    line.startRead(3);
    EXPECT_EQ(finishRead(line).count, 3u);

    // A purge forgets a held reply; letting go passes the one held since.
    line.startWrite(shortFrame(kCodeProbe));
    clock.advance(10ms);
    line.purge();
    line.startWrite(shortFrame(kCodeProbe));
    clock.advance(10ms);
    line.holdReplies(false);
    line.startRead(3);
    EXPECT_EQ(finishRead(line).count, 3u);
    EXPECT_EQ(line.bytesWaiting(), 0u);
}

TEST(VirtualLine, OnARealClockTheSilenceRuleRunsInRealTime) {
    SteadyClock clock;
    ControllerModel model;
    VirtualSerialDevice line(clock, &model, LineTiming{.byteTime = Duration::zero()});
    // Unpaced, the acknowledgement is there as soon as the probe is written.
    line.startWrite(shortFrame(kCodeProbe));
    line.startRead(3);
    const auto deadline = line.nextDeadline();
    ASSERT_TRUE(deadline.has_value());
    EXPECT_LE(*deadline, clock.now());
    EXPECT_EQ(line.pollWrite().kind, IoStatus::Done);
    EXPECT_EQ(line.pollRead().count, 3u);

    // 6 asked, 3 come: done 100 ms later, slept through rather than spun.
    const TimePoint start = clock.now();
    const int waits = line.log().waits;
    line.startWrite(shortFrame(kCodeProbe));
    line.pollWrite();
    line.startRead(6);
    EXPECT_EQ(finishRead(line).count, 3u);
    EXPECT_GE(clock.now() - start, 100ms);
    EXPECT_LT(clock.now() - start, 300ms);
    EXPECT_LE(line.log().waits - waits, 3);
}

// A whole-memory read: every block judged valid, the image equal to the
// controller's, and the virtual time exactly the line limit (286,720 bytes).
TEST(VirtualLine, WholeMemoryReadTakesTheLineLimit) {
    ManualClock clock;
    ControllerModel model;
    for (std::size_t i = 0; i < ControllerModel::kDataMemorySize; ++i)
        model.dataMemory()[i] = static_cast<std::uint8_t>(i * 13 + (i >> 7));
    VirtualSerialDevice line(clock, &model);
    const TimePoint t0 = clock.now();
    for (std::uint32_t block = 0; block < kBlocks; ++block) {
        FrameBuffer request{};
        const std::size_t n = buildBlockRequest(request, false, kTypeMemory, block, 128);
        ASSERT_EQ(line.startWrite(std::span<const std::uint8_t>(request.data(), n)), 0);
        line.startRead(134);
        ASSERT_EQ(finishRead(line).count, 134u);
        const auto reply = judgeDataReply(line.received(), block);
        ASSERT_TRUE(reply.valid()) << reply.errorText();
        ASSERT_TRUE(std::ranges::equal(reply.payload, model.block(block)));
    }
    EXPECT_EQ(clock.now() - t0, 286720 * kByte);
    EXPECT_NEAR(std::chrono::duration<double>(clock.now() - t0).count(), 82.13, 0.01);
}

// The controller search as the link runs it, over a factory's ports.
TEST(VirtualPortFactory, PortsOfEveryKindForTheSearch) {
    ManualClock clock;
    VirtualPortFactory ports(clock);
    ports.addUnopenable("COM1", EACCES);
    ports.addSilent("COM2");
    ports.addWrongAcknowledgement("COM3");
    ControllerModel& controller = ports.addController("COM4");
    ports.addController("COM5");
    ports.setConfigureFails("COM5");
    EXPECT_EQ(ports.enumerate(), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5"}));

    std::vector<std::string> answered;
    std::vector<int> openErrors;
    const TimePoint t0 = clock.now();
    const auto names = ports.enumerate();
    ASSERT_TRUE(names);
    for (const std::string& name : *names) {
        int error = 0;
        auto device = ports.open(name, error);
        if (!device) {
            openErrors.push_back(error);
            continue;
        }
        if (!device->configure(LineSettings{})) continue;
        device->purge();
        device->startWrite(shortFrame(kCodeProbe));
        device->startRead(3);
        if (finishRead(*device).kind == IoStatus::Done && isAcknowledgement(device->received()))
            answered.push_back(name);
    }
    EXPECT_EQ(answered, std::vector<std::string>{"COM4"});
    EXPECT_EQ(openErrors, std::vector<int>{EACCES});
    // The silent port cost its 360 ms; the others answered within milliseconds.
    EXPECT_GT(clock.now() - t0, 360ms);
    EXPECT_LT(clock.now() - t0, 380ms);
    EXPECT_EQ(ports.model("COM3")->faults().injected(), 1u);

    // One open at a time; the memory outlives the device.
    int error = 0;
    auto first = ports.open("COM4", error);
    ASSERT_TRUE(first);
    EXPECT_EQ(ports.openDevice("COM4"), first.get());
    EXPECT_FALSE(ports.open("COM4", error));
    EXPECT_EQ(error, EBUSY);
    controller.block(9)[0] = 0x77;
    first.reset();
    EXPECT_EQ(ports.openDevice("COM4"), nullptr);
    auto second = ports.open("COM4", error);
    ASSERT_TRUE(second);
    EXPECT_EQ(ports.log("COM4").opens, 3);
    EXPECT_EQ(ports.model("COM4")->block(9)[0], 0x77);

    // A dropped line: the port is gone until the controller is reconnected.
    controller.faults().add(FaultRule::at(FaultKind::Drop, controller.counters().frames + 1));
    second->startWrite(shortFrame(kCodeProbe));
    second->startRead(3);
    EXPECT_EQ(finishRead(*second).error, EIO);
    second.reset();
    EXPECT_FALSE(ports.open("COM4", error));
    EXPECT_EQ(error, ENOENT);
    controller.reconnect();
    EXPECT_TRUE(ports.open("COM4", error));
    EXPECT_FALSE(ports.open("COM9", error));
    EXPECT_EQ(error, ENOENT);

    ports.setEnumeration(std::nullopt);
    EXPECT_FALSE(ports.enumerate());
}

}  // namespace
}  // namespace velora::testing
