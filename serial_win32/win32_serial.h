#pragma once
// The serial device over the Win32 communications calls, and the factory
// that lists and opens COM ports.
//
// The port is opened overlapped; writes and reads are started with WriteFile
// and ReadFile and only polled with GetOverlappedResult, never waited for,
// except in wait(). The system's read time-outs are set so that a read of the
// line returns at once with what the driver holds: when a read completes is
// decided here, by the shared read-completion rule on the injected clock.
//
// Windows error numbers are turned into the link's own kinds inside this
// device: a line that went away (the adapter unplugged, ERROR_ACCESS_DENIED
// or ERROR_DEVICE_NOT_CONNECTED on a read or write) fails the pending
// operation and every later one with EIO; a port held by another program is
// EBUSY, one that is not there ENOENT, one that is no serial port ENOTTY.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/read_rule.h"
#include "platform/serial.h"

namespace velora {

// The error number of the link for a Windows error of opening a port.
int openErrorFromWindows(DWORD error);
// The error number of the link for a Windows error of a read or write.
int lineErrorFromWindows(DWORD error);

// The device name CreateFile takes for a port name: "COM12" is
// "\\.\COM12"; a name that is a path already is kept.
std::string win32DeviceName(const std::string& port);

// The port names of the spooler's list ("COM1:", "LPT1:", "FILE:"), without
// the colon that ends them, then the `;`-separated names of `extra`
// (VELORA_PORTS), each once.
std::vector<std::string> portNames(const std::vector<std::string>& spooled, const std::string& extra);

class Win32SerialDevice final : public SerialDevice {
  public:
    explicit Win32SerialDevice(const Clock& clock);
    ~Win32SerialDevice() override;
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    // Opens the port for reading and writing, unshared and overlapped. 0, or
    // the link's error number.
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

  private:
    enum class Phase { Idle, Pending, Done, Failed };

    // One overlapped operation of the system, with its own event.
    struct Overlapped {
        OVERLAPPED record{};
        bool busy = false;
    };

    // Starts a system read of what the driver holds.
    void startLineRead();
    // Takes what a finished system read brought: its count, or
    // `std::nullopt` while it runs.
    std::optional<std::size_t> collectLineRead(TimePoint now);
    // Moves bytes that came before the read started into it.
    void takeSpare(TimePoint now);
    void take(const std::uint8_t* bytes, std::size_t n, TimePoint at);
    void advanceRead();
    void settleRead(TimePoint now);
    void loseLine(int error);
    // Aborts and forgets both system operations.
    void abortAll();
    void notifyActivity();

    const Clock& clock_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
    LineSettings settings_;

    Overlapped writeIo_;
    std::vector<std::uint8_t> writeBytes_;
    Phase writePhase_ = Phase::Idle;
    std::size_t writeCount_ = 0;
    int writeError_ = 0;
    TimePoint writtenAt_{};         // when the last frame was handed over
    std::size_t writtenCount_ = 0;  // its size, until a read of its reply starts
    std::size_t replyTo_ = 0;       // the size of the frame the pending read answers
    bool fasterThanLine_ = false;   // bytes came faster than the line's rate

    Overlapped readIo_;
    std::vector<std::uint8_t> lineBuffer_;  // where the system read puts its bytes
    std::vector<std::uint8_t> spare_;       // bytes that came while no read wanted them
    Phase readPhase_ = Phase::Idle;
    ReadRule rule_;
    std::vector<std::uint8_t> taking_;
    std::vector<std::uint8_t> received_;
    std::size_t readCount_ = 0;
    // Once a reply has begun, no system read is started before the moment
    // the rest of it can be there: one wake for a frame instead of one for
    // every burst. (A pseudo-terminal brings it all at once: no nap then.)
    bool napping_ = false;
    TimePoint napEnd_{};

    int lineError_ = 0;
    std::function<void()> activity_;
};

class Win32SerialPortFactory final : public SerialPortFactory {
  public:
    explicit Win32SerialPortFactory(const Clock& clock) : clock_(clock) {}

    // The COM ports the spooler knows (winspool.drv's EnumPortsA at level
    // 1, loaded at run time), then the names in VELORA_PORTS. When the
    // spooler cannot be loaded: `std::nullopt` (the link offers COM1 and
    // COM2), or COM1, COM2 and the names in VELORA_PORTS.
    std::optional<std::vector<std::string>> enumerate() override;
    std::unique_ptr<SerialDevice> open(const std::string& name, int& error) override;

  private:
    const Clock& clock_;
};

}  // namespace velora
