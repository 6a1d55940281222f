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

#include "editors/dialog_model.h"
#include "editors/midi_editor_layout.h"
#include "editors/scrolled_rows.h"
#include "image/controller_image.h"

namespace velora {

// The key shown in the first row when the dialog opens (middle C).
inline constexpr int kMidiOpeningKey = 60;

// Note name and octave of a MIDI key: "C / -1" for key 0, "C / 4" for 60.
std::string midiNoteText(int key);

class MidiEditor : public DialogModel {
  public:
    // Opening: the working copy equal to the image's MIDI table, key 60 in
    // the first row and the bar there.
    explicit MidiEditor(ControllerImage& image);

    // What the dialog shows. The dialog puts the texts as typed and the
    // check marks as clicked here before every operation.
    DialogState& state() override { return state_; }
    const DialogState& state() const { return state_; }

    // --- what the user does -----------------------------------------------
    // "Accept" closes with EditorResult::Accepted once the rows are stored;
    // "Cancel" throws the edits away; "Finish" (also Escape and the close
    // box) closes with EditorResult::Finished; a check box of a row turns
    // over.
    DialogReply click(int id, UserInterface& ui) override;
    // The scroll bar: the rows are stored first, and a refused field keeps
    // the rows where they are. `position` is where the thumb was put
    // (ThumbTrack, ThumbPosition).
    DialogReply scroll(int id, ScrollAction action, int position, UserInterface& ui) override;

    // --- the operations behind them ---------------------------------------
    // "Accept": stores the rows and, when none was refused, writes the
    // working copy into the image (true); otherwise leaves the image alone.
    bool accept(UserInterface& ui);
    // "Cancel": the working copy from the image again.
    void cancel();
    // Whether an Accept now would change the image's MIDI table or refuse a
    // field: the rows as typed over the working copy, against the image.
    // "Finish" then asks before closing; No keeps the dialog open.
    bool hasUnacceptedChanges() const;

    // --- what it holds ----------------------------------------------------
    int firstVisibleKey() const { return rows_.first(); }
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
    ScrolledRows rows_{kMidiScrollBar, kMidiLastFirstKey, kMidiRows, kMidiOpeningKey};
    bool rowsValid_ = true;
    DialogState state_;
};

}  // namespace velora
