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

#include "editors/dialog_model.h"
#include "editors/scrolled_rows.h"
#include "editors/settings_editor_layout.h"
#include "image/controller_image.h"

namespace velora {

inline constexpr const char* kInvalidCueQuestion = "Want to remove invalid programms from cue ?";

class SettingsEditor : public DialogModel {
  public:
    using ProgrammeTable = std::array<std::uint8_t, kProgrammes>;
    using CueTable = std::array<std::array<std::uint8_t, kCues>, kCueFields>;

    // Opens on `image`: working copies of the programme and cue tables, the
    // special buttons, the strobe-mode boxes and the slow mode from the
    // image, both lists at the top.
    explicit SettingsEditor(ControllerImage& image);

    // What the dialog shows.
    DialogState& state() override { return state_; }
    const DialogState& state() const { return state_; }

    // --- what the user did ---------------------------------------------------
    // A click on a push button, check box or radio button. "Accept" closes
    // with EditorResult::Accepted once everything is written; "Finish" (also
    // Enter, Escape and the close box) closes with EditorResult::Finished.
    DialogReply click(int id, UserInterface& ui) override;
    // An action on bar 201 or 202: the rows shown are stored first, and a
    // refused field keeps both lists where they are. `position` counts for
    // the thumb actions.
    DialogReply scroll(int bar, ScrollAction action, int position, UserInterface& ui) override;

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
    // soon as it is checked; a refusal stops there (false).
    bool accept(UserInterface& ui);
    // Whether an Accept now would change the image or refuse a field: the
    // rows as typed over the working copies, the special buttons, the flags
    // and the slow mode, against the image. A value the dialog shows as the
    // image's (a mode byte above 31 as Auto 31, any non-zero slow mode as
    // on) counts as unchanged. "Finish" then asks before closing; No keeps
    // the dialog open, and nothing is written either way.
    bool hasUnacceptedChanges() const;

    // --- the working copies --------------------------------------------------
    const ProgrammeTable& workingEndScenes() const { return working_.endScenes; }
    const ProgrammeTable& workingModes() const { return working_.modes; }
    const ProgrammeTable& workingFades() const { return working_.fades; }
    const CueTable& workingCues() const { return working_.cues; }
    int firstProgramme() const { return programmeRows_.first(); }
    int firstCue() const { return cueRows_.first(); }
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
    // A page of programmes is three rows, a page of cues one.
    ScrolledRows programmeRows_{kSettingsProgrammeBar, kSettingsLastFirstProgramme, 3, 0};
    ScrolledRows cueRows_{kSettingsCueBar, kSettingsLastFirstCue, 1, 0};
    bool rowsValid_ = true;
};

}  // namespace velora
