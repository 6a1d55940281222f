#pragma once
// The user interface of the desktop program: message boxes, the status bar,
// the progress bar and the menu entries of the main window, the range
// dialog and the file dialogs. Works before the main window exists (message
// boxes only).

#include <functional>

#include "platform/ui.h"

class QWidget;

namespace velora {

class MainWindow;

class QtUserInterface : public UserInterface {
  public:
    void attach(MainWindow* window) { window_ = window; }

    Answer messageBox(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                      std::optional<Answer> defaultButton = std::nullopt) override;
    Answer messageBoxWithReason(const std::string& text, const std::string& caption, Icon icon,
                                Buttons buttons, const std::string& reason,
                                std::optional<Answer> defaultButton = std::nullopt) override;
    Answer messageBoxWithDetails(const std::string& text, const std::string& caption, Icon icon,
                                 Buttons buttons, const std::string& informative, const std::string& detailed,
                                 std::optional<Answer> defaultButton = std::nullopt) override;
    void setStatusText(int part, const std::string& text) override;
    void setProgress(int position) override;
    void enableActionEntry(int position, bool enabled) override;
    void checkPortEntry(int position, bool checked) override;
    void repaint() override;
    bool sceneRangeDialog(std::uint32_t& firstScene, std::uint32_t& lastScene) override;
    bool openFileDialog(FileDialogRequest& request) override;
    bool saveFileDialog(FileDialogRequest& request) override;

    // Modal dialogs of ours that are open right now (native ones included,
    // which the toolkit may not report as modal widgets).
    int openModals() const { return openModals_; }
    // Called after the last of them closed.
    void setModalsClosedHandler(std::function<void()> handler) { modalsClosed_ = std::move(handler); }

  private:
    // Counts a modal dialog for as long as it is open.
    class ModalScope {
      public:
        explicit ModalScope(QtUserInterface& ui) : ui_(ui) { ++ui_.openModals_; }
        ~ModalScope();
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

      private:
        QtUserInterface& ui_;
    };

    // The owner of a dialog: the modal dialog on top, else the main window.
    QWidget* owner() const;

    MainWindow* window_ = nullptr;
    int openModals_ = 0;
    std::function<void()> modalsClosed_;
};

}  // namespace velora
