#pragma once
// velora-emu as a child process for end-to-end tests and the soak; its first
// line of output is the device to open. Stopped with SIGTERM (or reaped) on
// destruction.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace velora::testing {

class EmulatorProcess {
  public:
    // Standard input is /dev/null; standard error goes to `errorLog` when one
    // is named, else where the caller's goes. Later children of the caller do
    // not inherit the output pipe.
    EmulatorProcess(const std::string& program, std::vector<std::string> options,
                    const std::filesystem::path& errorLog = {});
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    // The device path the emulator printed; empty when it did not start.
    const std::string& device() const { return device_; }

    // Sends `signal` and waits up to `limit` for the exit: the exit status,
    // 128 + signal for a killed one, or -1 when it did not end in time (or
    // never started).
    int stop(int signal, std::chrono::milliseconds limit);

  private:
    std::string readLine(std::chrono::milliseconds limit);

    pid_t pid_ = -1;
    int output_ = -1;
    bool reaped_ = false;
    std::string device_;
};

}  // namespace velora::testing
