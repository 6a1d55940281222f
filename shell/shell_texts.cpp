#include "shell/shell_texts.h"

namespace velora {

std::string aboutText(std::string_view programVersion, std::string_view firmwareText) {
    if (!firmwareText.empty() && firmwareText.front() == '\t') firmwareText.remove_prefix(1);
    std::string text = kMainWindowTitle;
    text += "\n\n";
    text += kProgramName;
    text += ", version ";
    text += programVersion;
    text += "\n\n";
    text += firmwareText;
    return text;
}

std::string downloadCommandLine(const char* osVariable, std::string_view address) {
    const bool osSet = osVariable != nullptr && osVariable[0] != '\0';
    std::string line = osSet ? "/c start " : "start ";
    line += address;
    return line;
}

}  // namespace velora
