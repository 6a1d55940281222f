#pragma once
// How the "MidiEdit" dialog ("MIDI assignments") is laid out: its control
// ids, the rows of keys under its bar, and the controls in Tab order. The
// MIDI editor's model and the dialog that shows it both go by these.

#include <array>

#include "editors/dialog_layout.h"
#include "image/controller_image.h"

namespace velora {

// Rows shown at a time, and the highest first visible key.
inline constexpr int kMidiRows = 6;
inline constexpr int kMidiLastFirstKey = kMidiKeys - kMidiRows;  // 122

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

}  // namespace velora
