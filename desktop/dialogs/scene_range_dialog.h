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
    // Edits `range`; run() gives RangeResult::Chosen or Cancelled.
    SceneRangeDialog(QWidget* parent, SceneRange& range, UserInterface& ui);
};

}  // namespace velora
