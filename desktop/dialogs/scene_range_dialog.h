#pragma once
// The "Zakres" dialog ("Scene range"): the range layout's controls over the
// range model.

#include "desktop/dialogs/laid_out_dialog.h"
#include "editors/scene_range.h"
#include "platform/ui.h"

namespace velora {

class SceneRangeDialog : public LaidOutDialog {
    Q_OBJECT
  public:
    // Edits `range`; the dialog's result is RangeResult::Chosen or Cancelled.
    SceneRangeDialog(QWidget* parent, SceneRange& range, UserInterface& ui);

  public slots:
    void reject() override;

  protected:
    DialogState& dialogState() override { return state_; }
    void clicked(int id) override;

  private:
    SceneRange& range_;
    UserInterface& ui_;
    DialogState state_;
};

}  // namespace velora
