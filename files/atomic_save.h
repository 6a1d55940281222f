#pragma once
// Saving a file so that the previous one never gets lost: the new content
// goes to a temporary file beside the target, which is flushed to the disk
// and then renamed over the target in one step.

#include <filesystem>
#include <string_view>

namespace velora {

enum class SaveResult {
    Saved,
    OpenFailed,   // the target cannot be replaced or the temporary file not created
    WriteFailed,  // writing, flushing or the final rename failed
};

// Replaces the file at `target` with `bytes`. On any failure the previous
// file is left as it was and the temporary file is removed again; the only
// file ever removed is the temporary one that this call created. A target
// that is a symbolic link keeps the link: the file it points to is replaced.
// The replaced file's permission bits are kept. A device, pipe or socket is
// never replaced (OpenFailed).
SaveResult saveAtomically(const std::filesystem::path& target, std::string_view bytes);

}  // namespace velora
