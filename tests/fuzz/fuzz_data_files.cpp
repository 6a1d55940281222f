// Fuzz target: any bytes as each of the three data files, read into an image.
// Reading must never crash, and a file that holds the whole layout must
// write back byte for byte.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "files/data_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto image = std::make_unique<velora::ControllerImage>();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (velora::Region region : {velora::Region::Scenes, velora::Region::Settings, velora::Region::Midi}) {
        std::istringstream in(bytes);
        const bool whole = velora::readDataFile(in, *image, region);
        if (whole != (size >= velora::dataFileSize(region))) std::abort();
        if (!whole) continue;
        std::ostringstream out;
        if (!velora::writeDataFile(out, *image, region)) std::abort();
        if (out.str() != bytes.substr(0, velora::dataFileSize(region))) std::abort();
    }
    return 0;
}
