#include "upgrade/version_questions.h"

#include <cstring>

namespace velora {

namespace {

constexpr std::string_view kFirmwareTextPrefix = "\tFW : ";

}  // namespace

std::vector<VersionQuestion> versionQuestions(bool install, std::string_view fileVersion,
                                              std::string_view controllerVersion) {
    const std::string file(fileVersion);
    const std::string controller(controllerVersion);
    std::vector<VersionQuestion> questions;
    if (!install) {
        if (std::strncmp(file.c_str(), controller.c_str(), 4) != 0)
            questions.push_back(
                {"Different firmware version : " + file + " !\nContinue ?", "Differences occured !"});
        return questions;
    }
    questions.push_back(
        {"Do you want to install in your Velora-Tarvane\nfirmware version " + file + " ?", "Are you sure ?"});
    const bool known = controller.find_first_of("?N") == std::string::npos;
    if (known && std::strcmp(file.c_str(), controller.c_str()) <= 0)
        questions.push_back({"Do you surely exchange in your Velora-Tarvane\nfirmware version " + controller +
                                 " with version " + file + " ?",
                             "Downgrade ?"});
    return questions;
}

std::string_view controllerVersionOf(std::string_view firmwareText) {
    if (firmwareText.starts_with(kFirmwareTextPrefix)) firmwareText.remove_prefix(kFirmwareTextPrefix.size());
    return firmwareText;
}

}  // namespace velora
