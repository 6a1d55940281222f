#include "emulator/demo_show.h"

#include <array>
#include <memory>

namespace velora {

namespace {

enum Channel { Pan, PanFine, Tilt, TiltFine, Dimmer, Red, Green, Blue, White, Shutter, Gobo, GoboRotation };

constexpr int kFixtures = 16;
constexpr std::uint8_t kShutterOpen = 255;

// 127 x sine of i/32 of a turn.
constexpr std::array<int, 32> kSine{0,    25,   49,   71,   90,   106,  117, 125, 127, 125, 117,
                                    106,  90,   71,   49,   25,   0,    -25, -49, -71, -90, -106,
                                    -117, -125, -127, -125, -117, -106, -90, -71, -49, -25};

int sine(int step) {
    return kSine[static_cast<std::size_t>(step & 31)];
}
int cosine(int step) {
    return sine(step + 8);
}

std::uint8_t byte(int value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

using Scene = SceneChannels;

void set(Scene& scene, int fixture, Channel channel, int value) {
    fixtureChannels(scene, fixture)[static_cast<std::size_t>(channel)] = byte(value);
}

// A colour wheel position 0..255 as red, green and blue.
void hue(Scene& scene, int fixture, int position) {
    const int p = position & 255;
    const int third = p * 3 % 256, sector = p * 3 / 256;
    const int up = third, down = 255 - third;
    const int rgb[3][3] = {{down, up, 0}, {0, down, up}, {up, 0, down}};
    set(scene, fixture, Red, rgb[sector][0]);
    set(scene, fixture, Green, rgb[sector][1]);
    set(scene, fixture, Blue, rgb[sector][2]);
}

void openBeam(Scene& scene, int fixture, int dimmer) {
    set(scene, fixture, Dimmer, dimmer);
    set(scene, fixture, Shutter, kShutterOpen);
}

Scene& sceneOf(ControllerImage& image, int programme, int scene) {
    return image.scenes[static_cast<std::size_t>(
        sceneIndexOf(static_cast<std::uint32_t>(programme), static_cast<std::uint32_t>(scene)))];
}

// Programme 1: the heads draw circles, each a little behind the previous one.
void circles(Scene& s, int step) {
    for (int f = 0; f < kFixtures; ++f) {
        set(s, f, Pan, 128 + sine(step + f * 2) * 3 / 4);
        set(s, f, Tilt, 128 + cosine(step + f * 2) / 2);
        set(s, f, White, 255);
        set(s, f, Gobo, 32);
        openBeam(s, f, 255);
    }
}

// Programme 2: a rainbow running across the fixtures.
void rainbow(Scene& s, int step) {
    for (int f = 0; f < kFixtures; ++f) {
        hue(s, f, step * 8 + f * 16);
        set(s, f, Pan, 128);
        set(s, f, Tilt, 96);
        openBeam(s, f, 255);
    }
}

// Programme 3: one head lit at a time, there and back, with a glow either side.
void chase(Scene& s, int step) {
    const int lit = step < 16 ? step : 31 - step;
    for (int f = 0; f < kFixtures; ++f) {
        const int distance = f > lit ? f - lit : lit - f;
        set(s, f, Blue, 255);
        set(s, f, Red, 96);
        set(s, f, Pan, 64 + f * 8);
        set(s, f, Tilt, 140);
        openBeam(s, f, distance == 0 ? 255 : distance == 1 ? 80 : 0);
    }
}

// Programme 4: the two halves flash in turn.
void flashes(Scene& s, int step) {
    for (int f = 0; f < kFixtures; ++f) {
        const bool on = (f < 8) == (step % 2 == 0);
        set(s, f, White, 255);
        set(s, f, Tilt, 128);
        set(s, f, Dimmer, on ? 255 : 0);
        set(s, f, Shutter, on ? 200 : 0);
    }
}

// Programme 5: a wave rolling through the tilt of the row.
void tiltWave(Scene& s, int step) {
    for (int f = 0; f < kFixtures; ++f) {
        set(s, f, Pan, 128);
        set(s, f, Tilt, 128 + sine(step * 2 + f * 4) * 3 / 4);
        set(s, f, Green, 200);
        set(s, f, Blue, 80);
        set(s, f, GoboRotation, 100);
        openBeam(s, f, 220);
    }
}

// Programme 17: warm white fading up and back down.
void breathe(Scene& s, int step) {
    const int level = step < 8 ? step * 32 : (15 - step) * 32;
    for (int f = 0; f < kFixtures; ++f) {
        set(s, f, Red, 255);
        set(s, f, Green, 160);
        set(s, f, Blue, 60);
        set(s, f, Tilt, 100);
        openBeam(s, f, level + 31);
    }
}

// Programme 18: a pan sweep, red and blue heads in turn.
void sweep(Scene& s, int step) {
    const int pan = step < 8 ? step * 32 : (15 - step) * 32;
    for (int f = 0; f < kFixtures; ++f) {
        set(s, f, f % 2 ? Blue : Red, 255);
        set(s, f, Pan, f % 2 ? 255 - pan : pan);
        set(s, f, Tilt, 150);
        openBeam(s, f, 255);
    }
}

// Programme 48: the finale, every colour at once, spinning.
void finale(Scene& s, int step) {
    for (int f = 0; f < kFixtures; ++f) {
        hue(s, f, f * 16 + step * 18);
        set(s, f, White, step % 2 ? 255 : 0);
        set(s, f, Pan, 128 + sine(step * 2 + f) * 3 / 4);
        set(s, f, Tilt, 128 + cosine(step * 2 + f) * 3 / 4);
        set(s, f, GoboRotation, 200);
        openBeam(s, f, 255);
    }
}

struct DemoProgramme {
    int index;  // programme index 0..47
    int scenes;
    void (*scene)(Scene&, int);
    std::uint8_t endScene;
    std::uint8_t speedSync;
    std::uint8_t fade;
};

constexpr std::array<DemoProgramme, 8> kDemoProgrammes{{
    {0, 32, circles, 32, 12, 40},
    {1, 32, rainbow, 32, 20, 200},
    {2, 32, chase, 32, kMusicMode, 0},
    {3, 16, flashes, 16, kMidiMode, 0},
    {4, 24, tiltWave, 24, 31, 90},
    {16, 16, breathe, 16, 0, 128},
    {17, 16, sweep, 16, 8, 60},
    {47, 14, finale, 14, 5, 20},
}};

constexpr std::uint16_t kAssignField1 = midiAssignBit(0), kAssignField2 = midiAssignBit(1),
                        kAssignField3 = midiAssignBit(2);
constexpr std::uint16_t kTriggerField1 = midiTriggerBit(0), kTriggerField2 = midiTriggerBit(1),
                        kTriggerField3 = midiTriggerBit(2);

std::uint16_t midiEntry(int programme, int scene, std::uint16_t flags) {
    return static_cast<std::uint16_t>(
        sceneIndexOf(static_cast<std::uint32_t>(programme), static_cast<std::uint32_t>(scene)) | flags);
}

}  // namespace

void fillDemoShow(ControllerImage& image) {
    image = ControllerImage{};
    for (const DemoProgramme& p : kDemoProgrammes) {
        for (int s = 0; s < p.scenes; ++s) p.scene(sceneOf(image, p.index, s), s);
        image.endScene[static_cast<std::size_t>(p.index)] = p.endScene;
        image.speedSync[static_cast<std::size_t>(p.index)] = p.speedSync;
        image.fade[static_cast<std::size_t>(p.index)] = p.fade;
    }

    // Cues: field 1 holds the first five programmes, field 2 the two short
    // ones, field 3 the finale; the rest are empty.
    for (auto& field : image.cues) field.fill(kEmptyCue);
    for (int c = 0; c < 5; ++c) image.cues[0][static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c);
    image.cues[1][0] = 16;
    image.cues[1][1] = 17;
    image.cues[2][0] = 47;

    // MIDI: an octave from C2 plays programme 1, four keys from C3 programme
    // 17 in field 2, middle C the finale in field 3.
    for (int k = 0; k < 12; ++k)
        image.midi[static_cast<std::size_t>(36 + k)] = midiEntry(0, k, kAssignField1 | kTriggerField1);
    for (int k = 0; k < 4; ++k)
        image.midi[static_cast<std::size_t>(48 + k)] = midiEntry(16, k * 4, kAssignField2 | kTriggerField2);
    image.midi[60] = midiEntry(47, 0, kAssignField3 | kTriggerField3);
    image.midi[61] = midiEntry(3, 0, kAssignField1 | kAssignField2 | kAssignField3);

    image.specialButtonsMode = kFogModeFlag;  // STROBE and FOG in strobe mode, EXTRA not
    image.slowMode = 0xFFFF;
    image.strobeScene = static_cast<std::uint16_t>(sceneIndexOf(3, 0));
    image.fogScene = static_cast<std::uint16_t>(sceneIndexOf(16, 8));
    image.extraScene = kNoScene;
}

void loadDemoShow(ControllerModel& model) {
    auto image = std::make_unique<ControllerImage>();
    fillDemoShow(*image);
    model.loadImage(*image);
}

}  // namespace velora
