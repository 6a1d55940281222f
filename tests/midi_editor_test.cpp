// The "MidiEdit" editing model, without a toolkit.

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

#include "editors/midi_editor.h"
#include "emulator/demo_show.h"
#include "tests/support/scripted_ui.h"

namespace velora {
namespace {

class MidiEditorTest : public ::testing::Test {
  protected:
    // Types a programme and a scene into a row, as the dialog hands them on.
    static void enter(MidiEditor& editor, int row, const char* programme, const char* scene) {
        editor.state().setFieldText(midiProgrammeField(row), programme);
        editor.state().setFieldText(midiSceneField(row), scene);
    }
    static std::string shown(const MidiEditor& editor, int row) {
        return editor.state().fieldText(midiProgrammeField(row)) + "/" +
               editor.state().fieldText(midiSceneField(row));
    }
    void expectInvalidValue() { ui.expectMessage("Invalid value !", "Warning :", Icon::Error, Buttons::Ok); }

    ControllerImage image;
    testing::ScriptedUi ui;
};

TEST(MidiNotes, NameAndOctaveFollowTheKeyNumber) {
    const std::pair<int, const char*> cases[] = {{0, "C / -1"}, {11, "B / -1"}, {12, "C / 0"},
                                                 {60, "C / 4"}, {61, "C# / 4"}, {127, "G / 9"}};
    for (const auto& [key, note] : cases) EXPECT_EQ(midiNoteText(key), note) << "key " << key;
}

TEST_F(MidiEditorTest, OpeningAFreshImageShowsKeys60To65AtSceneOneOfProgrammeOne) {
    MidiEditor editor(image);
    EXPECT_EQ(editor.state().position(kMidiScrollBar), 60);
    EXPECT_EQ(editor.state().range(kMidiScrollBar), (std::pair{0, 122}));
    for (int row = 0; row < kMidiRows; ++row) {
        EXPECT_EQ(editor.state().fieldText(midiKeyField(row)), std::to_string(60 + row));
        EXPECT_FALSE(editor.state().enabled(midiNoteField(row)));
        EXPECT_EQ(shown(editor, row), "1/1");
        for (int id = midiTriggerBox(row, 0); id <= midiAssignBox(row, 2); ++id)
            EXPECT_FALSE(editor.state().checked(id));
    }
    EXPECT_EQ(editor.state().fieldText(midiNoteField(5)), "F / 4");
}

TEST_F(MidiEditorTest, EachFlagBitShowsInItsOwnBoxAndIsStoredBack) {
    // Bits 12, 11, 10: triggering in fields 1, 2, 3; bits 15, 14, 13: assignment.
    const std::pair<std::uint16_t, int> bits[] = {
        {0x1000, midiTriggerBox(0, 0)}, {0x0800, midiTriggerBox(0, 1)}, {0x0400, midiTriggerBox(0, 2)},
        {0x8000, midiAssignBox(0, 0)},  {0x4000, midiAssignBox(0, 1)},  {0x2000, midiAssignBox(0, 2)}};
    for (const auto& [bit, box] : bits) {
        image.midi[60] = static_cast<std::uint16_t>(bit | 511);
        MidiEditor editor(image);
        for (int id = midiTriggerBox(0, 0); id <= midiAssignBox(0, 2); ++id)
            EXPECT_EQ(editor.state().checked(id), id == box) << "bit " << bit << " box " << id;
        EXPECT_EQ(shown(editor, 0), "16/32");
        ASSERT_TRUE(editor.accept(ui));
        EXPECT_EQ(image.midi[60], bit | 511);
    }
}

TEST_F(MidiEditorTest, BarActionsStoreTheRowsAndMoveTheFirstKeyWithinZeroTo122) {
    struct Scroll {
        int from;
        ScrollAction action;
        int thumb;
        int to;
    };
    const Scroll cases[] = {
        {60, ScrollAction::LineUp, 0, 59},        {60, ScrollAction::LineDown, 0, 61},
        {60, ScrollAction::PageUp, 0, 54},        {60, ScrollAction::PageDown, 0, 66},
        {120, ScrollAction::PageDown, 0, 122},    {122, ScrollAction::LineDown, 0, 122},
        {0, ScrollAction::LineUp, 0, 0},          {3, ScrollAction::PageUp, 0, 0},
        {60, ScrollAction::ThumbTrack, 17, 17},   {60, ScrollAction::ThumbPosition, 122, 122},
        {60, ScrollAction::ThumbTrack, 500, 122}, {60, ScrollAction::Other, 0, 60},
    };
    for (const Scroll& s : cases) {
        MidiEditor editor(image);
        editor.scroll(kMidiScrollBar, ScrollAction::ThumbPosition, s.from, ui);
        enter(editor, 0, " 2", "3");
        editor.scroll(kMidiScrollBar, s.action, s.thumb, ui);
        EXPECT_EQ(editor.firstVisibleKey(), s.to) << "from " << s.from << " action " << int(s.action);
        EXPECT_EQ(editor.state().position(kMidiScrollBar), s.to);
        EXPECT_EQ(editor.state().fieldText(midiKeyField(5)), std::to_string(s.to + 5));
        EXPECT_EQ(editor.workingTable()[static_cast<std::size_t>(s.from)], 34);
    }
    // The end of a scroll stores nothing; no action redraws what it did not move.
    MidiEditor editor(image);
    enter(editor, 0, " 2", "3");
    editor.scroll(kMidiScrollBar, ScrollAction::EndScroll, 0, ui);
    EXPECT_EQ(editor.workingTable()[60], 0);
    editor.scroll(kMidiScrollBar, ScrollAction::Other, 0, ui);
    EXPECT_EQ(shown(editor, 0), " 2/3");
    EXPECT_EQ(image.midi, ControllerImage().midi);  // the working copy only
}

TEST_F(MidiEditorTest, RowsBecomeEntries) {
    struct Stored {
        const char* programme;
        const char* scene;
        std::uint16_t before;  // the entry shown, its boxes as they show it
        std::uint16_t after;
    };
    const Stored cases[] = {
        {"48", "14", 0, 1021},
        {"1", "1", 0xFC00 | 700, 0xFC00},
        // Emptied: no scene, and the assignments go with it; triggering stays.
        {"", "", 0xFC00 | 700, 0x1C00},
        {"0", "", 0xE000 | 5, 0},
        // A scene field holding 0 is a number: the assignments stay.
        {"", "0", 0xE000 | 5, 0xE000},
    };
    for (const Stored& s : cases) {
        image.midi[62] = s.before;
        MidiEditor editor(image);
        enter(editor, 2, s.programme, s.scene);
        ASSERT_TRUE(editor.accept(ui)) << s.programme << " / " << s.scene;
        EXPECT_EQ(image.midi[62], s.after) << '"' << s.programme << "\" / \"" << s.scene << '"';
    }

    // An emptied row shows scene 1 of programme 1 afterwards, without assignments.
    image.midi[60] = 0xA800 | 300;
    MidiEditor editor(image);
    enter(editor, 0, "", "");
    editor.scroll(kMidiScrollBar, ScrollAction::LineDown, 0, ui);
    editor.scroll(kMidiScrollBar, ScrollAction::LineUp, 0, ui);
    EXPECT_EQ(shown(editor, 0), "1/1");
    EXPECT_TRUE(editor.state().checked(midiTriggerBox(0, 1)));
    for (int field = 0; field < 3; ++field) EXPECT_FALSE(editor.state().checked(midiAssignBox(0, field)));
}

TEST_F(MidiEditorTest, ARefusedFieldBlocksScrollingAndAcceptKeepingTheRowsAboveIt) {
    struct Refused {
        const char* programme;
        const char* scene;
        bool onScene;  // else on the programme field
    };
    const Refused cases[] = {
        {"48", "15", true}, {"5", "", true}, {"5", "0", true}, {"", "5", false}, {"49", "1", false}};
    for (const Refused& r : cases) {
        SCOPED_TRACE(std::string("\"") + r.programme + "\" / \"" + r.scene + "\"");
        image.midi[64] = 0x9000 | 77;
        MidiEditor editor(image);
        enter(editor, 0, "2", "1");
        enter(editor, 4, r.programme, r.scene);
        enter(editor, 5, "2", "2");
        const FocusRequest onField{r.onScene ? midiSceneField(4) : midiProgrammeField(4), 0,
                                   FocusRequest::kToTheEnd};

        expectInvalidValue();
        editor.scroll(kMidiScrollBar, ScrollAction::PageDown, 0, ui);
        EXPECT_FALSE(editor.rowsValid());
        EXPECT_EQ(editor.state().position(kMidiScrollBar), 60);
        EXPECT_EQ(editor.state().takeFocus(), onField);
        EXPECT_EQ(editor.state().fieldText(midiProgrammeField(4)), r.programme);  // left as typed

        expectInvalidValue();
        EXPECT_FALSE(editor.accept(ui));
        EXPECT_EQ(editor.state().takeFocus(), onField);
        EXPECT_EQ(editor.workingTable()[60], 32);
        EXPECT_EQ(editor.workingTable()[64], 0x9000 | 77);
        EXPECT_EQ(editor.workingTable()[65], 0);
        EXPECT_EQ(image.midi[60], 0);
    }
}

TEST_F(MidiEditorTest, SceneBitsBeyondTheTableShow65536AndMustBeCorrected) {
    image.midi[61] = 1022;
    image.midi[62] = 0x4000 | 1023;
    MidiEditor editor(image);
    EXPECT_EQ(shown(editor, 1), "65536/65536");
    EXPECT_EQ(shown(editor, 2), "65536/65536");
    expectInvalidValue();
    EXPECT_FALSE(editor.accept(ui));
    EXPECT_EQ(editor.state().takeFocus(), (FocusRequest{midiProgrammeField(1), 0, FocusRequest::kToTheEnd}));

    enter(editor, 1, "1", "2");
    enter(editor, 2, "48", "1");
    EXPECT_TRUE(editor.accept(ui));
    EXPECT_TRUE(editor.rowsValid());
    EXPECT_EQ(image.midi[61], 1);
    EXPECT_EQ(image.midi[62], 0x4000 | 1008);
}

TEST_F(MidiEditorTest, FinishAsksWhenAnAcceptWouldChangeTheTableOrRefuseAField) {
    fillDemoShow(image);  // key 60: programme 48, scene 1, field 3
    const ControllerImage before = image;
    using Edit = std::function<void(MidiEditor&)>;
    const auto type = [](const char* programme, const char* scene) {
        return Edit([=](MidiEditor& e) { enter(e, 0, programme, scene); });
    };
    const auto click = [this](std::vector<int> ids) {
        return Edit([this, ids](MidiEditor& e) {
            for (const int id : ids) e.click(id, ui);
        });
    };
    const Edit storedThenScrolledAway = [this](MidiEditor& e) {
        enter(e, 0, "48", "2");
        e.scroll(kMidiScrollBar, ScrollAction::PageDown, 0, ui);
    };
    const Edit typedThenCancelled = [](MidiEditor& e) {
        enter(e, 0, "48", "2");
        e.cancel();
    };
    const std::vector<std::tuple<const char*, Edit, bool>> cases{
        {"nothing", [](MidiEditor&) {}, false},
        {"the same scene typed", type("48", "01"), false},
        {"a box twice", click({midiTriggerBox(1, 0), midiTriggerBox(1, 0)}), false},
        {"cancelled", typedThenCancelled, false},
        {"scene", type("48", "2"), true},
        {"refused", type("49", "1"), true},
        {"emptied", type("", ""), true},
        {"box", click({midiAssignBox(2, 1)}), true},
        {"stored, then scrolled away", storedThenScrolledAway, true},
    };
    for (const auto& [name, edit, asks] : cases) {
        MidiEditor editor(image);
        edit(editor);
        EXPECT_EQ(editor.hasUnacceptedChanges(), asks) << name;
        if (asks) {
            ui.expectMessage("Close without accepting the changes ?", "MIDI assignments", Icon::Question,
                             Buttons::YesNo, Answer::No, Answer::No);
            EXPECT_EQ(editor.click(kMidiFinish, ui), DialogReply::stayOpen()) << name;
            ui.expectMessage("Close without accepting the changes ?", "MIDI assignments", Icon::Question,
                             Buttons::YesNo, Answer::Yes, Answer::No);
        }
        EXPECT_EQ(editor.click(kMidiFinish, ui), DialogReply::close(EditorResult::Finished)) << name;
        EXPECT_TRUE(ui.scriptDone()) << name;
        EXPECT_EQ(image.midi, before.midi) << name;
    }
}

}  // namespace
}  // namespace velora
