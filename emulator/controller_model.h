#pragma once
// The emulated controller: its data memory (2048 blocks of 128 bytes), its
// firmware memory, its version, the receiver for the PC's frames and the
// replies the controller gives.
//
// Replies:
//   probe                        06 03 F7
//   version query                13 06 00 00 03 minor major suffix cs
//   restart                      nothing (counted and logged)
//   block write, memory          stored, 06 03 F7
//   block write, firmware record stored, 06 03 F7
//   block read, memory           13 26 lo hi 80 <128 bytes> cs
//   block read, firmware record  13 tt lo hi len <len bytes> cs (tt as asked)
//
// A frame with a wrong checksum is answered with the negative
// acknowledgement 15 03 E8 and changes nothing: the PC sees "NAK" and may
// send the frame again. It is not counted as a request frame, so fault rules
// keep their frame numbers. A well-formed request the controller cannot carry
// out (a block address above 2047, a firmware record outside the firmware
// memory) gets the same NAK.
//
// Frames arrive as a byte stream; `feed` takes any piece of it and returns
// the reply bytes it caused. Transports that care about timing (delayed
// replies, a line that goes away) use `receive`, which keeps each reply apart.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/faults.h"
#include "emulator/frame_parser.h"
#include "image/controller_image.h"

namespace velora {

struct FirmwareVersion {
    std::uint8_t major = 1;
    std::uint8_t minor = 5;
    std::uint8_t suffix = 'b';  // 0 for none

    // "1.05b", "2.10", "0.99Z": major 0..9, two-digit minor, optional letter.
    static std::optional<FirmwareVersion> parse(std::string_view text);
    std::string text() const;
};

// One line of the controller's log: a frame received, a reply sent, bytes
// given up, or a note (restart, fault).
struct ModelLogEntry {
    enum Kind { Received, Sent, Discarded, Note };
    Kind kind = Note;
    std::vector<std::uint8_t> bytes;
    std::string text;
};

struct ModelCounters {
    std::uint64_t frames = 0;  // request frames with a good checksum (the numbers fault rules use)
    std::uint64_t badChecksums = 0;
    std::uint64_t refused = 0;  // well-formed but impossible requests, answered with NAK
    std::uint64_t restarts = 0;
    std::uint64_t blockWrites = 0;
    std::uint64_t recordWrites = 0;
    std::uint64_t reads = 0;
    std::uint64_t discardedBytes = 0;
};

class ControllerModel {
  public:
    static constexpr std::size_t kDataMemorySize = static_cast<std::size_t>(kBlocks) * kBlockSize;
    // Room for a record of 16 bytes at any address up to 0x1E00F.
    static constexpr std::uint32_t kFirmwareMemorySize = 0x1E00F + 16;
    static constexpr std::array<std::uint8_t, 3> kNegativeAcknowledgement{0x15, 0x03, 0xE8};

    ControllerModel();

    // Takes bytes from the line; returns every reply byte they caused, in
    // order (delays are not kept; after a dropped line nothing).
    std::vector<std::uint8_t> feed(std::span<const std::uint8_t> bytes);
    // The same, one Reply per answered frame.
    std::vector<Reply> receive(std::span<const std::uint8_t> bytes);
    // The line has been silent in the middle of a frame long enough for the
    // controller to give that frame up.
    std::vector<Reply> receiveTimeout();
    bool midFrame() const { return parser_.midFrame(); }

    // --- memory ---------------------------------------------------------
    std::span<std::uint8_t, kDataMemorySize> dataMemory();
    std::span<const std::uint8_t, kDataMemorySize> dataMemory() const;
    std::span<std::uint8_t, kBlockSize> block(std::uint32_t address);
    std::span<const std::uint8_t, kBlockSize> block(std::uint32_t address) const;
    std::span<std::uint8_t> firmwareMemory() { return firmware_; }
    std::span<const std::uint8_t> firmwareMemory() const { return firmware_; }
    // Packs every block of `image` into the data memory.
    void loadImage(const ControllerImage& image);
    // The data memory as the PC would store it after reading every block.
    // (Large: keep it on the heap.)
    void storeInto(ControllerImage& image) const;

    const FirmwareVersion& version() const { return version_; }
    void setVersion(const FirmwareVersion& version) { version_ = version; }

    // --- faults and the line --------------------------------------------
    FaultPlan& faults() { return faults_; }
    // True once a drop fault took the line away; nothing is received or sent
    // until `reconnect`.
    bool lineDropped() const { return dropped_; }
    void reconnect();

    const ModelCounters& counters() const { return counters_; }
    // Sees every frame both ways; may be left unset.
    void setLogger(std::function<void(const ModelLogEntry&)> logger) { logger_ = std::move(logger); }

  private:
    void handle(const ParsedFrame& frame, std::vector<Reply>& out);
    std::vector<std::uint8_t> carryOut(const ParsedFrame& frame);
    std::vector<std::uint8_t> dataReply(std::uint8_t type, const ParsedFrame& frame,
                                        std::span<const std::uint8_t> payload) const;
    void log(ModelLogEntry::Kind kind, std::span<const std::uint8_t> bytes, std::string text) const;
    void logDiscarded();

    std::vector<std::uint8_t> data_;
    std::vector<std::uint8_t> firmware_;
    FirmwareVersion version_;
    FrameParser parser_;
    FaultPlan faults_;
    ModelCounters counters_;
    bool dropped_ = false;
    std::uint64_t discardedLogged_ = 0;
    std::function<void(const ModelLogEntry&)> logger_;
};

}  // namespace velora
