#pragma once
// When a read of the serial line completes. Every serial device applies this
// one rule, whatever carries its bytes (a real port, the virtual-time line of
// the tests), so they cannot drift apart.
//
// A reply read of n bytes completes when n bytes have arrived, when more
// than the inter-byte time-out has passed after a received byte, or when
// n x the per-byte time-out has passed since it started. A quiet read takes
// (and throws away) every byte until none has come for its quiet time,
// counted from its start and then from each byte, or until its limit.
//
// At a deadline D, a byte that arrives at D is still taken; with none, the
// read completes at D.

#include <cstddef>
#include <limits>

#include "platform/clock.h"
#include "platform/serial.h"

namespace velora {

class ReadRule {
  public:
    // No read: complete, taking nothing.
    ReadRule() = default;
    static ReadRule reply(std::size_t count, TimePoint start, const LineSettings& settings);
    static ReadRule quiet(TimePoint start, Duration quiet, Duration limit);

    // Whether the read keeps what it takes (a reply) or throws it away.
    bool keepsBytes() const { return !quiet_; }
    // Bytes the read still takes: for a reply the count not yet arrived, for
    // a quiet read as many as come.
    std::size_t room() const;
    // True when a byte arriving at `at` is taken: the read is neither full
    // nor past a deadline then.
    bool takes(TimePoint at) const;
    // `n` bytes taken, the last of them at `at`.
    void took(std::size_t n, TimePoint at);
    // True once the read is complete by `now`: full, or a deadline reached.
    bool completeBy(TimePoint now) const;
    // The moment the read completes if nothing more arrives; for a full
    // read, the moment it filled up.
    TimePoint deadline() const;
    std::size_t taken() const { return taken_; }
    // When the last byte was taken; the start while none has come.
    TimePoint lastByte() const { return lastByte_; }

  private:
    bool quiet_ = false;
    std::size_t count_ = 0;
    std::size_t taken_ = 0;
    TimePoint totalDeadline_{};
    Duration silence_{};  // inter-byte time-out, or the quiet time
    TimePoint lastByte_{};
    bool anyByte_ = false;
};

}  // namespace velora
