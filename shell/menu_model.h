#pragma once
// The menu tree of the main window, built from a key as a toolkit-free
// description. The window turns each built menu into real menus; the Action
// popup's positions are the ones the engine greys and the highlight rule
// reads.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

// Menu keys.
inline constexpr const char* kMenuBarKey = "VeloraTR<->PC";
inline constexpr const char* kActionMenuKey = "Akcje";
inline constexpr const char* kPortMenuKey = "Port";
inline constexpr const char* kUpgradeMenuKey = "Aktualizacja";
inline constexpr const char* kHelpMenuKey = "Pomoc";
inline constexpr const char* kEditionMenuKey = "Edycje";
inline constexpr const char* kSelectionMenuKey = "Wyb\xC3\xB3r";  // built once, shared by five entries

struct MenuEntry {
    enum Kind { Command, Popup, Separator };
    Kind kind = Separator;
    std::string text;        // with & before the mnemonic; empty for a separator
    int command = 0;         // Command
    std::string popupKey;    // Popup: the key of the menu it opens
    bool greyed = false;     // initial state
    bool checkable = false;  // port entries
};

struct Menu {
    std::string key;
    std::vector<MenuEntry> entries;  // in order of position; separators count
};

// The menu of `key`, or nullopt for an unknown key. The Port menu lists
// "&Auto" and then `ports` in table order.
std::optional<Menu> buildMenu(std::string_view key, const std::vector<std::string>& ports = {});

// Positions in the Port menu: "&Auto" at 0, port i at i + 1.
inline constexpr int portEntryPosition(int portIndex) {
    return portIndex + 1;
}

}  // namespace velora
