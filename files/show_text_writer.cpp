#include "files/show_text.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <sstream>

namespace velora {

namespace {

using Json = nlohmann::ordered_json;

Json raw(unsigned value) {
    return Json{{"raw", value}};
}

Json sceneReference(unsigned absolute) {
    if (absolute >= kScenes) return raw(absolute);
    const std::uint32_t ps = programmeSceneOf(absolute);
    return Json{{"programme", (ps >> 16) + 1}, {"scene", (ps & 0xFFFF) + 1}};
}

Json modeOf(std::uint8_t b) {
    if (!isKnownModeByte(b)) return raw(b);
    const ProgrammeMode mode = programmeModeOf(b);
    switch (mode.sync) {
        case SyncMode::Auto:
            return Json{{"auto", mode.speed}};
        case SyncMode::Music:
            return "music";
        case SyncMode::Midi:
            return "midi";
        default:
            return "manual";
    }
}

Json sceneOf(const SceneChannels& channels) {
    if (std::all_of(channels.begin(), channels.end(), [](std::uint8_t v) { return v == 0; })) return "dark";
    Json fixtures = Json::array();
    for (int f = 0; f < kFixtures; ++f) {
        const auto fixture = fixtureChannels(channels, f);
        fixtures.push_back(Json(std::vector<unsigned>(fixture.begin(), fixture.end())));
    }
    return fixtures;
}

Json toJson(const ControllerImage& image) {
    Json doc;
    doc["document"] = kShowDocumentName;
    doc["version"] = kShowTextVersion;
    Json programmes = Json::array();
    for (int p = 0; p < kProgrammes; ++p) {
        const int count = sceneCountOf(p);
        Json programme;
        programme["programme"] = p + 1;
        const std::uint8_t end = image.endScene[static_cast<std::size_t>(p)];
        programme["end_scene"] = end == 0 ? Json(nullptr) : end <= count ? Json(end) : raw(end);
        programme["mode"] = modeOf(image.speedSync[static_cast<std::size_t>(p)]);
        programme["fade"] = image.fade[static_cast<std::size_t>(p)];
        Json scenes = Json::array();
        for (int s = 0; s < count; ++s)
            scenes.push_back(sceneOf(image.scenes[static_cast<std::size_t>(
                sceneIndexOf(static_cast<std::uint32_t>(p), static_cast<std::uint32_t>(s)))]));
        programme["scenes"] = std::move(scenes);
        programmes.push_back(std::move(programme));
    }
    doc["programmes"] = std::move(programmes);

    Json buttons;
    for (int b = 0; b < kSpecialButtonCount; ++b) {
        const std::uint16_t scene = buttonScene(image, b);
        buttons[kShowButtonKeys[static_cast<std::size_t>(b)]] =
            Json{{"scene", scene == kNoScene ? Json(nullptr) : sceneReference(scene)},
                 {"strobe_mode", strobeModeOn(image.specialButtonsMode, b)}};
    }
    if (const unsigned other = image.specialButtonsMode & ~kStrobeModeFlags & 0xFFFF; other != 0)
        buttons["other_mode_bits"] = other;
    doc["special_buttons"] = std::move(buttons);

    Json cues = Json::array();
    for (const auto& field : image.cues) {
        Json row = Json::array();
        for (std::uint8_t cue : field)
            row.push_back(cue == kEmptyCue ? Json(nullptr) : cue < kProgrammes ? Json(cue + 1) : raw(cue));
        cues.push_back(std::move(row));
    }
    doc["cues"] = std::move(cues);
    doc["slow_mode"] = image.slowMode == 0        ? Json(false)
                       : image.slowMode == 0xFFFF ? Json(true)
                                                  : raw(image.slowMode);

    Json midi = Json::array();
    for (int key = 0; key < kMidiKeys; ++key) {
        const std::uint16_t e = image.midi[static_cast<std::size_t>(key)];
        midi.push_back(Json{{"key", key},
                            {"note", midiNoteName(key)},
                            {"octave", midiOctaveOf(key)},
                            {"scene", sceneReference(e & kMidiSceneBits)},
                            {"triggering", {(e >> 12 & 1) != 0, (e >> 11 & 1) != 0, (e >> 10 & 1) != 0}},
                            {"assignment", {(e >> 15 & 1) != 0, (e >> 14 & 1) != 0, (e >> 13 & 1) != 0}}});
    }
    doc["midi"] = std::move(midi);
    return doc;
}

// Objects indented one key a line; an array of numbers, booleans or nulls
// on one line, so that a changed channel value is a changed line.
void layOut(const Json& value, std::ostringstream& out, int indent) {
    const std::string pad(static_cast<std::size_t>(indent + 2), ' ');
    if (value.is_object()) {
        if (value.empty()) {
            out << "{}";
            return;
        }
        out << "{\n";
        bool first = true;
        for (const auto& [key, item] : value.items()) {
            if (!first) out << ",\n";
            first = false;
            out << pad << Json(key).dump() << ": ";
            layOut(item, out, indent + 2);
        }
        out << "\n" << std::string(static_cast<std::size_t>(indent), ' ') << "}";
    } else if (value.is_array() && !value.empty() &&
               std::any_of(value.begin(), value.end(), [](const Json& v) { return v.is_structured(); })) {
        out << "[\n";
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (i > 0) out << ",\n";
            out << pad;
            layOut(value[i], out, indent + 2);
        }
        out << "\n" << std::string(static_cast<std::size_t>(indent), ' ') << "]";
    } else {
        out << value.dump();
    }
}

}  // namespace

std::string showToText(const ControllerImage& image) {
    std::ostringstream out;
    layOut(toJson(image), out, 0);
    out << "\n";
    return out.str();
}

}  // namespace velora
