#pragma once
// The "SpecEdit" dialog ("Settings"): the settings layout's controls over
// the settings editing model. Every user action goes to the model, then the
// dialog shows what the model holds.

#include "desktop/dialogs/laid_out_dialog.h"
#include "editors/settings_editor.h"
#include "platform/ui.h"

namespace velora {

class SettingsEditorDialog : public LaidOutDialog {
    Q_OBJECT
  public:
    // Opens on `image`; the dialog's result is SettingsEditorResult::Finished
    // or Accepted.
    SettingsEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui);

  protected:
    DialogState& dialogState() override { return editor_.state(); }
    void clicked(int id) override;
    bool scrolled(int id, ScrollAction action, int position) override;

  private:
    void follow(SettingsEditorResult result);

    SettingsEditor editor_;
    UserInterface& ui_;
};

// Runs the dialog modally on `image`; returns when it is closed.
void runSettingsEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui);

}  // namespace velora
