#include "upgrade/version_questions.h"

namespace velora {

namespace {

constexpr std::string_view kFirmwareTextPrefix = "\tFW : ";

// Like comparing two zero-terminated texts over at most `limit` characters:
// the end of a text counts as a character below every other.
int compareTexts(std::string_view a, std::string_view b, std::size_t limit) {
    for (std::size_t i = 0; i < limit; ++i) {
        const int ca = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const int cb = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
    return 0;
}

}  // namespace

std::vector<VersionQuestion> versionQuestions(bool install, std::string_view fileVersion,
                                              std::string_view controllerVersion) {
    const std::string file(fileVersion);
    const std::string controller(controllerVersion);
    std::vector<VersionQuestion> questions;
    if (!install) {
        if (compareTexts(fileVersion, controllerVersion, 4) != 0)
            questions.push_back(
                {"Different firmware version : " + file + " !\nContinue ?", "Differences occured !"});
        return questions;
    }
    questions.push_back(
        {"Do you want to install in your Velora-Tarvane\nfirmware version " + file + " ?", "Are you sure ?"});
    const bool known = controller.find_first_of("?N") == std::string::npos;
    if (known && compareTexts(fileVersion, controllerVersion, std::string_view::npos) <= 0)
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
