#include "files/show_text.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>

namespace velora {

namespace {

using Json = nlohmann::ordered_json;

// Where in the document the reading is, and why it stops.
struct Refusal {
    std::string path;
    std::string rule;
};

class Reader {
  public:
    explicit Reader(ControllerImage& image) : image_(image) {}

    void document(const Json& doc) {
        object(doc, "",
               {"document", "version", "programmes", "special_buttons", "cues", "slow_mode", "midi"});
        if (!doc.contains("document") || doc["document"] != kShowDocumentName)
            refuse("document",
                   std::string("this is not a show: \"document\" must be \"") + kShowDocumentName + "\"");
        const Json& version = need(doc, "", "version");
        if (!version.is_number_integer() || version.get<long long>() != kShowTextVersion)
            refuse("version", "this program reads shows of version " + std::to_string(kShowTextVersion));
        programmes(need(doc, "", "programmes"));
        buttons(need(doc, "", "special_buttons"));
        cues(need(doc, "", "cues"));
        image_.slowMode = static_cast<std::uint16_t>(flagOrRaw(
            need(doc, "", "slow_mode"), "slow_mode", 0xFFFF, 0xFFFF, "true, false or {\"raw\": 0..65535}"));
        midi(need(doc, "", "midi"));
    }

  private:
    [[noreturn]] void refuse(const std::string& path, const std::string& rule) { throw Refusal{path, rule}; }

    static std::string at(const std::string& path, const std::string& key) {
        return path.empty() ? key : path + "." + key;
    }
    static std::string at(const std::string& path, std::size_t index) {
        return path + "[" + std::to_string(index) + "]";
    }

    // An object with exactly the keys it may have (an unknown key is most
    // likely a misspelt one, which would be lost without a word).
    void object(const Json& value, const std::string& path, std::initializer_list<const char*> keys) {
        if (!value.is_object()) refuse(path.empty() ? "document" : path, "must be an object");
        for (const auto& item : value.items()) {
            const std::string& key = item.key();
            if (std::none_of(keys.begin(), keys.end(), [&key](const char* k) { return key == k; }))
                refuse(at(path, key), "is not a field of a show");
        }
    }

    const Json& need(const Json& value, const std::string& path, const char* key) {
        if (!value.contains(key)) refuse(at(path, key), "is missing");
        return value[key];
    }

    const Json& array(const Json& value, const std::string& path, std::size_t size, const std::string& what) {
        if (!value.is_array()) refuse(path, "must be an array of " + what);
        if (value.size() != size) {
            if (value.size() > size) refuse(at(path, size), "there are " + std::to_string(size) + " " + what);
            refuse(path, "must hold " + std::to_string(size) + " " + what + ", not " +
                             std::to_string(value.size()));
        }
        return value;
    }

    unsigned number(const Json& value, const std::string& path, unsigned low, unsigned high) {
        if (!value.is_number_integer() || value.get<long long>() < low || value.get<long long>() > high)
            refuse(path, "must be a whole number " + std::to_string(low) + ".." + std::to_string(high));
        return static_cast<unsigned>(value.get<long long>());
    }

    bool boolean(const Json& value, const std::string& path) {
        if (!value.is_boolean()) refuse(path, "must be true or false");
        return value.get<bool>();
    }

    // {"raw": n}: a value the editors cannot show, kept as it is.
    std::optional<unsigned> rawValue(const Json& value, const std::string& path, unsigned high) {
        if (!value.is_object() || !value.contains("raw")) return std::nullopt;
        object(value, path, {"raw"});
        return number(value["raw"], at(path, "raw"), 0, high);
    }

    unsigned flagOrRaw(const Json& value, const std::string& path, unsigned on, unsigned high,
                       const char* form) {
        if (value.is_boolean()) return value.get<bool>() ? on : 0;
        if (const auto r = rawValue(value, path, high)) return *r;
        refuse(path, std::string("must be ") + form);
    }

    // {"programme": p, "scene": s} as absolute scene number.
    unsigned sceneReference(const Json& value, const std::string& path, unsigned rawHigh) {
        if (const auto r = rawValue(value, path, rawHigh)) return *r;
        object(value, path, {"programme", "scene"});
        const unsigned p = number(need(value, path, "programme"), at(path, "programme"), 1, kProgrammes);
        const unsigned count = static_cast<unsigned>(sceneCountOf(static_cast<int>(p) - 1));
        const Json& scene = need(value, path, "scene");
        if (!scene.is_number_integer() || scene.get<long long>() < 1 || scene.get<long long>() > count)
            refuse(at(path, "scene"),
                   "programme " + std::to_string(p) + " has " + std::to_string(count) + " scenes");
        return static_cast<unsigned>(
            sceneIndexOf(p - 1, static_cast<std::uint32_t>(scene.get<long long>() - 1)));
    }

    void programmes(const Json& value) {
        array(value, "programmes", kProgrammes, "programmes");
        for (std::size_t p = 0; p < kProgrammes; ++p) {
            const std::string path = at("programmes", p);
            const Json& programme = value[p];
            object(programme, path, {"programme", "end_scene", "mode", "fade", "scenes"});
            const Json& number_ = need(programme, path, "programme");
            if (!number_.is_number_integer() || number_.get<long long>() != static_cast<long long>(p + 1))
                refuse(at(path, "programme"),
                       "programmes come in order: this is programme " + std::to_string(p + 1));
            const unsigned count = static_cast<unsigned>(sceneCountOf(static_cast<int>(p)));
            endScene(need(programme, path, "end_scene"), at(path, "end_scene"), p, count);
            mode(need(programme, path, "mode"), at(path, "mode"), p);
            image_.fade[p] =
                static_cast<std::uint8_t>(number(need(programme, path, "fade"), at(path, "fade"), 0, 255));
            scenes(need(programme, path, "scenes"), at(path, "scenes"), p, count);
        }
    }

    void endScene(const Json& value, const std::string& path, std::size_t p, unsigned count) {
        unsigned end = 0;
        if (value.is_null()) {
            end = 0;
        } else if (const auto r = rawValue(value, path, 255)) {
            end = *r;
        } else if (value.is_number_integer() && value.get<long long>() >= 1 &&
                   value.get<long long>() <= count) {
            end = static_cast<unsigned>(value.get<long long>());
        } else {
            refuse(path, "null (no end scene) or a scene 1.." + std::to_string(count) + " of programme " +
                             std::to_string(p + 1));
        }
        image_.endScene[p] = static_cast<std::uint8_t>(end);
    }

    void mode(const Json& value, const std::string& path, std::size_t p) {
        std::uint8_t b = kManualMode;
        if (value == "manual") {
            b = modeByteOf({SyncMode::Manual});
        } else if (value == "music") {
            b = modeByteOf({SyncMode::Music});
        } else if (value == "midi") {
            b = modeByteOf({SyncMode::Midi});
        } else if (value.is_object() && value.contains("auto")) {
            object(value, path, {"auto"});
            const unsigned speed = number(value["auto"], at(path, "auto"), 1, kTopSpeed);
            b = modeByteOf({SyncMode::Auto, static_cast<std::uint8_t>(speed)});
        } else if (const auto r = rawValue(value, path, 255)) {
            b = static_cast<std::uint8_t>(*r);
        } else {
            refuse(path, "must be \"manual\", \"music\", \"midi\" or {\"auto\": SPEED 1..31}");
        }
        image_.speedSync[p] = b;
    }

    void scenes(const Json& value, const std::string& path, std::size_t p, unsigned count) {
        if (value.is_array() && value.size() > count)
            refuse(at(path, count),
                   "programme " + std::to_string(p + 1) + " has " + std::to_string(count) + " scenes");
        array(value, path, count, "scenes");
        for (std::size_t s = 0; s < count; ++s) {
            const std::string scenePath = at(path, s);
            auto& channels = image_.scenes[static_cast<std::size_t>(
                sceneIndexOf(static_cast<std::uint32_t>(p), static_cast<std::uint32_t>(s)))];
            const Json& scene = value[s];
            if (scene == "dark") {
                channels.fill(0);
                continue;
            }
            if (!scene.is_array()) refuse(scenePath, "must be \"dark\" or 16 fixtures of 16 channel values");
            array(scene, scenePath, kFixtures, "fixtures");
            for (std::size_t f = 0; f < kFixtures; ++f) {
                const std::string fixturePath = at(scenePath, f);
                array(scene[f], fixturePath, kFixtureChannels, "channel values");
                const auto fixture = fixtureChannels(channels, static_cast<int>(f));
                for (std::size_t c = 0; c < kFixtureChannels; ++c)
                    fixture[c] = static_cast<std::uint8_t>(number(scene[f][c], at(fixturePath, c), 0, 255));
            }
        }
    }

    void buttons(const Json& value) {
        const std::string path = "special_buttons";
        object(value, path, {"strobe", "fog", "extra", "other_mode_bits"});
        std::uint16_t mode = 0;
        for (int b = 0; b < kSpecialButtonCount; ++b) {
            const char* key = kShowButtonKeys[static_cast<std::size_t>(b)];
            const std::string buttonPath = at(path, key);
            const Json& button = need(value, path, key);
            object(button, buttonPath, {"scene", "strobe_mode"});
            const Json& scene = need(button, buttonPath, "scene");
            buttonScene(image_, b) = static_cast<std::uint16_t>(
                scene.is_null() ? kNoScene : sceneReference(scene, at(buttonPath, "scene"), 0xFFFF));
            const bool strobe =
                boolean(need(button, buttonPath, "strobe_mode"), at(buttonPath, "strobe_mode"));
            mode = withStrobeMode(mode, b, strobe);
        }
        if (value.contains("other_mode_bits")) {
            const unsigned other = number(value["other_mode_bits"], at(path, "other_mode_bits"), 0, 0xFFFF);
            if (other & kStrobeModeFlags)
                refuse(at(path, "other_mode_bits"), "the strobe-mode flags 1, 2 and 4 are the buttons'");
            mode = static_cast<std::uint16_t>(mode | other);
        }
        image_.specialButtonsMode = mode;
    }

    void cues(const Json& value) {
        array(value, "cues", 3, "fields");
        for (std::size_t f = 0; f < 3; ++f) {
            const std::string path = at("cues", f);
            array(value[f], path, 16, "cues");
            for (std::size_t c = 0; c < 16; ++c) {
                const Json& cue = value[f][c];
                const std::string cuePath = at(path, c);
                unsigned stored = kEmptyCue;
                if (cue.is_null()) {
                    stored = kEmptyCue;
                } else if (const auto r = rawValue(cue, cuePath, 255)) {
                    stored = *r;
                } else {
                    stored = number(cue, cuePath, 1, kProgrammes) - 1;
                }
                image_.cues[f][c] = static_cast<std::uint8_t>(stored);
            }
        }
    }

    void midi(const Json& value) {
        array(value, "midi", kMidiKeys, "MIDI keys");
        for (std::size_t key = 0; key < kMidiKeys; ++key) {
            const std::string path = at("midi", key);
            const Json& entry = value[key];
            object(entry, path, {"key", "note", "octave", "scene", "triggering", "assignment"});
            const Json& number_ = need(entry, path, "key");
            if (!number_.is_number_integer() || number_.get<long long>() != static_cast<long long>(key))
                refuse(at(path, "key"), "MIDI keys come in order: this is key " + std::to_string(key));
            // The note and octave only say which key it is; a changed one
            // would do nothing, so it is refused rather than ignored.
            if (entry.contains("note") && entry["note"] != midiNoteName(key))
                refuse(at(path, "note"),
                       std::string("key ") + std::to_string(key) + " is " + midiNoteName(key));
            if (entry.contains("octave") && entry["octave"] != midiOctaveOf(static_cast<int>(key)))
                refuse(at(path, "octave"), "key " + std::to_string(key) + " is in octave " +
                                               std::to_string(midiOctaveOf(static_cast<int>(key))));
            unsigned e = sceneReference(need(entry, path, "scene"), at(path, "scene"), kMidiSceneBits);
            const Json& triggering =
                array(need(entry, path, "triggering"), at(path, "triggering"), 3, "fields");
            const Json& assignment =
                array(need(entry, path, "assignment"), at(path, "assignment"), 3, "fields");
            for (std::size_t f = 0; f < 3; ++f) {
                if (boolean(triggering[f], at(at(path, "triggering"), f))) e |= midiTriggerBit(f);
                if (boolean(assignment[f], at(at(path, "assignment"), f))) e |= midiAssignBit(f);
            }
            image_.midi[key] = static_cast<std::uint16_t>(e);
        }
    }

    ControllerImage& image_;
};

// "programmes[1].scenes[2] (programme 2, scene 3) at line 40, column 11: RULE".
ShowTextResult refusal(const std::string& path, const std::string& rule, TextPosition at) {
    const std::string place = placeOfPath(path);
    std::string error = path + (place.empty() ? "" : " (" + place + ")");
    if (at.line > 0) error += " at line " + std::to_string(at.line) + ", column " + std::to_string(at.column);
    return {false, error + ": " + rule, at};
}

}  // namespace

ShowTextResult showFromText(const std::string& text, ControllerImage& image) {
    // Checked before parsing: the parser's copies recurse as deep as the
    // document is nested, and its values take many times the text's size.
    if (const auto refused = checkShowTextShape(text))
        return refusal(refused->path, refused->rule, refused->at);
    Json doc;
    try {
        doc = Json::parse(text);
    } catch (const Json::parse_error& e) {
        // The parser's own words, after its "[json.exception...] ... column N: ".
        const std::string what = e.what();
        const auto words = what.find(": ");
        return refusal("document",
                       "not JSON (" + (words == std::string::npos ? what : what.substr(words + 2)) + ")",
                       positionOfByte(text, e.byte == 0 ? 0 : e.byte - 1));
    } catch (const Json::exception& e) {
        // A number beyond a double ("1e999"): the parser does not say where.
        const std::string what = e.what();
        return refusal("document", "not JSON (" + what.substr(what.find("] ") + 2) + ")", {});
    }
    try {
        Reader(image).document(doc);
    } catch (const Refusal& r) {
        return refusal(r.path, r.rule, positionOfPath(text, r.path));
    }
    return {true, {}, {}};
}

}  // namespace velora
