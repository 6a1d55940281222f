#pragma once
// The clock of the tests: time moves only when the test (or a virtual line
// waiting on it) moves it. A clock that must stand still is one nobody
// advances.

#include <chrono>

#include "platform/clock.h"

namespace velora::testing {

class ManualClock final : public Clock {
  public:
    explicit ManualClock(TimePoint start = TimePoint(std::chrono::seconds(1))) : now_(start) {}
    TimePoint now() const override { return now_; }
    void advance(Duration by) { now_ += by; }
    // Moves to `t`; never backwards.
    void advanceTo(TimePoint t) {
        if (t > now_) now_ = t;
    }

  private:
    TimePoint now_;
};

}  // namespace velora::testing
