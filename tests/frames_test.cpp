#include <gtest/gtest.h>

#include <vector>

#include "link/frames.h"

namespace velora {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes request(bool write, std::uint8_t type, std::uint32_t address, std::size_t length,
              const Bytes& payload = {}) {
    FrameBuffer buffer{};
    const std::size_t n = buildBlockRequest(buffer, write, type, address, length, payload);
    return Bytes(buffer.begin(), buffer.begin() + static_cast<long>(n));
}

// A well-formed data reply for `address` with `payload`.
Bytes reply(std::uint8_t type, std::uint32_t address, const Bytes& payload) {
    Bytes r(5 + payload.size());
    r[0] = kCodeData;
    r[1] = type;
    r[2] = static_cast<std::uint8_t>(address & 0xFF);
    r[3] = static_cast<std::uint8_t>(address >> 8);
    r[4] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), r.begin() + 5);
    r.push_back(frameChecksum(r));
    return r;
}

TEST(Frames, RequestsComeOutByteForByte) {
    EXPECT_EQ(request(false, kTypeMemory, 0, 128), (Bytes{0x12, 0x26, 0x00, 0x00, 0x80, 0x48}));
    EXPECT_EQ(request(false, kTypeMemory, 2044, 128), (Bytes{0x12, 0x26, 0xFC, 0x07, 0x80, 0x45}));
    EXPECT_EQ(request(false, kTypeMemory, 2046, 128), (Bytes{0x12, 0x26, 0xFE, 0x07, 0x80, 0x43}));

    const Bytes write = request(true, kTypeMemory, 5, 128, Bytes(128, 0xAA));
    ASSERT_EQ(write.size(), 134u);
    EXPECT_EQ(write[0], 0x11);
    EXPECT_EQ(write[4], 0x80);
    EXPECT_EQ(write[5], 0xAA);
    EXPECT_EQ(frameChecksum(write), 0);  // all bytes of a frame sum to 0

    const Bytes record = request(true, firmwareTypeByte(0x1E000), 0x1E000, 4, Bytes{1, 2, 3, 4});
    EXPECT_EQ(record, (Bytes{0x11, 0xE6, 0x00, 0xE0, 0x04, 1, 2, 3, 4,
                             frameChecksum(Bytes{0x11, 0xE6, 0x00, 0xE0, 4, 1, 2, 3, 4})}));
    EXPECT_EQ(firmwareTypeByte(0xFFFF), 0x66);

    EXPECT_EQ(buildShortFrame(kCodeProbe), (ShortFrame{0x1B, 0x03, 0xE2}));
    EXPECT_EQ(buildShortFrame(kCodeVersionQuery), (ShortFrame{0x12, 0x03, 0xEB}));
    EXPECT_EQ(buildShortFrame(kCodeRestart), (ShortFrame{0x0F, 0x03, 0xEE}));
}

TEST(Frames, AcknowledgementIsExactlyThreeBytes) {
    EXPECT_TRUE(isAcknowledgement(Bytes{0x06, 0x03, 0xF7}));
    EXPECT_FALSE(isAcknowledgement(Bytes{0x06, 0x03}));
    EXPECT_FALSE(isAcknowledgement(Bytes{0x06, 0x03, 0xF6}));
    EXPECT_FALSE(isAcknowledgement(Bytes{0x06, 0x03, 0xF7, 0x00}));
    EXPECT_FALSE(isAcknowledgement(Bytes{0x15, 0x03, 0xE8}));
    // Only the bytes received count: a buffer that still holds F7 from an
    // earlier reply must not complete a two-byte read.
    const Bytes buffer{0x06, 0x03, 0xF7};
    EXPECT_FALSE(isAcknowledgement(std::span<const std::uint8_t>(buffer.data(), 2)));
}

TEST(Frames, JudgingNamesTheFirstFailingCheck) {
    Bytes good = reply(kTypeMemory, 7, Bytes(128, 0x11));
    auto j = judgeDataReply(good, 7);
    ASSERT_TRUE(j.valid());
    EXPECT_EQ(j.address, 7u);
    EXPECT_EQ(j.length, 128u);
    EXPECT_EQ(j.payload.size(), 128u);
    EXPECT_TRUE(replyMatchesRequest(j, Request::ReadMemoryBlock));

    // Checksum: bytes summing to 5 give the remainder 251.
    Bytes bad = good;
    bad[10] = static_cast<std::uint8_t>(bad[10] + 5);
    EXPECT_EQ(judgeDataReply(bad, 7).errorText(), "Communication error : checksum = 251");

    // NAK wins whatever the length and checksum.
    bad[0] = kCodeNak;
    EXPECT_EQ(judgeDataReply(bad, 7).errorText(), "Communication error : NAK");
    EXPECT_EQ(judgeDataReply(Bytes{0x15}, 7).errorText(), "Communication error : NAK");

    // Count: 0 bytes, a short reply, and an over-long one.
    EXPECT_EQ(judgeDataReply(Bytes{}, 7).errorText(), "Communication error : no data : 0");
    EXPECT_EQ(judgeDataReply(std::span<const std::uint8_t>(good.data(), 3), 7).errorText(),
              "Communication error : no data : 3");
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_EQ(judgeDataReply(longer, 7).errorText(), "Communication error : no data : 135");

    // Address, with bit 7 of the type byte as bit 16.
    EXPECT_EQ(judgeDataReply(good, 8).errorText(), "Communication error : return adress 7");
    Bytes high = reply(0xA6, 0, Bytes(128, 0));
    EXPECT_EQ(judgeDataReply(high, 0).errorText(), "Communication error : return adress 65536");
    auto fw = judgeDataReply(reply(0xE6, 0x1E000, Bytes(16, 1)), 0x1E000);
    ASSERT_TRUE(fw.valid());
    EXPECT_TRUE(replyMatchesRequest(fw, Request::ReadFirmwareRecord, 16));
    EXPECT_FALSE(replyMatchesRequest(fw, Request::ReadFirmwareRecord, 8));
}

TEST(Frames, KindCheckAfterAValidJudgement) {
    // A valid frame of the wrong kind is a protocol error, not a transmission error.
    auto version = judgeDataReply(reply(kTypeVersion, 0, Bytes{5, 1, 'b'}), 0);
    ASSERT_TRUE(version.valid());
    EXPECT_TRUE(replyMatchesRequest(version, Request::VersionQuery));
    EXPECT_FALSE(replyMatchesRequest(version, Request::ReadMemoryBlock));
    auto shortBlock = judgeDataReply(reply(kTypeMemory, 0, Bytes(16, 0)), 0);
    ASSERT_TRUE(shortBlock.valid());
    EXPECT_FALSE(replyMatchesRequest(shortBlock, Request::ReadMemoryBlock));
    Bytes wrongCode = reply(kTypeMemory, 0, Bytes(128, 0));
    wrongCode[0] = 0x14;
    wrongCode.back() = static_cast<std::uint8_t>(wrongCode.back() - 1);
    auto j = judgeDataReply(wrongCode, 0);
    ASSERT_TRUE(j.valid());
    EXPECT_FALSE(replyMatchesRequest(j, Request::ReadMemoryBlock));

    EXPECT_EQ(replyBytesFor(Request::ReadMemoryBlock), 134u);
    EXPECT_EQ(replyBytesFor(Request::WriteMemoryBlock), 6u);
    EXPECT_EQ(replyBytesFor(Request::WriteFirmwareRecord, 16), 22u);
    EXPECT_EQ(replyBytesFor(Request::VersionQuery), 9u);
    EXPECT_EQ(replyBytesFor(Request::Probe), 3u);
    EXPECT_EQ(replyBytesFor(Request::Restart), 0u);
}

}  // namespace
}  // namespace velora
