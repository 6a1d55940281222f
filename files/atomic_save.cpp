#include "files/atomic_save.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <system_error>

#include "files/atomic_save_detail.h"

namespace velora {

namespace fs = std::filesystem;

namespace atomic_detail {

// Where the content really goes: through a symbolic link to the file it
// names, so the link survives the rename.
fs::path resolvedTarget(const fs::path& target) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(target, ec))) return target;
    fs::path real = fs::canonical(target, ec);
    return ec ? target : real;
}

// A name beside the target that no other save of this process uses; the
// exclusive creation below guarantees that no existing file is taken over.
fs::path temporaryNameFor(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    const long process = processNumber();
    // Part of the target's name, so that a file left by a crash is recognised,
    // kept short so that the name stays within the file system's limit (and
    // cut between two characters, never inside one).
    std::u8string stem = target.filename().u8string();
    std::size_t length = std::min<std::size_t>(stem.size(), 64);
    while (length > 0 && length < stem.size() && (stem[length] & 0xC0) == 0x80) --length;
    stem.resize(length);
    const std::string tail = ".velora-" + std::to_string(process) + "-" + std::to_string(counter++) + ".tmp";
    return target.parent_path() / (u8"." + stem + std::u8string(tail.begin(), tail.end()));
}

// A device, pipe or socket is never replaced by a plain file. (A folder
// cannot be: its rename fails, and a set refuses it before any rename.)
bool replaceable(const fs::path& target) {
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    return !fs::exists(status) || fs::is_regular_file(status) || fs::is_directory(status);
}

bool isFolder(const fs::path& target) {
    std::error_code ec;
    return fs::is_directory(fs::status(target, ec));
}

}  // namespace atomic_detail

SaveResult saveAtomically(const fs::path& target, std::string_view bytes) {
    return atomic_detail::save(atomic_detail::resolvedTarget(target), bytes).result;
}

std::string SaveOutcome::reason() const {
    return error != 0 ? std::strerror(error) : "not a plain file";
}

SaveOutcome saveAtomically(const FileToSave& file) {
    return atomic_detail::save(atomic_detail::resolvedTarget(file.target), file.bytes);
}

SaveOutcome saveAllAtomically(std::span<const FileToSave> files) {
    return atomic_detail::saveAll(files);
}

}  // namespace velora
