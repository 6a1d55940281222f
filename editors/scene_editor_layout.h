#pragma once
// How the "Edycja" dialog is laid out: its control ids, the working row's
// places, and the controls in Tab order. The scene editor's model and the
// dialog that shows it both go by these.

#include <array>
#include <cstddef>

#include "editors/dialog_layout.h"

namespace velora {

// Control ids.
inline constexpr int kEditChannelsFrame = 110;
inline constexpr int kEditFixturesFrame = 111;
inline constexpr int kEditSceneFrame = 112;
inline constexpr int kEditProgrammeFrame = 115;
inline constexpr int kEditProgramme = 220;
inline constexpr int kEditProgrammeUp = 116;
inline constexpr int kEditProgrammeDown = 117;
inline constexpr int kEditScene = 221;
inline constexpr int kEditSceneUp = 118;
inline constexpr int kEditSceneDown = 119;
inline constexpr int kEditEnd = 114;
inline constexpr int kEditLoad = 108;
inline constexpr int kEditAccept = 109;
inline constexpr int kEditFinish = kDialogCancel;
inline constexpr int kEditModeAuto = 150;
inline constexpr int kEditModeManual = 151;
inline constexpr int kEditModeMusic = 152;
inline constexpr int kEditModeMidi = 153;
inline constexpr int kEditFirstFixture = 301;  // fixture n: 300 + n
inline constexpr int kEditFirstBar = 201;      // working value k: bar 201 + k
inline constexpr int kEditFirstValue = 401;    // working value k: box 401 + k

// The working row: channels 1..16 of one fixture, then XF and SP.
inline constexpr int kEditFixtures = 16;
inline constexpr int kEditValues = 18;
inline constexpr int kEditFade = 16;   // index of XF
inline constexpr int kEditSpeed = 17;  // index of SP

inline constexpr int editBar(int index) {
    return kEditFirstBar + index;
}
inline constexpr int editValueBox(int index) {
    return kEditFirstValue + index;
}
inline constexpr int editFixtureBox(int fixture) {
    return kEditFirstFixture + fixture - 1;
}

namespace scene_editor_layout {

inline constexpr std::array<const char*, kEditFixtures> kFixtureNumbers{
    "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16"};

inline constexpr int kControls = 4 + 10 + 4 + 2 * kEditFixtures + 2 + kEditValues + kEditValues;

// The controls in Tab order: the programme and scene with their buttons,
// "Load", "Accept", "Finish", the mode, the fixtures, the bars, the boxes.
constexpr std::array<DialogControl, kControls> build() {
    using C = DialogControl;
    std::array<DialogControl, kControls> c{};
    std::size_t i = 0;
    c[i++] = {kEditProgrammeFrame, C::GroupBox, "Programm", 3, -1, 39, 237};
    c[i++] = {kEditSceneFrame, C::GroupBox, "Scene", 44, -1, 70, 32};
    c[i++] = {kEditFixturesFrame, C::GroupBox, "Fixtures", 44, 35, 276, 22};
    c[i++] = {kEditChannelsFrame, C::GroupBox, "Channels", 44, 67, 276, 169};
    c[i++] = {kEditProgramme, C::RightEdit, "", 12, 11, 16, 10};
    c[i++] = {kEditProgrammeUp, C::Button, "+", 28, 10, 6, 6};
    c[i++] = {kEditProgrammeDown, C::Button, "-", 28, 16, 6, 6};
    c[i++] = {kEditScene, C::RightEdit, "", 53, 11, 16, 10};
    c[i++] = {kEditSceneUp, C::Button, "+", 69, 10, 6, 6};
    c[i++] = {kEditSceneDown, C::Button, "-", 69, 16, 6, 6};
    c[i++] = {kEditEnd, C::AutoCheckBox, " END", 84, 13, 25, 8};
    c[i++] = {kEditLoad, C::Button, "Load", 125, 12, 40, 14};
    c[i++] = {kEditAccept, C::Button, "Accept", 175, 12, 40, 14};
    c[i++] = {kEditFinish, C::Button, "Finish", 280, 12, 40, 14};
    c[i++] = {kEditModeMidi, C::RadioButton, "MIDI", 8, 26, 38, 8, C::GroupStart};
    c[i++] = {kEditModeMusic, C::RadioButton, "Music", 8, 36, 38, 8};
    c[i++] = {kEditModeManual, C::RadioButton, "Manual", 8, 46, 38, 8};
    c[i++] = {kEditModeAuto, C::RadioButton, "Auto", 8, 56, 38, 8};
    for (int n = 1; n <= kEditFixtures; ++n) {
        const int x = 17 * (n - 1);
        c[i++] = {editFixtureBox(n), C::AutoCheckBox, "", 52 + x, 44, 8, 9};
        c[i++] = {-1, C::CentredLabel, kFixtureNumbers[static_cast<std::size_t>(n - 1)], 48 + x, 58, 16, 8};
    }
    for (int k = 0; k < kEditFixtures; ++k)
        c[i++] = {editBar(k), C::VScrollBar, "", 50 + 17 * k, 80, 10, 125};
    c[i++] = {-1, C::CentredLabel, "XF", 7, 68, 16, 8};
    c[i++] = {-1, C::CentredLabel, "SP", 24, 68, 16, 8};
    c[i++] = {editBar(kEditFade), C::VScrollBar, "", 10, 80, 10, 125};
    c[i++] = {editBar(kEditSpeed), C::VScrollBar, "", 27, 80, 10, 125};
    for (int k = 0; k < kEditFixtures; ++k)
        c[i++] = {editValueBox(k), C::CentredEdit, "", 47 + 17 * k, 215, 16, 10};
    c[i++] = {editValueBox(kEditFade), C::CentredEdit, "", 7, 215, 16, 10};
    c[i++] = {editValueBox(kEditSpeed), C::CentredEdit, "", 24, 215, 16, 10};
    return c;
}

}  // namespace scene_editor_layout

inline constexpr std::array<DialogControl, scene_editor_layout::kControls> kSceneEditorControls =
    scene_editor_layout::build();
static_assert(kSceneEditorControls.back().id == editValueBox(kEditSpeed), "every control laid out");

// No caption: the dialog has no title bar and closes only by "Finish" or
// Escape.
inline constexpr DialogLayout kSceneEditorLayout{"Edycja", "", 325, 245, kSceneEditorControls};

}  // namespace velora
