#pragma once
// A scripted serial line for tests: named ports that fail to open, fail to
// configure, stay silent, answer with given bytes, or fail a write. Every
// device records what was done to it, so a test can check the bytes sent,
// the purges and that a port was closed again.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial.h"

namespace velora::testing {

// How one named port behaves.
struct FakePortScript {
    int openError = 0;  // open fails with this error number
    bool configureFails = false;
    int writeStartError = 0;           // startWrite returns this error number
    int writeError = 0;                // the write fails on completion with this
    int readError = 0;                 // the read fails with this
    std::vector<std::uint8_t> answer;  // delivered to every read, up to the count asked for
    int pendingPolls = 2;              // polls answered "pending" before an operation completes

    static FakePortScript silent() { return {}; }
    static FakePortScript answering(std::vector<std::uint8_t> bytes) {
        FakePortScript s;
        s.answer = std::move(bytes);
        return s;
    }
    static FakePortScript failingOpen(int error) {
        FakePortScript s;
        s.openError = error;
        return s;
    }
};

// What happened to one named port.
struct FakePortLog {
    int openAttempts = 0;
    int opened = 0;  // devices handed out
    int closed = 0;  // devices destroyed
    int configured = 0;
    int purges = 0;
    int waits = 0;
    int quiets = 0;  // waits for the line to fall quiet
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::size_t> reads;  // counts asked for

    bool isOpen() const { return opened > closed; }
};

class FakePortFactory : public SerialPortFactory {
  public:
    // Adds a port, offered by enumerate() in the order added.
    FakePortFactory& add(const std::string& name, FakePortScript script);
    // enumerate() then says the platform cannot enumerate.
    void setNoEnumeration() { noEnumeration_ = true; }

    const FakePortLog& log(const std::string& name) const;
    // Names in the order open() was asked for them.
    const std::vector<std::string>& openOrder() const { return openOrder_; }
    // Ports with a device alive.
    int openDevices() const;

    std::optional<std::vector<std::string>> enumerate() override;
    std::unique_ptr<SerialDevice> open(const std::string& name, int& error) override;

  private:
    struct Port {
        FakePortScript script;
        FakePortLog log;
    };
    std::vector<std::string> names_;
    std::map<std::string, Port> ports_;
    std::vector<std::string> openOrder_;
    bool noEnumeration_ = false;
};

}  // namespace velora::testing
