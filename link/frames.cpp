#include "link/frames.h"

#include <algorithm>

namespace velora {

std::uint8_t frameChecksum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>((0u - sum) & 0xFFu);
}

std::uint8_t firmwareTypeByte(std::uint32_t address) {
    return address > 0xFFFF ? (kTypeFirmware | kTypeHighAddressBit) : kTypeFirmware;
}

std::size_t buildBlockRequest(FrameBuffer& out, bool write, std::uint8_t type, std::uint32_t address,
                              std::size_t length, std::span<const std::uint8_t> payload) {
    out[0] = write ? kCodeWrite : kCodeRead;
    out[1] = type;
    out[2] = static_cast<std::uint8_t>(address & 0xFF);
    out[3] = static_cast<std::uint8_t>((address >> 8) & 0xFF);
    out[4] = static_cast<std::uint8_t>(length & 0xFF);
    std::size_t n = 5;
    if (write) {
        const std::size_t copied = std::min({length, payload.size(), kMaxFrame - kFrameOverhead});
        std::copy_n(payload.begin(), copied, out.begin() + 5);
        std::fill_n(out.begin() + 5 + copied, length - copied, 0);
        n += length;
    }
    out[n] = frameChecksum(std::span<const std::uint8_t>(out.data(), n));
    return n + 1;
}

ShortFrame buildShortFrame(std::uint8_t code) {
    ShortFrame f{code, 3, 0};
    f[2] = frameChecksum(std::span<const std::uint8_t>(f.data(), 2));
    return f;
}

bool isAcknowledgement(std::span<const std::uint8_t> received) {
    return received.size() == 3 && std::equal(received.begin(), received.end(), kAcknowledgement.begin());
}

ReplyJudgement judgeDataReply(std::span<const std::uint8_t> received, std::uint32_t expectedAddress) {
    ReplyJudgement j;
    const std::size_t count = received.size();
    if (count >= 1 && received[0] == kCodeNak) {
        j.error = ReplyJudgement::Nak;
        return j;
    }
    // The length byte is only known when it was received.
    const std::size_t length = count >= 5 ? received[4] : 0;
    if (count < 5 || count != length + kFrameOverhead) {
        j.error = ReplyJudgement::NoData;
        j.detail = static_cast<unsigned>(count);
        return j;
    }
    const std::uint8_t remainder = frameChecksum(received);
    if (remainder != 0) {
        j.error = ReplyJudgement::Checksum;
        j.detail = remainder;
        return j;
    }
    j.code = received[0];
    j.type = received[1];
    j.address = static_cast<std::uint32_t>(received[2] | (received[3] << 8));
    if (j.type & kTypeHighAddressBit) j.address += 0x10000;
    j.length = length;
    j.payload = received.subspan(5, length);
    if (j.address != expectedAddress) {
        j.error = ReplyJudgement::Address;
        j.detail = j.address;
    }
    return j;
}

std::string ReplyJudgement::errorText() const {
    std::string text = "Communication error : ";
    switch (error) {
        case Nak:
            return text + "NAK";
        case NoData:
            return text + "no data : " + std::to_string(detail);
        case Checksum:
            return text + "checksum = " + std::to_string(detail);
        case Address:
            return text + "return adress " + std::to_string(detail);
        case Valid:
            break;
    }
    return text;
}

const RequestRule& ruleFor(Request request) {
    for (const RequestRule& rule : kRequestRules)
        if (rule.request == request) return rule;
    return kRequestRules.back();
}

std::size_t replyBytesFor(Request request, std::size_t recordLength) {
    const RequestRule& rule = ruleFor(request);
    return rule.fixedBytes + (rule.plusRecordLength ? recordLength : 0);
}

bool replyMatchesRequest(const ReplyJudgement& reply, Request request, std::size_t recordLength) {
    if (!reply.valid() || reply.code != kCodeData) return false;
    switch (ruleFor(request).reply) {
        case ReplyKind::MemoryData:
            return reply.type == kTypeMemory && reply.length == 128;
        case ReplyKind::FirmwareData:
            return (reply.type & ~kTypeHighAddressBit) == kTypeFirmware && reply.length == recordLength;
        case ReplyKind::VersionData:
            return reply.type == kTypeVersion && reply.length == kVersionPayload && reply.address == 0;
        case ReplyKind::Acknowledgement:
        case ReplyKind::None:
            return false;
    }
    return false;
}

}  // namespace velora
