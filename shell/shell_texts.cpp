#include "shell/shell_texts.h"

#include "files/show_differences.h"

namespace velora {

const char* regionText(Region region) {
    switch (region) {
        case Region::Scenes:
            return "\tScenes";
        case Region::Settings:
            return "\tSettings";
        case Region::Midi:
            return "\tMIDI";
    }
    return "\tN/A";
}

const char* runText(RunKind kind, Region region) {
    switch (kind) {
        case RunKind::Memory:
            return regionText(region);
        case RunKind::Version:
            return "\tVersion";
        case RunKind::Firmware:
            return "\tFirmWare";
        case RunKind::Restart:
            break;
    }
    return "\tN/A";
}

const char* actionText(Action action) {
    switch (action) {
        case Action::WriteController:
            return "\tWriting to Kq318";
        case Action::ReadController:
            return "\tReading from Kq318";
        case Action::Verify:
            return "\tVeryfication";
        case Action::FileRead:
            return "\tFile reading";
        case Action::FileWrite:
            return "\tFile writing";
        case Action::NoAction:
            break;
    }
    return "\tN/A";
}

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

std::string changesHeading(std::size_t count) {
    const std::string since =
        " since the show was last read from or written to the controller, loaded or saved";
    if (count == 0) return "No changes" + since + ".";
    return counted(count, "change") + since + ":";
}

std::string changesGroupHeading(const char* region, std::size_t count) {
    return std::string(region) + ": " + counted(count, "change");
}

}  // namespace velora
