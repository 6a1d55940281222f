#pragma once
// The line at a glance: the port in use and whether the controller answers,
// as the engine's events and the port's opening and closing tell it.

#include <string>

#include "engine/engine_events.h"

namespace velora {

class ConnectionStatus {
  public:
    enum class State { NoPort, Unknown, Answering, NoAnswer, Lost };

    // The port `name` was opened (chosen, found, opened again).
    void portOpened(const std::string& name);
    // No port is open any more (closed for another, not found).
    void portClosed();

    // From the engine.
    void blockDone() { answered(); }
    void lineError(const LineFault& fault);
    void runEnded(RunOutcome outcome, bool onTheLine);

    State state() const { return state_; }
    const std::string& port() const { return port_; }
    // "/dev/ttyUSB0 - answering", "/dev/ttyUSB0 - no answer to the last
    // frame", "/dev/ttyUSB0 - line lost", "no port".
    std::string text() const;

  private:
    void answered();

    State state_ = State::NoPort;
    std::string port_;
};

}  // namespace velora
