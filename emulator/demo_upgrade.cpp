#include "emulator/demo_upgrade.h"

#include <cstdint>

#include "files/atomic_save.h"
#include "upgrade/upgrade_writer.h"

namespace velora {

namespace {

constexpr std::uint32_t kDemoStart = 0xF800;
constexpr std::size_t kDemoSize = 4096 + 5;

}  // namespace

std::vector<UpgradeRecord> demoFirmwareRecords() {
    std::vector<std::uint8_t> image(kDemoSize);
    std::uint32_t state = 0x318u;
    for (std::uint8_t& byte : image) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    std::string why;
    return *recordsFromImage(image, kDemoStart, why);  // within the firmware memory
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

std::optional<std::string> writeDemoUpgradeFile(const std::filesystem::path& path,
                                                const FirmwareVersion& current, std::string& error) {
    const std::string version = nextFirmwareVersion(current);
    const auto file = buildUpgradeFile(version, demoFirmwareRecords(), error,
                                       "Demonstration firmware for the Velora emulator\r\n");
    if (!file) return std::nullopt;
    const SaveOutcome saved = saveAtomically(FileToSave{path, file->bytes});
    if (!saved.saved()) {
        error = path.string() + ": cannot write: " + saved.reason();
        return std::nullopt;
    }
    return version;
}

}  // namespace velora
