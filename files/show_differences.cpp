#include "files/show_differences.h"

#include <array>

namespace velora {

namespace {

std::string sceneWords(unsigned absolute) {
    if (absolute == kNoScene) return "none";
    if (absolute >= kScenes) return "raw " + std::to_string(absolute);
    return sceneNameOf(absolute);
}

std::string modeWords(std::uint8_t b) {
    if (!isKnownModeByte(b)) return "raw " + std::to_string(b);
    const ProgrammeMode mode = programmeModeOf(b);
    switch (mode.sync) {
        case SyncMode::Auto:
            return "Auto " + std::to_string(mode.speed);
        case SyncMode::Music:
            return "Music";
        case SyncMode::Midi:
            return "MIDI";
        default:
            return "Manual";
    }
}

std::string cueWords(std::uint8_t cue) {
    if (cue == kEmptyCue) return "empty";
    if (cue < kProgrammes) return std::to_string(cue + 1);
    return "raw " + std::to_string(cue);
}

std::string onOff(bool on) {
    return on ? "on" : "off";
}

void differ(std::vector<std::string>& lines, const std::string& what, const std::string& a,
            const std::string& b) {
    if (a != b) lines.push_back(what + ": " + a + " <> " + b);
}

void sceneDifferences(const ControllerImage& a, const ControllerImage& b, std::vector<std::string>& lines) {
    for (int p = 0; p < kProgrammes; ++p) {
        for (int s = 0; s < sceneCountOf(p); ++s) {
            const auto n = static_cast<std::size_t>(
                sceneIndexOf(static_cast<std::uint32_t>(p), static_cast<std::uint32_t>(s)));
            if (a.scenes[n] == b.scenes[n]) continue;
            for (int f = 0; f < kFixtures; ++f) {
                const auto x = fixtureChannels(a.scenes[n], f);
                const auto y = fixtureChannels(b.scenes[n], f);
                for (std::size_t c = 0; c < kFixtureChannels; ++c)
                    if (x[c] != y[c])
                        lines.push_back("Scene " + std::to_string(p + 1) + "/" + std::to_string(s + 1) +
                                        " fixture " + std::to_string(f + 1) + " channel " +
                                        std::to_string(c + 1) + ": " + std::to_string(x[c]) + " <> " +
                                        std::to_string(y[c]));
            }
        }
    }
}

void settingsDifferences(const ControllerImage& a, const ControllerImage& b,
                         std::vector<std::string>& lines) {
    for (std::size_t p = 0; p < kProgrammes; ++p) {
        const std::string programme = " programm " + std::to_string(p + 1);
        const auto end = [](std::uint8_t e) { return e == 0 ? std::string("none") : std::to_string(e); };
        differ(lines, "End of" + programme, end(a.endScene[p]), end(b.endScene[p]));
        differ(lines, "Speed & sync" + programme, modeWords(a.speedSync[p]), modeWords(b.speedSync[p]));
        differ(lines, "Fading" + programme, std::to_string(a.fade[p]), std::to_string(b.fade[p]));
    }
    for (int button = 0; button < kSpecialButtonCount; ++button) {
        const std::string name = kSpecialButtonWords[static_cast<std::size_t>(button)];
        differ(lines, name + " scene", sceneWords(buttonScene(a, button)),
               sceneWords(buttonScene(b, button)));
        differ(lines, name + " strobe mode", onOff(strobeModeOn(a.specialButtonsMode, button)),
               onOff(strobeModeOn(b.specialButtonsMode, button)));
    }
    differ(lines, "Special buttons mode, other bits",
           std::to_string(a.specialButtonsMode & ~kStrobeModeFlags & 0xFFFF),
           std::to_string(b.specialButtonsMode & ~kStrobeModeFlags & 0xFFFF));
    const auto slow = [](std::uint16_t v) {
        return v == 0 ? std::string("off") : v == 0xFFFF ? std::string("on") : "raw " + std::to_string(v);
    };
    differ(lines, "Slow mode", slow(a.slowMode), slow(b.slowMode));
    for (std::size_t c = 0; c < 16; ++c)
        for (std::size_t f = 0; f < 3; ++f)
            differ(lines, "Cue no. " + std::to_string(c + 1) + " obszar " + std::to_string(f + 1),
                   cueWords(a.cues[f][c]), cueWords(b.cues[f][c]));
}

void midiDifferences(const ControllerImage& a, const ControllerImage& b, std::vector<std::string>& lines) {
    for (std::size_t key = 0; key < kMidiKeys; ++key) {
        const std::uint16_t x = a.midi[key];
        const std::uint16_t y = b.midi[key];
        if (x == y) continue;
        const std::string name = "MIDI key " + std::to_string(key) + " (" + midiNoteName(key) + " / " +
                                 std::to_string(midiOctaveOf(static_cast<int>(key))) + ")";
        differ(lines, name + " scene", sceneWords(x & kMidiSceneBits), sceneWords(y & kMidiSceneBits));
        for (unsigned f = 0; f < 3; ++f) {
            differ(lines, name + " triggering in field " + std::to_string(f + 1),
                   onOff(x & midiTriggerBit(f)), onOff(y & midiTriggerBit(f)));
            differ(lines, name + " assignment in field " + std::to_string(f + 1), onOff(x & midiAssignBit(f)),
                   onOff(y & midiAssignBit(f)));
        }
    }
}

}  // namespace

std::vector<std::string> ImageDifferences::lines() const {
    std::vector<std::string> all;
    all.reserve(count());
    for (const auto* group : {&scenes, &settings, &midi}) all.insert(all.end(), group->begin(), group->end());
    return all;
}

ImageDifferences differencesBetween(const ControllerImage& a, const ControllerImage& b) {
    ImageDifferences differences;
    sceneDifferences(a, b, differences.scenes);
    settingsDifferences(a, b, differences.settings);
    midiDifferences(a, b, differences.midi);
    return differences;
}

std::string counted(std::size_t n, const std::string& noun) {
    if (n == 0) return "no " + noun + "s";
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

}  // namespace velora
