#include "files/file_reason.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace velora {

namespace fs = std::filesystem;

fs::path pathOf(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

std::optional<FileRefusal> openToRead(const std::string& name, std::ifstream& in, FileKinds kinds) {
    const fs::path path = pathOf(name);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return FileRefusal{true, std::strerror(ENOENT)};
    // A folder on the way that may not be looked into, say.
    if (ec) return FileRefusal{false, ec.message()};
    if (fs::is_directory(status)) return FileRefusal{false, "it is a folder"};
    const bool stream =
        kinds == FileKinds::PlainOrStream && (fs::is_fifo(status) || fs::is_character_file(status));
    if (!fs::is_regular_file(status) && !stream) return FileRefusal{false, "not a plain file"};
    errno = 0;
    in.open(path, std::ios::binary);
    if (!in.is_open()) return FileRefusal{false, errno != 0 ? std::strerror(errno) : "cannot be opened"};
    return std::nullopt;
}

}  // namespace velora
