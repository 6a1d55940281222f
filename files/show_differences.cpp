#include "files/show_differences.h"

#include <array>

namespace velora {

namespace {

constexpr std::array<const char*, 3> kButtonWords{"STROBE", "FOG", "EXTRA"};

constexpr std::uint16_t kButtonFlags = kStrobeModeFlag | kFogModeFlag | kExtraModeFlag;

std::uint16_t buttonScene(const ControllerImage& image, std::size_t button) {
    return button == 0 ? image.strobeScene : button == 1 ? image.fogScene : image.extraScene;
}

bool strobeModeOf(std::uint16_t mode, std::size_t button) {
    if (button == 0) return (mode & kStrobeModeFlag) == 0;
    return (mode & (button == 1 ? kFogModeFlag : kExtraModeFlag)) != 0;
}

std::string sceneWords(unsigned absolute) {
    if (absolute == kNoScene) return "none";
    if (absolute >= kScenes) return "raw " + std::to_string(absolute);
    const std::uint32_t ps = programmeSceneOf(absolute);
    return std::to_string((ps >> 16) + 1) + "/" + std::to_string((ps & 0xFFFF) + 1);
}

std::string modeWords(std::uint8_t b) {
    if (b == kManualMode) return "Manual";
    if (b == kMusicMode) return "Music";
    if (b == kMidiMode) return "MIDI";
    if (b <= kTopSpeed) return "Auto " + std::to_string(b);
    return "raw " + std::to_string(b);
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
            for (int k = 0; k < kChannels; ++k) {
                const std::uint8_t x = a.scenes[n][static_cast<std::size_t>(k)];
                const std::uint8_t y = b.scenes[n][static_cast<std::size_t>(k)];
                if (x != y)
                    lines.push_back("Scene " + std::to_string(p + 1) + "/" + std::to_string(s + 1) +
                                    " fixture " + std::to_string(k / 16 + 1) + " channel " +
                                    std::to_string(k % 16 + 1) + ": " + std::to_string(x) + " <> " +
                                    std::to_string(y));
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
    for (std::size_t button = 0; button < 3; ++button) {
        const std::string name = kButtonWords[button];
        differ(lines, name + " scene", sceneWords(buttonScene(a, button)),
               sceneWords(buttonScene(b, button)));
        differ(lines, name + " strobe mode", onOff(strobeModeOf(a.specialButtonsMode, button)),
               onOff(strobeModeOf(b.specialButtonsMode, button)));
    }
    differ(lines, "Special buttons mode, other bits",
           std::to_string(a.specialButtonsMode & ~kButtonFlags & 0xFFFF),
           std::to_string(b.specialButtonsMode & ~kButtonFlags & 0xFFFF));
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

}  // namespace velora
