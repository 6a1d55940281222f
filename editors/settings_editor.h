#pragma once
// The "SpecEdit" dialog ("Settings"): the special buttons STROBE, FOG and
// EXTRA with their scenes and strobe-mode flags, the 16 cues, the end scene,
// mode, SPEED and FADE of the 48 programmes, and the slow mode. The model
// keeps working copies of the programme and cue tables, shows six programme
// rows and four cue rows at a time, stores the visible rows back before
// they change, and writes the image only on "Accept".

#include <array>
#include <cstdint>
#include <optional>

#include "editors/dialog_layout.h"
#include "editors/dialog_state.h"
#include "image/controller_image.h"
#include "platform/ui.h"

namespace velora {

// --- control ids -----------------------------------------------------------

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

// --- values ------------------------------------------------------------------

inline constexpr const char* kInvalidCueQuestion = "Want to remove invalid programms from cue ?";

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

// --- the model ---------------------------------------------------------------

// What the dialog does after a user action: stay open, or close with the
// dialog result 0 (nothing written) or 1 (accepted).
enum class SettingsEditorResult { StayOpen = -1, Finished = 0, Accepted = 1 };

class SettingsEditor {
  public:
    using ProgrammeTable = std::array<std::uint8_t, kProgrammes>;
    using CueTable = std::array<std::array<std::uint8_t, kCues>, kCueFields>;

    // Opens on `image`: working copies of the programme and cue tables, the
    // special buttons, the strobe-mode boxes and the slow mode from the
    // image, both lists at the top.
    explicit SettingsEditor(ControllerImage& image);

    // What the dialog shows.
    DialogState& state() { return state_; }
    const DialogState& state() const { return state_; }

    // --- what the user did ---------------------------------------------------
    // A click on a push button, check box or radio button.
    SettingsEditorResult click(int id, UserInterface& ui);
    // An action on bar 201 or 202; `thumbPosition` counts for the thumb actions.
    void scroll(int bar, ScrollAction action, int thumbPosition, UserInterface& ui);

    // --- the operations behind them ------------------------------------------
    // Reads the visible rows into the working copies, row by row, field by
    // field. The first refused field is reported and ends it (false); what
    // was stored before it stays stored. A FADE field that the rows showed
    // empty (the mode was not Auto) and that is still empty keeps the
    // working fade: the controller keeps a fade in every mode.
    bool storeRows(UserInterface& ui);
    // Shows the visible rows from the working copies.
    void showRows();
    // A click on the button box of special button `button` (kStrobe ...).
    void toggleButtonBox(int button);
    // Stores the rows, then writes the special buttons, the mode flags, the
    // slow mode, the programme tables and the cues into the image, each as
    // soon as it is checked; a refusal stops there and keeps the dialog open.
    SettingsEditorResult accept(UserInterface& ui);
    // "Finish", Escape and the close box: nothing is written. When an Accept
    // now would change the image or refuse a field, asks first; No keeps
    // the dialog open.
    SettingsEditorResult finish(UserInterface& ui) const;
    // Whether an Accept now would change the image or refuse a field: the
    // rows as typed over the working copies, the special buttons, the flags
    // and the slow mode, against the image. A value the dialog shows as the
    // image's (a mode byte above 31 as Auto 31, any non-zero slow mode as
    // on) counts as unchanged.
    bool hasUnacceptedChanges() const;

    // --- the working copies --------------------------------------------------
    const ProgrammeTable& workingEndScenes() const { return working_.endScenes; }
    const ProgrammeTable& workingModes() const { return working_.modes; }
    const ProgrammeTable& workingFades() const { return working_.fades; }
    const CueTable& workingCues() const { return working_.cues; }
    int firstProgramme() const { return firstProgramme_; }
    int firstCue() const { return firstCue_; }
    bool rowsValid() const { return rowsValid_; }

  private:
    struct WorkingCopies {
        ProgrammeTable endScenes{};
        ProgrammeTable modes{};
        ProgrammeTable fades{};
        CueTable cues{};
    };

    // Read the visible rows into `copies` without a word, as storeRows
    // does: the first refused field, or nullopt when every row was stored.
    std::optional<int> readRows(WorkingCopies& copies) const;
    std::optional<int> readProgrammeRow(int row, WorkingCopies& copies) const;
    std::optional<int> readCueRow(int row, WorkingCopies& copies) const;
    void showProgrammeRow(int row);
    void showCueRow(int row);
    void selectMode(int row, int radio);
    // The scene special button `button` gets on Accept, into `scene`; the
    // refused field, or nullopt.
    std::optional<int> specialButtonScene(int button, std::uint16_t& scene) const;
    // The special buttons mode the strobe-mode boxes give.
    std::uint16_t strobeModeFlags() const;
    bool writeSpecialButton(int button, UserInterface& ui);
    bool writeCues(UserInterface& ui);

    ControllerImage& image_;
    DialogState state_;
    WorkingCopies working_;
    // Per programme row: FADE was shown empty (the mode was not Auto).
    std::array<bool, kSettingsProgrammeRows> fadeShownEmpty_{};
    int firstProgramme_ = 0;
    int firstCue_ = 0;
    bool rowsValid_ = true;
};

}  // namespace velora
