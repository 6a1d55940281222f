#include "files/backup_set.h"

#include <cstdlib>
#include <memory>
#include <sstream>
#include <system_error>
#include <vector>

#include "files/atomic_save.h"
#include "files/data_files.h"

namespace velora {

namespace fs = std::filesystem;

namespace {

#ifndef _WIN32
std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}
#endif

fs::path withExtension(const fs::path& base, Region region) {
    // Through UTF-8 on every system: Windows takes a narrow name in its
    // ANSI code page.
    std::string extension = ".";
    extension += dataFileExtension(region);
    return fs::path(base.u8string() + std::u8string(extension.begin(), extension.end()));
}

}  // namespace

fs::path defaultBackupFolder() {
#ifdef _WIN32
    // Read wide: the user's folder may hold any character.
    const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA");
    if (local != nullptr && *local != L'\0') return fs::path(local) / "velora" / "backups";
    return {};
#else
    // A relative XDG_DATA_HOME is to be ignored, as an unset one.
    const std::string data = environment("XDG_DATA_HOME");
    if (!data.empty() && fs::path(data).is_absolute()) return fs::path(data) / "velora" / "backups";
    const std::string home = environment("HOME");
    if (!home.empty()) return fs::path(home) / ".local" / "share" / "velora" / "backups";
    return {};
#endif
}

std::string backupSetName(std::time_t when, const ShowRegion& region) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    return std::string(stamp) + "-" + region.fileNamePart();
}

BackupSaved saveBackupSet(const fs::path& folder, std::time_t when, const ShowRegion& region,
                          const ControllerImage& image) {
    BackupSaved result;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        result.base = folder;
        result.reason = ec.message();
        return result;
    }
    // A scene range keeps its own scenes only.
    auto kept = std::make_unique<ControllerImage>(image);
    if (region.sceneRange())
        for (std::uint32_t s = 0; s < kScenes; ++s)
            if (s < region.firstScene || s > region.lastScene) kept->scenes[s].fill(0);

    const std::vector<Region> regions = region.dataRegions();
    const std::string name = backupSetName(when, region);
    fs::path base = folder / name;
    for (int counter = 2;; ++counter) {
        bool taken = false;
        for (Region r : regions) taken = taken || fs::exists(fs::symlink_status(withExtension(base, r), ec));
        if (!taken) break;
        base = folder / (name + "-" + std::to_string(counter));
    }

    std::vector<std::string> contents;
    std::vector<fs::path> paths;
    for (Region r : regions) {
        std::ostringstream out(std::ios::binary);
        writeDataFile(out, *kept, r);
        contents.push_back(std::move(out).str());
        paths.push_back(withExtension(base, r));
    }
    std::vector<FileToSave> files;
    for (std::size_t i = 0; i < paths.size(); ++i) files.push_back({paths[i], contents[i]});
    const SaveOutcome saved = saveAllAtomically(files);
    result.saved = saved.result == SaveResult::Saved;
    result.base = result.saved ? base : paths.at(std::min(saved.failedIndex, paths.size() - 1));
    if (!result.saved) result.reason = saved.reason();
    return result;
}

std::string backupFilesText(const fs::path& base, const ShowRegion& region) {
    std::string text;
    for (Region r : region.dataRegions()) {
        std::string extension = ".";
        extension += dataFileExtension(r);
        text += text.empty() ? base.string() + extension : ", " + extension;
    }
    return text;
}

}  // namespace velora
