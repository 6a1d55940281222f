// The Win32 side of finding and opening ports: the COM ports the spooler
// knows and those VELORA_PORTS adds, the device names, and Windows' error
// numbers in the link's own kinds.

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "serial_win32/win32_serial.h"

namespace velora {

int openErrorFromWindows(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_BAD_NETPATH:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BAD_UNIT:
        case ERROR_FILE_INVALID:
            return ENOENT;
        // A COM port that another program holds refuses every other opener
        // with "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return EBUSY;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
            return ENOTTY;
        default:
            return EIO;
    }
}

int lineErrorFromWindows(DWORD error) {
    switch (error) {
        case ERROR_TIMEOUT:
        case ERROR_SEM_TIMEOUT:
        case ERROR_COUNTER_TIMEOUT:
        case WAIT_TIMEOUT:
            return ETIMEDOUT;
        // Access denied, device not connected, a general failure: the
        // adapter was unplugged or the driver gave the port up.
        default:
            return EIO;
    }
}

std::string win32DeviceName(const std::string& port) {
    if (port.starts_with("\\\\")) return port;
    return "\\\\.\\" + port;
}

std::vector<std::string> portNames(const std::vector<std::string>& spooled, const std::string& extra) {
    std::vector<std::string> names;
    const auto add = [&names](std::string name) {
        if (name.ends_with(':')) name.pop_back();
        if (!name.empty() && std::ranges::find(names, name) == names.end()) names.push_back(std::move(name));
    };
    for (const std::string& name : spooled) add(name);
    std::size_t start = 0;
    while (start <= extra.size()) {
        const std::size_t end = std::min(extra.find(';', start), extra.size());
        add(extra.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

namespace {

// The spooler's port names, or `std::nullopt` when it cannot be loaded.
std::optional<std::vector<std::string>> spooledPorts() {
    const HMODULE spooler = ::LoadLibraryA("winspool.drv");
    if (spooler == nullptr) return std::nullopt;
    using EnumPorts = BOOL(WINAPI*)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    std::vector<std::string> names;
    const FARPROC entry = ::GetProcAddress(spooler, "EnumPortsA");
    if (entry != nullptr) {
        EnumPorts enumPorts = nullptr;
        static_assert(sizeof enumPorts == sizeof entry);
        std::memcpy(&enumPorts, &entry, sizeof enumPorts);
        DWORD needed = 0;
        DWORD count = 0;
        enumPorts(nullptr, 1, nullptr, 0, &needed, &count);
        std::vector<BYTE> buffer(needed);
        if (needed > 0 && enumPorts(nullptr, 1, buffer.data(), needed, &needed, &count)) {
            const auto* ports = reinterpret_cast<const PORT_INFO_1A*>(buffer.data());
            for (DWORD i = 0; i < count; ++i)
                if (ports[i].pName != nullptr) names.emplace_back(ports[i].pName);
        }
    }
    ::FreeLibrary(spooler);
    return names;
}

}  // namespace

std::optional<std::vector<std::string>> Win32SerialPortFactory::enumerate() {
    const char* extraValue = std::getenv("VELORA_PORTS");
    const std::string extra = extraValue != nullptr ? extraValue : "";
    const auto spooled = spooledPorts();
    if (!spooled && extra.empty()) return std::nullopt;
    return portNames(spooled.value_or(std::vector<std::string>{"COM1", "COM2"}), extra);
}

std::unique_ptr<SerialDevice> Win32SerialPortFactory::open(const std::string& name, int& error) {
    auto device = std::make_unique<Win32SerialDevice>(clock_);
    error = device->open(name);
    if (error != 0) return nullptr;
    return device;
}

}  // namespace velora
