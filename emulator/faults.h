#pragma once
// Faults the emulated controller can be told to commit, chosen per request
// frame. Frames are numbered from 1 in the order the controller took them in
// (every frame with a good checksum counts: probe, version query, restart,
// block and record reads and writes).
//
// Rule syntax (also the text of `velora-emu --fault RULE`):
//
//   KIND@WHEN[:OPTION]...
//
//   WHEN   N            the N-th request frame
//          N-M          frames N to M
//          N-           frame N and every later one
//          random:P     each frame with probability P (0..1), seeded
//   OPTION seed=S       seed of a random rule (default 1); the same seed gives
//                       the same frames
//          ms=D         delay of a `delay` rule in milliseconds (default 250)
//
//   KIND   nak       the frame is refused: reply 15 03 E8, nothing stored
//          checksum  the reply's last byte is one too low (06 03 F7 becomes 06 03 F6)
//          short     only the first half of the reply is sent
//          address   a data reply names the next address (checksum kept right; for
//                    a firmware record bit 16 of the address moves into the type byte)
//          type      a data reply carries another type byte (0x26 <-> 0x66, checksum kept right)
//          data      a data reply carries its first data byte with bit 0 flipped
//                    (checksum kept right): what was stored reads back different
//          extra     the reply is followed by a spare acknowledgement 06 03 F7
//          silence   the frame is lost: no reply, nothing stored
//          garbage   random bytes as long as the reply, never a valid frame
//          delay     the reply leaves only after the delay (longer than the
//                    100 ms silence that ends a read)
//          drop      the line goes away; nothing more is received or sent
//
// `address`, `type` and `data` leave acknowledgements as they are. The first rule
// that matches a frame is the one applied; random rules draw for every frame
// whether or not an earlier rule matched, so adding a rule does not move the
// frames another rule picks.
//
// Examples: nak@5  silence@12  checksum@random:0.01:seed=7  drop@100
//           delay@3-4:ms=400

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

enum class FaultKind { Nak, Checksum, Short, Address, Type, Data, Extra, Silence, Garbage, Delay, Drop };

struct FaultRule {
    static constexpr std::uint64_t kEveryLater = UINT64_MAX;

    FaultKind kind = FaultKind::Nak;
    std::uint64_t firstFrame = 1;
    std::uint64_t lastFrame = 1;  // kEveryLater for an open end
    bool random = false;
    double probability = 0.0;
    std::uint32_t seed = 1;
    std::chrono::milliseconds delay{250};

    // The rule that hits frame `frame` only.
    static FaultRule at(FaultKind kind, std::uint64_t frame);
    // Canonical text in the rule syntax.
    std::string text() const;
};

const char* faultKindName(FaultKind kind);

// Parses one rule. On failure returns nothing and, when `error` is given,
// says what is wrong.
std::optional<FaultRule> parseFaultRule(std::string_view text, std::string* error = nullptr);

// The syntax summary shown by `velora-emu --help`.
extern const char* const kFaultSyntaxHelp;

// What the controller does with a reply it has built, under a fault.
struct Reply {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds delay{0};  // extra wait before the first byte
    bool dropLine = false;               // the line goes away instead
};

// Does the frame still take effect under this fault? (Not for nak, silence, drop.)
bool faultCarriesOutFrame(FaultKind kind);

// A set of rules and the random state they draw from.
class FaultPlan {
  public:
    FaultPlan() = default;
    explicit FaultPlan(const std::vector<FaultRule>& rules);

    void add(const FaultRule& rule);
    // Parses and adds; false (with `error`) when the text is not a rule.
    bool add(std::string_view text, std::string* error = nullptr);
    void clear() { rules_.clear(); }
    bool empty() const { return rules_.empty(); }

    // The fault for request frame number `frame`, if any.
    std::optional<FaultRule> forFrame(std::uint64_t frame);

    // Turns the reply the controller built (empty for the restart command)
    // into what it sends under `rule`.
    void apply(const FaultRule& rule, Reply& reply);

    std::uint64_t injected() const { return injected_; }

  private:
    struct Active {
        FaultRule rule;
        std::mt19937 rng;
    };
    std::vector<Active> rules_;
    std::mt19937 garbage_{0x5EEDu};
    std::uint64_t injected_ = 0;
};

}  // namespace velora
