#include "desktop/qt_user_interface.h"

#include <QApplication>

#include "desktop/dialogs/scene_range_dialog.h"
#include "desktop/file_dialogs.h"
#include "desktop/main_window.h"
#include "desktop/message_box.h"
#include "desktop/part_status_bar.h"
#include "editors/scene_range.h"

namespace velora {

QtUserInterface::ModalScope::~ModalScope() {
    if (--ui_.openModals_ == 0 && ui_.modalsClosed_) ui_.modalsClosed_();
}

QWidget* QtUserInterface::owner() const {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return window_;
}

Answer QtUserInterface::messageBox(const std::string& text, const std::string& caption, Icon icon,
                                   Buttons buttons, std::optional<Answer> defaultButton) {
    ModalScope scope(*this);
    return showMessageBox(owner(), text, caption, icon, buttons, {}, defaultButton);
}

Answer QtUserInterface::messageBoxWithReason(const std::string& text, const std::string& caption, Icon icon,
                                             Buttons buttons, const std::string& reason,
                                             std::optional<Answer> defaultButton) {
    ModalScope scope(*this);
    return showMessageBox(owner(), text, caption, icon, buttons, reason, defaultButton);
}

Answer QtUserInterface::messageBoxWithDetails(const std::string& text, const std::string& caption, Icon icon,
                                              Buttons buttons, const std::string& informative,
                                              const std::string& detailed,
                                              std::optional<Answer> defaultButton) {
    ModalScope scope(*this);
    return showMessageBox(owner(), text, caption, icon, buttons, informative, defaultButton, detailed);
}

void QtUserInterface::setStatusText(int part, const std::string& text) {
    if (window_) window_->partStatusBar()->setPartText(part, text);
}

void QtUserInterface::setProgress(int position) {
    if (window_) window_->setProgress(position);
}

void QtUserInterface::enableActionEntry(int position, bool enabled) {
    if (window_) window_->setActionEntryEnabled(position, enabled);
}

void QtUserInterface::checkPortEntry(int position, bool checked) {
    if (window_) window_->setPortEntryChecked(position, checked);
}

void QtUserInterface::repaint() {
    if (window_) window_->repaintClient();
}

bool QtUserInterface::sceneRangeDialog(std::uint32_t& firstScene, std::uint32_t& lastScene) {
    ModalScope scope(*this);
    SceneRange range(firstScene, lastScene);
    SceneRangeDialog dialog(owner(), range, *this);
    if (dialog.run() != static_cast<int>(RangeResult::Chosen)) return false;
    firstScene = range.firstScene();
    lastScene = range.lastScene();
    return true;
}

bool QtUserInterface::openFileDialog(FileDialogRequest& request) {
    ModalScope scope(*this);
    return runFileDialog(owner(), FileDialogKind::Open, request);
}

bool QtUserInterface::saveFileDialog(FileDialogRequest& request) {
    ModalScope scope(*this);
    return runFileDialog(owner(), FileDialogKind::Save, request);
}

}  // namespace velora
