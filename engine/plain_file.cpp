#include "engine/plain_file.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace velora {

namespace fs = std::filesystem;

fs::path pathOf(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

OpenedFile openPlainFile(const std::string& name) {
    OpenedFile file;
    const fs::path path = pathOf(name);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        file.missing = true;
    } else if (!fs::is_regular_file(status)) {
        file.reason = "not a plain file";
    } else {
        errno = 0;
        file.in.open(path, std::ios::binary);
        if (!file.in.is_open()) file.reason = errno != 0 ? std::strerror(errno) : "cannot be opened";
    }
    return file;
}

}  // namespace velora
