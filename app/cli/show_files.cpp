#include "app/cli/show_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <system_error>
#include <vector>

#include "files/atomic_save.h"
#include "files/data_files.h"
#include "files/file_reason.h"

namespace velora::cli {

namespace fs = std::filesystem;

namespace {

std::string reason(int error) {
    return std::strerror(error);
}

// A path as the messages show it (UTF-8, as the command line gave it).
std::string nameOf(const fs::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

fs::path folderOf(const std::string& path) {
    const fs::path folder = pathOf(path).parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

std::string dataFilePath(const std::string& base, Region region) {
    return base + "." + std::string(dataFileExtension(region));
}

std::string dataFilePaths(const std::string& base, std::span<const Region> regions) {
    std::string paths;
    for (Region r : regions) paths += (paths.empty() ? "" : ", ") + dataFilePath(base, r);
    return paths;
}

bool loadDataFiles(const std::string& base, std::span<const Region> regions, ControllerImage& image,
                   std::ostream& err) {
    for (Region region : regions) {
        const std::string path = dataFilePath(base, region);
        std::ifstream in;
        if (const auto refused = openToRead(path, in)) {
            err << "velora-cli: cannot read " << path << ": " << refused->reason << std::endl;
            return false;
        }
        if (!readDataFile(in, image, region)) {
            std::error_code ec;
            err << "velora-cli: cannot read " << path << ": it holds " << fs::file_size(pathOf(path), ec)
                << " bytes, less than the " << dataFileSize(region) << " of its layout" << std::endl;
            return false;
        }
    }
    return true;
}

bool checkSaveTargets(const std::string& base, std::span<const Region> regions, std::ostream& err) {
    for (Region region : regions) {
        const std::string path = dataFilePath(base, region);
        const fs::path folder = folderOf(path);
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) {
            err << "velora-cli: cannot save " << path << ": "
                << (fs::exists(folder, ec) ? "not in a folder: " + nameOf(folder) + " is a file"
                                           : "the folder " + nameOf(folder) + " does not exist")
                << std::endl;
            return false;
        }
        const fs::file_status status = fs::status(pathOf(path), ec);
        if (fs::exists(status) && !fs::is_regular_file(status)) {
            err << "velora-cli: cannot save " << path << ": it is "
                << (fs::is_directory(status) ? "a folder" : "not a plain file") << std::endl;
            return false;
        }
        if (const int error = folderTakesNewFile(folder); error != 0) {
            // A single file may still be written where it stands.
            const bool inPlace =
                regions.size() == 1 && fs::exists(status) && writableWhereItStands(pathOf(path));
            if (!inPlace) {
                err << "velora-cli: cannot save " << path << ": the folder " << nameOf(folder)
                    << " takes no new file: " << reason(error) << std::endl;
                return false;
            }
        }
    }
    return true;
}

bool saveDataFiles(const std::string& base, std::span<const Region> regions, const ControllerImage& image,
                   std::ostream& err) {
    std::vector<std::string> paths;
    std::vector<std::string> contents;
    for (Region region : regions) {
        std::ostringstream out(std::ios::binary);
        writeDataFile(out, image, region);
        paths.push_back(dataFilePath(base, region));
        contents.push_back(std::move(out).str());
    }
    std::vector<FileToSave> files;
    for (std::size_t i = 0; i < paths.size(); ++i) files.push_back({pathOf(paths[i]), contents[i]});

    const SaveOutcome saved = files.size() == 1 ? saveAtomically(files[0]) : saveAllAtomically(files);
    const std::string& failed = paths.at(std::min(saved.failedIndex, paths.size() - 1));
    switch (saved.result) {
        case SaveResult::Saved:
            return true;
        case SaveResult::SavedInPlace:
            err << "velora-cli: " << paths[0]
                << ": its folder takes no new file, so the file was written where it stands (not in one step)"
                << std::endl;
            return true;
        case SaveResult::OpenFailed:
            err << "velora-cli: cannot save " << failed << ": "
                << (saved.error != 0 ? reason(saved.error) : std::string("not a plain file"))
                << (files.size() > 1 ? "; none of the files was changed" : "") << std::endl;
            return false;
        case SaveResult::WriteFailed:
            err << "velora-cli: writing " << failed << " failed: " << reason(saved.error);
            if (files.size() > 1)
                err << (saved.replaced > 0 ? "; the files before it were replaced already"
                                           : "; none of the files was changed");
            err << std::endl;
            return false;
    }
    return false;
}

}  // namespace velora::cli
