#pragma once
// The editing model of the "MidiEdit" dialog ("MIDI assignments"): the MIDI
// table of the controller image, six keys at a time under one scroll bar.
// Each row shows a key's number, note and octave, its triggering and
// assignment flags for the three fields and its assigned scene as a
// programme / scene pair. Edits go to a working copy of the whole table;
// "Accept" writes it into the image and closes, "Cancel" throws the edits
// away and stays open, "Finish" closes without writing.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "editors/dialog_layout.h"
#include "editors/dialog_state.h"
#include "image/controller_image.h"
#include "platform/ui.h"

namespace velora {

// Rows shown at a time, and the highest first visible key.
inline constexpr int kMidiRows = 6;
inline constexpr int kMidiLastFirstKey = kMidiKeys - kMidiRows;  // 122
// The key shown in the first row when the dialog opens (middle C).
inline constexpr int kMidiOpeningKey = 60;

// Control ids.
inline constexpr int kMidiAccept = kDialogOk;      // "Accept"
inline constexpr int kMidiFinish = kDialogCancel;  // "Finish", also Escape and the close box
inline constexpr int kMidiCancel = 101;            // "Cancel"
inline constexpr int kMidiScrollBar = 201;

// The controls of row `row` (0..5); `field` is 0..2 for fields 1..3.
constexpr int midiProgrammeField(int row) {
    return 220 + 10 * row;
}
constexpr int midiSceneField(int row) {
    return 221 + 10 * row;
}
constexpr int midiNoteField(int row) {
    return 222 + 10 * row;
}
constexpr int midiKeyField(int row) {
    return 223 + 10 * row;
}
constexpr int midiTriggerBox(int row, int field) {
    return 224 + 10 * row + field;
}
constexpr int midiAssignBox(int row, int field) {
    return 227 + 10 * row + field;
}

// Note name and octave of a MIDI key: "C / -1" for key 0, "C / 4" for 60.
std::string midiNoteText(int key);

// The heads of the two check box columns; the runs of blanks put the field
// digits over the boxes.
inline constexpr const char* kMidiTriggeringHead = "Triggering      in fields     1    2    3";
inline constexpr const char* kMidiAssignmentHead = "Assignment       in fields      1    2    3";

namespace midi_layout {

inline constexpr int kLabels = 7;
inline constexpr int kControlsPerRow = 10;
inline constexpr int kControls = kLabels + kMidiRows * kControlsPerRow + 1 + 3;

constexpr std::array<DialogControl, kControls> controls() {
    std::array<DialogControl, kControls> c{};
    int n = 0;
    // The column heads.
    c[n++] = {-1, DialogControl::CentredLabel, "Number of MIDI key", 8, 10, 31, 25};
    c[n++] = {-1, DialogControl::CentredLabel, "Note / Octave", 41, 14, 24, 25};
    c[n++] = {-1, DialogControl::CentredLabel, kMidiTriggeringHead, 76, 10, 37, 25};
    c[n++] = {-1, DialogControl::CentredLabel, kMidiAssignmentHead, 120, 10, 42, 25};
    c[n++] = {-1, DialogControl::CentredLabel, "Assigned scene :", 168, 10, 65, 10};
    // "Programm" and "Scene" under it.
    c[n++] = {-1, DialogControl::CentredLabel, "Programm", 169, 24, 33, 10};
    c[n++] = {-1, DialogControl::CentredLabel, "Scene", 204, 24, 24, 10};
    for (int row = 0; row < kMidiRows; ++row) {
        const int y = 40 + 15 * row;
        c[n++] = {midiKeyField(row), DialogControl::CentredEdit, "", 8, y, 26, 10, DialogControl::Disabled};
        c[n++] = {midiNoteField(row), DialogControl::CentredEdit, "", 42, y, 26, 10, DialogControl::Disabled};
        for (int field = 0; field < 3; ++field)
            c[n++] = {
                midiTriggerBox(row, field), DialogControl::AutoCheckBox, "", 80 + 11 * field, y + 1, 9, 9};
        for (int field = 0; field < 3; ++field)
            c[n++] = {
                midiAssignBox(row, field), DialogControl::AutoCheckBox, "", 126 + 11 * field, y + 1, 9, 9};
        c[n++] = {midiProgrammeField(row), DialogControl::CentredEdit, "", 179, y, 15, 10};
        c[n++] = {midiSceneField(row), DialogControl::CentredEdit, "", 205, y, 15, 10};
    }
    c[n++] = {kMidiScrollBar, DialogControl::VScrollBar, "", 230, 39, 10, 87};
    c[n++] = {kMidiFinish, DialogControl::DefaultButton, "Finish", 20, 135, 60, 14};
    c[n++] = {kMidiCancel, DialogControl::Button, "Cancel", 95, 135, 60, 14};
    c[n++] = {kMidiAccept, DialogControl::Button, "Accept", 170, 135, 60, 14};
    return c;
}

}  // namespace midi_layout

inline constexpr std::array<DialogControl, midi_layout::kControls> kMidiEditorControls =
    midi_layout::controls();
// Every place of the table filled, none twice.
static_assert(kMidiEditorControls.back().id == kMidiAccept && kMidiEditorControls.back().caption != nullptr);
inline constexpr DialogLayout kMidiEditorLayout{"MidiEdit", "MIDI assignments", 250, 160,
                                                kMidiEditorControls};

// How the dialog ends.
enum class MidiEditorResult { Finished = 0, Accepted = 1 };

class MidiEditor {
  public:
    // Opening: the working copy equal to the image's MIDI table, key 60 in
    // the first row and the bar there.
    explicit MidiEditor(ControllerImage& image);

    // What the dialog shows. The dialog puts the texts as typed and the
    // check marks as clicked here before every operation.
    DialogState& state() { return state_; }
    const DialogState& state() const { return state_; }

    // --- what the user does -----------------------------------------------
    // A check box of a row was clicked: it turns over.
    void boxClicked(int id);
    // The scroll bar: the rows are stored first, and a refused field keeps
    // the rows where they are. `thumbPosition` is where the thumb was put
    // (ThumbTrack, ThumbPosition). False when a field was refused.
    bool scroll(ScrollAction action, int thumbPosition, UserInterface& ui);
    // "Accept": stores the rows and, when none was refused, writes the
    // working copy into the image and closes; otherwise stays open.
    std::optional<MidiEditorResult> accept(UserInterface& ui);
    // "Cancel": the working copy from the image again; stays open.
    void cancel();
    // "Finish", Escape and the close box: closes, the image untouched. When
    // an Accept now would change the MIDI table or refuse a field, asks
    // first; No keeps the dialog open (nullopt).
    std::optional<MidiEditorResult> finish(UserInterface& ui) const;
    // Whether an Accept now would change the image's MIDI table or refuse a
    // field: the rows as typed over the working copy, against the image.
    bool hasUnacceptedChanges() const;

    // --- what it holds ----------------------------------------------------
    int firstVisibleKey() const { return firstKey_; }
    bool rowsValid() const { return rowsValid_; }
    const std::array<std::uint16_t, kMidiKeys>& workingTable() const { return working_; }

  private:
    void showRows();
    // Reads the six rows into the working copy, row by row. The first
    // refused field is reported, clears the rows-valid flag and ends the
    // reading; the rows before it stay stored.
    bool storeRows(UserInterface& ui);
    bool storeRow(int row, UserInterface& ui);
    // Reads row `row` into `table` without a word: the field that is
    // refused, or nullopt when the row was stored.
    std::optional<int> readRow(int row, std::array<std::uint16_t, kMidiKeys>& table) const;

    ControllerImage& image_;
    std::array<std::uint16_t, kMidiKeys> working_;
    int firstKey_ = kMidiOpeningKey;
    bool rowsValid_ = true;
    DialogState state_;
};

}  // namespace velora
