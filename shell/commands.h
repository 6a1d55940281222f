#pragma once
// The main window's commands: their numbers, which of them wait for an idle
// engine, and the dispatcher that carries them out.

#include <string>

#include "image/controller_image.h"
#include "shell/menu_model.h"
#include "shell/sync_command.h"

namespace velora {

class Application;
class UserInterface;

inline constexpr int kCmdHelp = 100;
inline constexpr int kCmdAbout = 101;
inline constexpr int kCmdScenes = 102;
inline constexpr int kCmdSettings = 103;
inline constexpr int kCmdMidi = 104;
inline constexpr int kCmdStop = 105;
inline constexpr int kCmdExit = 106;
inline constexpr int kCmdRepeat = 107;
inline constexpr int kCmdDownloadPage = 109;
inline constexpr int kCmdInstallFirmware = 110;
inline constexpr int kCmdVerifyFirmware = 111;
inline constexpr int kCmdAll = 112;
inline constexpr int kCmdRestart = 113;
inline constexpr int kCmdSceneEditor = 114;
inline constexpr int kCmdMidiEditor = 115;
inline constexpr int kCmdSettingsEditor = 116;
inline constexpr int kCmdChanges = 117;  // "&Show" / "&Changes..."
// "&Show" / "S&ync with controller": the regions.
inline constexpr int kCmdSyncScenes = 120;
inline constexpr int kCmdSyncSettings = 121;
inline constexpr int kCmdSyncMidi = 122;
inline constexpr int kCmdSyncAll = 123;
inline constexpr int kCmdAutoSearch = 200;
inline constexpr int kCmdFirstPort = 201;  // 201 + i: port i of the table

// True for the commands that are ignored unless the transfer state is Idle.
bool runsOnlyWhenIdle(int command);

// What the window does for the commands that are not the engine's.
class ShellHost {
  public:
    virtual ~ShellHost() = default;
    virtual bool fileExists(const std::string& path) const = 0;
    // Where the user manual (HTML) is looked for: the copy beside the
    // program, installed with it or made in its build tree.
    virtual std::string manualPath() const = 0;
    // Opens the user manual in the web browser; false when none could be
    // started.
    virtual bool openHelpFile(const std::string& path) = 0;
    // Opens a page in the web browser; a failure to start it is ignored.
    virtual void openWebPage(const std::string& address) = 0;
    // Closes the main window after the user confirmed the Exit question.
    virtual void closeMainWindow() = 0;
    // The editors, modal. The scene editor hides the client window while it
    // is open and may open during a transfer, which then pauses.
    virtual void runSceneEditor() = 0;
    virtual void runSettingsEditor() = 0;
    virtual void runMidiEditor() = 0;
    // The changes since the show was last in step, in a window of their own
    // that stays open beside the main window (also while a transfer runs).
    virtual void showChanges() {}
    // A sync's differences, for the user to confirm: true to write the
    // blocks that differ.
    virtual bool confirmSyncWrite(const SyncRun& /*run*/) { return false; }
};

class CommandDispatcher {
  public:
    enum class Outcome {
        Done,         // the command ran
        Ignored,      // a command that waits for Idle, given during a transfer
        NotACommand,  // not one of ours: default processing
    };

    CommandDispatcher(Application& app, UserInterface& ui, ShellHost& host, std::string programVersion);

    Outcome dispatch(int command);

    // The Action menu: an entry highlighted, and the selection popup opened
    // from the highlighted entry. A pick from the popup runs with the action
    // of the entry it was opened through.
    void highlightActionEntry(int position) { choice_.highlight(position); }
    void selectionPopupOpened() { choice_.selectionOpened(); }

    // The Exit question; true when the user answered Yes.
    bool confirmExit();

    // A run ended and the engine is idle: a sync goes on.
    void runEnded();
    // True while a sync goes on (its list waiting for the user included).
    bool syncing() const { return sync_.active(); }

  private:
    void help();
    void about();
    void startRegionRun(Region region, bool all);

    Application& app_;
    UserInterface& ui_;
    ShellHost& host_;
    std::string version_;
    ActionChoice choice_;
    SyncCommand sync_;
};

}  // namespace velora
