#include "desktop/dialogs/scene_range_dialog.h"

namespace velora {

SceneRangeDialog::SceneRangeDialog(QWidget* parent, SceneRange& range, UserInterface& ui)
    : LaidOutDialog(parent, kSceneRangeLayout, std::make_unique<SceneRangeModel>(range), ui) {}

}  // namespace velora
