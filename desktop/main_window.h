#pragma once
// The main window: the menu bar built from the menu tree, the client area
// with the background picture, the status bar with the progress bar, the
// Escape key, and the commands, which run through the command dispatcher
// and then let the tick pump go on.

#include <QMainWindow>
#include <QPixmap>
#include <map>
#include <string>

#include "shell/commands.h"

class QMenu;
class QAction;

namespace velora {

class Application;
class ChangesWindow;
class ClientArea;
class PartStatusBar;
class QtUserInterface;
class TickPump;

class MainWindow : public QMainWindow, public ShellHost {
    Q_OBJECT
  public:
    MainWindow(Application& app, QtUserInterface& ui, TickPump& pump, QPixmap picture);
    ~MainWindow() override;

    // Runs a command as its menu entry would, then lets the engine go on.
    CommandDispatcher::Outcome runCommand(int command);

    // The menu built for a key ("Akcje", "Port", "Wyb\xC3\xB3r", ...), or null.
    QMenu* menuOf(const std::string& key) const;
    // The entry at `position` of the menu of `key`, or null.
    QAction* entryAt(const std::string& key, int position) const;

    PartStatusBar* partStatusBar() const { return statusBar_; }
    ClientArea* clientArea() const { return client_; }
    void setProgress(int position);
    void setActionEntryEnabled(int position, bool enabled);
    void setPortEntryChecked(int position, bool checked);
    void repaintClient();
    // Texts of parts 1, 2 and 0 from the engine, in this order.
    void refreshStatus();

    // ShellHost
    bool fileExists(const std::string& path) const override;
    std::string manualPath() const override;
    bool openHelpFile(const std::string& path) override;
    void openWebPage(const std::string& address) override;
    void closeMainWindow() override;
    void runSceneEditor() override;
    void runSettingsEditor() override;
    void runMidiEditor() override;
    void showChanges() override;

    // The changes window once "&Changes..." opened it, else null.
    ChangesWindow* changesWindow() const { return changes_; }
    bool confirmSyncWrite(const SyncRun& run) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void buildMenus();
    QMenu* buildPopup(const std::string& key, const QString& title);
    void computeStatusParts();

    Application& app_;
    QtUserInterface& ui_;
    TickPump& pump_;
    CommandDispatcher commands_;
    ClientArea* client_;
    PartStatusBar* statusBar_;
    ChangesWindow* changes_ = nullptr;
    std::map<std::string, QMenu*> menus_;
    bool exitConfirmed_ = false;
    bool refreshPending_ = false;
};

}  // namespace velora
