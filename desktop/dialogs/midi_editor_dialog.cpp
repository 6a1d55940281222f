#include "desktop/dialogs/midi_editor_dialog.h"

#include "desktop/dialogs/editor_placeholders.h"

namespace velora {

void runMidiEditorDialog(QWidget* parent, ControllerImage&, UserInterface&) {
    runEditorPlaceholder(parent, EditorKind::Midi);
}

}  // namespace velora
