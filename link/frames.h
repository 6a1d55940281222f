#pragma once
// Frames on the line to the controller: building requests, the checksum,
// and judging what came back.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velora {

inline constexpr std::uint8_t kCodeWrite = 0x11;
inline constexpr std::uint8_t kCodeRead = 0x12;
inline constexpr std::uint8_t kCodeData = 0x13;
inline constexpr std::uint8_t kCodeProbe = 0x1B;
inline constexpr std::uint8_t kCodeVersionQuery = 0x12;
inline constexpr std::uint8_t kCodeRestart = 0x0F;
inline constexpr std::uint8_t kCodeAck = 0x06;
inline constexpr std::uint8_t kCodeNak = 0x15;

inline constexpr std::uint8_t kTypeMemory = 0x26;
inline constexpr std::uint8_t kTypeFirmware = 0x66;
inline constexpr std::uint8_t kTypeVersion = 0x06;
inline constexpr std::uint8_t kTypeHighAddressBit = 0x80;  // bit 16 of a record address

inline constexpr std::size_t kFrameOverhead = 6;
inline constexpr std::size_t kMaxFrame = 134;
inline constexpr std::size_t kFrameBufferSize = 270;
inline constexpr std::size_t kVersionPayload = 3;

using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;
using ShortFrame = std::array<std::uint8_t, 3>;

inline constexpr ShortFrame kAcknowledgement{0x06, 0x03, 0xF7};

// Two's complement of the 8-bit sum of `bytes`. Over a frame without its
// last byte it gives the checksum to append; over a whole received frame it
// gives 0 when the frame is intact, else the remainder that is reported.
std::uint8_t frameChecksum(std::span<const std::uint8_t> bytes);

// Type byte of a firmware record: 0x66, with bit 7 set above address 0xFFFF.
std::uint8_t firmwareTypeByte(std::uint32_t address);

// Builds a block request into `out` from its first byte and returns its
// length: 6 + length for a write (payload copied), 6 for a read.
std::size_t buildBlockRequest(FrameBuffer& out, bool write, std::uint8_t type, std::uint32_t address,
                              std::size_t length, std::span<const std::uint8_t> payload = {});

// Code, 3, checksum: the probe (0x1B), version query (0x12), restart (0x0F).
ShortFrame buildShortFrame(std::uint8_t code);

// True exactly when the received bytes are the three bytes 06 03 F7.
bool isAcknowledgement(std::span<const std::uint8_t> received);

// The result of judging a data reply.
struct ReplyJudgement {
    enum Error { Valid, Nak, NoData, Checksum, Address };
    Error error = Valid;
    unsigned detail = 0;  // count, checksum remainder or reply address

    std::uint8_t code = 0;
    std::uint8_t type = 0;
    std::uint32_t address = 0;
    std::size_t length = 0;
    std::span<const std::uint8_t> payload;

    bool valid() const { return error == Valid; }
    // "Communication error : " and the cause, for an invalid reply.
    std::string errorText() const;
};

// Judges a data reply against the address that was asked for. Looks at no
// byte beyond `received`.
ReplyJudgement judgeDataReply(std::span<const std::uint8_t> received, std::uint32_t expectedAddress);

// What was sent, for the table of expected replies.
enum class Request {
    WriteMemoryBlock,
    ReadMemoryBlock,
    WriteFirmwareRecord,
    ReadFirmwareRecord,
    VersionQuery,
    Probe,
    Restart,
};

enum class ReplyKind { Acknowledgement, MemoryData, FirmwareData, VersionData, None };

struct RequestRule {
    Request request;
    ReplyKind reply;
    std::size_t fixedBytes;  // bytes asked of the port, plus the record length where it counts
    bool plusRecordLength;
};

// The one table of what each request expects and how many bytes are read.
inline constexpr std::array<RequestRule, 7> kRequestRules{{
    {Request::WriteMemoryBlock, ReplyKind::Acknowledgement, 6, false},
    {Request::ReadMemoryBlock, ReplyKind::MemoryData, 134, false},
    {Request::WriteFirmwareRecord, ReplyKind::Acknowledgement, 6, true},
    {Request::ReadFirmwareRecord, ReplyKind::FirmwareData, 6, true},
    {Request::VersionQuery, ReplyKind::VersionData, 9, false},
    {Request::Probe, ReplyKind::Acknowledgement, 3, false},
    {Request::Restart, ReplyKind::None, 0, false},
}};

const RequestRule& ruleFor(Request request);
std::size_t replyBytesFor(Request request, std::size_t recordLength = 0);

// The kind check that follows a valid judgement: code 0x13, the type byte
// and length asked for (and address 0 for the version reply). A failure is
// a protocol error.
bool replyMatchesRequest(const ReplyJudgement& reply, Request request, std::size_t recordLength = 0);

}  // namespace velora
