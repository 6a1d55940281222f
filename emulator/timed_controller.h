#pragma once
// The controller's end of a line with time: bytes come in with the moment
// they have fully arrived, replies go out paced at the line speed, each byte
// stamped with the moment it has fully left. Used by velora-emu on a
// pseudo-terminal and by the virtual-time line of the tests.
//
// A reply starts `turnaround` (plus any delay a fault adds) after the last
// byte of its request and after the previous reply has left. A frame that
// stops half-way is given up once the line has been silent for `frameGap`.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "emulator/controller_model.h"
#include "platform/clock.h"

namespace velora {

// 38400 baud, 1 start, 8 data and 2 stop bits: 11 bits a byte.
inline constexpr Duration kByteTime38400{11'000'000'000LL / 38400};

struct LineTiming {
    Duration byteTime = kByteTime38400;  // zero: unpaced
    Duration turnaround{0};
    Duration frameGap = std::chrono::milliseconds(50);
};

struct TimedByte {
    std::uint8_t byte;
    TimePoint at;
};

class TimedController {
  public:
    TimedController(ControllerModel& model, LineTiming timing) : model_(model), timing_(timing) {}

    // A byte that has completely arrived at `at` (never before the previous one).
    void receive(std::uint8_t byte, TimePoint at);
    // Time passes up to `now` with no byte.
    void advanceTo(TimePoint now);

    // Reply bytes not yet taken, in order, stamped with the moment each has
    // completely left the controller (possibly in the future).
    std::deque<TimedByte>& output() { return output_; }
    const std::deque<TimedByte>& output() const { return output_; }
    // When the line goes away (a drop fault), once known.
    std::optional<TimePoint> dropTime() const { return drop_; }
    // The next moment `advanceTo` would do something: the end of the gap
    // after a half frame.
    std::optional<TimePoint> nextEvent() const;

    ControllerModel& model() { return model_; }
    const LineTiming& timing() const { return timing_; }

  private:
    void sendReplies(const std::vector<Reply>& replies, TimePoint at);

    ControllerModel& model_;
    LineTiming timing_;
    std::optional<TimePoint> lastByte_;
    TimePoint txFree_{};
    std::deque<TimedByte> output_;
    std::optional<TimePoint> drop_;
};

}  // namespace velora
