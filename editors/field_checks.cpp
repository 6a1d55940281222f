#include "editors/field_checks.h"

#include <limits>

#include "image/controller_image.h"

namespace velora {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::optional<std::uint32_t> parseFieldNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    const std::size_t end = text.size();
    if (i == end) return std::nullopt;

    std::uint64_t value = 0;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::uint32_t readFieldNumber(std::string_view text) {
    return parseFieldNumber(text).value_or(0);
}

std::uint32_t sceneCountOfProgramme(std::uint32_t programme) {
    if (!validProgramme(programme)) return 0;
    return static_cast<std::uint32_t>(sceneCountOf(static_cast<int>(programme - 1)));
}

bool validProgramme(std::uint32_t programme) {
    return programme >= kFirstProgramme && programme <= kLastProgramme;
}

bool validScene(std::uint32_t programme, std::uint32_t scene) {
    return scene >= 1 && scene <= sceneCountOfProgramme(programme);
}

ProgrammeScene programmeSceneNumbers(std::uint32_t absolute) {
    const std::uint32_t ps = programmeSceneOf(absolute);
    return {(ps >> 16) + 1, (ps & 0xFFFF) + 1};
}

std::optional<int> refusedSceneField(int programmeField, std::uint32_t programme, int sceneField,
                                     std::uint32_t scene) {
    if (!validProgramme(programme)) return programmeField;
    if (!validScene(programme, scene)) return sceneField;
    return std::nullopt;
}

std::optional<int> checkedScene(UserInterface& ui, DialogFields& dialog, int programmeField,
                                std::uint32_t programme, int sceneField, std::uint32_t scene) {
    if (const auto refused = refusedSceneField(programmeField, programme, sceneField, scene)) {
        reportFieldError(ui, dialog, *refused, kInvalidValue);
        return std::nullopt;
    }
    return sceneIndexOf(programme - 1, scene - 1);
}

bool mayCloseWithoutAccepting(UserInterface& ui, bool unaccepted, const std::string& caption) {
    if (!unaccepted) return true;
    return ui.messageBox(kCloseWithoutAccepting, caption, Icon::Question, Buttons::YesNo, Answer::No) ==
           Answer::Yes;
}

bool reportFieldError(UserInterface& ui, DialogFields& dialog, int field, const std::string& message) {
    ui.messageBox(message, kFieldErrorCaption, Icon::Error, Buttons::Ok);
    dialog.focusWholeText(field);
    return true;
}

}  // namespace velora
