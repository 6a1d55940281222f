#include "editors/settings_editor.h"

#include <algorithm>
#include <string>

#include "editors/field_checks.h"

namespace velora {

namespace {

std::string numberOrEmpty(unsigned value, bool empty) {
    return empty ? std::string() : std::to_string(value);
}

// The radio button of the row that shows mode byte `mode`.
int radioOfMode(int row, std::uint8_t mode) {
    switch (programmeModeOf(mode).sync) {
        case SyncMode::Manual:
            return settingsManual(row);
        case SyncMode::Music:
            return settingsMusic(row);
        case SyncMode::Midi:
            return settingsMidi(row);
        default:
            return settingsAuto(row);
    }
}

std::uint32_t endSceneLimit(int programmeIndex) {
    return static_cast<std::uint32_t>(sceneCountOf(programmeIndex));
}

// An optional number field: empty gives 0; no number or above `most` is
// refused (nullopt).
std::optional<std::uint32_t> optionalNumber(const std::string& text, std::uint32_t most) {
    if (text.empty()) return 0;
    const auto number = parseFieldNumber(text);
    if (!number || *number > most) return std::nullopt;
    return number;
}

// A mode byte as the rows show it: 32..253 as Auto at the top speed.
std::uint8_t shownMode(std::uint8_t mode) {
    return modeByteOf(programmeModeOf(mode));
}

}  // namespace

SettingsEditor::SettingsEditor(ControllerImage& image)
    : image_(image), working_{image.endScene, image.speedSync, image.fade, image.cues} {
    programmeRows_.showBar(state_);
    cueRows_.showBar(state_);

    for (int b = 0; b < kSpecialButtons; ++b) {
        const auto i = static_cast<std::size_t>(b);
        const std::uint16_t assignedScene = buttonScene(image, b);
        const bool assigned = assignedScene != kNoScene;
        std::string programme, scene;
        if (assigned) {
            // A scene number beyond the table shows as 65536 / 65536 and is
            // refused on "Accept" until corrected.
            const ProgrammeScene shown = programmeSceneNumbers(assignedScene);
            programme = std::to_string(shown.programme);
            scene = std::to_string(shown.scene);
        }
        state_.setChecked(kSpecialButtonBox[i], assigned);
        state_.setFieldText(kSpecialProgrammeField[i], programme);
        state_.setFieldText(kSpecialSceneField[i], scene);
        state_.setEnabled(kSpecialProgrammeField[i], assigned);
        state_.setEnabled(kSpecialSceneField[i], assigned);
    }

    state_.setChecked(kSettingsSlowMode, image.slowMode != 0);
    for (int b = 0; b < kSpecialButtons; ++b)
        state_.setChecked(kStrobeModeBox[static_cast<std::size_t>(b)],
                          strobeModeOn(image.specialButtonsMode, b));

    showRows();
}

// --- what the user did ---------------------------------------------------------

DialogReply SettingsEditor::click(int id, UserInterface& ui) {
    if (id == kSettingsAccept)
        return accept(ui) ? DialogReply::close(EditorResult::Accepted) : DialogReply::refused();
    if (id == kSettingsFinish) {
        if (!mayCloseWithoutAccepting(ui, hasUnacceptedChanges(), kSettingsEditorLayout.caption))
            return DialogReply::stayOpen();
        return DialogReply::close(EditorResult::Finished);
    }
    for (int b = 0; b < kSpecialButtons; ++b) {
        const auto i = static_cast<std::size_t>(b);
        if (id == kSpecialButtonBox[i]) toggleButtonBox(b);
        if (id == kStrobeModeBox[i]) state_.setChecked(id, !state_.checked(id));
    }
    if (id == kSettingsSlowMode) state_.setChecked(id, !state_.checked(id));
    for (int k = 0; k < kSettingsProgrammeRows; ++k)
        if (id >= settingsAuto(k) && id <= settingsMidi(k)) selectMode(k, id);
    return DialogReply::stayOpen();
}

DialogReply SettingsEditor::scroll(int bar, ScrollAction action, int position, UserInterface& ui) {
    ScrolledRows* rows = bar == programmeRows_.bar() ? &programmeRows_
                         : bar == cueRows_.bar()     ? &cueRows_
                                                     : nullptr;
    if (rows == nullptr) return DialogReply::stayOpen();
    const auto store = [&] {
        rowsValid_ = true;
        return storeRows(ui);  // the refused field has to be corrected first
    };
    return rows->scroll(action, position, state_, store, [this] { showRows(); });
}

void SettingsEditor::toggleButtonBox(int button) {
    const auto i = static_cast<std::size_t>(button);
    const bool checked = !state_.checked(kSpecialButtonBox[i]);
    state_.setChecked(kSpecialButtonBox[i], checked);
    for (const int field : {kSpecialProgrammeField[i], kSpecialSceneField[i]}) {
        state_.setFieldText(field, checked ? "1" : "");
        state_.setEnabled(field, checked);
    }
}

void SettingsEditor::selectMode(int row, int radio) {
    for (int id = settingsAuto(row); id <= settingsMidi(row); ++id) state_.setChecked(id, id == radio);
}

// --- show rows and store rows --------------------------------------------------

void SettingsEditor::showRows() {
    for (int k = 0; k < kSettingsProgrammeRows; ++k) showProgrammeRow(k);
    for (int r = 0; r < kSettingsCueRows; ++r) showCueRow(r);
}

void SettingsEditor::showProgrammeRow(int row) {
    const auto p = static_cast<std::size_t>(programmeRows_.first() + row);
    state_.setFieldText(settingsProgrammeNumber(row), std::to_string(p + 1));
    state_.setEnabled(settingsProgrammeNumber(row), false);
    const ProgrammeTable& endScenes = working_.endScenes;
    state_.setFieldText(settingsEnd(row), numberOrEmpty(endScenes[p], endScenes[p] == 0));

    std::uint8_t& mode = working_.modes[p];
    const int radio = radioOfMode(row, mode);
    selectMode(row, radio);
    const bool isAuto = radio == settingsAuto(row);
    // Mode bytes 32..253 count as Auto at the top speed.
    mode = shownMode(mode);
    state_.setFieldText(settingsSpeed(row), numberOrEmpty(mode, !isAuto));
    state_.setFieldText(settingsFade(row), numberOrEmpty(working_.fades[p], !isAuto));
    fadeShownEmpty_[static_cast<std::size_t>(row)] = !isAuto;
}

void SettingsEditor::showCueRow(int row) {
    const auto c = static_cast<std::size_t>(cueRows_.first() + row);
    state_.setFieldText(settingsCueNumber(row), std::to_string(c + 1));
    state_.setEnabled(settingsCueNumber(row), false);
    for (int f = 0; f < kCueFields; ++f) {
        const std::uint8_t value = working_.cues[static_cast<std::size_t>(f)][c];
        state_.setFieldText(settingsCueField(row, f), numberOrEmpty(value + 1u, value == kEmptyCue));
    }
}

bool SettingsEditor::storeRows(UserInterface& ui) {
    const std::optional<int> refused = readRows(working_);
    if (refused) {
        rowsValid_ = false;
        reportFieldError(ui, state_, *refused, kInvalidValue);
    }
    return !refused;
}

std::optional<int> SettingsEditor::readRows(WorkingCopies& copies) const {
    for (int k = 0; k < kSettingsProgrammeRows; ++k)
        if (const auto refused = readProgrammeRow(k, copies)) return refused;
    for (int r = 0; r < kSettingsCueRows; ++r)
        if (const auto refused = readCueRow(r, copies)) return refused;
    return std::nullopt;
}

std::optional<int> SettingsEditor::readProgrammeRow(int row, WorkingCopies& copies) const {
    const int programme = programmeRows_.first() + row;
    const auto p = static_cast<std::size_t>(programme);

    const auto end = optionalNumber(state_.fieldText(settingsEnd(row)), endSceneLimit(programme));
    if (!end) return settingsEnd(row);
    copies.endScenes[p] = static_cast<std::uint8_t>(*end);

    if (state_.checked(settingsAuto(row))) {
        const auto speed = optionalNumber(state_.fieldText(settingsSpeed(row)), kTopSpeed);
        if (!speed) return settingsSpeed(row);
        copies.modes[p] = modeByteOf({SyncMode::Auto, static_cast<std::uint8_t>(*speed)});
    } else if (state_.checked(settingsManual(row))) {
        copies.modes[p] = modeByteOf({SyncMode::Manual});
    } else if (state_.checked(settingsMusic(row))) {
        copies.modes[p] = modeByteOf({SyncMode::Music});
    } else if (state_.checked(settingsMidi(row))) {
        copies.modes[p] = modeByteOf({SyncMode::Midi});
    }

    // A FADE that the rows showed empty and that is still empty was never
    // shown to the user: the working fade stays, whatever the mode now.
    const std::string fadeText = state_.fieldText(settingsFade(row));
    if (fadeText.empty() && fadeShownEmpty_[static_cast<std::size_t>(row)]) return std::nullopt;
    const auto fade = optionalNumber(fadeText, 255);
    if (!fade) return settingsFade(row);
    copies.fades[p] = static_cast<std::uint8_t>(*fade);
    return std::nullopt;
}

std::optional<int> SettingsEditor::readCueRow(int row, WorkingCopies& copies) const {
    const auto c = static_cast<std::size_t>(cueRows_.first() + row);
    for (int f = 0; f < kCueFields; ++f) {
        const int id = settingsCueField(row, f);
        const auto value = optionalNumber(state_.fieldText(id), kLastProgramme);
        if (!value) return id;
        // Empty and 0 both mean no programme in this field of the cue.
        copies.cues[static_cast<std::size_t>(f)][c] =
            *value == 0 ? kEmptyCue : static_cast<std::uint8_t>(*value - 1);
    }
    return std::nullopt;
}

// --- Finish --------------------------------------------------------------------

bool SettingsEditor::hasUnacceptedChanges() const {
    WorkingCopies copies = working_;
    if (readRows(copies)) return true;

    for (int b = 0; b < kSpecialButtons; ++b) {
        std::uint16_t scene = 0;
        if (specialButtonScene(b, scene) || scene != buttonScene(image_, b)) return true;
    }
    if (strobeModeFlags() != (image_.specialButtonsMode & kStrobeModeFlags)) return true;
    if (state_.checked(kSettingsSlowMode) != (image_.slowMode != 0)) return true;

    for (std::size_t p = 0; p < kProgrammes; ++p)
        if (shownMode(copies.modes[p]) != shownMode(image_.speedSync[p])) return true;
    return copies.endScenes != image_.endScene || copies.fades != image_.fade || copies.cues != image_.cues;
}

// --- Accept --------------------------------------------------------------------

bool SettingsEditor::accept(UserInterface& ui) {
    rowsValid_ = true;
    if (!storeRows(ui)) return false;

    for (int b = 0; b < kSpecialButtons; ++b)
        if (!writeSpecialButton(b, ui)) return false;

    image_.specialButtonsMode = strobeModeFlags();
    image_.slowMode = state_.checked(kSettingsSlowMode) ? 0xFFFF : 0;

    image_.endScene = working_.endScenes;
    image_.speedSync = working_.modes;
    image_.fade = working_.fades;

    return writeCues(ui);
}

std::uint16_t SettingsEditor::strobeModeFlags() const {
    std::uint16_t flags = 0;
    for (int b = 0; b < kSpecialButtons; ++b)
        flags = withStrobeMode(flags, b, state_.checked(kStrobeModeBox[static_cast<std::size_t>(b)]));
    return flags;
}

std::optional<int> SettingsEditor::specialButtonScene(int button, std::uint16_t& scene) const {
    const auto i = static_cast<std::size_t>(button);
    if (!state_.checked(kSpecialButtonBox[i])) {
        scene = kNoScene;
        return std::nullopt;
    }
    const std::uint32_t programme = readFieldNumber(state_.fieldText(kSpecialProgrammeField[i]));
    const std::uint32_t number = readFieldNumber(state_.fieldText(kSpecialSceneField[i]));
    if (const auto refused =
            refusedSceneField(kSpecialProgrammeField[i], programme, kSpecialSceneField[i], number))
        return refused;
    scene = static_cast<std::uint16_t>(sceneIndexOf(programme - 1, number - 1));
    return std::nullopt;
}

bool SettingsEditor::writeSpecialButton(int button, UserInterface& ui) {
    std::uint16_t& scene = buttonScene(image_, button);
    std::uint16_t value = 0;
    if (const auto refused = specialButtonScene(button, value)) {
        reportFieldError(ui, state_, *refused, kInvalidValue);
        return false;
    }
    scene = value;
    return true;
}

bool SettingsEditor::writeCues(UserInterface& ui) {
    bool removing = false;
    for (std::size_t c = 0; c < kCues; ++c) {
        for (std::size_t f = 0; f < kCueFields; ++f) {
            std::uint8_t value = working_.cues[f][c];
            if (value != kEmptyCue && value >= kProgrammes) {
                // Only a file or the controller puts such a value here: the
                // rows that were shown have been checked already.
                if (!removing) {
                    const Answer answer =
                        ui.messageBox(kInvalidCueQuestion, kInvalidValue, Icon::Question, Buttons::YesNo);
                    if (answer != Answer::Yes) return false;
                    removing = true;
                }
                value = kEmptyCue;
            }
            image_.cues[f][c] = value;
        }
    }
    return true;
}

}  // namespace velora
