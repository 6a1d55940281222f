#include <gtest/gtest.h>

#include <memory>

#include "image/compare.h"
#include "tests/support/scripted_ui.h"

namespace velora {
namespace {

using testing::ScriptedUi;

struct Compare : ::testing::Test {
    std::unique_ptr<ControllerImage> image = std::make_unique<ControllerImage>();
    ScriptedUi ui;
    bool clean = true;

    CompareResult run(std::uint32_t block, const Block& read) {
        return compareBlock(*image, block, read, ui, clean);
    }
    void expectFault(const std::string& text, Answer answer = Answer::Yes) {
        ui.expectMessage(text, "Fault", Icon::Warning, Buttons::YesNo, answer);
    }
};

TEST_F(Compare, EqualBlocksShowNothing) {
    image->scenes[3][7] = 9;
    image->midi[5] = 0x1234;
    image->strobeScene = kNoScene;
    for (std::uint32_t b = 0; b < kBlocks; ++b)
        EXPECT_EQ(run(b, packBlock(*image, b)), CompareResult::Continue);
    EXPECT_TRUE(clean);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(Compare, SceneAndMidiMessagesNameTheChannelAndKey) {
    Block read{};
    read[5] = 255;
    expectFault("Veryfication error : scene 2 kanał 134\n ( 0 <> 255 )\nContinue checking ?");
    EXPECT_EQ(run(3, read), CompareResult::Continue);
    EXPECT_FALSE(clean);

    image->midi[70] = 0x1005;
    Block midi = packBlock(*image, 2047);
    midi[2 * 6 + 1] = 0x00;  // key 70 reads 0x0005
    expectFault("Veryfication error : kanał MIDI 70\n ( 1005 <> 5 )\nContinue checking ?");
    EXPECT_EQ(run(2047, midi), CompareResult::Continue);

    // Keys of the first MIDI block are numbered from 0, of the second from 64.
    Block first = packBlock(*image, 2046);
    first[2 * 3] = 0xAB;
    expectFault("Veryfication error : kanał MIDI 3\n ( 0 <> ab )\nContinue checking ?");
    EXPECT_EQ(run(2046, first), CompareResult::Continue);
}

TEST_F(Compare, SettingsMessagesInWireOrder) {
    Block b44{};
    b44[0] = 3;        // end scene of programme 1
    b44[48 + 47] = 7;  // speed of programme 48
    b44[96 + 31] = 1;  // fade of programme 32
    expectFault("End of programm veryfication error : programm 1\n ( 3 <> 0 )\nContinue checking ?");
    expectFault("Speed & sync veryfication error : programm 48\n ( 7 <> 0 )\nContinue checking ?");
    expectFault("Fading veryfication error : programm 32\n ( 1 <> 0 )\nContinue checking ?");
    EXPECT_EQ(run(2044, b44), CompareResult::Continue);

    image->fade[32] = 4;
    image->specialButtonsMode = 0x100;  // above 255: always differs from the byte
    image->slowMode = 0xFFFF;
    image->strobeScene = kNoScene;
    image->cues[1][4] = 3;
    Block b45 = packBlock(*image, 2045);
    b45[0] = 5;
    b45[17] = 0;
    b45[18] = b45[19] = 0;
    b45[32 + 16 + 4] = 4;
    for (int i = 80; i < 128; ++i) b45[i] = 0;  // reserved bytes are never compared
    b45[24] = 0;
    expectFault("Fading veryfication error : programm 33\n ( 5 <> 4 )\nContinue checking ?");
    expectFault("Special buttons mode veryfication error \n ( 0 <> 256 )\nContinue checking ?");
    expectFault("Slow mode veryfication error \n ( 0 <> 1 )\nContinue checking ?");
    expectFault("STROBE scene veryfication error \n ( 1 <> 65536 )\nContinue checking ?");
    expectFault("Cue veryfication error : cue no. 5 obszar 2:\n\t5 <> 4 \nContinue checkin ?");
    EXPECT_EQ(run(2045, b45), CompareResult::Continue);
}

TEST_F(Compare, SlowModeCountsAnyNonZeroAsOnAndEmptyCueShowsAs256) {
    image->slowMode = 0xFFFF;
    Block b45 = packBlock(*image, 2045);
    b45[17] = 1;
    EXPECT_EQ(run(2045, b45), CompareResult::Continue);
    EXPECT_TRUE(clean);

    image->cues[0][0] = kEmptyCue;
    b45 = packBlock(*image, 2045);
    b45[32] = 0;
    b45[20] = 0xFF;  // FOG reads as "no scene"
    b45[21] = 0xFF;
    b45[23] = 0x01;  // EXTRA reads as scene 256 (high byte 1)
    expectFault("FOG scene veryfication error \n ( 65536 <> 1 )\nContinue checking ?");
    expectFault("EXTRA scene veryfication error \n ( 257 <> 1 )\nContinue checking ?");
    expectFault("Cue veryfication error : cue no. 1 obszar 1:\n\t1 <> 256 \nContinue checkin ?");
    run(2045, b45);
}

TEST_F(Compare, NoEndsTheComparisonAtOnce) {
    Block read{};
    read[0] = 1;
    read[1] = 2;
    expectFault("Veryfication error : scene 1 kanał 1\n ( 0 <> 1 )\nContinue checking ?", Answer::No);
    EXPECT_EQ(run(0, read), CompareResult::EndRun);
    EXPECT_EQ(ui.messages().size(), 1u);  // channel 2 was never compared
    EXPECT_FALSE(clean);
}

}  // namespace
}  // namespace velora
