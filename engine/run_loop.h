#pragma once
// The blocking loop that drives the engine where there is no event loop:
// velora-cli and the tests.

#include <chrono>
#include <functional>

#include "engine/engine.h"
#include "link/serial_link.h"
#include "platform/clock.h"

namespace velora {

// Runs the engine's ticks until it is idle. While the engine waits on the
// line the loop sleeps in the device until bytes move or the next deadline
// comes (at most `longestWait` at a time). `interrupted` is asked before
// every step; when it answers true the run is stopped. Returns how the run
// ended.
RunOutcome runUntilIdle(TransferEngine& engine, SerialLink& link, const Clock& clock,
                        const std::function<bool()>& interrupted = {},
                        Duration longestWait = std::chrono::milliseconds(20));

}  // namespace velora
