// A show as text: export and import round trips, every class of refusal,
// and the differences between two images.

#include "files/show_text.h"

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

TEST(ShowText, EveryRefusalNamesItsPathAndRuleAndKeepsTheDocumentOut) {
    const Json good = Json::parse(showToText(*demoImage()));
    struct Case {
        const char* what;
        std::function<void(Json&)> spoil;
        const char* error;
    };
    const std::vector<Case> cases{
        {"out of range", [](Json& d) { d["programmes"][2]["fade"] = 256; },
         "programmes[2].fade: must be a whole number 0..255"},
        {"wrong type", [](Json& d) { d["slow_mode"] = "yes"; },
         "slow_mode: must be true, false or {\"raw\": 0..65535}"},
        {"missing field", [](Json& d) { d["midi"][5].erase("assignment"); },
         "midi[5].assignment: is missing"},
        {"unknown version", [](Json& d) { d["version"] = 2; },
         "version: this program reads shows of version 1"},
        {"too many scenes", [](Json& d) { d["programmes"][47]["scenes"].push_back("dark"); },
         "programmes[47].scenes[14]: programme 48 has 14 scenes"},
        {"scene beyond its programme",
         [](Json& d) {
             d["special_buttons"]["fog"]["scene"] = Json{{"programme", 17}, {"scene", 17}};
         },
         "special_buttons.fog.scene.scene: programme 17 has 16 scenes"},
        {"cue beyond 48", [](Json& d) { d["cues"][0][0] = 49; }, "cues[0][0]: must be a whole number 1..48"},
        {"misspelt field", [](Json& d) { d["programmes"][0]["fades"] = 3; },
         "programmes[0].fades: is not a field of a show"},
        {"note of another key", [](Json& d) { d["midi"][61]["note"] = "C"; }, "midi[61].note: key 61 is C#"},
        {"not JSON", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        std::string text = "{ not json";
        if (c.spoil) {
            Json doc = good;
            c.spoil(doc);
            text = doc.dump();
        }
        auto image = std::make_unique<ControllerImage>();
        const ShowTextResult result = showFromText(text, *image);
        EXPECT_FALSE(result.ok) << c.what;
        if (c.error) {
            EXPECT_EQ(result.error, c.error) << c.what;
        } else {
            EXPECT_EQ(result.error.rfind("document: not JSON", 0), 0u) << result.error;
        }
    }
}

TEST(ShowText, DifferencesInTheVerificationsWords) {
    auto a = demoImage();
    a->cues[1][4] = 3;  // programme 4
    auto b = std::make_unique<ControllerImage>(*a);
    EXPECT_TRUE(showDifferences(*a, *b).empty());

    b->scenes[static_cast<std::size_t>(sceneIndexOf(2, 23))][16 + 4] ^= 0xFF;  // programme 3, scene 24
    b->cues[1][4] = kEmptyCue;
    b->midi[70] ^= 1u << 12;  // triggering in field 1
    const std::vector<std::string> lines = showDifferences(*a, *b);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("Scene 3/24 fixture 2 channel 5: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "Cue no. 5 obszar 2: 4 <> empty");
    EXPECT_EQ(lines[2].rfind("MIDI key 70 (A# / 4) triggering in field 1: ", 0), 0u) << lines[2];
}

}  // namespace
}  // namespace velora
