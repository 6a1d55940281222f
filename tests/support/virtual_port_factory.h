#pragma once
// Named virtual ports for the link, engine, shell and window tests: ports
// with a controller behind them, silent ports, ports that answer the probe
// wrongly, ports that cannot be opened, or that fail to configure, write or
// read. Every device it opens is a VirtualSerialDevice on the one clock; a
// factory with no ports is a machine without serial ports.
//
//     ManualClock clock;
//     VirtualPortFactory ports(clock);
//     ports.addUnopenable("COM1", EACCES);
//     ports.addSilent("COM2");
//     ControllerModel& controller = ports.addController("COM3");
//     controller.faults().add("nak@2");
//
// A controller's model lives as long as the factory, so its memory and its
// frame count last across opens, as a real controller's do. Opening a port
// that is already open fails with EBUSY; an unknown name, or a controller
// whose line a drop fault took away (until `ControllerModel::reconnect`),
// fails with ENOENT. Each port's record (its scripted failures and its log)
// outlives the factory's devices.

#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emulator/controller_model.h"
#include "tests/support/virtual_line.h"

namespace velora::testing {

class VirtualPortFactory final : public SerialPortFactory {
  public:
    // `wait` on its devices moves a ManualClock and sleeps on any other.
    explicit VirtualPortFactory(ManualClock& clock) : clock_(clock), manual_(&clock) {}
    explicit VirtualPortFactory(const Clock& clock) : clock_(clock) {}

    // A port with a controller behind it, kept by the factory.
    ControllerModel& addController(const std::string& name, LineTiming timing = {});
    // A port behind which `model` answers; the caller keeps it alive.
    void addController(const std::string& name, ControllerModel& model, LineTiming timing = {});
    // A port whose controller answers every frame with 06 03 F6 where the
    // acknowledgement belongs (and data replies with a checksum one off).
    ControllerModel& addWrongAcknowledgement(const std::string& name, LineTiming timing = {});
    // A port that opens, but nothing answers.
    void addSilent(const std::string& name, LineTiming timing = {});
    // A port that cannot be opened: open fails with `error`; `access` is who
    // may use it, as the system would tell (none: the platform cannot tell).
    void addUnopenable(const std::string& name, int error = EACCES,
                       std::optional<DeviceAccess> access = std::nullopt);
    // Failures of an added port, for its open devices too: configure fails
    // (or works again); startWrite returns `error`; writes fail with `error`
    // when they would have completed; reads fail with `error` at once. An
    // error of 0 ends the failure.
    void setConfigureFails(const std::string& name, bool fails = true);
    void setWriteStartFails(const std::string& name, int error);
    void setWriteFails(const std::string& name, int error);
    void setReadFails(const std::string& name, int error);

    // What `enumerate` gives: by default the names added, in order.
    // `std::nullopt`: the platform cannot enumerate at all.
    void setEnumeration(std::optional<std::vector<std::string>> names);

    // The model behind a port, or null.
    ControllerModel* model(const std::string& name);
    // The device currently open on a port, or null.
    VirtualSerialDevice* openDevice(const std::string& name);
    // Every open attempt, in order; ports with a device open.
    const std::vector<std::string>& openAttempts() const { return attempts_; }
    int openDevices() const;
    // What was done to a port over all its opens (empty for unknown names).
    const PortRecord& log(const std::string& name) const;

    std::optional<std::vector<std::string>> enumerate() override;
    std::unique_ptr<SerialDevice> open(const std::string& name, int& error) override;
    std::optional<DeviceAccess> access(const std::string& name) override;

  private:
    struct Port {
        std::unique_ptr<ControllerModel> owned;
        ControllerModel* model = nullptr;
        LineTiming timing;
        int openError = 0;
        std::optional<DeviceAccess> access;
        std::shared_ptr<PortRecord> record = std::make_shared<PortRecord>();
        VirtualSerialDevice* device = nullptr;  // valid while the record says open
    };
    Port& add(const std::string& name);
    PortRecord& record(const std::string& name);

    const Clock& clock_;
    ManualClock* manual_ = nullptr;
    std::vector<std::string> order_;
    std::map<std::string, Port> ports_;
    std::optional<std::optional<std::vector<std::string>>> enumeration_;
    std::vector<std::string> attempts_;
};

}  // namespace velora::testing
