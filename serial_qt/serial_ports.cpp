#include "serial_qt/serial_ports.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cstdlib>

#include "serial_qt/qt_serial.h"

#ifdef Q_OS_UNIX
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velora {

std::vector<std::string> splitPortList(const std::string& value) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start <= value.size()) {
        const std::size_t end = std::min(value.find(':', start), value.size());
        if (end > start) paths.push_back(value.substr(start, end - start));
        start = end + 1;
    }
    return paths;
}

#ifdef Q_OS_UNIX
std::string systemLocation(const std::string& name) {
    return name.starts_with('/') || name.starts_with("./") || name.starts_with("../") ? name : "/dev/" + name;
}
#endif

std::optional<std::vector<std::string>> QtSerialPortFactory::enumerate() {
    std::vector<std::string> names;
    const auto add = [&names](const std::string& name) {
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        add(info.portName().toStdString());
#else
        add(info.systemLocation().toStdString());
#endif
    }
#ifndef Q_OS_WIN
    if (const char* extra = std::getenv("VELORA_PORTS")) {
        for (const std::string& path : splitPortList(extra)) add(path);
    }
#endif
    return names;
}

std::unique_ptr<SerialDevice> QtSerialPortFactory::open(const std::string& name, int& error) {
    auto device = std::make_unique<QtSerialDevice>(clock_);
    error = device->open(name);
    if (error != 0) return nullptr;
    return device;
}

std::optional<DeviceAccess> QtSerialPortFactory::access(const std::string& name) {
#ifdef Q_OS_UNIX
    return deviceAccess(systemLocation(name));
#else
    Q_UNUSED(name);
    return std::nullopt;
#endif
}

#ifdef Q_OS_UNIX
std::optional<DeviceAccess> deviceAccess(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    DeviceAccess access;
    const passwd* user = ::getpwuid(status.st_uid);
    access.owner = user != nullptr ? user->pw_name : std::to_string(status.st_uid);
    const group* owners = ::getgrgid(status.st_gid);
    access.group = owners != nullptr ? owners->gr_name : std::to_string(status.st_gid);
    access.groupMayUse = (status.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    access.othersMayUse = (status.st_mode & (S_IROTH | S_IWOTH)) == (S_IROTH | S_IWOTH);
    // The groups this program runs with; one added to the user since the
    // login is not among them yet.
    access.inGroup = ::getegid() == status.st_gid;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        access.inGroup = access.inGroup || std::ranges::find(groups, status.st_gid) != groups.end();
    return access;
}
#endif

}  // namespace velora
