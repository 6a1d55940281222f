#include "tests/support/fake_serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace velora::testing {

namespace {

class FakeSerialDevice : public SerialDevice {
  public:
    FakeSerialDevice(const FakePortScript& script, FakePortLog& log) : script_(script), log_(log) {
        ++log_.opened;
    }
    ~FakeSerialDevice() override { ++log_.closed; }

    bool configure(const LineSettings&) override {
        ++log_.configured;
        return !script_.configureFails;
    }
    void purge() override {
        ++log_.purges;
        write_ = {};
        read_ = {};
    }
    int startWrite(std::span<const std::uint8_t> bytes) override {
        if (script_.writeStartError != 0) return script_.writeStartError;
        log_.writes.emplace_back(bytes.begin(), bytes.end());
        write_ = {true, script_.pendingPolls, bytes.size()};
        return 0;
    }
    IoStatus pollWrite() override {
        if (!write_.active) return IoStatus::failed(EINVAL);
        if (write_.pollsLeft-- > 0) return IoStatus::pending();
        if (script_.writeError != 0) return IoStatus::failed(script_.writeError);
        return IoStatus::done(write_.count);
    }
    void startRead(std::size_t count) override {
        log_.reads.push_back(count);
        read_ = {true, script_.pendingPolls, count};
    }
    // The scripted line is always quiet.
    void startQuiet(Duration, Duration) override {
        ++log_.quiets;
        read_ = {true, 0, 0, true};
    }
    IoStatus pollRead() override {
        if (!read_.active) return IoStatus::failed(EINVAL);
        if (read_.quiet) {
            received_.clear();
            return IoStatus::done(0);
        }
        if (read_.pollsLeft-- > 0) return IoStatus::pending();
        if (script_.readError != 0) return IoStatus::failed(script_.readError);
        const std::size_t n = std::min(read_.count, script_.answer.size());
        received_.assign(script_.answer.begin(), script_.answer.begin() + static_cast<std::ptrdiff_t>(n));
        return IoStatus::done(n);
    }
    std::span<const std::uint8_t> received() const override { return received_; }
    std::optional<TimePoint> nextDeadline() const override { return std::nullopt; }
    void setActivityHandler(std::function<void()>) override {}
    void wait(Duration) override { ++log_.waits; }

  private:
    struct Operation {
        bool active = false;
        int pollsLeft = 0;
        std::size_t count = 0;
        bool quiet = false;
    };
    const FakePortScript& script_;
    FakePortLog& log_;
    Operation write_, read_;
    std::vector<std::uint8_t> received_;
};

}  // namespace

FakePortFactory& FakePortFactory::add(const std::string& name, FakePortScript script) {
    names_.push_back(name);
    ports_[name] = Port{std::move(script), {}};
    return *this;
}

const FakePortLog& FakePortFactory::log(const std::string& name) const {
    static const FakePortLog none;
    const auto it = ports_.find(name);
    return it == ports_.end() ? none : it->second.log;
}

int FakePortFactory::openDevices() const {
    return static_cast<int>(
        std::count_if(ports_.begin(), ports_.end(), [](const auto& p) { return p.second.log.isOpen(); }));
}

std::optional<std::vector<std::string>> FakePortFactory::enumerate() {
    if (noEnumeration_) return std::nullopt;
    return names_;
}

std::unique_ptr<SerialDevice> FakePortFactory::open(const std::string& name, int& error) {
    openOrder_.push_back(name);
    const auto it = ports_.find(name);
    if (it == ports_.end()) {
        error = ENOENT;
        return nullptr;
    }
    Port& port = it->second;
    ++port.log.openAttempts;
    if (port.script.openError != 0) {
        error = port.script.openError;
        return nullptr;
    }
    if (port.log.isOpen()) ADD_FAILURE() << name << " opened twice without being closed";
    return std::make_unique<FakeSerialDevice>(port.script, port.log);
}

}  // namespace velora::testing
