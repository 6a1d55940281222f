#pragma once
// The controller's receiver: turns the byte stream from the PC into request
// frames. Frames have no start marker, so the kind of frame follows from the
// code byte and the byte after it:
//
//   1B 03 cs                      probe
//   12 03 cs                      version query
//   0F 03 cs                      restart
//   12 tt lo hi len cs            block read   (tt = 26, 66 or E6)
//   11 tt lo hi len data... cs    block write  (len bytes of data)
//
// with len 128 for memory blocks (type 26) and 0..16 for firmware records.
//
// Recovery: a byte that cannot start a frame is dropped. A header that cannot
// belong to a frame (wrong second byte, a length the type does not allow) is
// given up and the bytes after its first one are scanned again, one by one,
// so a frame hidden behind a stray byte is still found. A complete frame with
// a wrong checksum is reported (the controller answers it with a NAK) and
// then rescanned the same way; a frame that starts inside such rescanned
// bytes is only reported when its checksum is right, so one damaged frame
// costs one NAK and not a string of them. The parser never holds more than
// one frame's worth of bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "link/frames.h"

namespace velora {

struct ParsedFrame {
    enum Kind { Probe, VersionQuery, Restart, BlockRead, BlockWrite };
    Kind kind = Probe;
    bool checksumOk = true;
    std::uint8_t type = 0;            // block frames: 0x26, 0x66 or 0xE6
    std::uint32_t address = 0;        // block frames: bytes 2-3, plus 0x10000 when bit 7 of the type is set
    std::size_t length = 0;           // block frames: the length byte
    std::vector<std::uint8_t> bytes;  // the whole frame as received

    bool memoryBlock() const { return type == kTypeMemory; }
    std::span<const std::uint8_t> payload() const;
};

const char* frameKindName(ParsedFrame::Kind kind);

class FrameParser {
  public:
    // Takes bytes; every frame completed by them is appended to `out`.
    void push(std::span<const std::uint8_t> bytes, std::vector<ParsedFrame>& out);
    // The line fell silent in the middle of a frame: that frame is given up
    // and its bytes after the first are scanned again (frames complete in
    // them are still found; an incomplete rest is given up as well).
    void abandonPartial(std::vector<ParsedFrame>& out);

    bool midFrame() const { return size_ > 0; }
    // Bytes dropped because no frame could start with them.
    std::uint64_t discardedBytes() const { return discarded_; }
    void reset();

  private:
    enum class State { Code, Second, AddressLow, AddressHigh, Length, Payload, Checksum };

    void step(std::uint8_t byte, std::vector<ParsedFrame>& out);
    void drain(std::vector<ParsedFrame>& out);
    // Gives up the frame being collected; its bytes after the first are
    // scanned again before any newer byte.
    void resynchronise(bool afterBadChecksum);
    ParsedFrame collected(ParsedFrame::Kind kind, bool checksumOk) const;

    struct Pending {
        std::uint8_t byte;
        bool suspect;  // came from a frame whose checksum was wrong
    };

    State state_ = State::Code;
    std::array<Pending, kMaxFrame> frame_{};
    std::size_t size_ = 0;
    std::size_t payloadLeft_ = 0;
    std::deque<Pending> rescan_;   // bytes to scan again, oldest first
    bool byteIsSuspect_ = false;   // the byte being stepped
    bool frameIsSuspect_ = false;  // the frame being collected began with a suspect byte
    std::uint64_t discarded_ = 0;
};

}  // namespace velora
