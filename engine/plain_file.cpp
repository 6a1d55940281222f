#include "engine/plain_file.h"

namespace velora {

OpenedFile openPlainFile(const std::string& name) {
    OpenedFile file;
    if (const auto refused = openToRead(name, file.in)) {
        file.missing = refused->missing;
        file.reason = refused->reason;
    }
    return file;
}

}  // namespace velora
