#include "desktop/dialogs/settings_editor_dialog.h"

#include <QScrollBar>

namespace velora {

SettingsEditorDialog::SettingsEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui)
    : LaidOutDialog(parent, kSettingsEditorLayout, std::make_unique<SettingsEditor>(image), ui) {
    // The bars take the keyboard focus, so that the arrow and page keys
    // scroll the lists as the bar actions do.
    for (const int bar : {kSettingsCueBar, kSettingsProgrammeBar})
        scrollBar(bar)->setFocusPolicy(Qt::StrongFocus);
}

}  // namespace velora
