#include "shell/menu_model.h"

#include "shell/commands.h"

namespace velora {

namespace {

MenuEntry command(const char* text, int id, bool greyed = false) {
    MenuEntry e;
    e.kind = MenuEntry::Command;
    e.text = text;
    e.command = id;
    e.greyed = greyed;
    return e;
}

MenuEntry popup(const char* text, const char* key) {
    MenuEntry e;
    e.kind = MenuEntry::Popup;
    e.text = text;
    e.popupKey = key;
    return e;
}

MenuEntry separator() {
    return MenuEntry{};
}

std::vector<MenuEntry> entriesOf(std::string_view key, const std::vector<std::string>& ports) {
    if (key == kMenuBarKey) {
        return {popup("&Action", kActionMenuKey),
                popup("&Comm choice", kPortMenuKey),
                popup("&FirmWare upgrade", kUpgradeMenuKey),
                popup("&Show", kShowMenuKey),
                command("E&xit", kCmdExit),
                popup("&Help", kHelpMenuKey)};
    }
    if (key == kActionMenuKey) {
        return {command("&Repeat", kCmdRepeat, true),
                separator(),
                popup("&Read from controller", kSelectionMenuKey),
                popup("&File readout", kSelectionMenuKey),
                popup("&Edition", kEditionMenuKey),
                popup("&Veryfication", kSelectionMenuKey),
                popup("File &write", kSelectionMenuKey),
                popup("Write to &controller", kSelectionMenuKey),
                separator(),
                command("&Stop", kCmdStop, true),
                command("Controller res&tart", kCmdRestart),
                separator(),
                command("E&xit", kCmdExit)};
    }
    if (key == kSelectionMenuKey) {
        return {command("&Scenes", kCmdScenes), command("Se&ttings", kCmdSettings),
                command("&MIDI assignments", kCmdMidi), command("&All", kCmdAll)};
    }
    // The region choice of the transfers, for a sync.
    if (key == kSyncMenuKey) {
        return {command("&Scenes", kCmdSyncScenes), command("Se&ttings", kCmdSyncSettings),
                command("&MIDI assignments", kCmdSyncMidi), command("&All", kCmdSyncAll)};
    }
    if (key == kEditionMenuKey) {
        return {command("&Scenes", kCmdSceneEditor), command("Se&ttings", kCmdSettingsEditor),
                command("&MIDI", kCmdMidiEditor)};
    }
    if (key == kPortMenuKey) {
        std::vector<MenuEntry> entries{command("&Auto", kCmdAutoSearch)};
        for (std::size_t i = 0; i < ports.size() && !ports[i].empty(); ++i) {
            MenuEntry e = command(ports[i].c_str(), kCmdFirstPort + static_cast<int>(i));
            e.checkable = true;
            entries.push_back(std::move(e));
        }
        return entries;
    }
    if (key == kUpgradeMenuKey) {
        return {command("&Searching", kCmdDownloadPage), command("&Installing", kCmdInstallFirmware),
                command("&Veryfication", kCmdVerifyFirmware)};
    }
    if (key == kShowMenuKey)
        return {command("&Changes...", kCmdChanges), popup("S&ync with controller", kSyncMenuKey)};
    if (key == kHelpMenuKey) return {command("&Help contents", kCmdHelp), command("&About ...", kCmdAbout)};
    return {};
}

}  // namespace

Action actionForMenuPosition(int position) {
    switch (position) {
        case 2:
            return Action::ReadController;
        case 3:
            return Action::FileRead;
        case 5:
            return Action::Verify;
        case 6:
            return Action::FileWrite;
        case 7:
            return Action::WriteController;
        default:
            return Action::NoAction;
    }
}

void ActionChoice::highlight(int position) {
    highlighted_ = actionForMenuPosition(position);
}

Action ActionChoice::takePick() {
    const Action action = opener_.value_or(highlighted_);
    opener_.reset();
    return action;
}

std::optional<Menu> buildMenu(std::string_view key, const std::vector<std::string>& ports) {
    std::vector<MenuEntry> entries = entriesOf(key, ports);
    if (entries.empty()) return std::nullopt;
    return Menu{std::string(key), std::move(entries)};
}

}  // namespace velora
