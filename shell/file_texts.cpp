#include "shell/file_texts.h"

namespace velora {

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
            what = "scenes";
            where = "scene " + sceneNameOf(block / 2);
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

std::string unfilledSaveQuestion(const std::string& what) {
    return what +
           " were never read, loaded or edited since the program started !\n"
           "The file will hold empty ones.\nSave it anyway ?";
}

}  // namespace velora
