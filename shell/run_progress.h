#pragma once
// What a run has done and how long the rest will take, worked out from the
// line speed and the blocks still to go: a read or a verification moves a
// 6-byte request and a 134-byte reply a block; a write a 134-byte frame and
// a 3-byte acknowledgement, plus the 100 ms of silence that ends each
// acknowledgement read; a firmware record its request and answer likewise.
// Shown as "37 % - 3:02 left" on the progress bar and velora-cli's progress
// line.

#include <chrono>
#include <cstddef>
#include <string>

#include "engine/engine_events.h"

namespace velora {

class RunProgress {
  public:
    // 38400 baud, 11 bits a byte.
    static constexpr double kBytesPerSecond = 38400.0 / 11.0;

    void start(RunKind kind, Action action);
    // `action` is the pass the block belongs to: an upgrade's install pass
    // is followed by its verification pass in the same run.
    void blockDone(std::size_t done, std::size_t total, Action action);

    // 0..100, of the blocks (or records) done.
    int percent() const;
    // The line time the blocks still to go need, at least.
    std::chrono::milliseconds timeLeft() const;
    // "37 % - 3:02 left"; empty before the first block and for runs of no
    // blocks (the version query, a file step).
    std::string text() const;
    std::size_t done() const { return done_; }
    std::size_t total() const { return total_; }

    // Line time of one block (or firmware record) of `action` in a run of `kind`.
    static double secondsPerBlock(Action action, RunKind kind);

  private:
    Action action_ = Action::NoAction;
    RunKind kind_ = RunKind::Memory;
    std::size_t done_ = 0;
    std::size_t total_ = 0;
};

// "3:02", "1:02:03".
std::string minutesAndSeconds(std::chrono::milliseconds duration);

}  // namespace velora
