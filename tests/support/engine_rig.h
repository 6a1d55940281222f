#pragma once
// The program's objects on a virtual line with one emulated controller on
// COM1, opened, in virtual time: the ground every engine test stands on.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/run_loop.h"
#include "shell/application.h"
#include "tests/support/recorded_events.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/virtual_port_factory.h"

namespace velora::testing {

class EngineRig : public ::testing::Test {
  protected:
    using Bytes = std::vector<std::uint8_t>;

    ManualClock clock;
    VirtualPortFactory ports{clock};
    ControllerModel& controller = ports.addController("COM1");
    ScriptedUi ui;
    RecordedEvents events;
    Application app{ports, ui, clock, &events};
    SerialLink& link = app.link();
    TransferEngine& engine = app.engine();

    void SetUp() override {
        link.setPortTable({"COM1"});
        ASSERT_EQ(link.openPort(true), SerialLink::kOpened);
    }

    // Every frame the program wrote to the line.
    const std::vector<Bytes>& sent() const { return ports.log("COM1").writes; }

    // Ticks until the engine is idle, letting virtual time pass while it
    // waits; `eachStep` (if any) runs before every step.
    void runToIdle(const std::function<void()>& eachStep = {}) {
        runUntilIdle(engine, link, clock, [&] {
            if (eachStep) eachStep();
            return false;
        });
    }
    // Ticks one step at a time until `until` holds (or the engine is idle).
    void tickUntil(const std::function<bool()>& until) {
        for (int i = 0; i < 10000 && !engine.idle() && !until(); ++i) {
            engine.tick(engine.state());
            if (engine.waitingOnLine()) link.device()->wait(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(until());
    }
};

}  // namespace velora::testing
