// Saving files on POSIX systems: open with O_EXCL, fsync, rename, and the
// folder synced after the rename.

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "files/atomic_save.h"
#include "files/atomic_save_detail.h"

namespace velora {

namespace fs = std::filesystem;

namespace atomic_detail {

long processNumber() {
    return static_cast<long>(::getpid());
}

namespace {

// Writes every byte; on failure errno tells why.
bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
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

// The folders of a set's targets, each once, to make their renames durable.
std::vector<fs::path> foldersOf(const std::vector<fs::path>& targets) {
    std::vector<fs::path> folders;
    for (const fs::path& target : targets) {
        const fs::path folder = target.parent_path();
        bool known = false;
        for (const fs::path& f : folders) known = known || f == folder;
        if (!known) folders.push_back(folder);
    }
    return folders;
}

// Creates a file beside `target` under a name no one uses and opens it for
// writing; -1 with errno when none can be created.
int createTemporary(const fs::path& target, fs::path& temp) {
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        temp = temporaryNameFor(target);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    return fd;
}

// Fills the temporary file `temp`, open on `fd`, with `bytes`, flushes and
// closes it. Returns 0, or the errno of the failure, in which case `temp` is
// removed again.
int fillTemporary(int fd, const fs::path& temp, const fs::path& target, std::string_view bytes) {
    keepMode(fd, target);
    int error = 0;
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) ::unlink(temp.c_str());
    return error;
}

// The reasons of a failed creation that say the folder takes no new file,
// while the file in it may still be writable.
bool folderTakesNoNewFile(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// The folder takes no new file, but the file itself may be writable: then it
// is overwritten where it stands. `createError` is the reason the temporary
// file could not be created, given when the file cannot be written either
// because it is not there or not a regular file.
SaveOutcome saveInPlace(const fs::path& target, std::string_view bytes, int createError) {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return {SaveResult::OpenFailed, 0, createError};
    }
    // Opened without truncating and without waiting: should the file have
    // been swapped for a pipe or a device meanwhile, nothing waits for a
    // reader and nothing is cut before the check below refuses it.
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {SaveResult::OpenFailed, 0, errno};
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        return {SaveResult::OpenFailed, 0, createError};
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    int error = 0;
    if (::ftruncate(fd, 0) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) return {SaveResult::WriteFailed, 0, error};
    return {SaveResult::SavedInPlace};
}

}  // namespace

SaveOutcome save(const fs::path& target, std::string_view bytes) {
    if (!replaceable(target)) return {SaveResult::OpenFailed};
    fs::path temp;
    const int fd = createTemporary(target, temp);
    if (fd < 0) {
        const int error = errno;
        if (folderTakesNoNewFile(error)) return saveInPlace(target, bytes, error);
        return {SaveResult::OpenFailed, 0, error};
    }

    // From here on `temp` is ours, and every failure removes it.
    if (const int error = fillTemporary(fd, temp, target, bytes)) {
        return {SaveResult::WriteFailed, 0, error};
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return {SaveResult::WriteFailed, 0, error};
    }
    syncDirectory(target.parent_path());
    return {SaveResult::Saved};
}

// Holds SIGINT, SIGTERM and SIGHUP back in this thread while it lives; one
// that comes meanwhile is delivered when it ends.
class InterruptsHeldBack {
  public:
    InterruptsHeldBack() {
        sigset_t interrupts;
        sigemptyset(&interrupts);
        sigaddset(&interrupts, SIGINT);
        sigaddset(&interrupts, SIGTERM);
        sigaddset(&interrupts, SIGHUP);
        held_ = ::pthread_sigmask(SIG_BLOCK, &interrupts, &previous_) == 0;
    }
    ~InterruptsHeldBack() {
        if (held_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    InterruptsHeldBack(const InterruptsHeldBack&) = delete;
    InterruptsHeldBack& operator=(const InterruptsHeldBack&) = delete;

  private:
    sigset_t previous_{};
    bool held_ = false;
};

SaveOutcome saveAll(std::span<const FileToSave> files) {
    std::vector<fs::path> targets;
    std::vector<fs::path> temps;  // ours: every failure removes them
    const auto removeTemporaries = [&temps](std::size_t from) {
        for (std::size_t i = from; i < temps.size(); ++i) ::unlink(temps[i].c_str());
    };

    // First round: every new content in a flushed temporary file.
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path target = resolvedTarget(files[i].target);
        // A folder would only fail at its rename, when others may be done.
        const bool folder = isFolder(target);
        if (folder || !replaceable(target)) {
            removeTemporaries(0);
            return {SaveResult::OpenFailed, i, folder ? EISDIR : 0};
        }
        fs::path temp;
        const int fd = createTemporary(target, temp);
        if (fd < 0) {
            const int error = errno;
            removeTemporaries(0);
            return {SaveResult::OpenFailed, i, error};
        }
        if (const int error = fillTemporary(fd, temp, target, files[i].bytes)) {
            removeTemporaries(0);
            return {SaveResult::WriteFailed, i, error};
        }
        targets.push_back(target);
        temps.push_back(temp);
    }

    // Second round: the renames, with no interrupt between the first and the
    // last. The temporary files left by a failed rename are removed before
    // an interrupt held back meanwhile can end the program.
    SaveOutcome outcome{SaveResult::Saved};
    {
        const InterruptsHeldBack held;
        for (std::size_t i = 0; i < temps.size(); ++i) {
            if (::rename(temps[i].c_str(), targets[i].c_str()) != 0) {
                outcome = {SaveResult::WriteFailed, i, errno, i};
                removeTemporaries(i);
                break;
            }
        }
    }
    if (outcome.result != SaveResult::Saved) targets.resize(outcome.replaced);
    for (const fs::path& folder : foldersOf(targets)) syncDirectory(folder);
    return outcome;
}

}  // namespace atomic_detail

int folderTakesNewFile(const fs::path& folder) {
    const fs::path probe = folder / (".velora-cli-" + std::to_string(::getpid()) + ".probe");
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    ::close(fd);
    ::unlink(probe.c_str());
    return 0;
}

int writeAccessError(const fs::path& path) {
    return ::access(path.c_str(), W_OK) == 0 ? 0 : errno;
}

}  // namespace velora
