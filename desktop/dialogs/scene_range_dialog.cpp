#include "desktop/dialogs/scene_range_dialog.h"

namespace velora {

SceneRangeDialog::SceneRangeDialog(QWidget* parent, SceneRange& range, UserInterface& ui)
    : LaidOutDialog(parent, kSceneRangeLayout), range_(range), ui_(ui) {
    range_.show(state_);
    state_.focusWholeText(kRangeFromProgramme);
    showState(state_);
}

void SceneRangeDialog::clicked(int id) {
    switch (id) {
        case kDialogOk:
            // A refused field gets the focus, its text selected.
            if (const auto result = range_.pressOk(state_, ui_)) done(static_cast<int>(*result));
            break;
        case kRangeAll:
            done(static_cast<int>(range_.pressAll()));
            break;
        case kDialogCancel:
            reject();
            break;
        default:
            break;
    }
}

void SceneRangeDialog::reject() {
    done(static_cast<int>(range_.pressCancel()));
}

}  // namespace velora
