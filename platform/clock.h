#pragma once
// Monotonic time, read through one interface so that time-outs can run on
// virtual time in tests.

#include <chrono>

namespace velora {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

class Clock {
  public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

// The machine's steady clock.
class SteadyClock final : public Clock {
  public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace velora
