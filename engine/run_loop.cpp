#include "engine/run_loop.h"

namespace velora {

RunOutcome runUntilIdle(TransferEngine& engine, SerialLink& link, const Clock& clock,
                        const std::function<bool()>& interrupted, Duration longestWait) {
    while (!engine.idle()) {
        if (interrupted && interrupted()) {
            engine.stop();
            break;
        }
        const TransferState before = engine.state();
        engine.tick(before);
        SerialDevice* device = link.device();
        if (device && engine.waitingOnLine() && engine.state() == before)
            waitForLine(*device, clock, longestWait);
    }
    return engine.outcome();
}

}  // namespace velora
