#pragma once
// Opening a file the user chose, to read it: names travel through the program
// as UTF-8, and only plain files are opened, since a folder has nothing to
// read and a pipe or device could keep the program waiting for ever.

#include <fstream>
#include <string>

#include "files/file_reason.h"

namespace velora {

struct OpenedFile {
    std::ifstream in;      // open when the file could be opened
    bool missing = false;  // there is no such file
    std::string reason;    // why an existing file could not be opened
};

OpenedFile openPlainFile(const std::string& name);

}  // namespace velora
