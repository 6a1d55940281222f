#pragma once
// The menu tree of the main window, built from a key as a toolkit-free
// description. The window turns each built menu into real menus; the Action
// popup's positions are the ones the engine greys and the highlight rule
// reads.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_events.h"

namespace velora {

// Menu keys.
inline constexpr const char* kMenuBarKey = "VeloraTR<->PC";
inline constexpr const char* kActionMenuKey = "Akcje";
inline constexpr const char* kPortMenuKey = "Port";
inline constexpr const char* kUpgradeMenuKey = "Aktualizacja";
inline constexpr const char* kHelpMenuKey = "Pomoc";
inline constexpr const char* kEditionMenuKey = "Edycje";
inline constexpr const char* kSelectionMenuKey = "Wyb\xC3\xB3r";  // built once, shared by five entries
inline constexpr const char* kShowMenuKey = "Pokaz";              // the show as a whole: its changes
inline constexpr const char* kSyncMenuKey = "Synchronizacja";     // the region of a sync

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

// Positions in the "&Action" menu of the entries that runs enable and grey.
inline constexpr int kRepeatEntry = 0;
inline constexpr int kStopEntry = 9;

// Positions in the Port menu: "&Auto" at 0, port i at i + 1.
inline constexpr int portEntryPosition(int portIndex) {
    return portIndex + 1;
}

// The action of the entry at `position` of the Action menu: "&Read from
// controller" 2, "&File readout" 3, "&Veryfication" 5, "File &write" 6,
// "Write to &controller" 7; NoAction for every other entry.
Action actionForMenuPosition(int position);

// What a pick from the shared selection popup does. Highlighting an entry of
// the Action menu chooses its action; the popup keeps the action of the entry
// it was opened through, so a pick carries out that action whatever ran or
// ended while the popup was open. A run in progress never takes a highlight:
// the engine is told the action only when a run starts.
class ActionChoice {
  public:
    // The user highlighted the entry at `position` of the Action menu.
    void highlight(int position);
    // The selection popup opened from the highlighted entry.
    void selectionOpened() { opener_ = highlighted_; }
    // The action of a pick from the selection popup; the popup is closed by it.
    Action takePick();

  private:
    Action highlighted_ = Action::WriteController;  // the engine's action at start-up
    std::optional<Action> opener_;
};

}  // namespace velora
