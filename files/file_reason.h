#pragma once
// Opening a file that the user named, to read it, and why it cannot be
// opened, said the same way by every command that reads one. Names travel
// through the program as UTF-8. Only plain files are opened unless a stream
// is allowed: a folder has nothing to read, and a pipe or a device could
// keep the program waiting for ever where nobody asked for one.

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace velora {

// The path of a name given in UTF-8.
std::filesystem::path pathOf(const std::string& name);

enum class FileKinds {
    Plain,          // a plain file only
    PlainOrStream,  // also a pipe or a character device, read to its end
};

// Why a file could not be opened to read it.
struct FileRefusal {
    bool missing = false;  // there is no such file
    // In the system's words, or the program's where the system has none:
    // "No such file or directory", "it is a folder", "not a plain file",
    // "Permission denied".
    std::string reason;
};

// Opens `name` into `in` to read it, in binary; nothing when `in` is open,
// else why not.
std::optional<FileRefusal> openToRead(const std::string& name, std::ifstream& in,
                                      FileKinds kinds = FileKinds::Plain);

}  // namespace velora
