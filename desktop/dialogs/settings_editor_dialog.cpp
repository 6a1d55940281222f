#include "desktop/dialogs/settings_editor_dialog.h"

#include <QScrollBar>

namespace velora {

SettingsEditorDialog::SettingsEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui)
    : LaidOutDialog(parent, kSettingsEditorLayout), editor_(image), ui_(ui) {
    // The bars take the keyboard focus, so that the arrow and page keys
    // scroll the lists as the bar actions do.
    for (const int bar : {kSettingsCueBar, kSettingsProgrammeBar})
        scrollBar(bar)->setFocusPolicy(Qt::StrongFocus);
    showState(editor_.state());
}

void SettingsEditorDialog::clicked(int id) {
    follow(editor_.click(id, ui_));
}

bool SettingsEditorDialog::scrolled(int id, ScrollAction action, int position) {
    editor_.scroll(id, action, position, ui_);
    return editor_.rowsValid();
}

void SettingsEditorDialog::follow(SettingsEditorResult result) {
    if (result != SettingsEditorResult::StayOpen) done(static_cast<int>(result));
}

void runSettingsEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui) {
    SettingsEditorDialog dialog(parent, image, ui);
    dialog.exec();
}

}  // namespace velora
