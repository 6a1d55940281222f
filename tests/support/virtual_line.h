#pragma once
// The serial line of the tests, wired straight to the emulated controller:
// fast and deterministic, with the read and write semantics of the real port.
//
// On a ManualClock, time moves only when the test (or `wait`) moves it.
// Bytes take their line time in both directions (38400 baud, 11 bits a
// byte, unless the timing says otherwise), and the controller answers each
// frame once its last byte has arrived. Everything is judged by the moments
// bytes arrive, not by when the test happens to poll: advancing the clock by
// a second and then polling gives the same answer as polling after every
// byte. On a real clock (the window tests, on the Qt event loop) the same
// rules run in real time; unpaced (byte time 0), replies are there at once.
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
//
// While replies are held, what the controller answers to each frame is kept
// back until the test releases it, one reply per release; a release given
// before the reply exists lets the next one through. A purge forgets held
// replies, so a later exchange never sees them.

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
#include "tests/support/manual_clock.h"

namespace velora::testing {

// One port as a test sees it across its opens: the failures scripted for it
// and what was done to it. Shared by every device opened on the port, so a
// test can look after the port was closed.
struct PortRecord {
    // --- scripted failures
    bool configureFails = false;
    int writeStartError = 0;  // startWrite returns this error number
    int writeError = 0;       // the write fails with this when it would have completed
    int readError = 0;        // every read fails with this at once

    // --- the log
    int opens = 0;
    int closes = 0;
    int purges = 0;
    int waits = 0;
    std::vector<std::size_t> reads;  // counts asked for
    std::vector<std::vector<std::uint8_t>> writes;

    bool isOpen() const { return opens > closes; }
};

class VirtualSerialDevice final : public SerialDevice {
  public:
    // `model` null: a line on which nothing answers. The clock and the model
    // must outlive the device. `wait` moves a ManualClock; on any other
    // clock it sleeps.
    VirtualSerialDevice(ManualClock& clock, ControllerModel* model, LineTiming timing = {},
                        std::shared_ptr<PortRecord> port = nullptr);
    VirtualSerialDevice(const Clock& clock, ControllerModel* model, LineTiming timing = {},
                        std::shared_ptr<PortRecord> port = nullptr);
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
    // Now while an operation has completed and not yet been polled; else the
    // pending read's next time-out, or the moment a pending write finishes
    // (a paced write never reaches its time-out).
    std::optional<TimePoint> nextDeadline() const override;
    void setActivityHandler(std::function<void()> handler) override { activity_ = std::move(handler); }
    // On a ManualClock, advances time until an operation pending at the call
    // completes (or the line drops), or by `timeout`, whichever is first. On
    // another clock, sleeps until the line's next event or for `timeout`.
    void wait(Duration timeout) override;

    // --- for tests --------------------------------------------------------
    // Pulls the plug now.
    void dropLine();
    bool lineDropped() const;
    // Bytes that have arrived and wait in the input (excess, late replies).
    std::size_t bytesWaiting() const;
    const PortRecord& log() const { return *port_; }
    // Holds the controller's replies back, or lets them (and every held one)
    // through again.
    void holdReplies(bool hold);
    // Gives the next held reply to the line (or lets the next one through)
    // and tells the activity handler, as arriving bytes do.
    void releaseReply();

  private:
    enum class OpState { None, Pending, Done, Failed };
    struct Operation {
        OpState state = OpState::None;
        int error = 0;
        bool polled = false;  // its end has been reported
    };
    struct WriteOp : Operation {
        std::size_t count = 0;
        TimePoint doneAt{};
    };
    struct ReadOp : Operation {
        ReadRule rule;
        TimePoint start{};
        std::vector<std::uint8_t> bytes;
    };

    // Brings the line up to the clock's now. Logically const: it only works
    // out what has already happened by now.
    void process() const;
    // Moves what the controller has sent since the last call aside as one
    // reply, then gives the line every reply that may pass, no earlier than
    // `from`.
    void takeReply() const;
    void passReplies(TimePoint from) const;
    void beginRead(ReadRule rule);
    void evaluateRead(TimePoint limit) const;
    void completeRead() const;
    std::optional<TimePoint> dropTime() const;
    // The earliest moment at which anything on the line changes.
    std::optional<TimePoint> nextEvent() const;
    // The status of `op` for a poll, which hears of it.
    IoStatus report(Operation& op, std::size_t count);

    const Clock& clock_;
    ManualClock* manual_ = nullptr;  // set when `wait` may move the clock
    LineTiming timing_;
    LineSettings settings_;
    std::shared_ptr<PortRecord> port_;
    std::function<void()> activity_;
    bool hold_ = false;

    // The simulated line, worked out lazily up to the clock's now.
    mutable std::unique_ptr<TimedController> controller_;  // null: nothing answers
    mutable std::deque<TimedByte> outbound_;               // PC -> controller, stamped with arrival
    mutable std::deque<TimedByte> inbound_;                // controller -> PC, stamped with arrival
    mutable std::deque<std::vector<TimedByte>> held_;      // replies not yet on the line
    mutable int releases_ = 0;                             // replies the test let through ahead
    mutable TimePoint hostTxFree_{};
    mutable TimePoint processedUpTo_{};
    mutable std::optional<TimePoint> manualDrop_;
    mutable WriteOp write_;
    mutable ReadOp read_;
    mutable std::vector<std::uint8_t> received_;
    mutable bool activityDue_ = false;
};

}  // namespace velora::testing
