#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "image/controller_image.h"

namespace velora {
namespace {

std::unique_ptr<ControllerImage> randomImage(unsigned seed) {
    auto image = std::make_unique<ControllerImage>();
    std::mt19937 rng(seed);
    auto byte = [&] { return static_cast<std::uint8_t>(rng()); };
    for (auto& scene : image->scenes)
        for (auto& c : scene) c = byte();
    for (int p = 0; p < kProgrammes; ++p) {
        image->endScene[p] = byte();
        image->speedSync[p] = byte();
        image->fade[p] = byte();
    }
    for (auto& field : image->cues)
        for (auto& c : field) c = byte();
    for (auto& m : image->midi) m = static_cast<std::uint16_t>(rng());
    image->specialButtonsMode = byte();  // only the low byte travels
    image->slowMode = 0xFFFF;
    image->strobeScene = 1021;
    image->fogScene = kNoScene;
    image->extraScene = 300;
    return image;
}

TEST(SceneNumbers, ConversionsAtTheProgrammeBoundaries) {
    EXPECT_EQ(sceneIndexOf(15, 31), 511);
    EXPECT_EQ(sceneIndexOf(16, 0), 512);
    EXPECT_EQ(sceneIndexOf(47, 13), 1021);
    EXPECT_EQ(sceneIndexOf(15, 32), -1);
    EXPECT_EQ(sceneIndexOf(16, 16), -1);
    EXPECT_EQ(sceneIndexOf(48, 0), -1);
    // The 14-scene limit of the last programme is the callers' to check.
    EXPECT_EQ(sceneIndexOf(47, 15), 1023);

    EXPECT_EQ(programmeSceneOf(1021), (47u << 16) | 13u);
    EXPECT_EQ(programmeSceneOf(511), (15u << 16) | 31u);
    EXPECT_EQ(programmeSceneOf(512), 16u << 16);
    EXPECT_EQ(programmeSceneOf(1022), 0xFFFFFFFFu);

    EXPECT_EQ(sceneCountOf(0), 32);
    EXPECT_EQ(sceneCountOf(15), 32);
    EXPECT_EQ(sceneCountOf(16), 16);
    EXPECT_EQ(sceneCountOf(46), 16);
    EXPECT_EQ(sceneCountOf(47), 14);

    // Every valid pair survives the round trip.
    for (std::uint32_t p = 0; p < 48; ++p) {
        for (int s = 0; s < sceneCountOf(static_cast<int>(p)); ++s) {
            const int n = sceneIndexOf(p, static_cast<std::uint32_t>(s));
            ASSERT_GE(n, 0);
            EXPECT_EQ(programmeSceneOf(static_cast<std::uint32_t>(n)),
                      (p << 16) | static_cast<std::uint32_t>(s));
        }
    }
}

TEST(BlockMap, EveryBlockRoundTripsThroughTheImage) {
    auto source = randomImage(1);
    auto copy = std::make_unique<ControllerImage>();
    for (std::uint32_t b = 0; b < kBlocks; ++b) {
        const Block bytes = packBlock(*source, b);
        storeBlock(*copy, b, bytes);
        ASSERT_EQ(packBlock(*copy, b), bytes) << "block " << b;
    }
    EXPECT_EQ(copy->scenes, source->scenes);
    EXPECT_EQ(copy->midi, source->midi);
    EXPECT_EQ(copy->cues, source->cues);
    EXPECT_EQ(copy->fade, source->fade);
    EXPECT_EQ(copy->endScene, source->endScene);
    EXPECT_EQ(copy->speedSync, source->speedSync);
    EXPECT_EQ(copy->strobeScene, source->strobeScene);
    EXPECT_EQ(copy->fogScene, source->fogScene);
    EXPECT_EQ(copy->extraScene, source->extraScene);
    EXPECT_EQ(copy->slowMode, 0xFFFF);
}

TEST(BlockMap, ScenesAndMidiArePlainCopiesLowByteFirst) {
    ControllerImage image;
    image.scenes[10][0] = 1;
    image.scenes[10][128] = 2;
    image.scenes[10][255] = 3;
    image.midi[0] = 0x1234;
    image.midi[64] = 0xABCD;
    EXPECT_EQ(packBlock(image, 20)[0], 1);
    EXPECT_EQ(packBlock(image, 21)[0], 2);
    EXPECT_EQ(packBlock(image, 21)[127], 3);
    EXPECT_EQ(packBlock(image, 2046)[0], 0x34);
    EXPECT_EQ(packBlock(image, 2046)[1], 0x12);
    EXPECT_EQ(packBlock(image, 2047)[0], 0xCD);
    EXPECT_EQ(packBlock(image, 2047)[1], 0xAB);
}

TEST(BlockMap, SettingsBlocksByteExact) {
    ControllerImage image;
    Block zero2045{};
    for (int i = 24; i < 32; ++i) zero2045[i] = 0xFF;
    for (int i = 80; i < 128; ++i) zero2045[i] = 0xFF;
    EXPECT_EQ(packBlock(image, 2045), zero2045);
    EXPECT_EQ(packBlock(image, 2044), Block{});

    for (int p = 0; p < 48; ++p) {
        image.endScene[p] = static_cast<std::uint8_t>(p + 1);
        image.speedSync[p] = static_cast<std::uint8_t>(100 + p);
        image.fade[p] = static_cast<std::uint8_t>(200 + p);
    }
    image.specialButtonsMode = 0x0305;
    image.slowMode = 0xFFFF;
    image.strobeScene = kNoScene;
    image.fogScene = 0x0102;
    image.extraScene = 7;
    image.cues[0][0] = 9;
    image.cues[2][15] = kEmptyCue;

    const Block b44 = packBlock(image, 2044);
    EXPECT_EQ(b44[0], 1);
    EXPECT_EQ(b44[47], 48);
    EXPECT_EQ(b44[48], 100);
    EXPECT_EQ(b44[96], 200);
    EXPECT_EQ(b44[127], 231);  // fade of programme 32

    const Block b45 = packBlock(image, 2045);
    EXPECT_EQ(b45[0], 232);  // fade of programme 33
    EXPECT_EQ(b45[15], 247);
    EXPECT_EQ(b45[16], 0x05);  // low byte of the special buttons mode only
    EXPECT_EQ(b45[17], 1);     // slow mode on
    EXPECT_EQ(b45[18], 0xFF);
    EXPECT_EQ(b45[19], 0xFF);
    EXPECT_EQ(b45[20], 0x02);
    EXPECT_EQ(b45[21], 0x01);
    EXPECT_EQ(b45[22], 7);
    EXPECT_EQ(b45[32], 9);
    EXPECT_EQ(b45[79], kEmptyCue);

    // Storing: any non-zero slow byte is "on"; the mode byte is zero-extended;
    // the reserved bytes change nothing.
    Block read = b45;
    read[17] = 2;
    read[24] = 0x00;
    read[100] = 0x12;
    ControllerImage back;
    storeBlock(back, 2045, read);
    EXPECT_EQ(back.slowMode, 0xFFFF);
    EXPECT_EQ(back.specialButtonsMode, 0x05);
    EXPECT_EQ(back.strobeScene, kNoScene);
    EXPECT_EQ(back.fogScene, 0x0102);
    EXPECT_EQ(back.cues[2][15], kEmptyCue);
    read[17] = 0;
    storeBlock(back, 2045, read);
    EXPECT_EQ(back.slowMode, 0);
}

TEST(BlockMap, RangesAndRegions) {
    EXPECT_EQ(blockRangeOf(0, 1021).first, 0u);
    EXPECT_EQ(blockRangeOf(0, 1021).last, 2043u);
    EXPECT_EQ(blockRangeOf(10, 10).first, 20u);
    EXPECT_EQ(blockRangeOf(10, 10).last, 21u);
    EXPECT_EQ(blockRangeOf(Region::Settings).first, 2044u);
    EXPECT_EQ(blockRangeOf(Region::Settings).last, 2045u);
    EXPECT_EQ(blockRangeOf(Region::Midi).first, 2046u);
    EXPECT_EQ(blockRangeOf(Region::Midi).last, 2047u);
    EXPECT_EQ(blockRangeOf(0, kMidiPseudoScene).last, 2047u);
    EXPECT_EQ(regionOfBlock(2043), Region::Scenes);
    EXPECT_EQ(regionOfBlock(2044), Region::Settings);
    EXPECT_EQ(regionOfBlock(2045), Region::Settings);
    EXPECT_EQ(regionOfBlock(2046), Region::Midi);
}

}  // namespace
}  // namespace velora
