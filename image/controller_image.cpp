#include "image/controller_image.h"

#include <algorithm>
#include <cstring>

namespace velora {

const char* midiNoteName(int key) {
    static constexpr std::array<const char*, 12> kNames{"C",  "C#", "D",  "D#", "E",  "F",
                                                        "F#", "G",  "G#", "A",  "A#", "B"};
    return kNames[static_cast<std::size_t>(key % 12)];
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
    Block out{};
    if (b < kFirstSettingsBlock) {
        std::memcpy(out.data(), image.scenes[b / 2].data() + (b % 2) * kBlockSize, kBlockSize);
    } else if (b == kFirstSettingsBlock) {
        std::copy(image.endScene.begin(), image.endScene.end(), out.begin());
        std::copy(image.speedSync.begin(), image.speedSync.end(), out.begin() + 48);
        std::copy(image.fade.begin(), image.fade.begin() + 32, out.begin() + 96);
    } else if (b == kFirstSettingsBlock + 1) {
        out.fill(0xFF);
        std::copy(image.fade.begin() + 32, image.fade.end(), out.begin());
        out[16] = static_cast<std::uint8_t>(image.specialButtonsMode & 0xFF);
        out[17] = image.slowMode != 0 ? 1 : 0;
        putLe16(&out[18], image.strobeScene);
        putLe16(&out[20], image.fogScene);
        putLe16(&out[22], image.extraScene);
        for (int f = 0; f < 3; ++f)
            std::copy(image.cues[f].begin(), image.cues[f].end(), out.begin() + 32 + f * 16);
    } else if (b < kBlocks) {
        const std::size_t first = (b - kFirstMidiBlock) * 64;
        for (std::size_t i = 0; i < 64; ++i) putLe16(&out[2 * i], image.midi[first + i]);
    }
    return out;
}

void storeBlock(ControllerImage& image, std::uint32_t b, std::span<const std::uint8_t, kBlockSize> d) {
    if (b < kFirstSettingsBlock) {
        std::memcpy(sceneHalf(image, b), d.data(), kBlockSize);
    } else if (b == kFirstSettingsBlock) {
        std::copy(d.begin(), d.begin() + 48, image.endScene.begin());
        std::copy(d.begin() + 48, d.begin() + 96, image.speedSync.begin());
        std::copy(d.begin() + 96, d.end(), image.fade.begin());
    } else if (b == kFirstSettingsBlock + 1) {
        std::copy(d.begin(), d.begin() + 16, image.fade.begin() + 32);
        image.specialButtonsMode = d[16];
        image.slowMode = d[17] != 0 ? 0xFFFF : 0;
        image.strobeScene = getLe16(&d[18]);
        image.fogScene = getLe16(&d[20]);
        image.extraScene = getLe16(&d[22]);
        for (int f = 0; f < 3; ++f)
            std::copy(d.begin() + 32 + f * 16, d.begin() + 48 + f * 16, image.cues[f].begin());
    } else if (b < kBlocks) {
        const std::size_t first = (b - kFirstMidiBlock) * 64;
        for (std::size_t i = 0; i < 64; ++i) image.midi[first + i] = getLe16(&d[2 * i]);
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
