#include "files/atomic_save.h"

#include <atomic>
#include <string>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#define VELORA_POSIX_FILES 1
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#else
#include <fstream>
#endif

namespace velora {

namespace fs = std::filesystem;

namespace {

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
#ifdef VELORA_POSIX_FILES
    const long process = static_cast<long>(::getpid());
#else
    const long process = 0;
#endif
    // Part of the target's name, so that a file left by a crash is recognised,
    // kept short so that the name stays within the file system's limit.
    const std::string stem = target.filename().string().substr(0, 64);
    std::string name =
        "." + stem + ".velora-" + std::to_string(process) + "-" + std::to_string(counter++) + ".tmp";
    return target.parent_path() / name;
}

constexpr int kNameAttempts = 100;

// A device, pipe or socket is never replaced by a plain file. (A folder
// cannot be: the rename below fails on it.)
bool replaceable(const fs::path& target) {
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    return !fs::exists(status) || fs::is_regular_file(status) || fs::is_directory(status);
}

#ifdef VELORA_POSIX_FILES

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The new file takes the permission bits of the one it replaces.
void keepMode(int fd, const fs::path& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        (void)::fchmod(fd, st.st_mode & 07777);
    }
}

// Makes the rename itself durable; best effort, the save has succeeded.
void syncDirectory(const fs::path& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

SaveResult save(const fs::path& target, std::string_view bytes) {
    if (!replaceable(target)) return SaveResult::OpenFailed;
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        temp = temporaryNameFor(target);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return SaveResult::OpenFailed;

    // From here on `temp` is ours, and every failure removes it.
    keepMode(fd, target);
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return SaveResult::WriteFailed;
    }
    syncDirectory(target.parent_path());
    return SaveResult::Saved;
}

#else

SaveResult save(const fs::path& target, std::string_view bytes) {
    if (!replaceable(target)) return SaveResult::OpenFailed;
    fs::path temp;
    std::error_code ec;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temp = temporaryNameFor(target);
        if (!fs::exists(temp, ec) && !ec) break;
        temp.clear();
    }
    if (temp.empty()) return SaveResult::OpenFailed;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return SaveResult::OpenFailed;

    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    bool ok = static_cast<bool>(out);
    out.close();
    ok = ok && !out.fail();
    if (ok) fs::rename(temp, target, ec);  // replaces the target in one step
    if (!ok || ec) {
        fs::remove(temp, ec);
        return SaveResult::WriteFailed;
    }
    return SaveResult::Saved;
}

#endif

}  // namespace

SaveResult saveAtomically(const fs::path& target, std::string_view bytes) {
    return save(resolvedTarget(target), bytes);
}

}  // namespace velora
