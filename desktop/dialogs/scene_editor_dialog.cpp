#include "desktop/dialogs/scene_editor_dialog.h"

#include "desktop/dialogs/editor_placeholders.h"

namespace velora {

void runSceneEditorDialog(QWidget* parent, ControllerImage&, UserInterface&) {
    runEditorPlaceholder(parent, EditorKind::Scenes);
}

}  // namespace velora
