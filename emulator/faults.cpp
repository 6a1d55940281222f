#include "emulator/faults.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "link/frames.h"

namespace velora {

namespace {

struct KindName {
    FaultKind kind;
    const char* name;
};

constexpr std::array<KindName, 11> kKindNames{{
    {FaultKind::Nak, "nak"},
    {FaultKind::Checksum, "checksum"},
    {FaultKind::Short, "short"},
    {FaultKind::Address, "address"},
    {FaultKind::Type, "type"},
    {FaultKind::Data, "data"},
    {FaultKind::Extra, "extra"},
    {FaultKind::Silence, "silence"},
    {FaultKind::Garbage, "garbage"},
    {FaultKind::Delay, "delay"},
    {FaultKind::Drop, "drop"},
}};

template <typename T>
bool parseNumber(std::string_view text, T& value) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size();
}

// Strict decimal fraction 0..1 without locale: "0.01", "1", ".5".
bool parseProbability(std::string_view text, double& value) {
    if (text.empty() || text.size() > 20) return false;
    double whole = 0, scale = 1;
    bool point = false, digits = false;
    for (char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (point) {
                scale /= 10;
                whole += (c - '0') * scale;
            } else {
                whole = whole * 10 + (c - '0');
            }
        } else {
            return false;
        }
    }
    value = whole;
    return digits && value >= 0.0 && value <= 1.0;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

bool isDataReply(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= kFrameOverhead && bytes[0] == kCodeData;
}

void fixChecksum(std::vector<std::uint8_t>& bytes) {
    bytes.back() = frameChecksum(std::span<const std::uint8_t>(bytes.data(), bytes.size() - 1));
}

bool fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

}  // namespace

const char* const kFaultSyntaxHelp =
    "Fault rules (--fault RULE, repeatable): KIND@WHEN[:OPTION]...\n"
    "  WHEN    N | N-M | N- (frame N, frames N..M, N and later; frames count from 1)\n"
    "          random:P (each frame with probability P, 0..1)\n"
    "  OPTION  seed=S (random rules, default 1)   ms=D (delay, default 250)\n"
    "  KIND    nak       reply 15 03 E8, the frame is not carried out\n"
    "          checksum  last reply byte one too low (06 03 F6)\n"
    "          short     only the first half of the reply\n"
    "          address   data reply for the next address\n"
    "          type      data reply with another type byte\n"
    "          data      data reply with its first data byte changed\n"
    "          extra     reply followed by a spare 06 03 F7\n"
    "          silence   no reply, the frame is not carried out\n"
    "          garbage   random bytes instead of the reply\n"
    "          delay     reply only after D ms\n"
    "          drop      the line goes away (the pseudo-terminal is closed)\n"
    "  e.g. nak@5  silence@12  checksum@random:0.01:seed=7  drop@100  delay@3:ms=400\n";

FaultRule FaultRule::at(FaultKind kind, std::uint64_t frame) {
    FaultRule rule;
    rule.kind = kind;
    rule.firstFrame = frame;
    rule.lastFrame = frame;
    return rule;
}

std::string FaultRule::text() const {
    std::string out = faultKindName(kind);
    out += '@';
    if (random) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%g", probability);
        out += "random:" + std::string(buffer) + ":seed=" + std::to_string(seed);
    } else {
        out += std::to_string(firstFrame);
        if (lastFrame == kEveryLater) {
            out += '-';
        } else if (lastFrame != firstFrame) {
            out += '-' + std::to_string(lastFrame);
        }
    }
    if (kind == FaultKind::Delay) out += ":ms=" + std::to_string(delay.count());
    return out;
}

const char* faultKindName(FaultKind kind) {
    for (const KindName& k : kKindNames)
        if (k.kind == kind) return k.name;
    return "?";
}

std::optional<FaultRule> parseFaultRule(std::string_view text, std::string* error) {
    FaultRule rule;
    const auto at = text.find('@');
    if (at == std::string_view::npos) {
        fail(error, "missing '@' in fault rule '" + std::string(text) + "'");
        return std::nullopt;
    }
    const std::string_view kind = text.substr(0, at);
    bool known = false;
    for (const KindName& k : kKindNames) {
        if (kind == k.name) {
            rule.kind = k.kind;
            known = true;
        }
    }
    if (!known) {
        fail(error, "unknown fault kind '" + std::string(kind) + "'");
        return std::nullopt;
    }

    std::vector<std::string_view> parts = split(text.substr(at + 1), ':');
    std::size_t next = 1;
    if (parts[0] == "random") {
        if (parts.size() < 2 || !parseProbability(parts[1], rule.probability)) {
            fail(error, "random needs a probability from 0 to 1, e.g. random:0.01");
            return std::nullopt;
        }
        rule.random = true;
        next = 2;
    } else {
        const std::string_view when = parts[0];
        const auto dash = when.find('-');
        const std::string_view first = when.substr(0, dash);
        bool ok = parseNumber(first, rule.firstFrame) && rule.firstFrame >= 1;
        rule.lastFrame = rule.firstFrame;
        if (ok && dash != std::string_view::npos) {
            const std::string_view last = when.substr(dash + 1);
            if (last.empty()) {
                rule.lastFrame = FaultRule::kEveryLater;
            } else {
                ok = parseNumber(last, rule.lastFrame) && rule.lastFrame >= rule.firstFrame;
            }
        }
        if (!ok) {
            fail(error, "bad frame number '" + std::string(when) + "' (frames count from 1)");
            return std::nullopt;
        }
    }

    for (; next < parts.size(); ++next) {
        const std::string_view option = parts[next];
        unsigned value = 0;
        if (option.starts_with("seed=") && rule.random && parseNumber(option.substr(5), value)) {
            rule.seed = value;
        } else if (option.starts_with("ms=") && rule.kind == FaultKind::Delay &&
                   parseNumber(option.substr(3), value) && value <= 600000) {
            rule.delay = std::chrono::milliseconds(value);
        } else {
            fail(error, "bad option '" + std::string(option) + "' in fault rule");
            return std::nullopt;
        }
    }
    return rule;
}

bool faultCarriesOutFrame(FaultKind kind) {
    return kind != FaultKind::Nak && kind != FaultKind::Silence && kind != FaultKind::Drop;
}

FaultPlan::FaultPlan(const std::vector<FaultRule>& rules) {
    for (const FaultRule& rule : rules) add(rule);
}

void FaultPlan::add(const FaultRule& rule) {
    rules_.push_back(Active{rule, std::mt19937(rule.seed)});
}

bool FaultPlan::add(std::string_view text, std::string* error) {
    const std::optional<FaultRule> rule = parseFaultRule(text, error);
    if (!rule) return false;
    add(*rule);
    return true;
}

std::optional<FaultRule> FaultPlan::forFrame(std::uint64_t frame) {
    std::optional<FaultRule> chosen;
    for (Active& active : rules_) {
        bool hit;
        if (active.rule.random) {
            // Compare a raw 32-bit draw: the engine's output is fixed by the
            // standard, unlike the distributions.
            hit = static_cast<double>(active.rng()) < active.rule.probability * 4294967296.0;
        } else {
            hit = frame >= active.rule.firstFrame && frame <= active.rule.lastFrame;
        }
        if (hit && !chosen) chosen = active.rule;
    }
    if (chosen) ++injected_;
    return chosen;
}

void FaultPlan::apply(const FaultRule& rule, Reply& reply) {
    std::vector<std::uint8_t>& bytes = reply.bytes;
    switch (rule.kind) {
        case FaultKind::Nak:
            bytes = {kCodeNak, 0x03, 0xE8};
            break;
        case FaultKind::Checksum:
            if (!bytes.empty()) bytes.back() = static_cast<std::uint8_t>(bytes.back() - 1);
            break;
        case FaultKind::Short:
            bytes.resize(bytes.size() / 2);
            break;
        case FaultKind::Address:
            if (isDataReply(bytes)) {
                // Firmware records carry bit 16 of their address in the type byte.
                const bool record = (bytes[1] & ~kTypeHighAddressBit) == kTypeFirmware;
                unsigned address = bytes[2] | (bytes[3] << 8);
                if (record && (bytes[1] & kTypeHighAddressBit)) address += 0x10000;
                ++address;
                bytes[2] = static_cast<std::uint8_t>(address & 0xFF);
                bytes[3] = static_cast<std::uint8_t>((address >> 8) & 0xFF);
                if (record) bytes[1] = firmwareTypeByte(address);
                fixChecksum(bytes);
            }
            break;
        case FaultKind::Type:
            if (isDataReply(bytes)) {
                bytes[1] ^= 0x40;
                fixChecksum(bytes);
            }
            break;
        case FaultKind::Data:
            if (isDataReply(bytes) && bytes.size() > kFrameOverhead) {
                bytes[5] ^= 0x01;
                fixChecksum(bytes);
            }
            break;
        case FaultKind::Extra:
            bytes.insert(bytes.end(), kAcknowledgement.begin(), kAcknowledgement.end());
            break;
        case FaultKind::Silence:
            bytes.clear();
            break;
        case FaultKind::Garbage: {
            bytes.resize(std::max<std::size_t>(bytes.size(), 3));
            for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(garbage_() & 0xFF);
            // Never a negative acknowledgement, never a frame that sums right.
            if (bytes[0] == kCodeNak) bytes[0] ^= 0x01;
            if (frameChecksum(bytes) == 0) bytes.back() ^= 0x01;
            break;
        }
        case FaultKind::Delay:
            reply.delay = rule.delay;
            break;
        case FaultKind::Drop:
            bytes.clear();
            reply.dropLine = true;
            break;
    }
}

}  // namespace velora
