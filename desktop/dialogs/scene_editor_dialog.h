#pragma once
// The "Edycja" dialog: the scene editor's layout over its editing model.
// It has no title bar; "Finish" and Escape close it.

#include "desktop/dialogs/laid_out_dialog.h"
#include "editors/scene_editor.h"
#include "platform/ui.h"

class QWidget;

namespace velora {

struct ControllerImage;

class SceneEditorDialog : public LaidOutDialog {
    Q_OBJECT
  public:
    // The editor on `image`; it opens on programme 1, scene 1, fixture 1
    // loaded, and ends with EditorResult::Finished.
    SceneEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Makes room where a caption would be cut off in the dialog's font.
    void fitCaptions();
};

}  // namespace velora
