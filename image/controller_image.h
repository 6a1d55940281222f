#pragma once
// The PC's copy of the controller's data memory, and its mapping onto the
// controller's 2048 blocks of 128 bytes.

#include <array>
#include <cstdint>
#include <span>

namespace velora {

inline constexpr int kProgrammes = 48;
inline constexpr int kScenes = 1022;
inline constexpr int kChannels = 256;
inline constexpr int kMidiKeys = 128;
inline constexpr int kBlocks = 2048;
inline constexpr int kBlockSize = 128;

// Block addresses of the regions.
inline constexpr std::uint32_t kFirstSettingsBlock = 2044;
inline constexpr std::uint32_t kFirstMidiBlock = 2046;
// Pseudo scene numbers that stand for the settings and MIDI regions in a run.
inline constexpr std::uint32_t kSettingsPseudoScene = 1022;
inline constexpr std::uint32_t kMidiPseudoScene = 1023;

inline constexpr std::uint16_t kNoScene = 0xFFFF;  // STROBE/FOG/EXTRA unassigned
inline constexpr std::uint8_t kEmptyCue = 255;

// Mode bytes of the speed and sync table; 1..31 is Auto with that SPEED.
inline constexpr std::uint8_t kManualMode = 0;
inline constexpr std::uint8_t kMusicMode = 255;
inline constexpr std::uint8_t kMidiMode = 254;
inline constexpr std::uint8_t kTopSpeed = 31;

// Flags of the special buttons mode. STROBE's is set when its strobe mode is
// off; FOG's and EXTRA's are set when theirs is on. Controllers and data
// files hold them so, both ways.
inline constexpr std::uint16_t kStrobeModeFlag = 1;
inline constexpr std::uint16_t kFogModeFlag = 2;
inline constexpr std::uint16_t kExtraModeFlag = 4;

// Bits of a MIDI table entry: the absolute scene number, and triggering and
// assignment in field 1, 2, 3 (index 0..2).
inline constexpr std::uint16_t kMidiSceneBits = 0x03FF;
constexpr std::uint16_t midiTriggerBit(int field) {
    return static_cast<std::uint16_t>(1u << (12 - field));
}
constexpr std::uint16_t midiAssignBit(int field) {
    return static_cast<std::uint16_t>(1u << (15 - field));
}
// The note of MIDI key `key` ("C", "C#", ... "B") and its octave (-1..9).
const char* midiNoteName(int key);
constexpr int midiOctaveOf(int key) {
    return key / 12 - 1;
}

// The regions of the data memory, each saved in a data file of its own.
enum class Region { Scenes = 0, Settings = 1, Midi = 2 };
inline constexpr std::array<Region, 3> kMemoryRegions{Region::Scenes, Region::Settings, Region::Midi};

struct ControllerImage {
    std::array<std::array<std::uint8_t, kChannels>, kScenes> scenes{};
    std::array<std::uint8_t, kProgrammes> endScene{};   // 0 = none, else 1-based scene
    std::array<std::uint8_t, kProgrammes> speedSync{};  // 0 manual, 1..31 auto, 255 music, 254 MIDI
    std::array<std::uint8_t, kProgrammes> fade{};
    std::array<std::array<std::uint8_t, 16>, 3> cues{};  // [field][cue] = programme index, 255 empty
    std::array<std::uint16_t, kMidiKeys> midi{};
    std::uint16_t specialButtonsMode = 0;
    std::uint16_t slowMode = 0;  // 0 off, 0xFFFF on; any non-zero counts as on
    std::uint16_t strobeScene = 0;
    std::uint16_t fogScene = 0;
    std::uint16_t extraScene = 0;
};

using Block = std::array<std::uint8_t, kBlockSize>;

// Scene count of programme index p (0..47): 32, 16 or 14.
int sceneCountOf(int programmeIndex);

// Absolute scene number of (programme index, scene index), or -1. Does not
// reject scene indices 14 and 15 of the last programme: callers check that.
int sceneIndexOf(std::uint32_t programmeIndex, std::uint32_t sceneIndex);

// Programme index in the high 16 bits, scene index in the low 16 bits; all
// ones for a number above 1021.
std::uint32_t programmeSceneOf(std::uint32_t absoluteScene);

// The 128 bytes that block `address` holds in the controller's memory.
Block packBlock(const ControllerImage& image, std::uint32_t address);
// The inverse of packBlock, for bytes read from the controller. Reserved
// bytes are ignored.
void storeBlock(ControllerImage& image, std::uint32_t address,
                std::span<const std::uint8_t, kBlockSize> bytes);

// The region that block `address` belongs to.
Region regionOfBlock(std::uint32_t address);

// Blocks [first, last] covered by a run over absolute (or pseudo) scene
// numbers first..last: first*2 .. last*2+1.
struct BlockRange {
    std::uint32_t first;
    std::uint32_t last;
};
BlockRange blockRangeOf(std::uint32_t firstScene, std::uint32_t lastScene);
BlockRange blockRangeOf(Region region);  // Scenes (all), Settings, Midi

}  // namespace velora
