// The "Zakres" range model and the shared field checks, without a toolkit.

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>

#include <map>

#include "editors/field_checks.h"
#include "editors/scene_range.h"
#include "tests/support/scripted_ui.h"

namespace velora {
namespace {

using testing::ScriptedUi;

// The four edit fields of an open dialog; remembers where the focus went.
class Fields : public DialogFields {
  public:
    std::string fieldText(int id) const override {
        const auto it = text.find(id);
        return it == text.end() ? std::string() : it->second;
    }
    void setFieldText(int id, const std::string& t) override { text[id] = t; }
    void focusWholeText(int id) override { focused = id; }

    void enter(const char* fromProgramme, const char* fromScene, const char* toProgramme,
               const char* toScene) {
        text[kRangeFromProgramme] = fromProgramme;
        text[kRangeFromScene] = fromScene;
        text[kRangeToProgramme] = toProgramme;
        text[kRangeToScene] = toScene;
    }

    std::map<int, std::string> text;
    int focused = 0;
};

void expectFieldError(ScriptedUi& ui, const std::string& message) {
    ui.expectMessage(message, "Warning :", Icon::Error, Buttons::Ok);
}

TEST(FieldNumber, ReadsUnsignedDecimalWithBlanksAndZeroForAnythingElse) {
    EXPECT_EQ(readFieldNumber("48"), 48u);
    EXPECT_EQ(readFieldNumber("  7"), 7u);
    EXPECT_EQ(readFieldNumber("\t12"), 12u);
    EXPECT_EQ(readFieldNumber("0"), 0u);
    EXPECT_EQ(readFieldNumber("4294967295"), 4294967295u);

    for (const char* notANumber :
         {"", "   ", "abc", "-3", "+3", "1 2", "12 ", "12x", "4294967296", "99999999999999"}) {
        EXPECT_EQ(readFieldNumber(notANumber), 0u) << '"' << notANumber << '"';
        EXPECT_FALSE(parseFieldNumber(notANumber).has_value()) << '"' << notANumber << '"';
    }
    // "0" is a number, an empty field is not: the editors that tell them apart can.
    EXPECT_TRUE(parseFieldNumber("0").has_value());
}

TEST(FieldChecks, ProgrammesAndSceneCounts) {
    EXPECT_FALSE(validProgramme(0));
    EXPECT_TRUE(validProgramme(1));
    EXPECT_TRUE(validProgramme(48));
    EXPECT_FALSE(validProgramme(49));
    EXPECT_EQ(sceneCountOfProgramme(16), 32u);
    EXPECT_EQ(sceneCountOfProgramme(17), 16u);
    EXPECT_EQ(sceneCountOfProgramme(47), 16u);
    EXPECT_EQ(sceneCountOfProgramme(48), 14u);
    EXPECT_EQ(sceneCountOfProgramme(49), 0u);
    EXPECT_TRUE(validScene(48, 14));
    EXPECT_FALSE(validScene(48, 15));
    EXPECT_FALSE(validScene(3, 0));
    EXPECT_FALSE(validScene(0, 1));
}

TEST(SceneRange, FirstOpeningShowsTheWholeTable) {
    Fields fields;
    SceneRange(0, 1021).show(fields);
    EXPECT_EQ(fields.text[kRangeFromProgramme], "1");
    EXPECT_EQ(fields.text[kRangeFromScene], "1");
    EXPECT_EQ(fields.text[kRangeToProgramme], "48");
    EXPECT_EQ(fields.text[kRangeToScene], "14");
}

TEST(SceneRange, OpensOnTheLastRangeAndRepairsOneLeftByOtherRuns) {
    Fields fields;
    SceneRange(41, 64).show(fields);
    EXPECT_EQ(fields.text[kRangeFromProgramme], "2");
    EXPECT_EQ(fields.text[kRangeFromScene], "10");
    EXPECT_EQ(fields.text[kRangeToProgramme], "3");
    EXPECT_EQ(fields.text[kRangeToScene], "1");

    // A settings or MIDI run leaves 1022/1023 behind; "&All" leaves 0..1023.
    SceneRange fromSettings(1022, 1022);
    EXPECT_EQ(fromSettings.firstScene(), 0u);
    EXPECT_EQ(fromSettings.lastScene(), 1021u);
    SceneRange backwards(500, 20);
    EXPECT_EQ(backwards.firstScene(), 500u);
    EXPECT_EQ(backwards.lastScene(), 1021u);
}

struct Refusal {
    const char* fromProgramme;
    const char* fromScene;
    const char* toProgramme;
    const char* toScene;
    int field;
    const char* message;
};

// How a case shows in test listings: the four fields as typed.
void PrintTo(const Refusal& r, std::ostream* out) {
    *out << '"' << r.fromProgramme << "\" \"" << r.fromScene << "\" \"" << r.toProgramme << "\" \""
         << r.toScene << '"';
}

class SceneRangeRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(SceneRangeRefusal, ReportsTheFieldAndKeepsTheRange) {
    const Refusal& r = GetParam();
    ScriptedUi ui;
    expectFieldError(ui, r.message);
    Fields fields;
    SceneRange range(100, 200);
    fields.enter(r.fromProgramme, r.fromScene, r.toProgramme, r.toScene);

    EXPECT_FALSE(range.pressOk(fields, ui).has_value());
    EXPECT_EQ(fields.focused, r.field);
    EXPECT_EQ(range.firstScene(), 100u);
    EXPECT_EQ(range.lastScene(), 200u);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, SceneRangeRefusal,
    ::testing::Values(
        Refusal{"abc", "1", "48", "14", kRangeFromProgramme,
                "Programm number have to be\nbetween 1 and 48 !"},
        Refusal{"49", "1", "49", "1", kRangeFromProgramme, "Programm number have to be\nbetween 1 and 48 !"},
        Refusal{"48", "15", "48", "14", kRangeFromScene, "Scene have to be\nbetween 1 and 14 !"},
        Refusal{"17", "17", "20", "1", kRangeFromScene, "Scene have to be\nbetween 1 and 16 !"},
        Refusal{"3", "", "4", "1", kRangeFromScene, "Scene have to be\nbetween 1 and 32 !"},
        Refusal{"5", "3", "4", "1", kRangeToProgramme, "Programm number have to be\nbetween 5 and 48 !"},
        Refusal{"5", "3", "49", "1", kRangeToProgramme, "Programm number have to be\nbetween 5 and 48 !"},
        Refusal{"2", "10", "2", "9", kRangeToScene, "Scene have to be\nbetween 10 and 32 !"},
        Refusal{"2", "10", "48", "15", kRangeToScene, "Scene have to be\nbetween 10 and 14 !"},
        Refusal{"2", "10", "3", "0", kRangeToScene, "Scene have to be\nbetween 10 and 32 !"},
        // A trailing blank makes the text no number: scene 0.
        Refusal{"1", "1 ", "1", "1", kRangeFromScene, "Scene have to be\nbetween 1 and 32 !"}),
    [](const ::testing::TestParamInfo<Refusal>& param) {
        // Readable and the same in every build: the four fields as typed.
        const auto part = [](std::string text) {
            for (char& c : text)
                if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
            return text.empty() ? std::string("empty") : text;
        };
        const Refusal& r = param.param;
        return "From" + part(r.fromProgramme) + "_" + part(r.fromScene) + "To" + part(r.toProgramme) + "_" +
               part(r.toScene);
    });

TEST(SceneRange, AcceptedRangesBecomeAbsoluteSceneNumbers) {
    ScriptedUi ui;
    Fields fields;

    SceneRange range(0, 1021);
    fields.enter("2", "10", "3", "1");
    EXPECT_EQ(range.pressOk(fields, ui), RangeResult::Chosen);
    EXPECT_EQ(range.firstScene(), 41u);
    EXPECT_EQ(range.lastScene(), 64u);

    fields.enter(" 1", "1", "1", "1");  // leading blanks are skipped
    EXPECT_EQ(range.pressOk(fields, ui), RangeResult::Chosen);
    EXPECT_EQ(range.firstScene(), 0u);
    EXPECT_EQ(range.lastScene(), 0u);

    fields.enter("17", "16", "48", "14");
    EXPECT_EQ(range.pressOk(fields, ui), RangeResult::Chosen);
    EXPECT_EQ(range.firstScene(), 527u);
    EXPECT_EQ(range.lastScene(), 1021u);
    EXPECT_TRUE(ui.messages().empty());
}

TEST(SceneRange, AllAfterARefusedOkTakesTheWholeTable) {
    ScriptedUi ui;
    expectFieldError(ui, "Scene have to be\nbetween 1 and 14 !");
    Fields fields;
    SceneRange range(41, 64);
    fields.enter("48", "15", "48", "14");
    ASSERT_FALSE(range.pressOk(fields, ui).has_value());

    EXPECT_EQ(range.pressAll(), RangeResult::Chosen);
    EXPECT_EQ(range.firstScene(), 0u);
    EXPECT_EQ(range.lastScene(), 1021u);
}

TEST(SceneRange, CancelLeavesTheRangeAsItWas) {
    Fields fields;
    SceneRange range(41, 64);
    fields.enter("1", "1", "1", "1");
    EXPECT_EQ(range.pressCancel(), RangeResult::Cancelled);
    EXPECT_EQ(range.firstScene(), 41u);
    EXPECT_EQ(range.lastScene(), 64u);
}

}  // namespace
}  // namespace velora
