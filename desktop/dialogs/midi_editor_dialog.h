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
    // The editor on the MIDI table of `image`; it ends with
    // EditorResult::Finished or Accepted.
    MidiEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui);
};

}  // namespace velora
