#pragma once
// velora-emu's line: the emulated controller on a pseudo-terminal (POSIX).
//
// The master side is ours; clients open the slave device like a serial port.
// We keep a slave descriptor open ourselves, so a client that closes and
// reopens the device finds it as it left it (in raw mode) and we never see a
// hang-up. One poll loop serves the line, the signals (through a signalfd)
// and the timers of paced output; it sleeps when nothing is due.

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "emulator/controller_model.h"
#include "emulator/timed_controller.h"

namespace velora {

struct PtySettings {
    bool paced = false;
    Duration turnaround{0};
    std::string linkPath;    // symlink to the device, or empty
    std::string memoryFile;  // saved after writes (debounced) and at exit, or empty
    bool log = false;        // frames in hex on stderr
};

class PtyServer {
  public:
    PtyServer(ControllerModel& model, PtySettings settings);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Opens the pseudo-terminal (and the symlink). False with `error`.
    bool open(std::string& error);
    const std::string& devicePath() const { return device_; }

    // Serves the line until one of `stopSignals` arrives (they must already
    // be blocked) or a drop fault takes the line away. Returns the exit status.
    int run(const sigset_t& stopSignals);

  private:
    void receive(TimePoint now);
    void transmit(TimePoint now);
    std::optional<TimePoint> nextWake() const;
    void saveMemory(const char* when);
    void closeLine();
    void logEntry(const ModelLogEntry& entry) const;

    ControllerModel& model_;
    PtySettings settings_;
    TimedController controller_;
    int master_ = -1;
    int slave_ = -1;  // our own, keeps the device open between clients
    std::string device_;
    bool linkMade_ = false;
    TimePoint rxFree_{};
    std::vector<std::uint8_t> unsent_;  // due, but the pty would not take them yet
    std::uint64_t writesSeen_ = 0;
    std::optional<TimePoint> saveAt_;
    std::optional<TimePoint> firstUnsaved_;
    TimePoint started_;
};

}  // namespace velora
