#include "desktop/dialogs/settings_editor_dialog.h"

#include "desktop/dialogs/editor_placeholders.h"

namespace velora {

void runSettingsEditorDialog(QWidget* parent, ControllerImage&, UserInterface&) {
    runEditorPlaceholder(parent, EditorKind::Settings);
}

}  // namespace velora
