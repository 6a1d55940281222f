// The menu tree and the status-bar arithmetic, without a toolkit.

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "shell/commands.h"
#include "shell/menu_model.h"
#include "shell/status_bar_model.h"

namespace velora {
namespace {

struct Expected {
    MenuEntry::Kind kind;
    const char* text;
    int command;
    const char* popup;
    bool greyed;
};

void expectMenu(const char* key, const std::vector<Expected>& expected,
                const std::vector<std::string>& ports = {}) {
    const std::optional<Menu> menu = buildMenu(key, ports);
    ASSERT_TRUE(menu.has_value()) << key;
    ASSERT_EQ(menu->entries.size(), expected.size()) << key;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const MenuEntry& e = menu->entries[i];
        SCOPED_TRACE(std::string(key) + " position " + std::to_string(i));
        EXPECT_EQ(e.kind, expected[i].kind);
        EXPECT_EQ(e.text, expected[i].text);
        EXPECT_EQ(e.command, expected[i].command);
        EXPECT_EQ(e.popupKey, expected[i].popup);
        EXPECT_EQ(e.greyed, expected[i].greyed);
    }
}

constexpr auto C = MenuEntry::Command;
constexpr auto P = MenuEntry::Popup;
constexpr auto S = MenuEntry::Separator;

TEST(MenuTree, EveryMenuInOrderWithItsCommandsAndStates) {
    expectMenu(kMenuBarKey, {{P, "&Action", 0, "Akcje", false},
                             {P, "&Comm choice", 0, "Port", false},
                             {P, "&FirmWare upgrade", 0, "Aktualizacja", false},
                             {P, "&Show", 0, "Pokaz", false},
                             {C, "E&xit", 106, "", false},
                             {P, "&Help", 0, "Pomoc", false}});
    expectMenu(kActionMenuKey, {{C, "&Repeat", 107, "", true},
                                {S, "", 0, "", false},
                                {P, "&Read from controller", 0, "Wyb\xC3\xB3r", false},
                                {P, "&File readout", 0, "Wyb\xC3\xB3r", false},
                                {P, "&Edition", 0, "Edycje", false},
                                {P, "&Veryfication", 0, "Wyb\xC3\xB3r", false},
                                {P, "File &write", 0, "Wyb\xC3\xB3r", false},
                                {P, "Write to &controller", 0, "Wyb\xC3\xB3r", false},
                                {S, "", 0, "", false},
                                {C, "&Stop", 105, "", true},
                                {C, "Controller res&tart", 113, "", false},
                                {S, "", 0, "", false},
                                {C, "E&xit", 106, "", false}});
    expectMenu("Wyb\xC3\xB3r", {{C, "&Scenes", 102, "", false},
                                {C, "Se&ttings", 103, "", false},
                                {C, "&MIDI assignments", 104, "", false},
                                {C, "&All", 112, "", false}});
    expectMenu("Synchronizacja", {{C, "&Scenes", 120, "", false},
                                  {C, "Se&ttings", 121, "", false},
                                  {C, "&MIDI assignments", 122, "", false},
                                  {C, "&All", 123, "", false}});
    expectMenu(
        "Edycje",
        {{C, "&Scenes", 114, "", false}, {C, "Se&ttings", 116, "", false}, {C, "&MIDI", 115, "", false}});
    expectMenu("Aktualizacja", {{C, "&Searching", 109, "", false},
                                {C, "&Installing", 110, "", false},
                                {C, "&Veryfication", 111, "", false}});
    expectMenu("Pokaz", {{C, "&Changes...", 117, "", false},
                         {P, "S&ync with controller", 0, "Synchronizacja", false}});
    expectMenu("Pomoc", {{C, "&Help contents", 100, "", false}, {C, "&About ...", 101, "", false}});
}

TEST(MenuTree, PortMenuListsAutoThenEveryPortCheckable) {
    const std::vector<std::string> ports{"COM1", "COM10", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7"};
    const Menu menu = *buildMenu(kPortMenuKey, ports);
    ASSERT_EQ(menu.entries.size(), 9u);
    EXPECT_EQ(menu.entries[0].text, "&Auto");
    EXPECT_EQ(menu.entries[0].command, kCmdAutoSearch);
    EXPECT_FALSE(menu.entries[0].checkable);
    for (int i = 0; i < 8; ++i) {
        const MenuEntry& e = menu.entries[static_cast<std::size_t>(portEntryPosition(i))];
        EXPECT_EQ(e.text, ports[static_cast<std::size_t>(i)]);
        EXPECT_EQ(e.command, 201 + i);
        EXPECT_TRUE(e.checkable);
    }
    // The list ends at the first empty slot.
    EXPECT_EQ(buildMenu(kPortMenuKey, {"COM1", "", "COM3"})->entries.size(), 2u);
}

TEST(MenuTree, AnUnknownKeyBuildsNothing) {
    EXPECT_FALSE(buildMenu("Menu").has_value());
    EXPECT_FALSE(buildMenu("").has_value());
    EXPECT_FALSE(buildMenu("akcje").has_value());
}

TEST(StatusBar, FixedEdgesFromFiftyTwoCharacterWidths) {
    const int w = 7;
    const StatusPartEdges fixed = statusPartEdges(52 * w, w);
    EXPECT_EQ(fixed.rightEdges, (std::array<int, 3>{84, 147, 301}));
    EXPECT_EQ(fixed.progressLeft(), 301);
    EXPECT_EQ(statusPartEdges(800, w).rightEdges, fixed.rightEdges);

    // 51 widths: shares of the width, each product divided by 50.
    const int W = 51 * w;  // 357
    const StatusPartEdges shares = statusPartEdges(W, w);
    EXPECT_EQ(shares.rightEdges[0], 357 * 12 / 50);
    EXPECT_EQ(shares.rightEdges[1], 357 * 9 / 50 + 357 * 12 / 50);
    EXPECT_EQ(shares.rightEdges[2], 357 * 22 / 50 + shares.rightEdges[1]);
    EXPECT_EQ(shares.rightEdges, (std::array<int, 3>{85, 149, 306}));
}

TEST(StatusBar, ProgressBarSitsTwoUnitsInsideTheLastPart) {
    EXPECT_EQ(progressBarRect(792, 22, 301), (PartRect{303, 2, 487, 18}));
    // A bar narrower than its fixed edges gives an empty progress bar, never a negative one.
    EXPECT_EQ(progressBarRect(200, 3, 301), (PartRect{303, 2, 0, 0}));

    const StatusPartEdges edges{{84, 147, 301}};
    EXPECT_EQ(statusPartRect(edges, 0, 792, 22), (PartRect{0, 0, 84, 22}));
    EXPECT_EQ(statusPartRect(edges, 2, 792, 22), (PartRect{147, 0, 154, 22}));
    EXPECT_EQ(statusPartRect(edges, 3, 792, 22), (PartRect{301, 0, 491, 22}));
}

TEST(StatusBar, ALeadingTabCentresTheText) {
    EXPECT_EQ(shownStatusText("\tFW : N/A").text, "FW : N/A");
    EXPECT_TRUE(shownStatusText("\tReady").centred);
    EXPECT_FALSE(shownStatusText("left").centred);
    EXPECT_EQ(shownStatusText("").text, "");
}

}  // namespace
}  // namespace velora
