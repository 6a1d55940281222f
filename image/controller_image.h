#pragma once
// The PC's copy of the controller's data memory, what its bytes mean (a
// programme's mode, the special buttons' flags and scenes, a fixture's
// channels, the MIDI entries' bits), and its mapping onto the controller's
// 2048 blocks of 128 bytes. Every other part reads the bytes through these.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

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

// A scene's 256 channels are its 16 fixtures' 16 channels each, fixture by
// fixture.
inline constexpr int kFixtures = 16;
inline constexpr int kFixtureChannels = 16;

// Mode bytes of the speed and sync table; 1..31 is Auto with that SPEED.
inline constexpr std::uint8_t kManualMode = 0;
inline constexpr std::uint8_t kMusicMode = 255;
inline constexpr std::uint8_t kMidiMode = 254;
inline constexpr std::uint8_t kTopSpeed = 31;

// A programme's mode, as its mode byte stands for it.
enum class SyncMode { Manual, Auto, Music, Midi };
struct ProgrammeMode {
    SyncMode sync = SyncMode::Manual;
    std::uint8_t speed = 0;  // Auto's SPEED, 1..31; 0 for the others
    bool operator==(const ProgrammeMode&) const = default;
};
// The mode that mode byte `b` stands for. The program never writes 32..253;
// such a byte counts as Auto at the top SPEED, as the editors show it.
ProgrammeMode programmeModeOf(std::uint8_t b);
// The mode byte of `mode`: Auto's is its SPEED (so Auto at SPEED 0 is Manual).
std::uint8_t modeByteOf(ProgrammeMode mode);
// Whether `b` stands for its mode exactly (0..31, 254, 255), so that the
// mode gives the same byte back.
bool isKnownModeByte(std::uint8_t b);

// The special buttons, in the order of their fields: STROBE, FOG, EXTRA.
inline constexpr int kSpecialButtonCount = 3;
inline constexpr std::array<const char*, kSpecialButtonCount> kSpecialButtonWords{"STROBE", "FOG", "EXTRA"};

// Flags of the special buttons mode. STROBE's is set when its strobe mode is
// off; FOG's and EXTRA's are set when theirs is on. Controllers and data
// files hold them so, both ways.
inline constexpr std::uint16_t kStrobeModeFlag = 1;
inline constexpr std::uint16_t kFogModeFlag = 2;
inline constexpr std::uint16_t kExtraModeFlag = 4;
inline constexpr std::uint16_t kStrobeModeFlags = kStrobeModeFlag | kFogModeFlag | kExtraModeFlag;
// Whether special button `button` (0..2) is in strobe mode by the special
// buttons mode `flags`.
bool strobeModeOn(std::uint16_t flags, int button);
// `flags` with the strobe mode of `button` on or off; every other bit kept.
std::uint16_t withStrobeMode(std::uint16_t flags, int button, bool on);

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

using SceneChannels = std::array<std::uint8_t, kChannels>;

struct ControllerImage {
    std::array<SceneChannels, kScenes> scenes{};
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

// The 16 channels of fixture `fixture` (0..15) in `scene`.
std::span<std::uint8_t, kFixtureChannels> fixtureChannels(SceneChannels& scene, int fixture);
std::span<const std::uint8_t, kFixtureChannels> fixtureChannels(const SceneChannels& scene, int fixture);

// The scene of special button `button` (0..2): absolute, kNoScene when none.
std::uint16_t& buttonScene(ControllerImage& image, int button);
std::uint16_t buttonScene(const ControllerImage& image, int button);

// Where the settings stand in their two blocks (kFirstSettingsBlock and the
// one after it): offsets in the block, 16-bit values low byte first.
struct SettingsBlockOffset {
    // The first block.
    static constexpr std::size_t endScene = 0;    // 48 programmes
    static constexpr std::size_t speedSync = 48;  // 48 programmes
    static constexpr std::size_t fade = 96;       // the first fadesInFirstBlock programmes
    static constexpr std::size_t fadesInFirstBlock = 32;
    // The second block.
    static constexpr std::size_t fadeContinued = 0;        // the other 16 programmes
    static constexpr std::size_t specialButtonsMode = 16;  // its low byte
    static constexpr std::size_t slowMode = 17;            // 0 off, anything else on
    static constexpr std::size_t buttonScenes = 18;        // STROBE, FOG, EXTRA: 16-bit each
    static constexpr std::size_t cues = 32;                // 3 fields of 16 cues
};

// Scene count of programme index p (0..47): 32, 16 or 14.
int sceneCountOf(int programmeIndex);

// Absolute scene number of (programme index, scene index), or -1. Does not
// reject scene indices 14 and 15 of the last programme: callers check that.
int sceneIndexOf(std::uint32_t programmeIndex, std::uint32_t sceneIndex);

// Programme index in the high 16 bits, scene index in the low 16 bits; all
// ones for a number above 1021.
std::uint32_t programmeSceneOf(std::uint32_t absoluteScene);
// "2/5": the programme and scene of an absolute scene as the user counts them.
std::string sceneNameOf(std::uint32_t absoluteScene);

// The 128 bytes that block `address` holds in the controller's memory.
Block packBlock(const ControllerImage& image, std::uint32_t address);
// The inverse of packBlock, for bytes read from the controller. Reserved
// bytes are ignored.
void storeBlock(ControllerImage& image, std::uint32_t address,
                std::span<const std::uint8_t, kBlockSize> bytes);
// Copies the fields that block `address` holds from `from` into `to`, as
// they are: a special buttons mode above 255 or a slow mode of 1 stays so
// (packBlock and storeBlock would leave its low byte, or make it 0xFFFF).
void copyBlock(ControllerImage& to, const ControllerImage& from, std::uint32_t address);

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
