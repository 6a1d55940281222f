// Saving files on Windows: a new file created beside the target, flushed with
// FlushFileBuffers, then moved over the target with MoveFileExW, which
// replaces it in one step (C's rename refuses to replace a file there).
// Every path goes through the wide calls, so names outside the ANSI code
// page are kept.

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "files/atomic_save.h"
#include "files/atomic_save_detail.h"

namespace velora {

namespace fs = std::filesystem;

namespace {

// The errno that says the same as a Windows error, so that the reason reads
// as it does on other systems.
int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return EACCES;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EBUSY;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;
    }
}

class File {
  public:
    explicit File(HANDLE handle) : handle_(handle) {}
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // False when the system reports a failure on closing.
    bool close() {
        if (!isOpen()) return true;
        const bool ok = ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return ok;
    }

  private:
    HANDLE handle_;
};

HANDLE openForWriting(const fs::path& path, DWORD disposition) {
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
}

// Writes every byte and flushes them to the disk; 0, or the errno.
int writeAndFlush(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) return errnoOf(::GetLastError());
        if (written == 0) return EIO;
        bytes.remove_prefix(written);
    }
    if (!::FlushFileBuffers(file)) return errnoOf(::GetLastError());
    return 0;
}

// Creates a file beside `target` under a name no one uses; the errno when
// none can be created.
int createTemporary(const fs::path& target, fs::path& temp, HANDLE& file) {
    file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < atomic_detail::kNameAttempts; ++attempt) {
        temp = atomic_detail::temporaryNameFor(target);
        file = openForWriting(temp, CREATE_NEW);
        if (file != INVALID_HANDLE_VALUE) return 0;
        error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return errnoOf(error);
}

// Fills and closes the temporary file; on failure it is removed again.
int fillTemporary(HANDLE handle, const fs::path& temp, std::string_view bytes) {
    File file(handle);
    int error = writeAndFlush(file.get(), bytes);
    if (!file.close() && error == 0) error = errnoOf(::GetLastError());
    if (error != 0) ::DeleteFileW(temp.c_str());
    return error;
}

// Puts `temp` in the place of `target` in one step; 0, or the errno.
int replaceWith(const fs::path& temp, const fs::path& target) {
    if (::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return errnoOf(::GetLastError());
}

bool folderTakesNoNewFile(int error) {
    return error == EACCES || error == EROFS;
}

// The folder takes no new file, but the file itself may be writable: then it
// is overwritten where it stands.
SaveOutcome saveInPlace(const fs::path& target, std::string_view bytes, int createError) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::status(target, ec))) return {SaveResult::OpenFailed, 0, createError};
    File file(openForWriting(target, TRUNCATE_EXISTING));
    if (!file.isOpen()) return {SaveResult::OpenFailed, 0, errnoOf(::GetLastError())};
    int error = writeAndFlush(file.get(), bytes);
    if (!file.close() && error == 0) error = errnoOf(::GetLastError());
    if (error != 0) return {SaveResult::WriteFailed, 0, error};
    return {SaveResult::SavedInPlace};
}

}  // namespace

namespace atomic_detail {

long processNumber() {
    return static_cast<long>(::GetCurrentProcessId());
}

SaveOutcome save(const fs::path& target, std::string_view bytes) {
    if (!replaceable(target)) return {SaveResult::OpenFailed};
    fs::path temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (const int error = createTemporary(target, temp, file)) {
        if (folderTakesNoNewFile(error)) return saveInPlace(target, bytes, error);
        return {SaveResult::OpenFailed, 0, error};
    }
    // From here on `temp` is ours, and every failure removes it.
    if (const int error = fillTemporary(file, temp, bytes)) return {SaveResult::WriteFailed, 0, error};
    if (const int error = replaceWith(temp, target)) {
        ::DeleteFileW(temp.c_str());
        return {SaveResult::WriteFailed, 0, error};
    }
    return {SaveResult::Saved};
}

SaveOutcome saveAll(std::span<const FileToSave> files) {
    std::vector<fs::path> targets;
    std::vector<fs::path> temps;  // ours: every failure removes them
    const auto removeTemporaries = [&temps](std::size_t from) {
        for (std::size_t i = from; i < temps.size(); ++i) ::DeleteFileW(temps[i].c_str());
    };

    // First round: every new content in a flushed temporary file.
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path target = resolvedTarget(files[i].target);
        const bool folder = isFolder(target);
        if (folder || !replaceable(target)) {
            removeTemporaries(0);
            return {SaveResult::OpenFailed, i, folder ? EISDIR : 0};
        }
        fs::path temp;
        HANDLE file = INVALID_HANDLE_VALUE;
        if (const int error = createTemporary(target, temp, file)) {
            removeTemporaries(0);
            return {SaveResult::OpenFailed, i, error};
        }
        if (const int error = fillTemporary(file, temp, files[i].bytes)) {
            removeTemporaries(0);
            return {SaveResult::WriteFailed, i, error};
        }
        targets.push_back(target);
        temps.push_back(temp);
    }

    // Second round: the moves. Ctrl-C does not end the program here (its
    // handler only raises a flag), so nothing falls between them.
    for (std::size_t i = 0; i < temps.size(); ++i) {
        if (const int error = replaceWith(temps[i], targets[i])) {
            removeTemporaries(i);
            return {SaveResult::WriteFailed, i, error, i};
        }
    }
    return {SaveResult::Saved};
}

}  // namespace atomic_detail

int folderTakesNewFile(const fs::path& folder) {
    const fs::path probe = folder / (".velora-cli-" + std::to_string(::GetCurrentProcessId()) + ".probe");
    const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return errnoOf(::GetLastError());
    ::CloseHandle(file);
    return 0;
}

int writeAccessError(const fs::path& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return errnoOf(::GetLastError());
    ::CloseHandle(file);
    return 0;
}

}  // namespace velora
