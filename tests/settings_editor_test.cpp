// The "SpecEdit" editing model, without a toolkit.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "editors/settings_editor.h"
#include "emulator/demo_show.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/settings_check.h"

namespace velora {
namespace {

using testing::ScriptedUi;

void expectInvalidValue(ScriptedUi& ui) {
    ui.expectMessage("Invalid value !", "Warning :", Icon::Error, Buttons::Ok);
}

void expectCueQuestion(ScriptedUi& ui, Answer answer) {
    ui.expectMessage("Want to remove invalid programms from cue ?", "Invalid value !", Icon::Question,
                     Buttons::YesNo, answer);
}

// The field the model put the focus on, its whole text selected; 0 for none.
int focusedField(SettingsEditor& editor) {
    const auto focus = editor.state().takeFocus();
    if (!focus) return 0;
    EXPECT_EQ(focus->selectLength, FocusRequest::kToTheEnd);
    return focus->id;
}

class SettingsEditorTest : public ::testing::Test {
  protected:
    SettingsEditorTest() {
        // A value of its own in every settings field.
        for (std::size_t p = 0; p < kProgrammes; ++p) {
            image.endScene[p] = static_cast<std::uint8_t>(p % 15);
            image.speedSync[p] = static_cast<std::uint8_t>(1 + p % 31);
            image.fade[p] = static_cast<std::uint8_t>(200 + p);
        }
        for (std::size_t f = 0; f < 3; ++f)
            for (std::size_t c = 0; c < 16; ++c) image.cues[f][c] = static_cast<std::uint8_t>(f * 16 + c);
        image.strobeScene = 40;  // programme 2, scene 9
        image.fogScene = kNoScene;
        image.extraScene = 1021;  // programme 48, scene 14
        image.specialButtonsMode = kFogModeFlag;
    }

    void expectSettings(const ControllerImage& expected) { testing::expectSameSettings(image, expected); }

    ControllerImage image;
    ScriptedUi ui;
};

TEST_F(SettingsEditorTest, OpensWithTheSpecialButtonsAndFlagsOfTheImage) {
    image.slowMode = 1;  // any non-zero value is on
    SettingsEditor editor(image);
    const DialogState& s = editor.state();
    EXPECT_EQ(s.range(kSettingsProgrammeBar), std::make_pair(0, 42));
    EXPECT_EQ(s.range(kSettingsCueBar), std::make_pair(0, 12));
    EXPECT_EQ(s.fieldText(kSpecialProgrammeField[kStrobe]) + "/" + s.fieldText(kSpecialSceneField[kStrobe]),
              "2/9");
    EXPECT_EQ(s.fieldText(kSpecialProgrammeField[kExtra]) + "/" + s.fieldText(kSpecialSceneField[kExtra]),
              "48/14");
    EXPECT_TRUE(s.checked(kSpecialButtonBox[kExtra]));
    EXPECT_FALSE(s.checked(kSpecialButtonBox[kFog]));
    EXPECT_EQ(s.fieldText(kSpecialProgrammeField[kFog]), "");
    EXPECT_FALSE(s.enabled(kSpecialSceneField[kFog]));
    EXPECT_TRUE(s.checked(kSettingsSlowMode));
    EXPECT_FALSE(s.enabled(settingsProgrammeNumber(5)));  // row numbers only show
    EXPECT_FALSE(s.enabled(settingsCueNumber(3)));

    // Strobe-mode boxes: STROBE's flag inverted, FOG's and EXTRA's direct; an
    // unchanged Accept gives the controller back the same flags.
    for (const auto& [mode, strobe, fog, extra] :
         {std::tuple{0, true, false, false}, std::tuple{1, false, false, false},
          std::tuple{2, true, true, false}, std::tuple{4, true, false, true},
          std::tuple{7, false, true, true}}) {
        image.specialButtonsMode = static_cast<std::uint16_t>(mode);
        SettingsEditor flags(image);
        EXPECT_EQ(flags.state().checked(kStrobeModeBox[kStrobe]), strobe) << mode;
        EXPECT_EQ(flags.state().checked(kStrobeModeBox[kFog]), fog) << mode;
        EXPECT_EQ(flags.state().checked(kStrobeModeBox[kExtra]), extra) << mode;
        EXPECT_TRUE(flags.accept(ui));
        EXPECT_EQ(image.specialButtonsMode, mode);
    }
}

TEST_F(SettingsEditorTest, ModeBytesShowAsRadioButtonSpeedAndFade) {
    // mode byte, radio (0 A, 1 R, 2 B, 3 M), SPEED, FADE, working mode once shown
    for (const auto& [mode, radio, speed, fade, working] :
         {std::tuple{0, 1, "", "", 0}, std::tuple{255, 2, "", "", 255}, std::tuple{254, 3, "", "", 254},
          std::tuple{1, 0, "1", "77", 1}, std::tuple{31, 0, "31", "77", 31},
          std::tuple{32, 0, "31", "77", 31}, std::tuple{100, 0, "31", "77", 31},
          std::tuple{253, 0, "31", "77", 31}}) {
        image.speedSync[2] = static_cast<std::uint8_t>(mode);
        image.fade[2] = 77;
        SettingsEditor editor(image);
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(editor.state().checked(settingsAuto(2) + r), r == radio) << mode;
        EXPECT_EQ(editor.state().fieldText(settingsSpeed(2)), speed) << mode;
        EXPECT_EQ(editor.state().fieldText(settingsFade(2)), fade) << mode;
        EXPECT_EQ(editor.workingModes()[2], working) << mode;  // lowered before anything is stored
    }
}

// One field typed in a programme or cue row, then the rows stored.
struct FieldCase {
    int first;  // first visible programme (End, SPEED, FADE) or cue (cue fields)
    int field;
    const char* text;
    int stored;  // -1: refused
};

void PrintTo(const FieldCase& c, std::ostream* out) {
    *out << "field " << c.field << " at " << c.first << " \"" << c.text << '"';
}

class StoredField : public SettingsEditorTest, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(StoredField, IsCheckedAndStoredInTheWorkingCopy) {
    const FieldCase& c = GetParam();
    SettingsEditor editor(image);
    const bool cue = c.field > 300;
    editor.scroll(cue ? kSettingsCueBar : kSettingsProgrammeBar, ScrollAction::ThumbPosition, c.first, ui);
    editor.state().setFieldText(c.field, c.text);
    if (c.stored < 0) expectInvalidValue(ui);

    EXPECT_EQ(editor.storeRows(ui), c.stored >= 0);
    EXPECT_EQ(editor.rowsValid(), c.stored >= 0);
    EXPECT_EQ(focusedField(editor), c.stored >= 0 ? 0 : c.field);
    const auto row = static_cast<std::size_t>(c.first + (cue ? (c.field - 321) / 10 : (c.field - 220) / 10));
    const auto cueField = static_cast<std::size_t>((c.field - 321) % 10);
    const std::uint8_t value = cue                 ? editor.workingCues()[cueField][row]
                               : c.field % 10 == 1 ? editor.workingEndScenes()[row]
                               : c.field % 10 == 6 ? editor.workingModes()[row]
                                                   : editor.workingFades()[row];
    if (c.stored >= 0) {
        EXPECT_EQ(value, c.stored);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, StoredField,
    ::testing::Values(FieldCase{42, settingsEnd(5), "14", 14}, FieldCase{42, settingsEnd(5), "15", -1},
                      FieldCase{16, settingsEnd(0), "16", 16}, FieldCase{16, settingsEnd(0), "17", -1},
                      FieldCase{15, settingsEnd(0), "32", 32}, FieldCase{15, settingsEnd(0), "33", -1},
                      FieldCase{0, settingsEnd(1), "", 0}, FieldCase{0, settingsEnd(1), "  7", 7},
                      FieldCase{0, settingsEnd(1), "7 ", -1}, FieldCase{0, settingsEnd(1), " ", -1},
                      FieldCase{0, settingsSpeed(2), "31", 31}, FieldCase{0, settingsSpeed(2), "32", -1},
                      FieldCase{0, settingsFade(3), "255", 255}, FieldCase{0, settingsFade(3), "256", -1},
                      FieldCase{12, settingsCueField(3, 1), "48", 47},
                      FieldCase{12, settingsCueField(3, 1), "49", -1},
                      FieldCase{12, settingsCueField(3, 1), "0", kEmptyCue},
                      FieldCase{12, settingsCueField(3, 1), "", kEmptyCue},
                      FieldCase{12, settingsCueField(3, 1), "x", -1}));

TEST_F(SettingsEditorTest, HiddenSpeedIsNotReadAndAnEmptySpeedIsManual) {
    image.speedSync[0] = kMusicMode;
    SettingsEditor editor(image);
    editor.state().setFieldText(settingsSpeed(1), "");  // Auto without a speed
    editor.click(settingsMidi(2), ui);
    editor.state().setFieldText(settingsSpeed(2), "junk");  // not read in MIDI mode

    ASSERT_TRUE(editor.storeRows(ui));
    EXPECT_EQ(editor.workingModes()[0], kMusicMode);
    EXPECT_EQ(editor.workingModes()[1], kManualMode);
    EXPECT_EQ(editor.workingModes()[2], kMidiMode);
    editor.showRows();
    EXPECT_TRUE(editor.state().checked(settingsManual(1)));
}

TEST_F(SettingsEditorTest, AFadeShownEmptyIsKeptUntilAValueIsTyped) {
    // Programme 1 in Music mode shows FADE empty; programme 2 in Auto shows 201.
    image.speedSync[0] = kMusicMode;
    // row, mode button clicked (0: none), FADE typed, fade stored
    for (const auto& [row, mode, fade, stored] :
         {std::tuple{0, 0, "", 200}, std::tuple{0, settingsAuto(0), "", 200}, std::tuple{0, 0, "50", 50},
          std::tuple{1, 0, "", 0}, std::tuple{1, settingsMusic(1), "", 0}}) {
        SettingsEditor editor(image);
        if (mode != 0) editor.click(mode, ui);
        editor.state().setFieldText(settingsFade(row), fade);
        ASSERT_TRUE(editor.storeRows(ui));
        EXPECT_EQ(editor.workingFades()[static_cast<std::size_t>(row)], stored)
            << row << " \"" << fade << '"';
    }

    // The demonstration show: every row shown, an Accept without a change
    // keeps every fade (programme 17, Manual, fades 128).
    fillDemoShow(image);
    const ControllerImage demo = image;
    SettingsEditor editor(image);
    for (int first = 0; first <= kSettingsLastFirstProgramme; first += 3)
        editor.scroll(kSettingsProgrammeBar, ScrollAction::ThumbPosition, first, ui);
    EXPECT_TRUE(editor.accept(ui));
    EXPECT_EQ(image.fade[16], 128);
    expectSettings(demo);
}

TEST_F(SettingsEditorTest, FinishAsksWhenAnAcceptWouldChangeTheImageOrRefuseAField) {
    // The demonstration show, with values the dialog shows as their own: a
    // mode byte above 31, a slow mode of 1, a mode bit no box shows.
    fillDemoShow(image);
    image.speedSync[5] = 100;
    image.slowMode = 1;
    image.specialButtonsMode |= 8;
    const ControllerImage before = image;
    using Edit = std::function<void(SettingsEditor&)>;
    const auto type = [](int id, const char* text) {
        return Edit([=](SettingsEditor& e) { e.state().setFieldText(id, text); });
    };
    const auto click = [this](std::vector<int> ids) {
        return Edit([this, ids](SettingsEditor& e) {
            for (const int id : ids) e.click(id, ui);
        });
    };
    const Edit scrolledThrough = [this](SettingsEditor& e) {
        for (int first = 0; first <= kSettingsLastFirstProgramme; ++first)
            e.scroll(kSettingsProgrammeBar, ScrollAction::ThumbPosition, first, ui);
        for (int first = 0; first <= kSettingsLastFirstCue; ++first)
            e.scroll(kSettingsCueBar, ScrollAction::ThumbPosition, first, ui);
    };
    const Edit typedThenScrolledAway = [&](SettingsEditor& e) {
        type(settingsFade(0), "41")(e);
        e.scroll(kSettingsProgrammeBar, ScrollAction::PageDown, 0, ui);
    };
    const std::vector<std::tuple<const char*, Edit, bool>> cases{
        {"nothing", [](SettingsEditor&) {}, false},
        {"every row shown", scrolledThrough, false},
        {"the same End typed", type(settingsEnd(0), "32"), false},
        {"slow mode twice", click({kSettingsSlowMode, kSettingsSlowMode}), false},
        {"End", type(settingsEnd(0), "31"), true},
        {"refused End", type(settingsEnd(0), "99"), true},
        {"hidden FADE typed", type(settingsFade(2), "7"), true},
        {"stored, then scrolled away", typedThenScrolledAway, true},
        {"mode", click({settingsManual(1)}), true},
        {"cue", type(settingsCueField(3, 2), "9"), true},
        {"slow mode", click({kSettingsSlowMode}), true},
        {"strobe mode", click({kStrobeModeBox[kExtra]}), true},
        {"button box", click({kSpecialButtonBox[kExtra]}), true},
        {"special scene", type(kSpecialSceneField[kFog], "10"), true},
    };
    for (const auto& [name, edit, asks] : cases) {
        SettingsEditor editor(image);
        edit(editor);
        EXPECT_EQ(editor.hasUnacceptedChanges(), asks) << name;
        if (asks) {
            const std::string typed = editor.state().fieldText(settingsEnd(0));
            ui.expectMessage("Close without accepting the changes ?", "Settings", Icon::Question,
                             Buttons::YesNo, Answer::No, Answer::No);
            EXPECT_EQ(editor.click(kSettingsFinish, ui), DialogReply::stayOpen()) << name;
            EXPECT_EQ(editor.state().fieldText(settingsEnd(0)), typed) << name;
            ui.expectMessage("Close without accepting the changes ?", "Settings", Icon::Question,
                             Buttons::YesNo, Answer::Yes, Answer::No);
        }
        EXPECT_EQ(editor.click(kSettingsFinish, ui), DialogReply::close(EditorResult::Finished)) << name;
        EXPECT_TRUE(ui.scriptDone()) << name;
        expectSettings(before);
    }
}

TEST_F(SettingsEditorTest, TheFirstRefusedFieldStopsStoringAndScrolling) {
    SettingsEditor editor(image);
    editor.state().setFieldText(settingsEnd(0), "3");
    editor.state().setFieldText(settingsFade(1), "300");  // refused
    editor.state().setFieldText(settingsEnd(2), "5");     // after it: not stored
    editor.state().setFieldText(settingsCueField(0, 0), "99");
    expectInvalidValue(ui);
    editor.scroll(kSettingsProgrammeBar, ScrollAction::PageDown, 0, ui);
    EXPECT_EQ(focusedField(editor), settingsFade(1));
    EXPECT_EQ(editor.firstProgramme(), 0);
    EXPECT_EQ(editor.workingEndScenes()[0], 3);
    EXPECT_EQ(editor.workingEndScenes()[2], image.endScene[2]);

    editor.scroll(kSettingsProgrammeBar, ScrollAction::EndScroll, 0, ui);  // not a scroll: no message
    editor.state().setFieldText(settingsFade(1), "30");
    expectInvalidValue(ui);
    editor.scroll(kSettingsCueBar, ScrollAction::LineDown, 0, ui);
    EXPECT_EQ(focusedField(editor), settingsCueField(0, 0));
    EXPECT_EQ(editor.firstCue(), 0);
}

struct ScrollCase {
    int bar, from;
    ScrollAction action;
    int to;
};

void PrintTo(const ScrollCase& c, std::ostream* out) {
    *out << "bar " << c.bar << " from " << c.from << " action " << static_cast<int>(c.action);
}

class Scrolling : public SettingsEditorTest, public ::testing::WithParamInterface<ScrollCase> {};

TEST_P(Scrolling, MovesTheBarAndShowsTheRowsThere) {
    const ScrollCase& c = GetParam();
    SettingsEditor editor(image);
    editor.scroll(c.bar, ScrollAction::ThumbTrack, c.from, ui);
    editor.scroll(c.bar, c.action, 30, ui);
    EXPECT_EQ(editor.state().position(c.bar), c.to);
    if (c.bar == kSettingsProgrammeBar) {
        EXPECT_EQ(editor.state().fieldText(settingsProgrammeNumber(0)), std::to_string(c.to + 1));
        EXPECT_EQ(editor.state().fieldText(settingsFade(0)), std::to_string(200 + c.to));
    } else {
        EXPECT_EQ(editor.state().fieldText(settingsCueNumber(3)), std::to_string(c.to + 4));
        EXPECT_EQ(editor.state().fieldText(settingsCueField(0, 2)), std::to_string(32 + c.to + 1));
    }
}

constexpr int P = kSettingsProgrammeBar;
constexpr int Q = kSettingsCueBar;
INSTANTIATE_TEST_SUITE_P(
    Actions, Scrolling,
    ::testing::Values(
        ScrollCase{P, 0, ScrollAction::LineUp, 0}, ScrollCase{P, 42, ScrollAction::LineDown, 42},
        ScrollCase{P, 0, ScrollAction::PageDown, 3}, ScrollCase{P, 41, ScrollAction::PageDown, 42},
        ScrollCase{P, 10, ScrollAction::PageUp, 7}, ScrollCase{P, 2, ScrollAction::PageUp, 0},
        ScrollCase{P, 5, ScrollAction::ThumbTrack, 30}, ScrollCase{P, 5, ScrollAction::Other, 5},
        ScrollCase{Q, 12, ScrollAction::PageDown, 12}, ScrollCase{Q, 3, ScrollAction::PageDown, 4},
        ScrollCase{Q, 3, ScrollAction::PageUp, 2}, ScrollCase{Q, 11, ScrollAction::LineDown, 12},
        ScrollCase{Q, 0, ScrollAction::ThumbPosition, 12}, ScrollCase{Q, 4, ScrollAction::EndScroll, 4}));

TEST_F(SettingsEditorTest, ButtonBoxFillsOneOneAndScenesAreCheckedAgainstTheProgramme) {
    const int prog = kSpecialProgrammeField[kFog];
    const int scene = kSpecialSceneField[kFog];
    // programme, scene, field refused (0: none), absolute scene stored
    for (const auto& [p, s, refused, stored] :
         {std::tuple{"1", "1", 0, 0}, std::tuple{"48", "14", 0, 1021}, std::tuple{"48", "15", scene, 0},
          std::tuple{"3", "", scene, 0}, std::tuple{"0", "1", prog, 0}}) {
        image.fogScene = kNoScene;
        SettingsEditor editor(image);
        editor.click(kSpecialButtonBox[kFog], ui);
        EXPECT_EQ(editor.state().fieldText(prog) + "/" + editor.state().fieldText(scene), "1/1");
        EXPECT_TRUE(editor.state().enabled(scene));
        editor.state().setFieldText(prog, p);
        editor.state().setFieldText(scene, s);
        if (refused) expectInvalidValue(ui);
        EXPECT_EQ(editor.accept(ui), refused == 0) << p;
        EXPECT_EQ(focusedField(editor), refused) << p << " / " << s;
        EXPECT_EQ(image.fogScene, refused ? kNoScene : stored) << p << " / " << s;
    }
}

TEST_F(SettingsEditorTest, AcceptWritesStepByStepAndARefusalUndoesNothing) {
    image.fogScene = 7;
    SettingsEditor editor(image);
    editor.click(kSpecialButtonBox[kStrobe], ui);                 // STROBE loses its scene
    editor.click(kSpecialButtonBox[kExtra], ui);                  // so does EXTRA, after FOG
    editor.state().setFieldText(kSpecialSceneField[kFog], "40");  // programme 1 has 32 scenes
    editor.click(kSettingsSlowMode, ui);
    editor.click(kStrobeModeBox[kStrobe], ui);
    editor.state().setFieldText(settingsFade(0), "5");
    editor.state().setFieldText(settingsCueField(0, 0), "");

    ControllerImage expected = image;
    expected.strobeScene = kNoScene;
    expectInvalidValue(ui);
    EXPECT_FALSE(editor.accept(ui));
    EXPECT_EQ(focusedField(editor), kSpecialSceneField[kFog]);
    expectSettings(expected);

    editor.state().setFieldText(kSpecialSceneField[kFog], "32");
    EXPECT_TRUE(editor.accept(ui));
    expected.fogScene = 31;
    expected.extraScene = kNoScene;
    expected.slowMode = 0xFFFF;
    expected.specialButtonsMode = kStrobeModeFlag | kFogModeFlag;
    expected.fade[0] = 5;
    expected.cues[0][0] = kEmptyCue;
    expectSettings(expected);
}

TEST_F(SettingsEditorTest, InvalidCueNeverShownIsAskedAboutOnAccept) {
    image.cues[1][14] = 60;  // from a file; cues 15 and 16 are never shown
    image.cues[0][15] = 50;
    SettingsEditor editor(image);
    editor.click(kSettingsSlowMode, ui);
    editor.state().setFieldText(settingsFade(0), "9");
    editor.state().setFieldText(settingsCueField(0, 0), "9");

    // No: the steps before the cues and the cues before the invalid one are written.
    ControllerImage expected = image;
    expected.slowMode = 0xFFFF;
    expected.fade[0] = 9;
    expected.cues[0][0] = 8;
    expectCueQuestion(ui, Answer::No);
    EXPECT_FALSE(editor.accept(ui));
    expectSettings(expected);

    // Yes, asked once: this and every later invalid value become empty.
    expected.cues[1][14] = kEmptyCue;
    expected.cues[0][15] = kEmptyCue;
    expectCueQuestion(ui, Answer::Yes);
    EXPECT_TRUE(editor.accept(ui));
    expectSettings(expected);
}

}  // namespace
}  // namespace velora
