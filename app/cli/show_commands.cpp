#include "app/cli/show_commands.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "app/cli/show_files.h"
#include "files/atomic_save.h"
#include "files/file_reason.h"
#include "files/show_differences.h"
#include "files/show_text.h"

namespace velora::cli {

namespace {

// Reads at most one byte more than a show may take, so that a larger
// document is refused without being read whole. False on a read error.
bool readDocument(std::istream& in, std::string& text) {
    std::array<char, 64 * 1024> chunk{};
    while (in && text.size() <= kShowTextMaxBytes) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    return !in.bad();
}

// The data files an import would replace.
std::string existingDataFiles(const std::string& base) {
    std::string paths;
    for (Region region : kMemoryRegions) {
        const std::string path = dataFilePath(base, region);
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(pathOf(path), ec)))
            paths += (paths.empty() ? "" : ", ") + path;
    }
    return paths;
}

}  // namespace

int runExport(const Options& o, std::ostream& out, std::ostream& err) {
    auto image = std::make_unique<ControllerImage>();
    if (!loadDataFiles(o.base, kMemoryRegions, *image, err)) return kError;
    const std::string text = showToText(*image);
    if (o.output.empty()) {
        out << text << std::flush;
        return out ? kSuccess : kError;
    }
    const SaveOutcome saved = saveAtomically(FileToSave{pathOf(o.output), text});
    if (!saved.saved()) {
        err << "velora-cli: cannot save " << o.output << ": " << saved.reason() << "\n";
        return kError;
    }
    if (!o.quiet)
        out << "velora-cli: exported " << dataFilePaths(o.base, kMemoryRegions) << " to " << o.output << "\n";
    return kSuccess;
}

int runImport(const Options& o, std::ostream& out, std::ostream& err) {
    std::string text;
    std::ifstream file;
    if (o.input != "-") {
        // A pipe is read as the standard input is: a script may give one.
        if (const auto refused = openToRead(o.input, file, FileKinds::PlainOrStream)) {
            err << "velora-cli: cannot read " << o.input << ": " << refused->reason << "\n";
            return kError;
        }
        // A file's size is known before it is read: one too large is not read at all.
        std::error_code ec;
        if (const std::uintmax_t size = std::filesystem::file_size(pathOf(o.input), ec); !ec) {
            if (const auto refused = checkShowTextSize(static_cast<std::size_t>(size))) {
                err << "velora-cli: " << o.input << ": " << refused->path << ": " << refused->rule
                    << "; no file was written\n";
                return kError;
            }
            text.reserve(static_cast<std::size_t>(size));
        }
    }
    if (!readDocument(o.input == "-" ? std::cin : file, text)) {
        err << "velora-cli: cannot read " << o.input << ": " << std::strerror(errno) << "\n";
        return kError;
    }
    // Read into an image of its own: a refused document changes nothing.
    auto image = std::make_unique<ControllerImage>();
    const ShowTextResult read = showFromText(text, *image);
    if (!read.ok) {
        err << "velora-cli: " << o.input << ": " << read.error << "; no file was written\n";
        return kError;
    }
    // A show already there is somebody's work: replaced only when asked for.
    if (const std::string existing = existingDataFiles(o.base); !existing.empty() && !o.force) {
        err << "velora-cli: import would replace the existing " << existing
            << "; give --force to replace existing files; no file was written\n";
        return kError;
    }
    if (!checkSaveTargets(o.base, kMemoryRegions, err) || !saveDataFiles(o.base, kMemoryRegions, *image, err))
        return kError;
    if (!o.quiet)
        out << "velora-cli: imported " << o.input << "; saved " << dataFilePaths(o.base, kMemoryRegions)
            << "\n";
    return kSuccess;
}

int runDiff(const Options& o, std::ostream& out, std::ostream& err) {
    auto a = std::make_unique<ControllerImage>();
    auto b = std::make_unique<ControllerImage>();
    if (!loadDataFiles(o.base, kMemoryRegions, *a, err) || !loadDataFiles(o.base2, kMemoryRegions, *b, err))
        return kError;
    const std::vector<std::string> lines = differencesBetween(*a, *b).lines();
    if (!o.quiet) {
        for (std::size_t i = 0; i < lines.size() && i < o.limit; ++i) out << lines[i] << "\n";
        if (lines.size() > o.limit) out << "... " << lines.size() - o.limit << " more\n";
        out << counted(lines.size(), "difference") << "\n";
    }
    return lines.empty() ? kSuccess : kDifferences;
}

}  // namespace velora::cli
