#pragma once
// Finding serial ports, opening them as QtSerialDevice, and telling who may
// use a device the system refused to open.

#include <QtGlobal>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial.h"

namespace velora {

class QtSerialPortFactory final : public SerialPortFactory {
  public:
    explicit QtSerialPortFactory(const Clock& clock) : clock_(clock) {}

    // Windows: the port names Qt finds ("COM3"). Elsewhere: the device paths
    // Qt finds ("/dev/ttyUSB0"), then every path named in VELORA_PORTS
    // (colon-separated), each once. Pseudo-terminals are never found by Qt;
    // VELORA_PORTS is how they are offered.
    std::optional<std::vector<std::string>> enumerate() override;
    std::unique_ptr<SerialDevice> open(const std::string& name, int& error) override;
    // Elsewhere than Windows: the owner, group and permissions of the device.
    std::optional<DeviceAccess> access(const std::string& name) override;

  private:
    const Clock& clock_;
};

// The colon-separated paths of a VELORA_PORTS value, without empty ones.
std::vector<std::string> splitPortList(const std::string& value);

#ifdef Q_OS_UNIX
// The device path of a port: a name that is a path already stays as it is,
// any other lives under /dev.
std::string systemLocation(const std::string& name);

// Who may use the device at `path` (a link is followed), and whether this
// program runs as a member of its group; `std::nullopt` when it is not there.
std::optional<DeviceAccess> deviceAccess(const std::string& path);
#endif

}  // namespace velora
