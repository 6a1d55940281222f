#include "emulator/frame_parser.h"

namespace velora {

namespace {

bool isBlockType(std::uint8_t type) {
    return type == kTypeMemory || type == kTypeFirmware || type == (kTypeFirmware | kTypeHighAddressBit);
}

// The length byte a block frame of this type may carry.
bool lengthAllowed(std::uint8_t type, std::uint8_t length) {
    return type == kTypeMemory ? length == 128 : length <= 16;
}

}  // namespace

std::span<const std::uint8_t> ParsedFrame::payload() const {
    if (kind != BlockWrite || bytes.size() < kFrameOverhead) return {};
    return std::span<const std::uint8_t>(bytes).subspan(5, length);
}

const char* frameKindName(ParsedFrame::Kind kind) {
    switch (kind) {
        case ParsedFrame::Probe:
            return "probe";
        case ParsedFrame::VersionQuery:
            return "version query";
        case ParsedFrame::Restart:
            return "restart";
        case ParsedFrame::BlockRead:
            return "read";
        case ParsedFrame::BlockWrite:
            return "write";
    }
    return "?";
}

void FrameParser::push(std::span<const std::uint8_t> bytes, std::vector<ParsedFrame>& out) {
    for (std::uint8_t byte : bytes) {
        byteIsSuspect_ = false;
        step(byte, out);
        drain(out);
    }
}

void FrameParser::abandonPartial(std::vector<ParsedFrame>& out) {
    while (size_ > 0) {
        resynchronise(false);
        drain(out);
    }
}

void FrameParser::reset() {
    state_ = State::Code;
    size_ = 0;
    rescan_.clear();
}

void FrameParser::drain(std::vector<ParsedFrame>& out) {
    while (!rescan_.empty()) {
        const Pending next = rescan_.front();
        rescan_.pop_front();
        byteIsSuspect_ = next.suspect;
        step(next.byte, out);
    }
}

void FrameParser::resynchronise(bool afterBadChecksum) {
    // The first byte of the frame is the one given up; the rest go back in
    // front of anything still waiting, in their order.
    for (std::size_t i = size_; i-- > 1;) {
        Pending p = frame_[i];
        if (afterBadChecksum) p.suspect = true;
        rescan_.push_front(p);
    }
    ++discarded_;
    size_ = 0;
    state_ = State::Code;
}

ParsedFrame FrameParser::collected(ParsedFrame::Kind kind, bool checksumOk) const {
    ParsedFrame frame;
    frame.kind = kind;
    frame.checksumOk = checksumOk;
    frame.bytes.reserve(size_);
    for (std::size_t i = 0; i < size_; ++i) frame.bytes.push_back(frame_[i].byte);
    if (kind == ParsedFrame::BlockRead || kind == ParsedFrame::BlockWrite) {
        frame.type = frame.bytes[1];
        frame.address = static_cast<std::uint32_t>(frame.bytes[2] | (frame.bytes[3] << 8));
        if (frame.type & kTypeHighAddressBit) frame.address += 0x10000;
        frame.length = frame.bytes[4];
    }
    return frame;
}

void FrameParser::step(std::uint8_t byte, std::vector<ParsedFrame>& out) {
    if (state_ == State::Code) {
        if (byte != kCodeWrite && byte != kCodeRead && byte != kCodeProbe && byte != kCodeRestart) {
            ++discarded_;
            return;
        }
        frameIsSuspect_ = byteIsSuspect_;
    }
    frame_[size_++] = Pending{byte, byteIsSuspect_};
    const std::uint8_t code = frame_[0].byte;

    switch (state_) {
        case State::Code:
            state_ = State::Second;
            return;
        case State::Second:
            if (byte == 0x03 && code != kCodeWrite) {
                state_ = State::Checksum;
            } else if (isBlockType(byte) && (code == kCodeWrite || code == kCodeRead)) {
                state_ = State::AddressLow;
            } else {
                resynchronise(false);
            }
            return;
        case State::AddressLow:
            state_ = State::AddressHigh;
            return;
        case State::AddressHigh:
            state_ = State::Length;
            return;
        case State::Length:
            if (!lengthAllowed(frame_[1].byte, byte)) {
                resynchronise(false);
            } else if (code == kCodeWrite && byte > 0) {
                payloadLeft_ = byte;
                state_ = State::Payload;
            } else {
                state_ = State::Checksum;
            }
            return;
        case State::Payload:
            if (--payloadLeft_ == 0) state_ = State::Checksum;
            return;
        case State::Checksum:
            break;
    }

    ParsedFrame::Kind kind;
    if (size_ == 3) {
        kind = code == kCodeProbe     ? ParsedFrame::Probe
               : code == kCodeRestart ? ParsedFrame::Restart
                                      : ParsedFrame::VersionQuery;
    } else {
        kind = code == kCodeWrite ? ParsedFrame::BlockWrite : ParsedFrame::BlockRead;
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < size_; ++i) sum += frame_[i].byte;
    if ((sum & 0xFF) == 0) {
        out.push_back(collected(kind, true));
        size_ = 0;
        state_ = State::Code;
        return;
    }
    // Report it (unless it began inside an earlier damaged frame), then look
    // for a frame inside what it swallowed.
    if (!frameIsSuspect_) out.push_back(collected(kind, false));
    resynchronise(true);
}

}  // namespace velora
