#pragma once
// Stand-ins for the editor dialogs until the editors themselves exist: a
// modal dialog under the editor's name that only says so and closes.

class QWidget;

namespace velora {

enum class EditorKind { Scenes, Settings, Midi };

void runEditorPlaceholder(QWidget* parent, EditorKind kind);

}  // namespace velora
