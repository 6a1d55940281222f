// The Win32 serial device's own rules: port names and the link's error kinds.
#include <gtest/gtest.h>

#include "serial_win32/win32_serial.h"

namespace velora {
namespace {

TEST(Win32Ports, SpoolerNamesLoseTheirColonAndVeloraPortsAddEachNameOnce) {
    EXPECT_EQ(portNames({"COM1:", "LPT1:", "FILE:", "COM3:"}, "COM7;;COM1;COM12"),
              (std::vector<std::string>{"COM1", "LPT1", "FILE", "COM3", "COM7", "COM12"}));
    EXPECT_EQ(portNames({}, ""), std::vector<std::string>{});
}

TEST(Win32Ports, PortNamesOpenThroughTheDeviceNamespace) {
    EXPECT_EQ(win32DeviceName("COM12"), "\\\\.\\COM12");
    EXPECT_EQ(win32DeviceName("\\\\.\\COM3"), "\\\\.\\COM3");
}

TEST(Win32Errors, WindowsErrorsBecomeTheLinksKinds) {
    const struct {
        DWORD windows;
        int open;
        int line;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, ENOENT, EIO},
        {ERROR_ACCESS_DENIED, EBUSY, EIO},  // held by another program; on a line: unplugged
        {ERROR_DEVICE_NOT_CONNECTED, EIO, EIO},
        {ERROR_GEN_FAILURE, EIO, EIO},
        {ERROR_SEM_TIMEOUT, EIO, ETIMEDOUT},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(openErrorFromWindows(c.windows), c.open) << c.windows;
        EXPECT_EQ(lineErrorFromWindows(c.windows), c.line) << c.windows;
    }
}

}  // namespace
}  // namespace velora
