#pragma once
// The serial device over Qt SerialPort.
//
// Qt sets no read time-outs of its own, so the time-outs of the line are
// kept here, on the injected clock: a read completes when its count has
// arrived, when the line has been silent for longer than the inter-byte
// time-out after the first byte, or when count x per-byte time-out has
// passed; a write fails with ETIMEDOUT when it has not been handed to the
// driver within count x write time-out.
//
// The device makes progress whenever it is polled, so it works both with a
// running Qt event loop (readyRead and bytesWritten call the activity
// handler) and without one (the command-line program, the controller
// search), where wait() sleeps in the system until the line moves.
//
// A line that goes away (the device unplugged, the other end of a
// pseudo-terminal closed) fails the pending operation with EIO, and every
// later one too; it is never taken for silence.

#include <QSerialPort>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/read_rule.h"
#include "platform/serial.h"

namespace velora {

class QtSerialDevice final : public SerialDevice {
  public:
    explicit QtSerialDevice(const Clock& clock);
    ~QtSerialDevice() override;
    QtSerialDevice(const QtSerialDevice&) = delete;
    QtSerialDevice& operator=(const QtSerialDevice&) = delete;

    // Opens a port name or device path for reading and writing, exclusively,
    // and throws away whatever arrived before. The open device is locked, so
    // a second opener of ours is refused under any name. 0, or the error
    // number: ENOENT (no such device), EACCES (no permission), EBUSY (in
    // use), ENOTTY (not a serial device), EIO.
    int open(const std::string& name);

    bool configure(const LineSettings& settings) override;
    void purge() override;
    int startWrite(std::span<const std::uint8_t> bytes) override;
    IoStatus pollWrite() override;
    void startRead(std::size_t count) override;
    void startQuiet(Duration quiet, Duration limit) override;
    IoStatus pollRead() override;
    std::span<const std::uint8_t> received() const override { return received_; }
    std::optional<TimePoint> nextDeadline() const override;
    void setActivityHandler(std::function<void()> handler) override { activity_ = std::move(handler); }
    void wait(Duration timeout) override;

    // The error number that ended the line, or 0 while it is usable.
    int lineError() const { return lineError_; }

  private:
    enum class Phase { Idle, Pending, Done, Failed };
    struct WriteOperation {
        Phase phase = Phase::Idle;
        std::size_t count = 0;
        TimePoint deadline{};
        int error = 0;
    };
    struct ReadOperation {
        Phase phase = Phase::Idle;
        ReadRule rule;
        std::vector<std::uint8_t> bytes;
    };

    void onError(QSerialPort::SerialPortError error);
    TimePoint napEnd(TimePoint from, std::size_t toCome) const;
    bool beginNap();
    void endNap();
    // Lets Qt take in what the driver holds, without blocking.
    void pullFromLine();
    // Moves bytes from Qt's buffer into the pending read.
    void takeAvailable();
    bool hungUp() const;
    void loseLine(int error);
    void closeIfLost();
    void beginRead(ReadRule rule);
    void settleRead(TimePoint now);
    void settleWrite(TimePoint now);
    void notifyActivity();

    const Clock& clock_;
    QSerialPort port_;
    LineSettings settings_;
    WriteOperation write_;
    ReadOperation read_;
    std::vector<std::uint8_t> received_;
    std::size_t readCount_ = 0;  // bytes the last completed read took
    // Bytes of a reply that are waited for on the line itself, not napped over.
    static constexpr std::size_t kTailBytes = 6;
    bool napping_ = false;
    TimePoint napEnd_{};
    std::size_t held_ = 0;  // bytes in Qt's buffer since heldSince_, not yet taken
    TimePoint heldSince_{};
    int lineError_ = 0;
    bool closePending_ = false;
    bool opening_ = false;
    QSerialPort::SerialPortError openError_ = QSerialPort::NoError;  // the first error while opening
    std::function<void()> activity_;
};

}  // namespace velora
