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

std::string fileMissingText(std::string_view name) {
    return "File " + std::string(name) + " doesn't exist !";
}

std::string readFaultText(std::string_view name) {
    return std::string(name) + " :\nRead fault !";
}

std::string writeFaultText(std::string_view name) {
    return std::string(name) + " :\nWrite fault !";
}

std::string noWriteAccessText(std::string_view name) {
    return std::string(name) + " :\nNo write access !";
}

std::string invalidFieldText(int region) {
    return "Invalid field : " + std::to_string(region) + " !";
}

std::string invalidActionText(int action) {
    return "Invalid action : " + std::to_string(action) + " !";
}

std::string incompleteReadQuestion(Region region, std::uint32_t block) {
    std::string what;
    std::string where;
    switch (region) {
        case Region::Scenes: {
            const std::uint32_t ps = programmeSceneOf(block / 2);
            what = "scenes";
            where = "scene " + std::to_string((ps >> 16) + 1) + "/" + std::to_string((ps & 0xFFFF) + 1);
            break;
        }
        case Region::Settings:
            what = "programm settings";
            where = "block " + std::to_string(block);
            break;
        default:
            what = "MIDI assignments";
            where = "block " + std::to_string(block);
            break;
    }
    return "The last read of the " + what + " from the controller stopped at " + where +
           " !\nFrom there on the file will hold what the program had before.\nSave it anyway ?";
}

std::string unfilledWriteQuestion(const std::string& what) {
    return what +
           " were never read, loaded or edited since the program started !\n"
           "The controller's copy will be replaced by empty ones.\nWrite anyway ?";
}

std::string unfilledSaveQuestion(const std::string& what) {
    return what +
           " were never read, loaded or edited since the program started !\n"
           "The file will hold empty ones.\nSave it anyway ?";
}

}  // namespace velora
