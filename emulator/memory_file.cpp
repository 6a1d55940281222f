#include "emulator/memory_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <system_error>
#include <vector>

namespace velora {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::size_t kDataOnly = ControllerModel::kDataMemorySize;
constexpr std::size_t kDataAndFirmware = kDataOnly + ControllerModel::kFirmwareMemorySize;

// Opens a file by its path; the wide call on Windows, where a narrow name
// would pass through the ANSI code page.
std::FILE* openFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return ::_wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

std::string describe(const std::filesystem::path& path, const char* what, int err) {
    return path.string() + ": " + what + (err ? std::string(": ") + std::strerror(err) : std::string());
}

}  // namespace

MemoryLoad loadMemoryFile(ControllerModel& model, const std::filesystem::path& path, std::string& error) {
    File file(openFile(path, "rb"));
    if (!file) {
        if (errno == ENOENT) return MemoryLoad::Missing;
        error = describe(path, "cannot open", errno);
        return MemoryLoad::Failed;
    }
    // One byte more than the largest size tells an oversized file apart.
    std::vector<std::uint8_t> content(kDataAndFirmware + 1);
    const std::size_t got = std::fread(content.data(), 1, content.size(), file.get());
    if (std::ferror(file.get())) {
        error = describe(path, "cannot read", errno);
        return MemoryLoad::Failed;
    }
    if (got != kDataOnly && got != kDataAndFirmware) {
        error = describe(path, "not a controller memory file (wrong size)", 0);
        return MemoryLoad::Failed;
    }
    std::copy_n(content.begin(), kDataOnly, model.dataMemory().begin());
    if (got == kDataAndFirmware)
        std::copy_n(content.begin() + kDataOnly, ControllerModel::kFirmwareMemorySize,
                    model.firmwareMemory().begin());
    return MemoryLoad::Loaded;
}

bool saveMemoryFile(const ControllerModel& model, const std::filesystem::path& path, std::string& error) {
    std::random_device random;
    std::filesystem::path temporary;
    File file;
    for (int attempt = 0; attempt < 8 && !file; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".tmp%08x", static_cast<unsigned>(random()));
        temporary = path;
        temporary += suffix;
        // "x": never take over a file that is already there.
        file.reset(openFile(temporary, "wbx"));
        if (!file && errno != EEXIST) break;
    }
    if (!file) {
        error = describe(temporary, "cannot create", errno);
        return false;
    }
    const auto data = model.dataMemory();
    const auto firmware = model.firmwareMemory();
    bool ok = std::fwrite(data.data(), 1, data.size(), file.get()) == data.size() &&
              std::fwrite(firmware.data(), 1, firmware.size(), file.get()) == firmware.size() &&
              std::fflush(file.get()) == 0;
    int err = ok ? 0 : errno;
    if (std::fclose(file.release()) != 0 && ok) {
        ok = false;
        err = errno;
    }
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temporary, path, ec);
        if (!ec) return true;
        err = ec.value();
    }
    std::filesystem::remove(temporary, ec);
    error = describe(path, "cannot save", err);
    return false;
}

}  // namespace velora
