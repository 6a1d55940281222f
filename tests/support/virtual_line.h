#pragma once
// A serial line in virtual time, wired straight to the emulated controller:
// fast and deterministic, with the read and write semantics of the real port.
//
// Time moves only when a test (or `wait`) moves the VirtualClock. Bytes take
// their line time in both directions (38400 baud, 11 bits a byte, unless the
// timing says otherwise), and the controller answers each frame once its last
// byte has arrived. Everything is judged by the moments bytes arrive, not by
// when the test happens to poll: advancing the clock by a second and then
// polling gives the same answer as polling after every byte.
//
// A read of n bytes completes when n bytes have arrived, when more than the
// inter-byte time-out (100 ms) passes after a received byte, or when
// n x 120 ms have passed since it started; a time-out is not an error. Bytes
// the controller sent beyond what a read asked for stay in the input until a
// purge or a later read takes them. Once the line is dropped (a drop fault,
// or `dropLine`), pending and later operations fail with EIO (5); it is
// never taken for silence.
//
// After a purge, the aborted operations report Failed with ECANCELED.

#include <cerrno>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "emulator/controller_model.h"
#include "emulator/timed_controller.h"
#include "platform/clock.h"
#include "platform/read_rule.h"
#include "platform/serial.h"

namespace velora::testing {

class VirtualClock final : public Clock {
  public:
    explicit VirtualClock(TimePoint start = TimePoint(std::chrono::seconds(1))) : now_(start) {}
    TimePoint now() const override { return now_; }
    void advance(Duration by) { now_ += by; }
    // Moves to `t`; never backwards.
    void advanceTo(TimePoint t) {
        if (t > now_) now_ = t;
    }

  private:
    TimePoint now_;
};

class VirtualSerialDevice final : public SerialDevice {
  public:
    // `model` null: a line on which nothing answers. The clock and the model
    // must outlive the device.
    VirtualSerialDevice(VirtualClock& clock, ControllerModel* model, LineTiming timing = {});
    ~VirtualSerialDevice() override;
    VirtualSerialDevice(const VirtualSerialDevice&) = delete;
    VirtualSerialDevice& operator=(const VirtualSerialDevice&) = delete;

    bool configure(const LineSettings& settings) override;
    void purge() override;
    int startWrite(std::span<const std::uint8_t> bytes) override;
    IoStatus pollWrite() override;
    void startRead(std::size_t count) override;
    void startQuiet(Duration quiet, Duration limit) override;
    IoStatus pollRead() override;
    std::span<const std::uint8_t> received() const override { return received_; }
    // The pending read's next time-out, or the moment a pending write
    // finishes (a paced write never reaches its time-out).
    std::optional<TimePoint> nextDeadline() const override;
    void setActivityHandler(std::function<void()> handler) override { activity_ = std::move(handler); }
    // Advances virtual time until an operation pending at the call completes
    // (or the line drops), or by `timeout`, whichever is first. Returns at
    // once if one has already completed.
    void wait(Duration timeout) override;

    // --- for tests --------------------------------------------------------
    // The earliest moment at which anything on the line changes.
    std::optional<TimePoint> nextEvent() const;
    // Pulls the plug now.
    void dropLine();
    bool lineDropped() const;
    // Bytes that have arrived and wait in the input (excess, late replies).
    std::size_t bytesWaiting() const;
    // Every write the PC started, in order.
    const std::vector<std::vector<std::uint8_t>>& writes() const { return writes_; }
    const LineSettings& settings() const { return settings_; }
    void setConfigureFails(bool fails) { configureFails_ = fails; }
    // Called once when the device is destroyed (the port is closed).
    void setCloseHandler(std::function<void()> handler) { onClose_ = std::move(handler); }

  private:
    enum class OpState { None, Pending, Done, Failed };
    struct WriteOp {
        OpState state = OpState::None;
        std::size_t count = 0;
        TimePoint doneAt{};
        int error = 0;
    };
    struct ReadOp {
        OpState state = OpState::None;
        ReadRule rule;
        TimePoint start{};
        std::vector<std::uint8_t> bytes;
        int error = 0;
    };

    // Brings the line up to the clock's now. Logically const: it only works
    // out what has already happened by now.
    void process() const;
    void beginRead(ReadRule rule);
    void evaluateRead(TimePoint limit) const;
    void completeRead() const;
    std::optional<TimePoint> dropTime() const;
    IoStatus statusOf(OpState state, std::size_t count, int error) const;

    VirtualClock& clock_;
    LineSettings settings_;
    LineTiming timing_;
    bool configureFails_ = false;
    std::function<void()> activity_;
    std::function<void()> onClose_;
    std::vector<std::vector<std::uint8_t>> writes_;

    // The simulated line, worked out lazily up to the clock's now.
    mutable std::unique_ptr<TimedController> controller_;  // null: nothing answers
    mutable std::deque<TimedByte> outbound_;               // PC -> controller, stamped with arrival
    mutable std::deque<TimedByte> inbound_;                // controller -> PC, stamped with arrival
    mutable TimePoint hostTxFree_{};
    mutable TimePoint processedUpTo_{};
    mutable std::optional<TimePoint> manualDrop_;
    mutable WriteOp write_;
    mutable ReadOp read_;
    mutable std::vector<std::uint8_t> received_;
    mutable bool activityDue_ = false;
};

}  // namespace velora::testing
