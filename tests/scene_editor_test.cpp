// The "Edycja" editing model, without a toolkit.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "editors/scene_editor.h"
#include "image/controller_image.h"
#include "tests/support/scripted_ui.h"

namespace velora {
namespace {

using testing::ScriptedUi;

class SceneEditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (std::size_t n = 0; n < image->scenes.size(); ++n)
            for (std::size_t k = 0; k < kChannels; ++k)
                image->scenes[n][k] = static_cast<std::uint8_t>(n + k);
        editor.open(ui);
        ui.clearEvents();
    }
    void setFields(const char* programme, const char* scene) {
        editor.state().setFieldText(kEditProgramme, programme);
        editor.state().setFieldText(kEditScene, scene);
    }
    void fixtures(const std::vector<int>& checked) {
        for (int f = 1; f <= kEditFixtures; ++f) editor.state().setChecked(editFixtureBox(f), false);
        for (const int f : checked) editor.click(editFixtureBox(f), ui);
    }
    void type(int index, const char* text) {
        editor.state().setFieldText(editValueBox(index), text);
        editor.textChanged(editValueBox(index), ui);
    }
    std::string box(int index) const { return editor.state().fieldText(editValueBox(index)); }
    int bar(int index) const { return editor.state().position(editBar(index)); }
    void expectInvalidValue() { ui.expectMessage("Invalid value !", "Warning :", Icon::Error, Buttons::Ok); }

    std::unique_ptr<ControllerImage> image = std::make_unique<ControllerImage>();
    ScriptedUi ui;
    SceneEditor editor{*image};
};

TEST_F(SceneEditorTest, OpensOnFixtureOneOfTheFirstScene) {
    for (int f = 1; f <= kEditFixtures; ++f) EXPECT_EQ(editor.state().checked(editFixtureBox(f)), f == 1);
    EXPECT_EQ(box(15), "15");
    EXPECT_EQ(bar(15), 240);
    EXPECT_EQ(editor.state().range(editBar(kEditSpeed)), std::pair(0, 30));
    EXPECT_EQ(box(kEditSpeed), "0");
    EXPECT_EQ(bar(kEditSpeed), 30);  // SP 0 lies below the bar: at its bottom
    EXPECT_EQ(editor.state().takeFocus(), (FocusRequest{kEditProgramme, 0, FocusRequest::kToTheEnd}));
}

TEST_F(SceneEditorTest, LoadWarnsUnlessOneFixtureAndAcceptWritesEveryCheckedOne) {
    setFields("2", "3");  // absolute scene 34
    fixtures({3, 5});
    ui.expectMessage("Multiple fixture choosen !\nSettings of 3-th fixture will be loaded !", "Warning",
                     Icon::Warning, Buttons::Ok);
    editor.load(ui);
    EXPECT_EQ(editor.value(0), 34 + 32);
    type(0, "7");
    const ControllerImage before = *image;
    ASSERT_TRUE(editor.accept(ui));
    ControllerImage expected = before;
    for (const std::size_t f : {2u, 4u})
        for (std::size_t k = 0; k < 16; ++k) expected.scenes[34][f * 16 + k] = before.scenes[34][32 + k];
    expected.scenes[34][32] = expected.scenes[34][64] = 7;
    EXPECT_EQ(image->scenes, expected.scenes);

    fixtures({});
    ui.expectMessage("Multiple fixture choosen !\nSettings of 1-th fixture will be loaded !", "Warning",
                     Icon::Warning, Buttons::Ok);
    editor.load(ui);
    EXPECT_EQ(editor.value(0), 34);
    editor.click(kEditModeMusic, ui);
    ASSERT_TRUE(editor.accept(ui));
    EXPECT_EQ(image->scenes, expected.scenes);  // no fixture: the programme only
    EXPECT_EQ(image->speedSync[1], 255);
}

TEST_F(SceneEditorTest, ProgrammeAndSceneButtons) {
    struct Case {
        int button;
        const char* programme;
        const char* scene;
        const char* after;  // the field the button rewrites
    };
    // clang-format off
    const std::vector<Case> cases{
        {kEditProgrammeUp, " 48", "1", " 48"}, {kEditProgrammeUp, "60", "1", "48"},
        {kEditProgrammeUp, "x", "1", "1"},     {kEditProgrammeDown, "", "1", "1"},
        {kEditSceneUp, "48", "14", "14"},      {kEditSceneUp, "48", "32", "14"},
        {kEditSceneUp, "16", "31", "32"},      {kEditSceneUp, "17", "16", "16"},
        {kEditSceneDown, "1", "0", "1"}};
    // clang-format on
    for (const Case& c : cases) {
        setFields(c.programme, c.scene);
        editor.click(c.button, ui);
        const int field =
            c.button == kEditProgrammeUp || c.button == kEditProgrammeDown ? kEditProgramme : kEditScene;
        EXPECT_EQ(editor.state().fieldText(field), c.after)
            << c.button << ' ' << c.programme << '/' << c.scene;
    }
    setFields("49", "3");
    expectInvalidValue();
    editor.click(kEditSceneUp, ui);
    EXPECT_EQ(editor.state().fieldText(kEditScene), "3");
    EXPECT_EQ(editor.state().takeFocus(), (FocusRequest{kEditProgramme, 0, FocusRequest::kToTheEnd}));
}

TEST_F(SceneEditorTest, ProgrammeAndSceneChecksOfLoadAndAccept) {
    struct Case {
        const char* programme;
        const char* scene;
        int refused;  // 0: taken, giving `absolute`
        int absolute;
    };
    const ControllerImage before = *image;
    // Where a refusal sends the focus, and what is taken; the boundaries are scene_range_test's.
    const std::vector<Case> cases{
        {"48", "15", kEditScene, 0}, {"48", "14", 0, 1021}, {"0", "1", kEditProgramme, 0}};
    for (const Case& c : cases) {
        for (const int button : {kEditLoad, kEditAccept}) {
            setFields(c.programme, c.scene);
            if (c.refused) expectInvalidValue();
            editor.click(button, ui);
            if (c.refused) {
                EXPECT_EQ(editor.state().takeFocus(), (FocusRequest{c.refused, 0, FocusRequest::kToTheEnd}))
                    << c.programme << '/' << c.scene;
            } else {
                EXPECT_EQ(editor.currentAbsoluteScene(), c.absolute) << c.programme << '/' << c.scene;
                *image = before;
            }
        }
    }
}

TEST_F(SceneEditorTest, BarActionsStepByLinesQuarterMarksAndThumb) {
    struct Case {
        int index;
        const char* from;
        ScrollAction action;
        int position;
        int value;
    };
    using A = ScrollAction;
    constexpr int SP = kEditSpeed;
    // clang-format off
    const std::vector<Case> cases{
        {0, "200", A::PageUp, 0, 255},  {0, "255", A::PageUp, 0, 255},  {0, "63", A::PageUp, 0, 127},
        {0, "64", A::PageDown, 0, 63},  {0, "63", A::PageDown, 0, 0},   {0, "0", A::PageDown, 0, 0},
        {0, "255", A::LineUp, 0, 255},  {0, "0", A::LineDown, 0, 0},    {0, "9", A::EndScroll, 0, 9},
        {0, "9", A::ThumbTrack, 0, 255}, {kEditFade, "9", A::ThumbPosition, 55, 200},
        {SP, "7", A::PageDown, 0, 1},   {SP, "8", A::PageDown, 0, 7},   {SP, "0", A::PageDown, 0, 1},
        {SP, "0", A::PageUp, 0, 7},     {SP, "31", A::PageUp, 0, 31},   {SP, "1", A::LineDown, 0, 1},
        {SP, "0", A::LineUp, 0, 1},     {SP, "4", A::ThumbTrack, 30, 1}};
    // clang-format on
    for (const Case& c : cases) {
        type(c.index, c.from);
        editor.focusLeft(editValueBox(c.index), ui);
        editor.scroll(editBar(c.index), c.action, c.position, ui);
        const int most = c.index == kEditSpeed ? 31 : 255;
        EXPECT_EQ(editor.value(c.index), c.value)
            << c.index << ' ' << c.from << ' ' << static_cast<int>(c.action);
        EXPECT_EQ(box(c.index), std::to_string(c.value));
        EXPECT_EQ(bar(c.index), std::min(most - c.value, c.index == kEditSpeed ? 30 : 255));
    }
}

TEST_F(SceneEditorTest, ValueBoxesReadTheirOwnNumbers) {
    // clang-format off
    const std::vector<std::pair<const char*, std::optional<int>>> numbers{
        {"12", 12}, {"  -5", -5}, {"+7x", 7}, {"3 4", 3}, {"", std::nullopt}, {"-", std::nullopt},
        {"abc", std::nullopt}, {"???", std::nullopt}, {"1234567890", 123456789}, {"        12", 1}};
    // clang-format on
    for (const auto& [text, number] : numbers)
        EXPECT_EQ(parseValueBoxNumber(text), number) << '"' << text << '"';

    type(2, "300");  // taken cut to a byte while typing, the bar at the top
    EXPECT_EQ(editor.value(2), 44);
    EXPECT_EQ(bar(2), 0);
    editor.focusLeft(editValueBox(2), ui);
    EXPECT_EQ(box(2), "???");
    type(kEditSpeed, "32");
    editor.focusLeft(editValueBox(kEditSpeed), ui);
    EXPECT_EQ(box(kEditSpeed), "???");
    type(3, "abc");  // no number: nothing changes until the box is left
    EXPECT_EQ(editor.value(3), 3);
    EXPECT_EQ(bar(3), 252);
}

TEST_F(SceneEditorTest, RefusedValueBlocksAcceptEvenWhenTheBoxWasNotLeft) {
    const ControllerImage before = *image;
    type(1, "200");  // good, never left
    type(4, "300");  // too high, never left
    type(6, "-1");   // too low, never left
    editor.click(kEditAccept, ui);
    EXPECT_EQ(box(4), "???");
    EXPECT_EQ(box(6), "???");
    EXPECT_EQ(editor.state().takeFocus(), (FocusRequest{editValueBox(4), 0, 3}));
    EXPECT_EQ(image->scenes, before.scenes);
    EXPECT_EQ(image->speedSync, before.speedSync);

    type(4, "44");
    type(6, "6");
    ASSERT_TRUE(editor.accept(ui));
    EXPECT_EQ(image->scenes[0][1], 200);
    EXPECT_EQ(image->scenes[0][4], 44);
}

TEST_F(SceneEditorTest, EndSceneOnOffAndElsewhere) {
    struct Step {
        const char* scene;
        bool end;
        int endScene;
    };
    for (const Step& s :
         std::vector<Step>{{"5", true, 5}, {"7", false, 5}, {"5", false, 0}, {"7", true, 7}}) {
        setFields("2", s.scene);
        editor.state().setChecked(kEditEnd, s.end);
        ASSERT_TRUE(editor.accept(ui));
        EXPECT_EQ(image->endScene[1], s.endScene) << s.scene << ' ' << s.end;
    }
    setFields("2", "7");
    editor.load(ui);
    EXPECT_TRUE(editor.state().checked(kEditEnd));
    setFields("2", "5");
    editor.load(ui);
    EXPECT_FALSE(editor.state().checked(kEditEnd));
    EXPECT_EQ(editor.endCopy(), 7);
}

TEST_F(SceneEditorTest, ModesLoadAndWriteBack) {
    struct Case {
        std::uint8_t stored;
        int mode;
        int speed;
        std::uint8_t written;
    };
    // clang-format off
    const std::vector<Case> cases{{0, kEditModeManual, 0, 0},  {254, kEditModeMidi, 0, 254},
                                  {255, kEditModeMusic, 0, 255}, {1, kEditModeAuto, 1, 1},
                                  {100, kEditModeAuto, 31, 31},  {253, kEditModeAuto, 31, 31}};
    // clang-format on
    for (const Case& c : cases) {
        image->speedSync[5] = c.stored;
        setFields("6", "1");
        editor.load(ui);
        EXPECT_TRUE(editor.state().checked(c.mode)) << int{c.stored};
        EXPECT_EQ(box(kEditSpeed), std::to_string(c.speed));
        EXPECT_EQ(bar(kEditSpeed), std::min(31 - c.speed, 30));
        ASSERT_TRUE(editor.accept(ui));
        EXPECT_EQ(image->speedSync[5], c.written) << int{c.stored};
    }
    // Auto chosen on a Music programme without raising SP stores Manual's 0.
    image->speedSync[5] = 255;
    editor.load(ui);
    editor.click(kEditModeAuto, ui);
    ASSERT_TRUE(editor.accept(ui));
    EXPECT_EQ(image->speedSync[5], 0);

    editor.state().setChecked(kEditModeAuto, false);
    ui.expectMessage("You have to choice sync mode !", "Adjustment :", Icon::Warning, Buttons::Ok);
    image->speedSync[5] = 9;
    EXPECT_FALSE(editor.accept(ui));
    EXPECT_EQ(image->speedSync[5], 9);
}

TEST_F(SceneEditorTest, AcceptWritesWhatIsShownNowAndFinishWritesNothing) {
    editor.click(kEditModeAuto, ui);
    editor.scroll(editBar(kEditSpeed), ScrollAction::PageUp, 0, ui);
    type(kEditFade, "99");
    setFields("48", "14");  // not loaded: Accept still writes here
    fixtures({16});
    ControllerImage expected = *image;
    ASSERT_TRUE(editor.accept(ui));
    for (std::size_t k = 0; k < 16; ++k) expected.scenes[1021][240 + k] = static_cast<std::uint8_t>(k);
    expected.speedSync[47] = 7;
    expected.fade[47] = 99;
    EXPECT_EQ(image->scenes, expected.scenes);
    EXPECT_EQ(image->speedSync, expected.speedSync);
    EXPECT_EQ(image->fade, expected.fade);
    EXPECT_EQ(image->endScene, expected.endScene);
    EXPECT_EQ(editor.currentProgramme(), 48);
    EXPECT_EQ(editor.currentScene(), 14);

    type(0, "1");
    ui.expectMessage("Close without accepting the changes ?", "Warning", Icon::Question, Buttons::YesNo,
                     Answer::Yes, Answer::No);
    EXPECT_EQ(editor.click(kEditFinish, ui), DialogReply::close(EditorResult::Finished));
    EXPECT_EQ(image->scenes, expected.scenes);
}

TEST_F(SceneEditorTest, FinishAsksAboutWhatTheLastLoadOrAcceptDidNotLeave) {
    const std::vector<std::tuple<const char*, std::function<void()>, bool>> cases{
        {"nothing", [] {}, false},
        {"typed back", [this] { type(3, "9"), type(3, "3"); }, false},
        {"typed, then loaded", [this] { type(3, "9"), editor.load(ui); }, false},
        {"typed, then accepted", [this] { type(3, "9"), editor.accept(ui); }, false},
        {"value typed", [this] { type(3, "9"); }, true},
        {"value refused", [this] { type(3, "300"), editor.focusLeft(editValueBox(3), ui); }, true},
        {"bar", [this] { editor.scroll(editBar(kEditFade), ScrollAction::LineUp, 0, ui); }, true},
        {"fixture", [this] { editor.click(editFixtureBox(2), ui); }, true},
        {"END", [this] { editor.click(kEditEnd, ui); }, true},
        {"mode", [this] { editor.click(kEditModeMusic, ui); }, true},
        {"programme", [this] { editor.click(kEditProgrammeUp, ui); }, true},
    };
    const auto opened = std::make_unique<ControllerImage>(*image);
    for (const auto& [name, edit, asks] : cases) {
        *image = *opened;
        editor.open(ui);
        edit();
        const auto before = std::make_unique<ControllerImage>(*image);
        EXPECT_EQ(editor.hasUnacceptedChanges(), asks) << name;
        if (asks) {
            const std::string typed = box(3);
            ui.expectMessage("Close without accepting the changes ?", "Warning", Icon::Question,
                             Buttons::YesNo, Answer::No, Answer::No);
            EXPECT_EQ(editor.click(kEditFinish, ui), DialogReply::stayOpen()) << name;
            EXPECT_EQ(box(3), typed) << name;
            ui.expectMessage("Close without accepting the changes ?", "Warning", Icon::Question,
                             Buttons::YesNo, Answer::Yes, Answer::No);
        }
        EXPECT_EQ(editor.click(kEditFinish, ui), DialogReply::close(EditorResult::Finished)) << name;
        EXPECT_TRUE(ui.scriptDone()) << name;
        EXPECT_EQ(image->scenes, before->scenes) << name;
    }
}

}  // namespace
}  // namespace velora
