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
    // The editor on `image`; it ends with EditorResult::Finished or Accepted.
    SettingsEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui);
};

}  // namespace velora
