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
    // Opens the editor on `image`: programme 1, scene 1, fixture 1 loaded.
    SceneEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui);

  protected:
    DialogState& dialogState() override { return editor_.state(); }
    void textEdited(int id) override;
    void focusLeft(int id) override;
    void clicked(int id) override;
    bool scrolled(int id, ScrollAction action, int position) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Makes room where a caption would be cut off in the dialog's font.
    void fitCaptions();

    SceneEditor editor_;
    UserInterface& ui_;
};

// Runs the dialog modally on `image`; returns when it is closed.
void runSceneEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui);

}  // namespace velora
