#include "engine/engine_texts.h"

namespace velora {

std::string firmwareTextOf(std::uint8_t major, std::uint8_t minor, std::uint8_t suffix) {
    std::string version;
    if (major > 9) {
        version = "?.??X";
    } else {
        version = std::string(1, static_cast<char>('0' + major)) + ".";
        if (minor <= 99) {
            version += static_cast<char>('0' + minor / 10);
            version += static_cast<char>('0' + minor % 10);
        } else {
            version += "??X";
        }
    }
    const bool letter = (suffix >= 'A' && suffix <= 'Z') || (suffix >= 'a' && suffix <= 'z');
    if (letter) version = version.substr(0, 4) + static_cast<char>(suffix);
    return "\tFW : " + version;
}

std::string errorCodeText(int error) {
    return "Error code : " + std::to_string(error);
}

std::string recordDifferenceText(std::size_t recordIndex) {
    return "Upgrade veryfication error : line " + std::to_string(recordIndex) +
           "\n If veryfication doesn't succeed,\nyou have to repeat upgrade !!! \nContinue veryfication ?\n";
}

std::string unfilledWriteQuestion(const std::string& what) {
    return what +
           " were never read, loaded or edited since the program started !\n"
           "The controller's copy will be replaced by empty ones.\nWrite anyway ?";
}

}  // namespace velora
