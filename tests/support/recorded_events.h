#pragma once
// The transfer engine's events as a test sees them: every one in order, as
// text, and the last word on what stopping and repeating may do.

#include <optional>
#include <string>
#include <vector>

#include "engine/engine_events.h"

namespace velora::testing {

class RecordedEvents : public EngineEvents {
  public:
    void runStarted(RunKind kind, Action action, Region region) override {
        log.push_back("started " + std::to_string(static_cast<int>(kind)) + " " +
                      std::to_string(static_cast<int>(action)) + " " +
                      std::to_string(static_cast<int>(region)));
    }
    void blockDone(std::size_t done, std::size_t total) override {
        blocks.push_back(done);
        lastTotal = total;
    }
    void blockMoved(Action /*action*/, std::uint32_t block) override { moved.push_back(block); }
    void differenceFound(std::uint32_t block) override { differences.push_back(block); }
    void lineError(const LineFault& fault) override { faults.push_back(fault); }
    void runEnded(RunOutcome outcome) override {
        log.push_back("ended " + std::to_string(static_cast<int>(outcome)));
        ends.push_back(outcome);
    }
    void stopPossible(bool possible) override { stop = possible; }
    void repeatPossible(bool possible) override { repeat = possible; }

    std::vector<std::string> log;  // starts and ends
    std::vector<std::size_t> blocks;
    std::size_t lastTotal = 0;
    std::vector<std::uint32_t> moved;  // blocks acknowledged, stored or compared
    std::vector<std::uint32_t> differences;
    std::vector<LineFault> faults;
    std::vector<RunOutcome> ends;
    std::optional<bool> stop, repeat;  // absent: never said
};

}  // namespace velora::testing
