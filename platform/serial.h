#pragma once
// The serial device the link talks to: asynchronous writes and reads that are
// started and then only polled, never waited for.
//
// A read of n bytes completes when n bytes have arrived, when more than
// `interByteTimeout` passes between two received bytes (after the first one),
// or when n x `perByteTimeout` has passed in all. A time-out is not an error:
// the read completes with the bytes it got. A write of n bytes has
// n x `writePerByteTimeout` to finish.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace velora {

// The controller's line: 38400 baud, 8 data bits, no parity, 2 stop bits,
// binary; and the time-outs of reads and writes.
struct LineSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int baud = 38400;
    int dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::Two;
    std::size_t receiveQueue = 270;
    std::size_t sendQueue = 270;
    std::chrono::milliseconds interByteTimeout{100};
    std::chrono::milliseconds perByteTimeout{120};
    std::chrono::milliseconds writePerByteTimeout{120};

    // Whether a device can be set up so; the line format is checked, not
    // the time-outs (every value of those is meaningful).
    bool valid() const;
    // Bits one byte takes on the line: start bit, data bits, parity, stop
    // bits (1.5 stop bits count as 2).
    int bitsPerByte() const;
    // Time one byte takes on the line.
    Duration byteTime() const;
};

// Answer of a poll on one direction.
struct IoStatus {
    enum Kind { Done, Pending, Failed };
    Kind kind = Pending;
    std::size_t count = 0;  // bytes moved, when Done
    int error = 0;          // platform error number, when Failed

    static IoStatus done(std::size_t n) { return {Done, n, 0}; }
    static IoStatus pending() { return {Pending, 0, 0}; }
    static IoStatus failed(int err) { return {Failed, 0, err}; }
};

// One open port.
class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    // Applies the line format, queue sizes and time-outs. False when any step
    // failed (all steps are attempted).
    virtual bool configure(const LineSettings& settings) = 0;

    // Aborts a pending write and read and empties both directions.
    virtual void purge() = 0;

    // Starts an asynchronous write of a copy of `bytes`. Returns 0 when the
    // write was started (it may already be complete), else the error number.
    virtual int startWrite(std::span<const std::uint8_t> bytes) = 0;
    virtual IoStatus pollWrite() = 0;

    // Starts an asynchronous read of up to `count` bytes.
    virtual void startRead(std::size_t count) = 0;
    // Starts a wait for the line to fall quiet: whatever arrives is thrown
    // away until no byte has come for `quiet` (counted from the start, then
    // from each byte), or until `limit` has passed since the start. It
    // completes through pollRead like a read, with the count of bytes thrown
    // away, and received() is then empty. Bytes of an earlier exchange that
    // are still on their way thus never pass for the reply to a new frame.
    virtual void startQuiet(Duration quiet, Duration limit) = 0;
    virtual IoStatus pollRead() = 0;
    // The bytes delivered by the last completed read (exactly `count` of its
    // Done status; nothing older).
    virtual std::span<const std::uint8_t> received() const = 0;

    // The next moment at which a pending operation can complete by time-out,
    // if any; lets a pump sleep until then instead of spinning. It is "now"
    // when a poll would complete an operation at once (the bytes are there),
    // so a pump never sleeps on a finished read.
    virtual std::optional<TimePoint> nextDeadline() const = 0;

    // Called whenever bytes were written or have arrived, so an event-driven
    // pump knows when to poll again. May be left unset.
    virtual void setActivityHandler(std::function<void()> handler) = 0;

    // Blocks until bytes may have moved or `timeout` has passed, whichever is
    // first. For loops that are allowed to block (the controller search, the
    // command-line program); on a virtual line it advances virtual time.
    virtual void wait(Duration timeout) = 0;
};

// Who may use a device, as the system keeps it: what a refused user is told
// to do about it is worded from these facts.
struct DeviceAccess {
    std::string owner;          // the owning user's name
    std::string group;          // the owning group's name
    bool groupMayUse = false;   // the group's members may read and write it
    bool othersMayUse = false;  // everyone may read and write it
    bool inGroup = false;       // this program runs as a member of the group
};

// Opens devices by name; the only place that creates a SerialDevice.
class SerialPortFactory {
  public:
    virtual ~SerialPortFactory() = default;

    // Names of the serial ports this machine offers, in the order found.
    // `std::nullopt` when the platform cannot enumerate at all.
    virtual std::optional<std::vector<std::string>> enumerate() = 0;

    // Opens the named port for reading and writing. On failure returns null
    // and sets `error` to the platform error number.
    virtual std::unique_ptr<SerialDevice> open(const std::string& name, int& error) = 0;

    // Who may use the named device, for a port that refused this user;
    // `std::nullopt` where the platform keeps no such facts.
    virtual std::optional<DeviceAccess> access(const std::string& /*name*/) { return std::nullopt; }
};

}  // namespace velora
