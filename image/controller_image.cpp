#include "image/controller_image.h"

#include <algorithm>
#include <cstring>

namespace velora {

const char* midiNoteName(int key) {
    static constexpr std::array<const char*, 12> kNames{"C",  "C#", "D",  "D#", "E",  "F",
                                                        "F#", "G",  "G#", "A",  "A#", "B"};
    return kNames[static_cast<std::size_t>(key % 12)];
}

ProgrammeMode programmeModeOf(std::uint8_t b) {
    switch (b) {
        case kManualMode:
            return {SyncMode::Manual, 0};
        case kMusicMode:
            return {SyncMode::Music, 0};
        case kMidiMode:
            return {SyncMode::Midi, 0};
        default:
            return {SyncMode::Auto, std::min(b, kTopSpeed)};
    }
}

std::uint8_t modeByteOf(ProgrammeMode mode) {
    switch (mode.sync) {
        case SyncMode::Auto:
            return mode.speed;
        case SyncMode::Music:
            return kMusicMode;
        case SyncMode::Midi:
            return kMidiMode;
        default:
            return kManualMode;
    }
}

bool isKnownModeByte(std::uint8_t b) {
    return modeByteOf(programmeModeOf(b)) == b;
}

namespace {

constexpr std::array<std::uint16_t, kSpecialButtonCount> kButtonFlags{kStrobeModeFlag, kFogModeFlag,
                                                                      kExtraModeFlag};

}  // namespace

bool strobeModeOn(std::uint16_t flags, int button) {
    const bool set = (flags & kButtonFlags[static_cast<std::size_t>(button)]) != 0;
    return button == 0 ? !set : set;  // STROBE's flag is set when its strobe mode is off
}

std::uint16_t withStrobeMode(std::uint16_t flags, int button, bool on) {
    const std::uint16_t flag = kButtonFlags[static_cast<std::size_t>(button)];
    const bool set = button == 0 ? !on : on;
    return static_cast<std::uint16_t>(set ? flags | flag : flags & ~flag);
}

std::span<std::uint8_t, kFixtureChannels> fixtureChannels(SceneChannels& scene, int fixture) {
    return std::span(scene)
        .subspan(static_cast<std::size_t>(fixture) * kFixtureChannels)
        .first<kFixtureChannels>();
}

std::span<const std::uint8_t, kFixtureChannels> fixtureChannels(const SceneChannels& scene, int fixture) {
    return std::span(scene)
        .subspan(static_cast<std::size_t>(fixture) * kFixtureChannels)
        .first<kFixtureChannels>();
}

std::uint16_t& buttonScene(ControllerImage& image, int button) {
    return button == 0 ? image.strobeScene : button == 1 ? image.fogScene : image.extraScene;
}

std::uint16_t buttonScene(const ControllerImage& image, int button) {
    return button == 0 ? image.strobeScene : button == 1 ? image.fogScene : image.extraScene;
}

int sceneCountOf(int programmeIndex) {
    if (programmeIndex < 16) return 32;
    if (programmeIndex < kProgrammes - 1) return 16;
    return 14;
}

int sceneIndexOf(std::uint32_t p, std::uint32_t s) {
    if (p > 47) return -1;
    if (p < 16) return s > 31 ? -1 : static_cast<int>(p * 32 + s);
    return s > 15 ? -1 : static_cast<int>((p - 16) * 16 + s + 512);
}

std::uint32_t programmeSceneOf(std::uint32_t n) {
    if (n > 1021) return 0xFFFFFFFFu;
    if (n < 512) return ((n >> 5) << 16) | (n & 31);
    return ((16 + ((n - 512) >> 4)) << 16) | (n & 15);
}

std::string sceneNameOf(std::uint32_t absoluteScene) {
    const std::uint32_t ps = programmeSceneOf(absoluteScene);
    return std::to_string((ps >> 16) + 1) + "/" + std::to_string((ps & 0xFFFF) + 1);
}

namespace {

void putLe16(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v & 0xFF);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint16_t getLe16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// Scene blocks are plain copies: block b is scene b/2, channel half b%2.
std::uint8_t* sceneHalf(ControllerImage& image, std::uint32_t b) {
    return image.scenes[b / 2].data() + (b % 2) * kBlockSize;
}

}  // namespace

Block packBlock(const ControllerImage& image, std::uint32_t b) {
    using O = SettingsBlockOffset;
    Block out{};
    if (b < kFirstSettingsBlock) {
        std::memcpy(out.data(), image.scenes[b / 2].data() + (b % 2) * kBlockSize, kBlockSize);
    } else if (b == kFirstSettingsBlock) {
        std::copy(image.endScene.begin(), image.endScene.end(), out.begin() + O::endScene);
        std::copy(image.speedSync.begin(), image.speedSync.end(), out.begin() + O::speedSync);
        std::copy(image.fade.begin(), image.fade.begin() + O::fadesInFirstBlock, out.begin() + O::fade);
    } else if (b == kFirstSettingsBlock + 1) {
        out.fill(0xFF);
        std::copy(image.fade.begin() + O::fadesInFirstBlock, image.fade.end(),
                  out.begin() + O::fadeContinued);
        out[O::specialButtonsMode] = static_cast<std::uint8_t>(image.specialButtonsMode & 0xFF);
        out[O::slowMode] = image.slowMode != 0 ? 1 : 0;
        for (int button = 0; button < kSpecialButtonCount; ++button)
            putLe16(&out[O::buttonScenes + 2 * static_cast<std::size_t>(button)], buttonScene(image, button));
        for (std::size_t f = 0; f < image.cues.size(); ++f)
            std::copy(image.cues[f].begin(), image.cues[f].end(), out.begin() + O::cues + f * 16);
    } else if (b < kBlocks) {
        const std::size_t first = (b - kFirstMidiBlock) * 64;
        for (std::size_t i = 0; i < 64; ++i) putLe16(&out[2 * i], image.midi[first + i]);
    }
    return out;
}

void storeBlock(ControllerImage& image, std::uint32_t b, std::span<const std::uint8_t, kBlockSize> d) {
    using O = SettingsBlockOffset;
    if (b < kFirstSettingsBlock) {
        std::memcpy(sceneHalf(image, b), d.data(), kBlockSize);
    } else if (b == kFirstSettingsBlock) {
        std::copy_n(d.begin() + O::endScene, kProgrammes, image.endScene.begin());
        std::copy_n(d.begin() + O::speedSync, kProgrammes, image.speedSync.begin());
        std::copy_n(d.begin() + O::fade, O::fadesInFirstBlock, image.fade.begin());
    } else if (b == kFirstSettingsBlock + 1) {
        std::copy_n(d.begin() + O::fadeContinued, kProgrammes - O::fadesInFirstBlock,
                    image.fade.begin() + O::fadesInFirstBlock);
        image.specialButtonsMode = d[O::specialButtonsMode];
        image.slowMode = d[O::slowMode] != 0 ? 0xFFFF : 0;
        for (int button = 0; button < kSpecialButtonCount; ++button)
            buttonScene(image, button) = getLe16(&d[O::buttonScenes + 2 * static_cast<std::size_t>(button)]);
        for (std::size_t f = 0; f < image.cues.size(); ++f)
            std::copy_n(d.begin() + O::cues + f * 16, 16, image.cues[f].begin());
    } else if (b < kBlocks) {
        const std::size_t first = (b - kFirstMidiBlock) * 64;
        for (std::size_t i = 0; i < 64; ++i) image.midi[first + i] = getLe16(&d[2 * i]);
    }
}

void copyBlock(ControllerImage& to, const ControllerImage& from, std::uint32_t b) {
    using O = SettingsBlockOffset;
    const auto copy = [](const auto& source, auto& target, std::size_t first, std::size_t count) {
        std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(first), count,
                    target.begin() + static_cast<std::ptrdiff_t>(first));
    };
    if (b < kFirstSettingsBlock) {
        copy(from.scenes[b / 2], to.scenes[b / 2], (b % 2) * kBlockSize, kBlockSize);
    } else if (b == kFirstSettingsBlock) {
        to.endScene = from.endScene;
        to.speedSync = from.speedSync;
        copy(from.fade, to.fade, 0, O::fadesInFirstBlock);
    } else if (b == kFirstSettingsBlock + 1) {
        copy(from.fade, to.fade, O::fadesInFirstBlock, kProgrammes - O::fadesInFirstBlock);
        to.specialButtonsMode = from.specialButtonsMode;
        to.slowMode = from.slowMode;
        to.strobeScene = from.strobeScene;
        to.fogScene = from.fogScene;
        to.extraScene = from.extraScene;
        to.cues = from.cues;
    } else if (b < kBlocks) {
        copy(from.midi, to.midi, (b - kFirstMidiBlock) * 64, 64);
    }
}

Region regionOfBlock(std::uint32_t b) {
    if (b < kFirstSettingsBlock) return Region::Scenes;
    if (b < kFirstMidiBlock) return Region::Settings;
    return Region::Midi;
}

BlockRange blockRangeOf(std::uint32_t firstScene, std::uint32_t lastScene) {
    return {firstScene * 2, lastScene * 2 + 1};
}

BlockRange blockRangeOf(Region region) {
    switch (region) {
        case Region::Settings:
            return blockRangeOf(kSettingsPseudoScene, kSettingsPseudoScene);
        case Region::Midi:
            return blockRangeOf(kMidiPseudoScene, kMidiPseudoScene);
        default:
            return blockRangeOf(0, kScenes - 1);
    }
}

}  // namespace velora
