#include "shell/connection_status.h"

namespace velora {

void ConnectionStatus::portOpened(const std::string& name) {
    if (port_ != name || state_ == State::NoPort || state_ == State::Lost) state_ = State::Unknown;
    port_ = name;
}

void ConnectionStatus::portClosed() {
    // A port that went away stays named: it is opened again by the next command.
    if (state_ != State::Lost) state_ = State::NoPort;
}

void ConnectionStatus::answered() {
    if (state_ != State::NoPort) state_ = State::Answering;
}

void ConnectionStatus::lineError(const LineFault& fault) {
    if (state_ == State::NoPort && fault.kind != LineFault::PortLost) return;
    switch (fault.kind) {
        case LineFault::WriteFailed:
        case LineFault::ReadFailed:
        case LineFault::PortLost:
            state_ = State::Lost;
            break;
        case LineFault::NotAcknowledged:
        case LineFault::BadReply:
        case LineFault::WrongKind:
            state_ = State::NoAnswer;
            break;
    }
}

void ConnectionStatus::runEnded(RunOutcome outcome, bool onTheLine) {
    if (onTheLine && outcome == RunOutcome::Completed) answered();
}

std::string ConnectionStatus::text() const {
    switch (state_) {
        case State::NoPort:
            return "no port";
        case State::Unknown:
            return port_;
        case State::Answering:
            return port_ + " - answering";
        case State::NoAnswer:
            return port_ + " - no answer to the last frame";
        case State::Lost:
            return port_ + " - line lost";
    }
    return {};
}

}  // namespace velora
