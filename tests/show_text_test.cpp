// A show as text: export and import round trips, every class of refusal,
// and the differences between two images.

#include "files/show_text.h"
#include "files/show_differences.h"

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "emulator/controller_model.h"
#include "emulator/demo_show.h"
#include "files/data_files.h"

namespace velora {
namespace {

using Json = nlohmann::ordered_json;

// The demonstration show, as the controller emulator holds it.
std::unique_ptr<ControllerImage> demoImage() {
    ControllerModel model;
    loadDemoShow(model);
    auto image = std::make_unique<ControllerImage>();
    for (std::uint32_t b = 0; b < kBlocks; ++b) storeBlock(*image, b, model.block(b));
    // The settings file holds the 16-bit fields whole; the blocks only their low bytes.
    image->slowMode = 0xFFFF;
    return image;
}

std::string files(const ControllerImage& image) {
    std::ostringstream out(std::ios::binary);
    for (Region r : {Region::Scenes, Region::Settings, Region::Midi}) writeDataFile(out, image, r);
    return out.str();
}

TEST(ShowText, ExportThenImportGivesTheSameFilesByteForByte) {
    auto demo = demoImage();
    // Bytes the editors cannot show travel as they are.
    auto odd = std::make_unique<ControllerImage>(*demo);
    odd->speedSync[3] = 100;
    odd->cues[1][4] = 60;
    odd->midi[9] = 0x8000 | 1023;
    odd->midi[10] = 1022;
    odd->endScene[47] = 15;  // programme 48 has 14 scenes
    odd->strobeScene = 2000;
    odd->slowMode = 7;
    odd->specialButtonsMode = 0x0105;

    for (const ControllerImage* image : {demo.get(), odd.get()}) {
        const std::string text = showToText(*image);
        EXPECT_EQ(showToText(*image), text);  // the same text every time
        auto back = std::make_unique<ControllerImage>();
        const ShowTextResult result = showFromText(text, *back);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(files(*back), files(*image));
    }
    const Json doc = Json::parse(showToText(*odd));
    EXPECT_EQ(doc["programmes"][3]["mode"], Json({{"raw", 100}}));
    EXPECT_EQ(doc["cues"][1][4], Json({{"raw", 60}}));
    EXPECT_EQ(doc["midi"][9]["scene"], Json({{"raw", 1023}}));
    EXPECT_EQ(doc["midi"][60]["note"], "C");
    EXPECT_EQ(doc["midi"][60]["octave"], 4);
    EXPECT_EQ(doc["programmes"][0]["scenes"].size(), 32u);
    EXPECT_EQ(doc["programmes"][47]["scenes"].size(), 14u);
}

// The error without " at line L, column C", which every refusal here has.
std::string withoutPosition(const ShowTextResult& result) {
    const auto at = result.error.find(" at line " + std::to_string(result.at.line) + ", column " +
                                      std::to_string(result.at.column) + ":");
    if (result.at.line == 0 || at == std::string::npos) return "(no position) " + result.error;
    return result.error.substr(0, at) + result.error.substr(result.error.find(':', at));
}

TEST(ShowText, EveryRefusalNamesItsPathAndPlaceAndRuleAndKeepsTheDocumentOut) {
    const Json good = Json::parse(showToText(*demoImage()));
    struct Case {
        const char* what;
        std::function<void(Json&)> spoil;
        const char* error;
    };
    const std::vector<Case> cases{
        {"out of range", [](Json& d) { d["programmes"][2]["fade"] = 256; },
         "programmes[2].fade (programme 3): must be a whole number 0..255"},
        {"wrong type", [](Json& d) { d["slow_mode"] = "yes"; },
         "slow_mode: must be true, false or {\"raw\": 0..65535}"},
        {"missing field", [](Json& d) { d["midi"][5].erase("assignment"); },
         "midi[5].assignment (MIDI key 5 (F / -1)): is missing"},
        {"unknown version", [](Json& d) { d["version"] = 2; },
         "version: this program reads shows of version 1"},
        {"too many scenes", [](Json& d) { d["programmes"][47]["scenes"].push_back("dark"); },
         "programmes[47].scenes[14] (programme 48, scene 15): programme 48 has 14 scenes"},
        {"scene beyond its programme",
         [](Json& d) {
             d["special_buttons"]["fog"]["scene"] = Json{{"programme", 17}, {"scene", 17}};
         },
         "special_buttons.fog.scene.scene (FOG): programme 17 has 16 scenes"},
        {"cue beyond 48", [](Json& d) { d["cues"][1][4] = 49; },
         "cues[1][4] (Cue no. 5 obszar 2): must be a whole number 1..48"},
        {"no fixtures", [](Json& d) { d["programmes"][1]["scenes"][2] = Json::array(); },
         "programmes[1].scenes[2] (programme 2, scene 3): must hold 16 fixtures, not 0"},
        {"channel value", [](Json& d) { d["programmes"][1]["scenes"][2][0][3] = 256; },
         "programmes[1].scenes[2][0][3] (programme 2, scene 3, fixture 1, channel 4): must be a whole number "
         "0..255"},
        {"MIDI field", [](Json& d) { d["midi"][70]["triggering"][0] = 1; },
         "midi[70].triggering[0] (MIDI key 70 (A# / 4), triggering in field 1): must be true or false"},
        {"misspelt field", [](Json& d) { d["programmes"][0]["fades"] = 3; },
         "programmes[0].fades (programme 1): is not a field of a show"},
        {"note of another key", [](Json& d) { d["midi"][61]["note"] = "C"; },
         "midi[61].note (MIDI key 61 (C# / 4)): key 61 is C#"},
    };
    for (const Case& c : cases) {
        Json doc = good;
        c.spoil(doc);
        auto image = std::make_unique<ControllerImage>();
        const ShowTextResult result = showFromText(doc.dump(1), *image);
        EXPECT_FALSE(result.ok) << c.what;
        EXPECT_EQ(withoutPosition(result), c.error) << c.what;
    }

    // In an exported show, the line and column of the spoiled value itself.
    std::string text = showToText(*demoImage());
    const auto fade = text.find("\"fade\": ", text.find("\"programme\": 2,")) + 8;
    text.replace(fade, text.find(',', fade) - fade, "256");
    auto image = std::make_unique<ControllerImage>();
    const ShowTextResult result = showFromText(text, *image);
    const auto line = static_cast<std::size_t>(std::count(text.begin(), text.begin() + fade, '\n')) + 1;
    EXPECT_EQ(result.error, "programmes[1].fade (programme 2) at line " + std::to_string(line) + ", column " +
                                std::to_string(fade - text.rfind('\n', fade)) +
                                ": must be a whole number 0..255");
}

// Refused before the parser builds anything, or by the parser, with the
// line and column.
TEST(ShowText, HostileDocumentsAreRefusedWithLineAndColumn) {
    const std::string deep(50000, '['), shut(50000, ']');
    std::string manyFields = "{";
    for (int k = 0; k <= 64; ++k) manyFields += (k ? ",\"k" : "\"k") + std::to_string(k) + "\":0";
    std::string values = "[";  // with the array, a million and one values
    for (int k = 1; k < 1'000'000; ++k) values += "0,";
    const std::vector<std::pair<std::string, std::string>> cases{
        // The parser's copies would recurse 50,000 deep.
        {"{\"a\":" + deep + shut + ",\"b\":1}",
         "document at line 1, column 69: is nested more than 64 levels deep, where a show is 6"},
        {std::string(kShowTextMaxBytes, ' ') + "{}",
         "document: is larger than the 16 MiB a show may take (a show with every scene lit takes about 1.2 "
         "MB)"},
        {values + "0]",
         "document at line 1, column 2000000: holds more than a million values, where a show with every "
         "scene lit holds about 281,000"},
        {manyFields + "}",
         "document at line 1, column 504: has more than 64 fields, where a show's objects have "
         "at most 7"},
        {"{\n  \"programmes\": [\n    {\"programme\": 1,\n     \"fade\": 40, \"f\\u0061de\": 41}]}",
         "programmes[0].fade (programme 1) at line 4, column 18: is given twice (first at line 4, column 6)"},
        {"{\"version\": 1e999}", "document: not JSON (number overflow parsing '1e999')"},
        {"{\n  \"version\" 1}",
         "document at line 2, column 13: not JSON (syntax error while parsing object separator - unexpected "
         "number literal; expected ':')"},
    };
    for (const auto& [text, error] : cases) {
        auto image = std::make_unique<ControllerImage>();
        const ShowTextResult result = showFromText(text, *image);
        EXPECT_FALSE(result.ok) << error;
        EXPECT_EQ(result.error, error);
    }
}

TEST(ShowText, DifferencesInTheVerificationsWords) {
    auto a = demoImage();
    a->cues[1][4] = 3;  // programme 4
    auto b = std::make_unique<ControllerImage>(*a);
    EXPECT_TRUE(differencesBetween(*a, *b).empty());

    b->scenes[static_cast<std::size_t>(sceneIndexOf(2, 23))][16 + 4] ^= 0xFF;  // programme 3, scene 24
    b->cues[1][4] = kEmptyCue;
    b->midi[70] ^= 1u << 12;  // triggering in field 1
    const ImageDifferences differences = differencesBetween(*a, *b);
    ASSERT_EQ(differences.count(), 3u);
    ASSERT_EQ(differences.scenes.size(), 1u);
    ASSERT_EQ(differences.settings.size(), 1u);
    ASSERT_EQ(differences.midi.size(), 1u);
    EXPECT_EQ(differences.scenes[0].rfind("Scene 3/24 fixture 2 channel 5: ", 0), 0u)
        << differences.scenes[0];
    EXPECT_EQ(differences.settings[0], "Cue no. 5 obszar 2: 4 <> empty");
    EXPECT_EQ(differences.midi[0].rfind("MIDI key 70 (A# / 4) triggering in field 1: ", 0), 0u)
        << differences.midi[0];
}

}  // namespace
}  // namespace velora
