// The transfer engine on the virtual-time line against the emulated
// controller: whole runs, every failure path, the bytes on the wire and the
// sequence of messages.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>

#include "emulator/demo_show.h"
#include "engine/engine.h"
#include "engine/engine_texts.h"
#include "files/data_files.h"
#include "shell/file_commands.h"
#include "shell/menu_model.h"
#include "tests/support/engine_rig.h"

namespace velora {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Engine : public testing::EngineRig {
  protected:
    ControllerImage* image = &app.image();

    void SetUp() override {
        EngineRig::SetUp();
        ui.onMessage([this] { clock.advance(std::chrono::milliseconds(300)); });  // a person reads it
        app.filledBlocks().markAll();  // the image stands for a show: writing it asks nothing
    }

    // Ticks until the run's first frame is on its way (the line falls quiet first).
    void sendFirstFrame() {
        tickUntil([&] { return engine.state() == TransferState::AwaitWrite; });
    }

    void start(Action action, Region region) { engine.startRun(region, action); }
    void expectFault(const std::string& text, Buttons buttons, Answer answer, Icon icon = Icon::Warning) {
        ui.expectMessage(text, "Fault", icon, buttons, answer);
    }
};

Bytes readRequest(std::uint32_t block) {
    FrameBuffer b{};
    const std::size_t n = buildBlockRequest(b, false, kTypeMemory, block, 128);
    return Bytes(b.begin(), b.begin() + static_cast<long>(n));
}

TEST_F(Engine, SceneReadSendsTheRangeAndStoresIt) {
    loadDemoShow(controller);
    ui.expectSceneRange(0, 0);
    start(Action::ReadController, Region::Scenes);
    runToIdle();
    EXPECT_EQ(sent(), (std::vector<Bytes>{readRequest(0), readRequest(1)}));
    EXPECT_TRUE(std::equal(image->scenes[0].begin(), image->scenes[0].end(), controller.block(0).begin()));
    EXPECT_EQ(ui.progressHistory(), (std::vector<int>{50}));
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);
    EXPECT_EQ(ui.entryEnabled(kRepeatEntry), true);
    EXPECT_EQ(ui.entryEnabled(kStopEntry), false);
    EXPECT_EQ(ui.status(1), "\tScenes");
    EXPECT_EQ(app.statusText(2), "\tReady");
    EXPECT_EQ(image->scenes[1], (std::array<std::uint8_t, 256>{}));  // outside the range: untouched

    // The progress formula in whole numbers: scenes 10..19, after the fifth block 25.
    ui.clearEvents();
    ui.expectSceneRange(10, 19);
    start(Action::ReadController, Region::Scenes);
    runToIdle();
    const auto progress = ui.progressHistory();
    ASSERT_EQ(progress.size(), 19u);
    EXPECT_EQ(progress[4], 25);
    EXPECT_EQ(sent().back(), readRequest(39));
}

TEST_F(Engine, ABlockListReadFillsASecondImageAndLeavesTheProgramsAlone) {
    loadDemoShow(controller);
    const auto before = std::make_unique<ControllerImage>(*image);
    const auto held = std::make_unique<ControllerImage>();
    const std::vector<std::uint32_t> blocks{3, 8, 2045, 2047};
    engine.startBlockRun(blocks, Action::ReadController, held.get());  // no range dialog
    runToIdle();
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);
    EXPECT_EQ(sent(),
              (std::vector<Bytes>{readRequest(3), readRequest(8), readRequest(2045), readRequest(2047)}));
    for (std::uint32_t b : blocks) {
        const Block got = packBlock(*held, b);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), controller.block(b).begin())) << b;
    }
    EXPECT_EQ(image->scenes, before->scenes);
    EXPECT_EQ(image->midi, before->midi);
    EXPECT_EQ(events.moved, blocks);
    EXPECT_EQ(ui.progressHistory(), (std::vector<int>{25, 50, 75}));
    // Not what "&Repeat" repeats.
    EXPECT_EQ(events.repeat, false);
    EXPECT_FALSE(engine.repeat());
}

TEST_F(Engine, RangeIsClampedBeforeTheDialogAndCancelSendsNothing) {
    engine.setSceneRange(1500, 2000);
    ui.expectSceneRangeCancelled();
    start(Action::ReadController, Region::Scenes);
    EXPECT_TRUE(engine.idle());
    EXPECT_EQ(engine.sceneRange(), (std::pair<std::uint32_t, std::uint32_t>{0, 1021}));
    EXPECT_TRUE(sent().empty());
}

TEST_F(Engine, AllPassesEveryBlockAndEveryRegion) {
    loadDemoShow(controller);
    engine.startAll(Action::ReadController);
    runToIdle();
    const auto frames = sent();
    ASSERT_EQ(frames.size(), 2048u);
    EXPECT_EQ(frames[2044], readRequest(2044));
    EXPECT_EQ(frames[2047], readRequest(2047));
    // Region texts follow the blocks: each frame sets part 1.
    std::vector<std::string> regions;
    for (const auto& e : ui.events())
        if (e.kind == testing::UiEvent::Status && e.index == 1 &&
            (regions.empty() || regions.back() != e.text))
            regions.push_back(e.text);
    EXPECT_EQ(regions, (std::vector<std::string>{"\tScenes", "\tSettings", "\tMIDI"}));
    auto expected = std::make_unique<ControllerImage>();
    controller.storeInto(*expected);
    EXPECT_EQ(image->scenes, expected->scenes);
    EXPECT_EQ(image->midi, expected->midi);
    EXPECT_EQ(image->cues, expected->cues);
    EXPECT_FALSE(engine.wholeImageRun());  // lives for one run only
    // About the line limit of 2048 x 140 bytes at 3490.9 bytes/s (82.1 s).
    EXPECT_LT(clock.now().time_since_epoch(), std::chrono::seconds(1 + 90));

    // The next scene run asks for its range again.
    ui.expectSceneRangeCancelled();
    start(Action::ReadController, Region::Scenes);
    EXPECT_TRUE(engine.idle());
}

TEST_F(Engine, WriteThenVerifyCleanThenWithADifference) {
    fillDemoShow(*image);
    start(Action::WriteController, Region::Settings);
    runToIdle();
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0].size(), 134u);
    EXPECT_EQ(sent()[0][0], kCodeWrite);
    EXPECT_EQ(controller.block(2045)[16], packBlock(*image, 2045)[16]);
    EXPECT_EQ(ui.progressHistory(), (std::vector<int>{50}));  // a write never shows 100

    ui.expectMessage("Veryfication successfully finished !", "Sukces !", Icon::Information, Buttons::Ok);
    start(Action::Verify, Region::Settings);
    runToIdle();

    // A difference in each block: the summary lists both in the words of
    // the differences between two shows, with their count.
    image->fade[0] = static_cast<std::uint8_t>(image->fade[0] + 1);
    const unsigned held = image->fade[0], read = controller.block(2044)[96];
    ui.expectMessage("Fading veryfication error : programm 1\n ( " + std::to_string(read) + " <> " +
                         std::to_string(held) + " )\nContinue checking ?",
                     "Fault", Icon::Warning, Buttons::YesNo, Answer::Yes);
    const std::uint8_t cueHeld = image->cues[1][4];
    image->cues[1][4] = 7;  // programme 8 where the controller holds another
    ui.expectMessage("Cue veryfication error : cue no. 5 obszar 2:\n\t" + std::to_string(cueHeld + 1) +
                         " <> 8 \nContinue checkin ?",
                     "Fault", Icon::Warning, Buttons::YesNo, Answer::Yes);
    ui.expectMessage("Veryfication finished with warnings !", "Sukces ?", Icon::Information, Buttons::Ok);
    start(Action::Verify, Region::Settings);
    runToIdle();
    EXPECT_FALSE(engine.lastVerificationClean());
    const auto summary =
        *std::find_if(ui.events().rbegin(), ui.events().rend(),
                      [](const testing::UiEvent& e) { return e.kind == testing::UiEvent::Message; });
    EXPECT_EQ(summary.reason, "2 differences");
    EXPECT_EQ(summary.detailed, "Fading programm 1: " + std::to_string(held) + " <> " + std::to_string(read) +
                                    "\nCue no. 5 obszar 2: 8 <> " +
                                    (cueHeld == 255 ? std::string("empty") : std::to_string(cueHeld + 1)));

    // Repeated once the image agrees again, it ends clean.
    image->fade[0] = static_cast<std::uint8_t>(image->fade[0] - 1);
    image->cues[1][4] = cueHeld;
    ui.expectMessage("Veryfication successfully finished !", "Sukces !", Icon::Information, Buttons::Ok);
    engine.repeat();
    runToIdle();

    // No at a difference ends the run at once, without a summary.
    image->fade[1] = static_cast<std::uint8_t>(image->fade[1] + 1);
    image->fade[2] = static_cast<std::uint8_t>(image->fade[2] + 1);
    ui.clearEvents();
    ui.answerUnscriptedWith(Answer::No);
    start(Action::Verify, Region::Settings);
    runToIdle();
    EXPECT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(engine.outcome(), RunOutcome::Stopped);
}

// The changes are what differs from the show as it last was in step: each
// way of getting in step takes the image's blocks as they are then; a read
// into a second image is none of them.
TEST_F(Engine, TheChangesCountFromTheLastTimeEachBlockWasInStep) {
    loadDemoShow(controller);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velora-step-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "step.K5m").string();
    auto second = std::make_unique<ControllerImage>();
    const auto blockRun = [&](Action action, ControllerImage* into = nullptr) {
        engine.startBlockRun({2046}, action, into);
        runToIdle();
    };
    struct Way {
        const char* name;
        std::function<void()> run;
        std::size_t changesLeft;
    };
    const std::vector<Way> ways{
        {"read from the controller", [&] { blockRun(Action::ReadController); }, 0},
        {"written and acknowledged", [&] { blockRun(Action::WriteController); }, 0},
        {"saved to a file",
         [&] {
             ui.expectSaveFile(file);
             runFileCommand(app, Region::Midi, Action::FileWrite, false);
         },
         0},
        {"loaded from a file that holds another show",
         [&] {
             auto other = std::make_unique<ControllerImage>(*image);
             other->midi[9] ^= 0x0003;
             std::ofstream out(file, std::ios::binary);
             writeDataFile(out, *other, Region::Midi);
             out.close();
             ui.expectOpenFile(file);
             runFileCommand(app, Region::Midi, Action::FileRead, false);
         },
         0},
        {"read into a second image", [&] { blockRun(Action::ReadController, second.get()); }, 1},
    };
    for (const Way& way : ways) {
        app.runEditor([&] { image->midi[5] ^= 0x0100; });  // key 5's scene
        EXPECT_EQ(app.changeCount(), 1u) << way.name;      // the editor's Accept counts at once
        way.run();
        EXPECT_EQ(app.changeCount(), way.changesLeft) << way.name;
        EXPECT_EQ(app.changes().count(), way.changesLeft) << way.name;
    }
    std::filesystem::remove_all(dir);
}

TEST_F(Engine, UnacknowledgedWriteRetriesTheSameFrame) {
    controller.faults().add("nak@2");
    controller.faults().add("garbage@3");
    expectFault("Communication error : NAK", Buttons::RetryCancel, Answer::Retry);
    expectFault("Communication error : NAK", Buttons::RetryCancel, Answer::Cancel);
    start(Action::WriteController, Region::Midi);
    runToIdle();
    const auto frames = sent();
    ASSERT_EQ(frames.size(), 3u);  // block 2046, 2047 (refused), 2047 again (garbage) -> Cancel
    EXPECT_EQ(frames[1], frames[2]);
    EXPECT_EQ(frames[1][2], 0xFF);  // block 2047
    EXPECT_EQ(engine.outcome(), RunOutcome::Failed);
    EXPECT_EQ(ui.entryEnabled(kStopEntry), false);
}

TEST_F(Engine, EveryBadDataReplyIsNamedAndRetried) {
    // Frame numbers count every request the controller took in.
    controller.faults().add("checksum@1");
    controller.faults().add("short@2");
    controller.faults().add("address@3");
    controller.faults().add("silence@4");
    controller.faults().add("nak@5");
    controller.faults().add("extra@6");
    expectFault("Communication error : checksum = 1", Buttons::RetryCancel, Answer::Retry);
    expectFault("Communication error : no data : 67", Buttons::RetryCancel, Answer::Retry);
    expectFault("Communication error : return adress 2047", Buttons::RetryCancel, Answer::Retry);
    expectFault("Communication error : no data : 0", Buttons::RetryCancel, Answer::Retry);
    expectFault("Communication error : NAK", Buttons::RetryCancel, Answer::Retry);
    // The spare acknowledgement after the sixth reply runs into block 2047's
    // reply: the count check catches it, and the purges clear the line.
    expectFault("Communication error : no data : 134", Buttons::RetryCancel, Answer::Retry);
    start(Action::ReadController, Region::Midi);
    runToIdle();
    const auto frames = sent();
    ASSERT_EQ(frames.size(), 8u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(frames[static_cast<std::size_t>(i)], readRequest(2046));
    EXPECT_EQ(frames[6], readRequest(2047));
    EXPECT_EQ(frames[7], readRequest(2047));
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);
}

TEST_F(Engine, LateAcknowledgementIsNeverTakenForALaterOne) {
    // The acknowledgement of the first block comes after its read (6 x 120 ms)
    // has given up, and lands in the middle of a later exchange.
    controller.faults().add("delay@1:ms=1000");
    fillDemoShow(*image);
    ui.answerUnscriptedWith(Answer::Retry);
    start(Action::WriteController, Region::Settings);
    runToIdle();
    const auto shown = ui.messages();
    ASSERT_FALSE(shown.empty());
    for (const auto& m : shown) EXPECT_EQ(m.text, "Communication error : NAK");
    EXPECT_EQ(sent().size(), 2 + shown.size());
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);
    for (std::uint32_t b : {2044u, 2045u}) {
        const Block packed = packBlock(*image, b);
        EXPECT_TRUE(std::equal(packed.begin(), packed.end(), controller.block(b).begin()));
    }
}

TEST_F(Engine, WrongKindOfReplyIsAProtocolError) {
    controller.faults().add("type@1");
    ui.expectMessage("Protocol error", "Fault", Icon::Warning, Buttons::Ok);
    start(Action::ReadController, Region::Settings);
    runToIdle();
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_EQ(engine.outcome(), RunOutcome::Failed);
}

TEST_F(Engine, ADroppedLineEndsTheRunWithTheErrorNumber) {
    controller.faults().add("drop@3");
    expectFault("Error code : 5", Buttons::Ok, Answer::Ok, Icon::Error);
    engine.startAll(Action::ReadController);
    runToIdle();
    EXPECT_EQ(engine.outcome(), RunOutcome::Failed);
    EXPECT_FALSE(engine.wholeImageRun());
    EXPECT_EQ(ui.entryEnabled(kStopEntry), false);
    // The program stays usable: a new port can be chosen.
    ports.addController("COM2");
    link.setPortTable({"COM1", "COM2"});
    bool asked = false;
    link.setVersionQueryHook([&] { asked = true; });
    link.choosePort(1);
    EXPECT_TRUE(link.isOpen());
    EXPECT_TRUE(asked);
}

TEST_F(Engine, VersionQueryRebuildsTheFirmwareText) {
    controller.setVersion({1, 5, 0});
    engine.startVersionQuery();
    runToIdle();
    EXPECT_EQ(sent().back(), (Bytes{0x12, 0x03, 0xEB}));
    EXPECT_EQ(ui.status(0), "\tFW : 1.05");
    EXPECT_EQ(ui.progress(), 100);
    EXPECT_TRUE(app.pumpTarget().takeProgressReset());
    EXPECT_FALSE(app.pumpTarget().takeProgressReset());

    EXPECT_EQ(firmwareTextOf(1, 5, 'b'), "\tFW : 1.05b");
    EXPECT_EQ(firmwareTextOf(12, 5, 0), "\tFW : ?.??X");
    EXPECT_EQ(firmwareTextOf(12, 5, 0x41), "\tFW : ?.??A");
    EXPECT_EQ(firmwareTextOf(2, 150, 0), "\tFW : 2.??X");
    EXPECT_EQ(firmwareTextOf(2, 150, 'z'), "\tFW : 2.??z");
    EXPECT_EQ(firmwareTextOf(0, 7, '1'), "\tFW : 0.07");  // not a letter: ignored
}

TEST_F(Engine, StopRestartAndStaleTicks) {
    ui.expectSceneRange(0, 1021);
    start(Action::ReadController, Region::Scenes);
    for (int i = 0; i < 20; ++i) {
        engine.tick(engine.state());
        if (engine.waitingOnLine()) link.device()->wait(std::chrono::seconds(1));
    }
    // A tick posted for a state that has changed since does nothing.
    const TransferState now = engine.state();
    const auto framesBefore = sent().size();
    engine.tick(now == TransferState::SendFrame ? TransferState::AwaitReply : TransferState::SendFrame);
    EXPECT_EQ(engine.state(), now);
    EXPECT_EQ(sent().size(), framesBefore);

    // Restart abandons the read: the restart frame goes out, no reply is read.
    engine.restart();
    runToIdle();
    EXPECT_EQ(sent().back(), (Bytes{0x0F, 0x03, 0xEE}));
    EXPECT_EQ(controller.counters().restarts, 1u);
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);

    // Stop, also while idle: purges and greys "&Stop".
    ui.expectSceneRange(0, 1021);
    start(Action::ReadController, Region::Scenes);
    engine.tick(engine.state());
    engine.stop();
    EXPECT_TRUE(engine.idle());
    EXPECT_EQ(engine.outcome(), RunOutcome::Stopped);
    engine.stop();
    EXPECT_EQ(ui.entryEnabled(kStopEntry), false);
}

TEST_F(Engine, TheTailOfAStoppedReplyIsNotTakenForTheNextRunsReply) {
    ui.expectSceneRange(0, 1021);
    start(Action::ReadController, Region::Scenes);
    sendFirstFrame();
    for (int i = 0; i < 10 && engine.state() != TransferState::AwaitReply; ++i) engine.tick(engine.state());
    ASSERT_EQ(engine.state(), TransferState::AwaitReply);
    clock.advance(std::chrono::milliseconds(20));  // half a reply has come in
    engine.tick(engine.state());
    engine.stop();
    // The next run starts at once, while the rest of the reply is still
    // arriving; so does a second one (the version query).
    start(Action::ReadController, Region::Settings);
    runToIdle();  // no "Communication error" on the way
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);
    EXPECT_TRUE(std::equal(image->fade.begin() + 32, image->fade.end(), controller.block(2045).begin()));
}

TEST_F(Engine, EveryWayARunEndsRefreshesTheStatusAtOnce) {
    struct Case {
        const char* name;
        std::function<void()> run;
        RunOutcome outcome;
    };
    const std::vector<Case> cases{
        {"read failed",
         [&] {
             controller.faults().add("drop@" + std::to_string(controller.counters().frames + 1));
             expectFault("Error code : 5", Buttons::Ok, Answer::Ok, Icon::Error);
             start(Action::ReadController, Region::Midi);
         },
         RunOutcome::Failed},
        {"not acknowledged, cancelled",
         [&] {
             controller.faults().add("nak@" + std::to_string(controller.counters().frames + 1));
             expectFault("Communication error : NAK", Buttons::RetryCancel, Answer::Cancel);
             start(Action::WriteController, Region::Midi);
         },
         RunOutcome::Failed},
        {"protocol error",
         [&] {
             controller.faults().add("type@" + std::to_string(controller.counters().frames + 1));
             expectFault("Protocol error", Buttons::Ok, Answer::Ok);
             start(Action::ReadController, Region::Midi);
         },
         RunOutcome::Failed},
        {"read completed", [&] { start(Action::ReadController, Region::Midi); }, RunOutcome::Completed},
    };
    for (const Case& c : cases) {
        ui.clearEvents();
        events.ends.clear();
        c.run();
        runToIdle();
        if (c.outcome == RunOutcome::Failed) {  // a line that went away comes back for the next case
            controller.faults().clear();
            controller.reconnect();
            if (!link.isOpen()) {
                ASSERT_EQ(link.openPort(true), SerialLink::kOpened);
            }
        }
        EXPECT_EQ(events.ends, std::vector<RunOutcome>{c.outcome}) << c.name;
        ASSERT_FALSE(ui.events().empty());
        EXPECT_EQ(ui.events().back().kind, testing::UiEvent::Repaint) << c.name;
        EXPECT_EQ(app.statusText(2), "\tReady") << c.name;
        EXPECT_EQ(ui.entryEnabled(kStopEntry), false) << c.name;
    }
}

TEST_F(Engine, ALineThatWentAwayIsOpenedAgainByTheNextCommand) {
    controller.faults().add("drop@2");
    expectFault("Error code : 5", Buttons::Ok, Answer::Ok, Icon::Error);
    start(Action::ReadController, Region::Midi);
    runToIdle();
    EXPECT_FALSE(link.isOpen());
    ASSERT_EQ(events.faults.size(), 1u);
    EXPECT_EQ(events.faults[0].kind, LineFault::ReadFailed);
    EXPECT_EQ(events.faults[0].error, EIO);

    // Still unplugged: the next command says it cannot open the port.
    ui.expectMessage("Comm open error !", "Warning", Icon::Warning, Buttons::Ok);
    start(Action::ReadController, Region::Midi);
    EXPECT_TRUE(engine.idle());
    EXPECT_EQ(events.faults.back().kind, LineFault::PortLost);

    // Plugged in again under the same name: the command opens it silently.
    controller.faults().clear();
    controller.reconnect();
    start(Action::ReadController, Region::Midi);
    runToIdle();
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);
    EXPECT_EQ(ui.portChecked(1), true);
    EXPECT_EQ(ports.openAttempts(), (std::vector<std::string>{"COM1", "COM1", "COM1"}));
}

TEST_F(Engine, AReadThatStoppedEarlyIsMarkedUntilThatStretchIsReadAgain) {
    ui.expectSceneRange(0, 1021);
    start(Action::ReadController, Region::Scenes);
    for (int i = 0; i < 200 && engine.currentBlock() < 7; ++i) {
        engine.tick(engine.state());
        if (engine.waitingOnLine()) link.device()->wait(std::chrono::milliseconds(50));
    }
    engine.stop();
    ASSERT_TRUE(engine.incompleteRead(Region::Scenes));
    EXPECT_EQ(engine.incompleteRead(Region::Scenes)->stoppedAt, 7u);
    EXPECT_EQ(engine.incompleteRead(Region::Scenes)->lastBlock, 2043u);
    EXPECT_FALSE(engine.incompleteRead(Region::Settings));

    // A complete read of another stretch leaves the mark; one from the
    // stopping point to the end clears it.
    ui.expectSceneRange(0, 2);
    start(Action::ReadController, Region::Scenes);
    runToIdle();
    EXPECT_TRUE(engine.incompleteRead(Region::Scenes));
    ui.expectSceneRange(3, 1021);
    start(Action::ReadController, Region::Scenes);
    runToIdle();
    EXPECT_FALSE(engine.incompleteRead(Region::Scenes));

    // "&All" stopped in the settings: the scenes were read whole, the
    // settings stopped, the MIDI assignments were not reached: marked too.
    controller.faults().add("silence@" + std::to_string(controller.counters().frames + 2046) + "-");
    ui.answerUnscriptedWith(Answer::Cancel);
    engine.startAll(Action::ReadController);
    runToIdle();
    EXPECT_FALSE(engine.incompleteRead(Region::Scenes));
    ASSERT_TRUE(engine.incompleteRead(Region::Settings));
    EXPECT_EQ(engine.incompleteRead(Region::Settings)->stoppedAt, 2045u);
    ASSERT_TRUE(engine.incompleteRead(Region::Midi));
    EXPECT_EQ(engine.incompleteRead(Region::Midi)->stoppedAt, 2046u);
}

TEST_F(Engine, WithoutAPortTransfersAreRefusedAndRestartReportsTheWrite) {
    link.close();
    ui.expectMessage("You have to choise an accessible comm port !", "Warning", Icon::Warning, Buttons::Ok);
    engine.startAll(Action::ReadController);
    EXPECT_TRUE(engine.idle());
    EXPECT_FALSE(engine.wholeImageRun());

    expectFault("Error code : " + std::to_string(EBADF), Buttons::Ok, Answer::Ok, Icon::Error);
    engine.restart();
    runToIdle();
    EXPECT_EQ(engine.outcome(), RunOutcome::Failed);
}

TEST_F(Engine, TransferCommandsAreIgnoredWhileARunGoesOn) {
    start(Action::ReadController, Region::Midi);
    sendFirstFrame();
    const auto frames = sent().size();
    engine.startRun(Region::Settings, Action::WriteController);
    engine.startAll(Action::WriteController);
    engine.repeat();
    EXPECT_EQ(engine.region(), Region::Midi);
    EXPECT_FALSE(engine.wholeImageRun());
    runToIdle();
    EXPECT_EQ(sent().size(), frames + 1);
}

TEST_F(Engine, AbandonedAllRunDoesNotLeaveTheWholeImageFlagBehind) {
    // Restart, and a port chosen again, take over a running "&All" run; the
    // next "&Scenes" must ask for its range, not run over the whole image.
    // (What the line does with a frame cut short is not the point here.)
    ui.answerUnscriptedWith(Answer::Cancel);
    engine.startAll(Action::WriteController);
    for (int i = 0; i < 6; ++i) engine.tick(engine.state());
    engine.restart();
    runToIdle();
    ui.expectSceneRangeCancelled();
    engine.startRun(Region::Scenes, Action::WriteController);
    EXPECT_TRUE(engine.idle());

    engine.startAll(Action::WriteController);
    engine.tick(engine.state());
    engine.startVersionQuery();
    runToIdle();
    EXPECT_FALSE(engine.wholeImageRun());
}

TEST_F(Engine, RepeatAfterAllGoesOverEveryBlockWithoutADialog) {
    engine.startAll(Action::ReadController);
    runToIdle();
    const auto before = sent().size();
    engine.repeat();
    EXPECT_EQ(engine.action(), Action::ReadController);
    runToIdle();
    EXPECT_EQ(sent().size() - before, 2048u);
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);
}

TEST_F(Engine, RepeatRefusesWhatIsNotAMemoryRunOnTheLine) {
    engine.startVersionQuery();
    runToIdle();
    const auto before = sent().size();
    EXPECT_FALSE(engine.repeat()) << "no memory run yet";
    start(Action::FileWrite, Region::Midi);
    EXPECT_FALSE(engine.repeat()) << "a data-file action is not the engine's";
    EXPECT_TRUE(engine.idle());
    EXPECT_EQ(sent().size(), before);
}

TEST_F(Engine, VerificationEndsWithTheSummaryThenGreysStop) {
    ui.expectMessage("Veryfication successfully finished !", "Sukces !", Icon::Information, Buttons::Ok);
    start(Action::Verify, Region::Midi);
    runToIdle();
    std::vector<testing::UiEvent::Kind> tail;
    for (const auto& e : ui.events())
        if (e.kind == testing::UiEvent::Message || e.kind == testing::UiEvent::Repaint ||
            (e.kind == testing::UiEvent::Entry && e.index == kStopEntry && !e.flag))
            tail.push_back(e.kind);
    ASSERT_GE(tail.size(), 3u);
    EXPECT_EQ(std::vector<testing::UiEvent::Kind>(tail.end() - 3, tail.end()),
              (std::vector<testing::UiEvent::Kind>{testing::UiEvent::Message, testing::UiEvent::Entry,
                                                   testing::UiEvent::Repaint}));
}

TEST_F(Engine, VersionReplyOfTheWrongKindKeepsTheFirmwareText) {
    controller.faults().add("type@1");
    ui.expectMessage("Protocol error", "Fault", Icon::Warning, Buttons::Ok);
    engine.startVersionQuery();
    runToIdle();
    EXPECT_EQ(engine.firmwareText(), "\tFW : N/A");
    EXPECT_EQ(ui.progress(), 0);
    // After a scene run the version reply, whose address is 0, is accepted.
    ui.expectSceneRange(5, 5);
    start(Action::ReadController, Region::Scenes);
    runToIdle();
    engine.startVersionQuery();
    runToIdle();
    EXPECT_EQ(engine.firmwareText(), "\tFW : 1.05b");
}

// A program just started: nothing read, loaded or edited yet.
class FreshProgram : public testing::EngineRig {
  protected:
    void expectWriteQuestion(const std::string& what, Answer answer) {
        ui.expectMessage(what +
                             " were never read, loaded or edited since the program started !\n"
                             "The controller's copy will be replaced by empty ones.\nWrite anyway ?",
                         "Warning", Icon::Question, Buttons::YesNo, answer, Answer::No);
    }
    void expectSaveQuestion(const std::string& text, Answer answer) {
        ui.expectMessage(text, "Warning", Icon::Question, Buttons::YesNo, answer, Answer::No);
    }
};

TEST_F(FreshProgram, WritingBlocksNeverFilledAsksFirstWithNoTheDefault) {
    // "Se&ttings" at once: No writes nothing.
    expectWriteQuestion("Settings", Answer::No);
    engine.startRun(Region::Settings, Action::WriteController);
    EXPECT_TRUE(engine.idle());
    EXPECT_EQ(engine.outcome(), RunOutcome::Stopped);
    EXPECT_TRUE(sent().empty());

    // Scene range reads fill only their blocks: scenes 1/1-1/2 and 1/4.
    for (std::uint32_t first : {0u, 3u}) {
        ui.expectSceneRange(first, first == 0 ? 1 : 3);
        engine.startRun(Region::Scenes, Action::ReadController);
        runToIdle();
    }
    ui.expectSceneRange(0, 1);
    engine.startRun(Region::Scenes, Action::WriteController);
    runToIdle();
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);  // all filled: no question
    const std::size_t frames = sent().size();

    // "&All" asks once, naming everything never filled.
    expectWriteQuestion("Scenes 1/3, 1/5-48/14, Settings and MIDI assignments", Answer::No);
    engine.startAll(Action::WriteController);
    EXPECT_TRUE(engine.idle());
    EXPECT_FALSE(engine.wholeImageRun());

    // A range over a scene never read asks; "&Repeat" of it asks again.
    ui.expectSceneRange(0, 3);
    expectWriteQuestion("Scenes 1/3", Answer::No);
    engine.startRun(Region::Scenes, Action::WriteController);
    EXPECT_TRUE(engine.idle());
    EXPECT_EQ(sent().size(), frames);
    expectWriteQuestion("Scenes 1/3", Answer::Yes);
    engine.repeat();
    runToIdle();
    EXPECT_EQ(sent().size(), frames + 8);
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);

    // A list of blocks names only what of its own blocks was never filled.
    expectWriteQuestion("Scenes 1/3, 1/5 and MIDI assignments", Answer::Yes);
    events.moved.clear();
    engine.startBlockRun({4, 5, 6, 9, 2046}, Action::WriteController);
    runToIdle();
    EXPECT_EQ(events.moved, (std::vector<std::uint32_t>{4, 5, 6, 9, 2046}));
}

TEST_F(FreshProgram, SavingAsksRegionByRegionAfterAnAllReadCutOffInTheScenes) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velora-fresh-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    const auto save = [&](const char* name) { ui.expectSaveFile((dir / name).string()); };

    // Never filled: the MIDI file would hold nothing.
    expectSaveQuestion(
        "MIDI assignments were never read, loaded or edited since the program started !\n"
        "The file will hold empty ones.\nSave it anyway ?",
        Answer::No);
    EXPECT_EQ(runFileCommand(app, Region::Midi, Action::FileWrite, false), RunOutcome::Stopped);

    // "&All" read cut off at block 4: the scenes stopped, the settings and
    // MIDI assignments never reached; each region is asked about in turn.
    controller.faults().add("silence@" + std::to_string(controller.counters().frames + 5) + "-");
    ui.expectMessage("Communication error : no data : 0", "Fault", Icon::Warning, Buttons::RetryCancel,
                     Answer::Cancel);
    engine.startAll(Action::ReadController);
    runToIdle();
    controller.faults().clear();
    expectSaveQuestion(
        "The last read of the scenes from the controller stopped at scene 1/3 !\n"
        "From there on the file will hold what the program had before.\nSave it anyway ?",
        Answer::Yes);
    save("cut.K5s");
    expectSaveQuestion(
        "The last read of the programm settings from the controller stopped at block 2044 !\n"
        "From there on the file will hold what the program had before.\nSave it anyway ?",
        Answer::Yes);
    save("cut.K5p");
    expectSaveQuestion(
        "The last read of the MIDI assignments from the controller stopped at block 2046 !\n"
        "From there on the file will hold what the program had before.\nSave it anyway ?",
        Answer::No);
    EXPECT_EQ(runFileCommand(app, Region::Scenes, Action::FileWrite, true), RunOutcome::Stopped);
    EXPECT_TRUE(std::filesystem::exists(dir / "cut.K5p"));
    EXPECT_FALSE(std::filesystem::exists(dir / "cut.K5m"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velora
