// Start-up steps and command dispatch on the scripted user interface and a
// scripted serial line.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "engine/run_loop.h"
#include "shell/application.h"
#include "shell/commands.h"
#include "shell/shell_texts.h"
#include "shell/sync_command.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/virtual_port_factory.h"

namespace velora {
namespace {

using testing::ManualClock;
using testing::ScriptedUi;
using testing::UiEvent;
using testing::VirtualPortFactory;

class RecordingHost : public ShellHost {
  public:
    bool fileExists(const std::string& path) const override { return existing.count(path) != 0; }
    std::string manualPath() const override { return "/opt/velora/share/velora/manual.html"; }
    bool openHelpFile(const std::string& path) override {
        calls.push_back("help " + path);
        return browser;
    }
    void openWebPage(const std::string& address) override { calls.push_back("web " + address); }
    void closeMainWindow() override { calls.push_back("close"); }
    void runSceneEditor() override { edit("scene editor"); }
    void runSettingsEditor() override { edit("settings editor"); }
    void runMidiEditor() override { edit("midi editor"); }
    bool confirmSyncWrite(const SyncRun& run) override {
        calls.push_back("sync list: " + differenceCount(run.differences().count(), run.differing().size()));
        return writeSync;
    }

    std::set<std::string> existing;
    std::vector<std::string> calls;
    bool browser = true;           // a web browser could be started
    bool writeSync = true;         // the sync's list answered "Write these N blocks"
    std::function<void()> accept;  // what the editor's Accept changes, if anything

  private:
    void edit(const char* editor) {
        calls.push_back(editor);
        if (accept) accept();
    }
};

class ShellTest : public ::testing::Test {
  protected:
    // A controller on COM2 behind a silent COM1. Time moves only while the
    // test runs the engine, so a run stays in progress while the test looks.
    void connect() {
        factory.addSilent("COM1");
        factory.addController("COM2");
        ASSERT_TRUE(app.buildPorts());
        ASSERT_TRUE(app.searchAtStartUp());
    }
    // Lets the run in progress (the version query after the search) end.
    void runToIdle() {
        runUntilIdle(app.engine(), app.link(), clock);
        ui.clearEvents();
    }
    void startSceneRead() {
        commands.highlightActionEntry(2);  // "&Read from controller"
        ui.expectSceneRange(0, 3);
        ASSERT_EQ(commands.dispatch(kCmdScenes), CommandDispatcher::Outcome::Done);
        ASSERT_FALSE(app.engine().idle());
    }

    ManualClock clock;
    VirtualPortFactory factory{clock};
    ScriptedUi ui;
    RecordingHost host;
    Application app{factory, ui, clock};
    CommandDispatcher commands{app, ui, host, "1.2.3"};
};

TEST_F(ShellTest, NoPortAtAllEndsTheProgramBeforeAnyWindow) {
    ui.expectMessage("No comm ports available", "A disaster !", Icon::Warning, Buttons::Ok);
    EXPECT_FALSE(app.buildPorts());
    EXPECT_EQ(kNoPortsExitCode, -1);
}

TEST_F(ShellTest, StartUpSearchFindsTheControllerAndQueriesItsVersion) {
    connect();
    EXPECT_EQ(app.link().currentPort(), 1);
    EXPECT_EQ(ui.portChecked(2), true);
    // The engine was left set for the version query: the first tick sends it.
    EXPECT_EQ(app.engine().state(), TransferState::SendFrame);
    EXPECT_EQ(app.engine().runKind(), RunKind::Version);
    EXPECT_EQ(app.statusText(0), "\tFW : N/A");
}

TEST_F(ShellTest, StartUpSearchWithoutControllerLeavesTheEngineIdle) {
    factory.addSilent("COM1");
    ASSERT_TRUE(app.buildPorts());
    ui.expectMessage(
        "Did not found any controller Velora TR !\nPlug in the device, prepare for communication\n\tand try "
        "again.",
        "We've got a problem :", Icon::Warning, Buttons::Ok);
    EXPECT_FALSE(app.searchAtStartUp());
    EXPECT_EQ(ui.reasons(),
              std::vector<std::string>{"COM1: opened, but nothing answered"});  // under its text
    EXPECT_TRUE(app.engine().idle());
    EXPECT_EQ(app.statusText(0), "\tFW : N/A");
    EXPECT_FALSE(app.link().isOpen());
}

TEST_F(ShellTest, TransferCommandsDuringATransferAreIgnoredQuietly) {
    connect();
    runToIdle();
    startSceneRead();
    const TransferState before = app.engine().state();
    ui.clearEvents();

    for (int command : {kCmdScenes, kCmdSettings, kCmdMidi, kCmdAll, kCmdRepeat, kCmdInstallFirmware,
                        kCmdVerifyFirmware, kCmdMidiEditor, kCmdSettingsEditor}) {
        EXPECT_EQ(commands.dispatch(command), CommandDispatcher::Outcome::Ignored) << command;
    }
    EXPECT_TRUE(ui.events().empty());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(app.engine().state(), before);
    EXPECT_EQ(app.engine().region(), Region::Scenes);
    EXPECT_EQ(app.engine().sceneRange().first, 0u);
    EXPECT_EQ(app.engine().sceneRange().second, 3u);
}

TEST_F(ShellTest, APickRunsWithTheActionOfTheEntryThePopupWasOpenedThrough) {
    connect();
    runToIdle();
    app.filledBlocks().markAll();  // the image stands for a show: writing it asks nothing
    // A settings write is under way when the user opens the popup through
    // "&Read from controller"; the write ends before the pick.
    commands.highlightActionEntry(7);
    ASSERT_EQ(commands.dispatch(kCmdSettings), CommandDispatcher::Outcome::Done);
    commands.highlightActionEntry(2);
    commands.selectionPopupOpened();
    EXPECT_EQ(app.engine().action(), Action::WriteController);  // the run keeps its action
    ASSERT_EQ(runUntilIdle(app.engine(), app.link(), clock), RunOutcome::Completed);

    // On the way to the popup the pointer crossed "File &write".
    commands.highlightActionEntry(6);
    const std::size_t sentBefore = factory.log("COM2").writes.size();
    ASSERT_EQ(commands.dispatch(kCmdMidi), CommandDispatcher::Outcome::Done);
    EXPECT_EQ(app.engine().action(), Action::ReadController);
    EXPECT_EQ(runUntilIdle(app.engine(), app.link(), clock), RunOutcome::Completed);
    const auto& writes = factory.log("COM2").writes;
    ASSERT_EQ(writes.size(), sentBefore + 2);
    EXPECT_EQ(writes[sentBefore], (std::vector<std::uint8_t>{0x12, 0x26, 0xFE, 0x07, 0x80, 0x43}));
    EXPECT_EQ(factory.model("COM2")->counters().blockWrites, 2u);  // the settings write only

    // Without the popup, the highlighted entry decides, as the menu rule says.
    app.engine().stop();
    commands.highlightActionEntry(5);
    commands.dispatch(kCmdSettings);
    EXPECT_EQ(app.engine().action(), Action::Verify);
}

TEST_F(ShellTest, EditorsOpenWhenIdle) {
    connect();
    runToIdle();
    for (int command : {kCmdMidiEditor, kCmdSettingsEditor})
        EXPECT_EQ(commands.dispatch(command), CommandDispatcher::Outcome::Done);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"midi editor", "settings editor"}));
}

TEST_F(ShellTest, TheBlocksAnEditorsAcceptChangedCountAsFilled) {
    host.accept = [&] { app.image().scenes[1][0] = 7; };  // block 2 of scene 1/2
    commands.dispatch(kCmdSceneEditor);
    host.accept = {};
    commands.dispatch(kCmdMidiEditor);
    const FilledBlocks& filled = app.filledBlocks();
    EXPECT_TRUE(filled.filled(2));
    EXPECT_FALSE(filled.filled(3));
    EXPECT_FALSE(filled.allFilled(blockRangeOf(Region::Midi)));  // an Accept that changed nothing
}

TEST_F(ShellTest, ExitAsksFirstAndClosesOnlyOnYes) {
    ui.expectMessage(kExitQuestion, "Warning", Icon::Warning, Buttons::YesNo, Answer::No);
    commands.dispatch(kCmdExit);
    EXPECT_TRUE(host.calls.empty());
    ui.expectMessage(kExitQuestion, "Warning", Icon::Warning, Buttons::YesNo, Answer::Yes);
    commands.dispatch(kCmdExit);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"close"}));
    EXPECT_EQ(std::string(kExitQuestion),
              "WARNING !!!\nAll changes you didn't save to file\nor to controller will be lost !!!\n"
              "Do you surely want to finish ?");
}

TEST_F(ShellTest, HelpOpensTheManualOrSaysWhereItLooked) {
    const std::string manual = "/opt/velora/share/velora/manual.html";
    for (int i = 0; i < 2; ++i)
        ui.expectMessage("Sorry, help file is not accessible at this time !", "Brak dost\xC4\x99pu !",
                         Icon::Information, Buttons::Ok);
    commands.dispatch(kCmdHelp);
    EXPECT_TRUE(host.calls.empty());

    host.existing.insert(manual);
    host.browser = false;
    commands.dispatch(kCmdHelp);
    EXPECT_EQ(ui.reasons(), (std::vector<std::string>{
                                "Looked for the user manual at " + manual,
                                "No web browser could be started to show the user manual " + manual}));

    host.browser = true;
    commands.dispatch(kCmdHelp);
    EXPECT_EQ(ui.reasons().size(), 2u);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"help " + manual, "help " + manual}));
}

TEST_F(ShellTest, AboutShowsVersionAndFirmwareAndRunsDuringATransfer) {
    connect();
    runToIdle();
    ui.expectMessage(aboutText("1.2.3", "\tFW : 1.05b"), "About :", Icon::Information, Buttons::Ok);
    EXPECT_EQ(commands.dispatch(kCmdAbout), CommandDispatcher::Outcome::Done);
    const std::string text = ui.messages().at(0).text;
    EXPECT_NE(text.find("1.2.3"), std::string::npos);
    EXPECT_NE(text.find("FW : 1.05b"), std::string::npos);
    EXPECT_EQ(text.find('\t'), std::string::npos);
}

TEST_F(ShellTest, PortCommandsOpenThePortAndQueryTheVersion) {
    connect();
    runToIdle();
    EXPECT_EQ(commands.dispatch(kCmdFirstPort + 2), CommandDispatcher::Outcome::NotACommand);
    EXPECT_EQ(commands.dispatch(kCmdFirstPort + 1), CommandDispatcher::Outcome::Done);
    EXPECT_EQ(app.engine().state(), TransferState::SendFrame);
    EXPECT_EQ(app.engine().runKind(), RunKind::Version);
    EXPECT_EQ(commands.dispatch(99), CommandDispatcher::Outcome::NotACommand);
    EXPECT_EQ(commands.dispatch(108), CommandDispatcher::Outcome::NotACommand);
}

TEST_F(ShellTest, AutoDuringARunStopsItAndSearchesAgain) {
    connect();
    runToIdle();
    startSceneRead();
    EXPECT_EQ(commands.dispatch(kCmdAutoSearch), CommandDispatcher::Outcome::Done);
    EXPECT_EQ(app.engine().runKind(), RunKind::Version);
    EXPECT_EQ(app.engine().state(), TransferState::SendFrame);
    EXPECT_TRUE(app.link().isOpen());
}

TEST(DownloadPage, CommandLineDependsOnTheOsVariable) {
    EXPECT_EQ(downloadCommandLine("Windows_NT", "https://a.example/x"), "/c start https://a.example/x");
    EXPECT_EQ(downloadCommandLine("", "https://a.example/x"), "start https://a.example/x");
    EXPECT_EQ(downloadCommandLine(nullptr, "https://a.example/x"), "start https://a.example/x");
}

}  // namespace
}  // namespace velora

namespace velora {
namespace {

// Syncs on the line: the controller on COM2 holds the show but for what the
// test changes in the program's image.
class SyncTest : public ShellTest {
  protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() / ("velora-sync-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        connect();
        runToIdle();
        for (int n = 0; n < kScenes; ++n) app.image().scenes[n].fill(static_cast<std::uint8_t>(n));
        app.image().fade.fill(40);
        factory.model("COM2")->loadImage(app.image());
        app.filledBlocks().markAll();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    // The blocks written to the controller, in the order sent.
    std::vector<std::uint32_t> blocksWritten() const {
        std::vector<std::uint32_t> blocks;
        for (const auto& frame : factory.log("COM2").writes)
            if (frame.size() > 4 && frame[0] == 0x11) blocks.push_back(frame[2] | (frame[3] << 8));
        return blocks;
    }
    void runOn() { runUntilIdle(app.engine(), app.link(), clock); }

    std::filesystem::path folder;
};

TEST_F(SyncTest, NothingIsWrittenWhenTheBackupCannotBeSaved) {
    app.image().scenes[3][5] = 99;
    std::ofstream(folder / "file") << "in the way";
    SyncRun run(app, ShowRegion::whole(), folder / "file" / "backups");
    ASSERT_TRUE(run.start());
    runOn();
    EXPECT_EQ(run.advance(), SyncRun::Step::Failed);
    EXPECT_EQ(run.failure(), SyncRun::Failure::Backup);
    EXPECT_NE(run.backupFault().find((folder / "file").string()), std::string::npos) << run.backupFault();
    EXPECT_TRUE(blocksWritten().empty());
}

TEST_F(SyncTest, AStoppedWriteNamesTheBlocksAcknowledgedAndKeepsTheBackup) {
    const ControllerImage held = app.image();
    app.image().scenes[3][5] = 99;    // block 6
    app.image().scenes[40][200] = 1;  // block 81
    app.image().fade[40] = 7;         // block 2045
    SyncRun run(app, ShowRegion::whole(), folder);
    ASSERT_TRUE(run.start());
    runOn();
    ASSERT_EQ(run.advance(), SyncRun::Step::Listed);
    EXPECT_EQ(run.differing(), (std::vector<std::uint32_t>{6, 81, 2045}));
    EXPECT_EQ(run.differences().lines(), (std::vector<std::string>{"Scene 1/4 fixture 1 channel 6: 3 <> 99",
                                                                   "Scene 2/9 fixture 13 channel 9: 40 <> 1",
                                                                   "Fading programm 41: 40 <> 7"}));
    ASSERT_TRUE(run.confirm());
    runUntilIdle(app.engine(), app.link(), clock, [&] { return blocksWritten().size() == 2; });
    EXPECT_EQ(run.advance(), SyncRun::Step::Failed);
    EXPECT_EQ(run.failure(), SyncRun::Failure::Write);
    EXPECT_EQ(run.written(), (std::vector<std::uint32_t>{6}));
    std::ifstream backup(run.backup().string() + ".K5s", std::ios::binary);
    std::string scenes((std::istreambuf_iterator<char>(backup)), {});
    ASSERT_EQ(scenes.size(), std::size_t{kScenes} * kChannels);
    EXPECT_EQ(static_cast<std::uint8_t>(scenes[3 * 256 + 5]), held.scenes[3][5]);
}

TEST_F(SyncTest, TheShowMenuSyncWritesWhatAnEditorChangedOnceTheListIsConfirmed) {
#ifdef _WIN32
    ::_putenv_s("LOCALAPPDATA", folder.string().c_str());
#else
    ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
#endif
    host.accept = [this] { app.image().fade[4] = 7; };
    ASSERT_EQ(commands.dispatch(kCmdSettingsEditor), CommandDispatcher::Outcome::Done);
    ASSERT_EQ(commands.dispatch(kCmdSyncSettings), CommandDispatcher::Outcome::Done);
    // Nothing else starts while the sync goes on.
    EXPECT_EQ(commands.dispatch(kCmdMidi), CommandDispatcher::Outcome::Ignored);
    ui.expectMessage("Synced 1 block (settings): written and read back equal to the show.", kSyncCaption,
                     Icon::Information, Buttons::Ok);
    for (int run = 0; run < 3; ++run) {
        runOn();
        commands.runEnded();
    }
    EXPECT_FALSE(commands.syncing());
    EXPECT_EQ(blocksWritten(), std::vector<std::uint32_t>{2044});
    EXPECT_EQ(host.calls.back(), "sync list: 1 difference in 1 block");
    std::vector<std::string> backups;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "velora" / "backups"))
        backups.push_back(entry.path().filename().string());
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_NE(backups[0].find("-settings.K5p"), std::string::npos) << backups[0];
#ifdef _WIN32
    ::_putenv_s("LOCALAPPDATA", "");
#else
    ::unsetenv("XDG_DATA_HOME");
#endif
}

}  // namespace
}  // namespace velora
