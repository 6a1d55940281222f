#include "emulator/controller_model.h"

#include <algorithm>
#include <memory>

namespace velora {

std::optional<FirmwareVersion> FirmwareVersion::parse(std::string_view text) {
    // D.DD with an optional letter.
    if (text.size() < 4 || text.size() > 5 || text[1] != '.') return std::nullopt;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!digit(text[0]) || !digit(text[2]) || !digit(text[3])) return std::nullopt;
    FirmwareVersion v;
    v.major = static_cast<std::uint8_t>(text[0] - '0');
    v.minor = static_cast<std::uint8_t>((text[2] - '0') * 10 + (text[3] - '0'));
    v.suffix = 0;
    if (text.size() == 5) {
        const char c = text[4];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return std::nullopt;
        v.suffix = static_cast<std::uint8_t>(c);
    }
    return v;
}

std::string FirmwareVersion::text() const {
    std::string out = std::to_string(major) + '.';
    if (minor < 10) out += '0';
    out += std::to_string(minor);
    if (suffix != 0) out += static_cast<char>(suffix);
    return out;
}

ControllerModel::ControllerModel() : data_(kDataMemorySize, 0), firmware_(kFirmwareMemorySize, 0xFF) {
    // A controller fresh from the factory: an empty show, reserved bytes as
    // the controller keeps them.
    auto empty = std::make_unique<ControllerImage>();
    loadImage(*empty);
}

std::span<std::uint8_t, ControllerModel::kDataMemorySize> ControllerModel::dataMemory() {
    return std::span<std::uint8_t, kDataMemorySize>(data_.data(), kDataMemorySize);
}

std::span<const std::uint8_t, ControllerModel::kDataMemorySize> ControllerModel::dataMemory() const {
    return std::span<const std::uint8_t, kDataMemorySize>(data_.data(), kDataMemorySize);
}

std::span<std::uint8_t, kBlockSize> ControllerModel::block(std::uint32_t address) {
    return std::span<std::uint8_t, kBlockSize>(data_.data() + (address % kBlocks) * kBlockSize, kBlockSize);
}

std::span<const std::uint8_t, kBlockSize> ControllerModel::block(std::uint32_t address) const {
    return std::span<const std::uint8_t, kBlockSize>(data_.data() + (address % kBlocks) * kBlockSize,
                                                     kBlockSize);
}

void ControllerModel::loadImage(const ControllerImage& image) {
    for (std::uint32_t b = 0; b < kBlocks; ++b) {
        const Block packed = packBlock(image, b);
        std::copy(packed.begin(), packed.end(), block(b).begin());
    }
}

void ControllerModel::storeInto(ControllerImage& image) const {
    for (std::uint32_t b = 0; b < kBlocks; ++b) storeBlock(image, b, block(b));
}

void ControllerModel::reconnect() {
    dropped_ = false;
    parser_.reset();
}

std::vector<std::uint8_t> ControllerModel::feed(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> out;
    for (const Reply& reply : receive(bytes)) out.insert(out.end(), reply.bytes.begin(), reply.bytes.end());
    return out;
}

std::vector<Reply> ControllerModel::receive(std::span<const std::uint8_t> bytes) {
    std::vector<Reply> replies;
    if (dropped_) return replies;
    std::vector<ParsedFrame> frames;
    parser_.push(bytes, frames);
    logDiscarded();
    for (const ParsedFrame& frame : frames) {
        if (dropped_) break;
        handle(frame, replies);
    }
    return replies;
}

std::vector<Reply> ControllerModel::receiveTimeout() {
    std::vector<Reply> replies;
    if (dropped_ || !parser_.midFrame()) return replies;
    std::vector<ParsedFrame> frames;
    parser_.abandonPartial(frames);
    log(ModelLogEntry::Note, {}, "line silent in the middle of a frame: frame given up");
    logDiscarded();
    for (const ParsedFrame& frame : frames) {
        if (dropped_) break;
        handle(frame, replies);
    }
    return replies;
}

void ControllerModel::handle(const ParsedFrame& frame, std::vector<Reply>& out) {
    if (!frame.checksumOk) {
        ++counters_.badChecksums;
        log(ModelLogEntry::Received, frame.bytes, std::string(frameKindName(frame.kind)) + ", bad checksum");
        Reply nak{
            std::vector<std::uint8_t>(kNegativeAcknowledgement.begin(), kNegativeAcknowledgement.end())};
        log(ModelLogEntry::Sent, nak.bytes, "NAK");
        out.push_back(std::move(nak));
        return;
    }

    const std::uint64_t number = ++counters_.frames;
    log(ModelLogEntry::Received, frame.bytes, "#" + std::to_string(number) + " " + frameKindName(frame.kind));
    const std::optional<FaultRule> fault = faults_.forFrame(number);

    Reply reply;
    if (!fault || faultCarriesOutFrame(fault->kind)) reply.bytes = carryOut(frame);
    if (fault) {
        faults_.apply(*fault, reply);
        log(ModelLogEntry::Note, {}, "fault " + fault->text() + " on frame #" + std::to_string(number));
    }
    if (reply.dropLine) {
        dropped_ = true;
        log(ModelLogEntry::Note, {}, "line dropped");
        out.push_back(std::move(reply));
        return;
    }
    if (reply.bytes.empty()) return;
    log(ModelLogEntry::Sent, reply.bytes, reply.delay.count() ? "delayed" : "");
    out.push_back(std::move(reply));
}

std::vector<std::uint8_t> ControllerModel::carryOut(const ParsedFrame& frame) {
    const std::vector<std::uint8_t> ack(kAcknowledgement.begin(), kAcknowledgement.end());
    const std::vector<std::uint8_t> nak(kNegativeAcknowledgement.begin(), kNegativeAcknowledgement.end());
    switch (frame.kind) {
        case ParsedFrame::Probe:
            return ack;
        case ParsedFrame::VersionQuery: {
            std::vector<std::uint8_t> r{kCodeData,      kTypeVersion,   0, 0, 3, version_.minor,
                                        version_.major, version_.suffix};
            r.push_back(frameChecksum(r));
            return r;
        }
        case ParsedFrame::Restart:
            ++counters_.restarts;
            log(ModelLogEntry::Note, {}, "restart #" + std::to_string(counters_.restarts));
            return {};
        case ParsedFrame::BlockWrite:
            if (frame.memoryBlock()) {
                if (frame.address >= kBlocks) break;
                std::copy(frame.payload().begin(), frame.payload().end(), block(frame.address).begin());
                ++counters_.blockWrites;
            } else {
                if (frame.address + frame.length > kFirmwareMemorySize) break;
                std::copy(frame.payload().begin(), frame.payload().end(), firmware_.begin() + frame.address);
                ++counters_.recordWrites;
            }
            return ack;
        case ParsedFrame::BlockRead:
            if (frame.memoryBlock()) {
                if (frame.address >= kBlocks) break;
                ++counters_.reads;
                return dataReply(kTypeMemory, frame, block(frame.address));
            }
            if (frame.address + frame.length > kFirmwareMemorySize) break;
            ++counters_.reads;
            return dataReply(frame.type, frame,
                             std::span<const std::uint8_t>(firmware_).subspan(frame.address, frame.length));
    }
    ++counters_.refused;
    log(ModelLogEntry::Note, {}, "request refused: address out of range");
    return nak;
}

std::vector<std::uint8_t> ControllerModel::dataReply(std::uint8_t type, const ParsedFrame& frame,
                                                     std::span<const std::uint8_t> payload) const {
    std::vector<std::uint8_t> r(kFrameOverhead + payload.size());
    r[0] = kCodeData;
    r[1] = type;
    r[2] = frame.bytes[2];
    r[3] = frame.bytes[3];
    r[4] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), r.begin() + 5);
    r.back() = frameChecksum(std::span<const std::uint8_t>(r.data(), r.size() - 1));
    return r;
}

void ControllerModel::log(ModelLogEntry::Kind kind, std::span<const std::uint8_t> bytes,
                          std::string text) const {
    if (!logger_) return;
    ModelLogEntry entry;
    entry.kind = kind;
    entry.bytes.assign(bytes.begin(), bytes.end());
    entry.text = std::move(text);
    logger_(entry);
}

void ControllerModel::logDiscarded() {
    const std::uint64_t total = parser_.discardedBytes();
    if (total == discardedLogged_) return;
    counters_.discardedBytes = total;
    log(ModelLogEntry::Discarded, {}, std::to_string(total - discardedLogged_) + " byte(s) given up");
    discardedLogged_ = total;
}

}  // namespace velora
