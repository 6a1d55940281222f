#include "emulator/demo_upgrade.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "upgrade/upgrade_writer.h"

namespace velora {

namespace {

constexpr std::uint32_t kDemoStart = 0xF800;
constexpr std::size_t kDemoSize = 4096 + 5;

}  // namespace

std::vector<UpgradeRecord> demoFirmwareRecords() {
    std::vector<UpgradeRecord> records;
    std::uint32_t state = 0x318u;
    for (std::size_t at = 0; at < kDemoSize; at += 16) {
        UpgradeRecord record;
        record.address = kDemoStart + static_cast<std::uint32_t>(at);
        record.length = static_cast<std::uint32_t>(std::min<std::size_t>(16, kDemoSize - at));
        for (std::uint32_t i = 0; i < record.length; ++i) {
            state = state * 1103515245u + 12345u;
            record.data[i] = static_cast<std::uint8_t>(state >> 16);
        }
        records.push_back(record);
    }
    return records;
}

std::string nextFirmwareVersion(const FirmwareVersion& current) {
    unsigned major = current.major % 10;
    unsigned minor = current.minor % 100 + 1;
    if (minor > 99) {
        minor = 0;
        major = (major + 1) % 10;
    }
    std::string text = std::to_string(major) + '.';
    if (minor < 10) text += '0';
    return text + std::to_string(minor);
}

bool writeDemoUpgradeFile(const std::filesystem::path& path, const FirmwareVersion& current,
                          std::string& error) {
    const std::vector<UpgradeRecord> records = demoFirmwareRecords();
    const auto file = buildUpgradeFile(nextFirmwareVersion(current), records, error,
                                       "Demonstration firmware for the Velora emulator\r\n");
    if (!file) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(file->bytes.data(), static_cast<std::streamsize>(file->bytes.size()));
    if (out) out.close();
    if (!out) {
        error = path.string() + ": cannot write: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace velora
