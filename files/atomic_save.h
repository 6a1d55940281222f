#pragma once
// Saving a file so that the previous one never gets lost: the new content
// goes to a temporary file beside the target, which is flushed to the disk
// and then renamed over the target in one step. A set of files (the three
// data files of one show) is replaced the same way, all of them or none.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace velora {

enum class SaveResult {
    Saved,
    // The folder takes no new file (no write permission, or a read-only
    // mount), but the file itself is writable: it was overwritten where it
    // stands. Saved, but not in one step: had that write failed midway, the
    // previous content would have been lost with it.
    SavedInPlace,
    OpenFailed,   // the target cannot be replaced or the temporary file not created
    WriteFailed,  // writing, flushing or the final rename failed
};

// What a save came to, with what a message needs to name the fault.
struct SaveOutcome {
    SaveResult result = SaveResult::Saved;
    // The file that failed: its place in the set (0 for a single file).
    std::size_t failedIndex = 0;
    // The errno of the call that failed; 0 when there is none, as for a
    // target that is a device, pipe or socket.
    int error = 0;
    // How many targets of a set had already been replaced when the fault
    // came; anything but 0 only when a rename failed after others succeeded,
    // the one fault that cannot be undone.
    std::size_t replaced = 0;

    bool saved() const { return result == SaveResult::Saved || result == SaveResult::SavedInPlace; }
    // Why a save failed, in the system's words ("not a plain file" when no
    // call failed).
    std::string reason() const;
};

struct FileToSave {
    std::filesystem::path target;
    std::string_view bytes;
};

// Replaces the file at `target` with `bytes`. On any failure the previous
// file is left as it was and the temporary file is removed again; the only
// file ever removed is the temporary one that this call created. A target
// that is a symbolic link keeps the link: the file it points to is replaced.
// The replaced file's permission bits are kept. A device, pipe or socket is
// never replaced (OpenFailed).
//
// When no temporary file can be created beside the target (no permission to
// write into the folder, or a read-only mount) and the target is a regular
// file that can be opened for writing, the file is written in place:
// truncated, written, flushed (SavedInPlace). A failure of that write
// (WriteFailed) leaves the file incomplete.
SaveResult saveAtomically(const std::filesystem::path& target, std::string_view bytes);

// The same, also giving the reason of a failure.
SaveOutcome saveAtomically(const FileToSave& file);

// Replaces every target of `files` with its bytes, or none of them. First a
// temporary file is written and flushed beside every target; a failure there
// (the target's place in `failedIndex`) removes every temporary file made so
// far and leaves every target untouched. A target that is a folder is
// refused in that first round (OpenFailed, EISDIR), as are a device, pipe or
// socket. Only when all are written are they renamed over their targets, one
// after another, with SIGINT, SIGTERM and SIGHUP held back in the calling
// thread from the first rename to the last, so that an interrupt does not
// fall between them. A rename that fails after others succeeded is reported
// as WriteFailed with `replaced` > 0; the remaining temporary files are
// removed. There is no writing in place: a set needs its temporary files,
// and a target without one is OpenFailed.
SaveOutcome saveAllAtomically(std::span<const FileToSave> files);

// Whether a new file can be made in `folder`: tried with a file of our own,
// removed at once. 0, or the errno of the refusal.
int folderTakesNewFile(const std::filesystem::path& folder);

// Whether this program may write the file at `path` where it stands: 0, or
// the errno of the refusal.
int writeAccessError(const std::filesystem::path& path);
inline bool writableWhereItStands(const std::filesystem::path& path) {
    return writeAccessError(path) == 0;
}

}  // namespace velora
