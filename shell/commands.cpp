#include "shell/commands.h"

#include "files/backup_set.h"
#include "shell/application.h"
#include "shell/file_commands.h"
#include "shell/shell_texts.h"
#include "shell/status_bar_model.h"
#include "shell/upgrade_command.h"

namespace velora {

bool runsOnlyWhenIdle(int command) {
    switch (command) {
        case kCmdScenes:
        case kCmdSettings:
        case kCmdMidi:
        case kCmdRepeat:
        case kCmdInstallFirmware:
        case kCmdVerifyFirmware:
        case kCmdAll:
        case kCmdMidiEditor:
        case kCmdSettingsEditor:
        case kCmdSyncScenes:
        case kCmdSyncSettings:
        case kCmdSyncMidi:
        case kCmdSyncAll:
            return true;
        default:
            return false;
    }
}

CommandDispatcher::CommandDispatcher(Application& app, UserInterface& ui, ShellHost& host,
                                     std::string programVersion)
    : app_(app), ui_(ui), host_(host), version_(std::move(programVersion)), sync_(app, ui) {}

CommandDispatcher::Outcome CommandDispatcher::dispatch(int command) {
    TransferEngine& engine = app_.engine();
    // A sync's runs follow one another: nothing else starts between them.
    if (runsOnlyWhenIdle(command) && (!engine.idle() || sync_.active())) return Outcome::Ignored;

    switch (command) {
        case kCmdHelp:
            help();
            break;
        case kCmdAbout:
            about();
            break;
        case kCmdScenes:
            startRegionRun(Region::Scenes, false);
            break;
        case kCmdSettings:
            startRegionRun(Region::Settings, false);
            break;
        case kCmdMidi:
            startRegionRun(Region::Midi, false);
            break;
        case kCmdStop:
            engine.stop();
            break;
        case kCmdExit:
            if (confirmExit()) host_.closeMainWindow();
            break;
        case kCmdRepeat:
            engine.repeat();
            break;
        case kCmdDownloadPage:
            host_.openWebPage(kDownloadPage);
            break;
        case kCmdInstallFirmware:
            startUpgrade(app_, true);
            break;
        case kCmdVerifyFirmware:
            startUpgrade(app_, false);
            break;
        case kCmdAll:
            startRegionRun(Region::Scenes, true);
            break;
        case kCmdRestart:
            engine.restart();
            break;
        // What an editor's Accept changed counts as filled.
        case kCmdSceneEditor:
            ui_.setStatusText(kRegionPart, kEditionStatus);
            app_.runEditor([this] { host_.runSceneEditor(); });
            break;
        case kCmdMidiEditor:
            app_.runEditor([this] { host_.runMidiEditor(); });
            break;
        case kCmdSettingsEditor:
            app_.runEditor([this] { host_.runSettingsEditor(); });
            break;
        case kCmdChanges:
            host_.showChanges();
            break;
        case kCmdSyncScenes:
        case kCmdSyncSettings:
        case kCmdSyncMidi:
            sync_.start(static_cast<Region>(command - kCmdSyncScenes), false, defaultBackupFolder());
            break;
        case kCmdSyncAll:
            sync_.start(Region::Scenes, true, defaultBackupFolder());
            break;
        case kCmdAutoSearch:
            app_.autoSearch();
            break;
        default: {
            const int slot = command - kCmdFirstPort;
            if (slot < 0 || static_cast<std::size_t>(slot) >= app_.link().portTable().size())
                return Outcome::NotACommand;
            app_.link().choosePort(slot);
        }
    }
    return Outcome::Done;
}

// The data files are the shell's; the line's runs the engine's.
void CommandDispatcher::startRegionRun(Region region, bool all) {
    const Action action = choice_.takePick();
    if (action == Action::FileRead || action == Action::FileWrite)
        runFileCommand(app_, region, action, all);
    else if (all)
        app_.engine().startAll(action);
    else
        app_.engine().startRun(region, action);
}

void CommandDispatcher::runEnded() {
    sync_.advance([this](const SyncRun& run) { return host_.confirmSyncWrite(run); });
}

bool CommandDispatcher::confirmExit() {
    return ui_.messageBox(kExitQuestion, kExitCaption, Icon::Warning, Buttons::YesNo) == Answer::Yes;
}

void CommandDispatcher::help() {
    // The box says where the manual was looked for, or why it did not open.
    const std::string manual = host_.manualPath();
    std::string reason;
    if (!host_.fileExists(manual))
        reason = kManualLookedFor + manual;
    else if (!host_.openHelpFile(manual))
        reason = kManualNotOpened + manual;
    if (!reason.empty())
        ui_.messageBoxWithReason(kHelpMissingText, kHelpMissingCaption, Icon::Information, Buttons::Ok,
                                 reason);
}

void CommandDispatcher::about() {
    ui_.messageBox(aboutText(version_, app_.engine().firmwareText()), kAboutCaption, Icon::Information,
                   Buttons::Ok);
}

}  // namespace velora
