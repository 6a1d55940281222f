#pragma once
// How the "SpecEdit" dialog ("Settings") is laid out: its control ids, the
// rows of its two lists, and the controls in Tab order. The settings
// editor's model and the dialog that shows it both go by these.

#include <array>
#include <cstddef>

#include "editors/dialog_layout.h"
#include "image/controller_image.h"

namespace velora {

// --- control ids -------------------------------------------------------------

inline constexpr int kSettingsAccept = kDialogOk;      // "Accept"
inline constexpr int kSettingsFinish = kDialogCancel;  // "Finish", also Escape and the close box
inline constexpr int kSettingsProgrammeBar = 201;
inline constexpr int kSettingsCueBar = 202;
inline constexpr int kSettingsSlowMode = 304;

// The special buttons, in this order everywhere.
inline constexpr int kSpecialButtons = 3;
inline constexpr int kStrobe = 0;
inline constexpr int kFog = 1;
inline constexpr int kExtra = 2;
inline constexpr std::array<const char*, kSpecialButtons> kSpecialButtonNames{"STROBE", "FOG", "EXTRA"};
inline constexpr std::array<int, kSpecialButtons> kSpecialButtonBox{301, 302, 303};
inline constexpr std::array<int, kSpecialButtons> kSpecialProgrammeField{149, 150, 151};
inline constexpr std::array<int, kSpecialButtons> kSpecialSceneField{155, 156, 157};
inline constexpr std::array<int, kSpecialButtons> kStrobeModeBox{305, 306, 307};

// Programme rows k = 0..5.
inline constexpr int kSettingsProgrammeRows = 6;
inline constexpr int kSettingsLastFirstProgramme = kProgrammes - kSettingsProgrammeRows;  // 42
constexpr int settingsProgrammeNumber(int row) {
    return 220 + 10 * row;
}
constexpr int settingsEnd(int row) {
    return 221 + 10 * row;
}
constexpr int settingsAuto(int row) {
    return 222 + 10 * row;
}  // "A"
constexpr int settingsManual(int row) {
    return 223 + 10 * row;
}  // "R"
constexpr int settingsMusic(int row) {
    return 224 + 10 * row;
}  // "B"
constexpr int settingsMidi(int row) {
    return 225 + 10 * row;
}  // "M"
constexpr int settingsSpeed(int row) {
    return 226 + 10 * row;
}
constexpr int settingsFade(int row) {
    return 227 + 10 * row;
}

// Cue rows r = 0..3, fields f = 0..2 ("Fld 1" to "Fld 3").
inline constexpr int kCues = 16;
inline constexpr int kCueFields = 3;
inline constexpr int kSettingsCueRows = 4;
inline constexpr int kSettingsLastFirstCue = kCues - kSettingsCueRows;  // 12
constexpr int settingsCueNumber(int row) {
    return 320 + 10 * row;
}
constexpr int settingsCueField(int row, int field) {
    return 321 + 10 * row + field;
}

// --- layout ------------------------------------------------------------------

namespace settings_layout {

using C = DialogControl;

inline constexpr int kControls =
    4 + (5 + kSpecialButtons * 5) + (4 + kSettingsCueRows * 4 + 1) + (9 + kSettingsProgrammeRows * 8 + 1) + 3;

constexpr std::array<DialogControl, kControls> controls() {
    std::array<DialogControl, kControls> list{};
    int n = 0;
    const auto add = [&](DialogControl c) { list[static_cast<std::size_t>(n++)] = c; };

    add({-1, C::GroupBox, "Special buttons", 10, 7, 128, 110});
    add({-1, C::GroupBox, "Cue's", 10, 121, 128, 91});
    add({-1, C::GroupBox, "Programm settings", 144, 7, 190, 143});
    add({-1, C::GroupBox, "Time rate", 144, 154, 190, 31});

    add({-1, C::Label, "Button", 16, 22, 30, 8});
    add({-1, C::Label, "Programm", 58, 22, 31, 8});
    add({-1, C::Label, "Scene", 90, 22, 24, 8});
    add({-1, C::Label, "\"strobe", 115, 22, 22, 8});
    add({-1, C::Label, "mode\"", 108, 32, 22, 8});
    constexpr std::array<int, kSpecialButtons> rowY{45, 70, 95};
    constexpr std::array<int, kSpecialButtons> boxWidth{15, 8, 8};
    for (int b = 0; b < kSpecialButtons; ++b) {
        const auto i = static_cast<std::size_t>(b);
        const int y = rowY[i];
        add({-1, C::Label, kSpecialButtonNames[i], 16, y, 32, 8});
        add({kSpecialButtonBox[i], C::CheckBox, "", 50, y, boxWidth[i], 8});
        add({kSpecialProgrammeField[i], C::Edit, "", 68, y - 1, 15, 10});
        add({kSpecialSceneField[i], C::Edit, "", 93, y - 1, 15, 10});
        add({kStrobeModeBox[i], C::AutoCheckBox, "", 120, y, 8, 8});
    }

    add({-1, C::Label, "Number", 14, 134, 27, 8});
    add({-1, C::Label, "Fld 1", 43, 134, 20, 8});
    add({-1, C::Label, "Fld 2", 66, 134, 20, 8});
    add({-1, C::Label, "Fld 3", 91, 134, 20, 8});
    for (int r = 0; r < kSettingsCueRows; ++r) {
        const int y = 150 + 15 * r;
        add({settingsCueNumber(r), C::CentredEdit, "", 16, y, 15, 10, C::Disabled});
        for (int f = 0; f < kCueFields; ++f)
            add({settingsCueField(r, f), C::CentredEdit, "", 41 + 25 * f, y, 15, 10});
    }
    add({kSettingsCueBar, C::VScrollBar, "", 116, 150, 12, 55});

    add({-1, C::Label, "Programm", 150, 25, 33, 8});
    add({-1, C::Label, "End", 185, 25, 18, 8});
    add({-1, C::Label, "Syncronisation", 205, 22, 50, 8});
    add({-1, C::Label, "A", 212, 32, 8, 8});
    add({-1, C::Label, "R", 222, 32, 8, 8});
    add({-1, C::Label, "B", 232, 32, 8, 8});
    add({-1, C::Label, "M", 242, 32, 8, 8});
    add({-1, C::Label, "SPEED", 256, 25, 29, 8});
    add({-1, C::Label, "FADE", 287, 25, 26, 8});
    for (int k = 0; k < kSettingsProgrammeRows; ++k) {
        const int y = 50 + 15 * k;
        add({settingsProgrammeNumber(k), C::CentredEdit, "", 155, y, 15, 10, C::Disabled});
        add({settingsEnd(k), C::CentredEdit, "", 185, y, 15, 10});
        add({settingsAuto(k), C::RadioButton, "", 212, y, 10, 10, C::GroupStart});
        add({settingsManual(k), C::RadioButton, "", 222, y, 10, 10});
        add({settingsMusic(k), C::RadioButton, "", 232, y, 10, 10});
        add({settingsMidi(k), C::RadioButton, "", 242, y, 10, 10});
        add({settingsSpeed(k), C::CentredEdit, "", 260, y, 15, 10});
        add({settingsFade(k), C::CentredEdit, "", 290, y, 17, 10});
    }
    add({kSettingsProgrammeBar, C::VScrollBar, "", 316, 50, 12, 87});

    add({kSettingsSlowMode, C::AutoCheckBox, "Slow mode", 200, 168, 63, 8});
    add({kSettingsFinish, C::DefaultButton, "Finish", 160, 194, 55, 14});
    add({kSettingsAccept, C::Button, "Accept", 230, 194, 55, 14});
    return list;
}

}  // namespace settings_layout

inline constexpr std::array<DialogControl, settings_layout::kControls> kSettingsEditorControls =
    settings_layout::controls();
inline constexpr DialogLayout kSettingsEditorLayout{"SpecEdit", "Settings", 349, 218,
                                                    kSettingsEditorControls};

}  // namespace velora
