#pragma once
// The "MidiEdit" dialog ("MIDI assignments") over its editing model.

#include "desktop/dialogs/laid_out_dialog.h"
#include "editors/midi_editor.h"
#include "platform/ui.h"

class QWidget;

namespace velora {

class MidiEditorDialog : public LaidOutDialog {
    Q_OBJECT
  public:
    // Edits the MIDI table of `image` through `editor`; the dialog's result
    // is MidiEditorResult::Accepted or Finished.
    MidiEditorDialog(QWidget* parent, MidiEditor& editor, UserInterface& ui);

  protected:
    DialogState& dialogState() override { return editor_.state(); }
    void clicked(int id) override;
    bool scrolled(int id, ScrollAction action, int position) override;

  private:
    MidiEditor& editor_;
    UserInterface& ui_;
};

// Runs the dialog modally on `image`; returns when it is closed, with the
// dialog's result (1 when the table was written, 0 when not).
int runMidiEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui);

}  // namespace velora
