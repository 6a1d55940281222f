// The firmware upgrade through the transfer engine, on the virtual-time line
// against the emulated controller: the file step and its refusals, the
// install pass, the verification pass with its Abort/Retry/Ignore, the
// version query afterwards, Stop in both passes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "engine/engine.h"
#include "shell/menu_model.h"
#include "shell/upgrade_command.h"
#include "tests/support/engine_rig.h"
#include "upgrade/upgrade_writer.h"

namespace velora {
namespace {

namespace fs = std::filesystem;
using testing::UiEvent;
using Bytes = std::vector<std::uint8_t>;

UpgradeRecord record(std::uint32_t address, std::uint32_t length, std::uint8_t seed) {
    UpgradeRecord r;
    r.address = address;
    r.length = length;
    for (std::size_t i = 0; i < r.data.size(); ++i) r.data[i] = static_cast<std::uint8_t>(seed + 31 * i);
    return r;
}

// Addresses on both sides of 0xFFFF, the highest one, a record of length 0
// and a short one whose data run on past its length.
const std::vector<UpgradeRecord> kRecords{
    record(0xFFE0, 16, 1),  record(0x10000, 16, 2), record(0x200, 0, 3),
    record(0x1E000, 16, 4), record(0x12345, 5, 5),  record(0xFFFF, 1, 6),
};

Bytes request(bool write, const UpgradeRecord& r) {
    FrameBuffer b{};
    const std::size_t n = buildBlockRequest(b, write, firmwareTypeByte(r.address), r.address, r.length,
                                            std::span<const std::uint8_t>(r.data.data(), r.length));
    return Bytes(b.begin(), b.begin() + static_cast<long>(n));
}

const std::string kInstallQuestion = "Do you want to install in your Velora-Tarvane\nfirmware version 1.06 ?";
const std::string kDifference =
    "Upgrade veryfication error : line 1\n If veryfication doesn't succeed,\nyou have to repeat upgrade !!! "
    "\nContinue veryfication ?\n";

class EngineUpgrade : public testing::EngineRig {
  protected:
    fs::path dir = fs::temp_directory_path() / ("velora-upgrade-test-" + std::to_string(::getpid()));
    std::size_t before = 0;  // frames sent before the upgrade

    void SetUp() override {
        fs::create_directories(dir);
        EngineRig::SetUp();
        engine.startVersionQuery();  // the version questions compare against "1.05b"
        runToIdle();
        ASSERT_EQ(engine.firmwareText(), "\tFW : 1.05b");
        ui.clearEvents();
        events = {};
        before = sent().size();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<Bytes> sentSinceStart() const {
        const auto& all = sent();
        return std::vector<Bytes>(all.begin() + static_cast<long>(before), all.end());
    }

    std::string file(const std::string& name, const std::vector<UpgradeRecord>& records,
                     std::string_view version = "1.06") {
        std::string why;
        const auto bytes = buildUpgradeFile(version, records, why);
        EXPECT_TRUE(bytes) << why;
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes->bytes;
        return path;
    }
    void preload(const std::vector<UpgradeRecord>& records) {
        for (const UpgradeRecord& r : records)
            std::copy_n(r.data.begin(), r.length, controller.firmwareMemory().begin() + r.address);
    }
    // The question before an install of version 1.06, answered `a`.
    void sure(Answer a) {
        ui.expectMessage(kInstallQuestion, "Are you sure ?", Icon::Question, Buttons::YesNo, a);
    }
    void expectSummary(bool clean) {
        if (clean)
            ui.expectMessage("Veryfication successfully finished !", "Sukces !", Icon::Information,
                             Buttons::Ok);
        else
            ui.expectMessage("Veryfication finished with warnings !", "Sukces ?", Icon::Information,
                             Buttons::Ok);
    }
};

TEST_F(EngineUpgrade, InstallThenVerifyThenTheVersionQuery) {
    engine.setSceneRange(3, 7);
    const std::string path = file("kq318_106.upg", kRecords);
    ui.expectOpenFile(path);
    sure(Answer::Yes);
    expectSummary(true);
    startUpgrade(app, true);
    ASSERT_EQ(engine.state(), TransferState::SendFrame);
    EXPECT_EQ(engine.upgradeRecordCount(), kRecords.size());

    // The file step: status texts, then the dialog as the upgrade asks it.
    const auto& shown = ui.events();
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "\tFirmWare");
    EXPECT_EQ(shown[1].text, "\tInitiating");
    ASSERT_EQ(shown[2].kind, UiEvent::OpenFile);
    EXPECT_EQ(shown[2].request.title, "Choose upgrade file :");
    EXPECT_EQ(shown[2].request.filterIndex, 4);
    EXPECT_EQ(shown[2].request.filters[3].pattern, "kq318*.upg");
    EXPECT_EQ(shown[2].request.path, "");
    EXPECT_EQ(shown[2].request.flags, PathMustExist | FileMustExist);
    EXPECT_EQ(ui.status(2), "\tUpgrade");

    std::vector<std::string> regions, actions;
    runToIdle([&] {
        if (regions.empty() || regions.back() != app.statusText(1)) regions.push_back(app.statusText(1));
        if (actions.empty() || actions.back() != app.statusText(2)) actions.push_back(app.statusText(2));
    });
    EXPECT_EQ(regions, (std::vector<std::string>{"\tFirmWare", "\tVersion"}));
    EXPECT_EQ(actions, (std::vector<std::string>{"\tWriting to Kq318", "\tVeryfication"}));

    // Every record written, every record read back, then the version query.
    std::vector<Bytes> expected;
    for (const UpgradeRecord& r : kRecords) expected.push_back(request(true, r));
    for (const UpgradeRecord& r : kRecords) expected.push_back(request(false, r));
    expected.push_back({0x12, 0x03, 0xEB});
    EXPECT_EQ(sentSinceStart(), expected);
    const auto frames = sentSinceStart();
    EXPECT_EQ(Bytes(frames[1].begin(), frames[1].begin() + 5), (Bytes{0x11, 0xE6, 0x00, 0x00, 0x10}));
    EXPECT_EQ(frames[2], (Bytes{0x11, 0x66, 0x00, 0x02, 0x00, 0x87}));  // length 0: six bytes
    EXPECT_EQ(frames[6], (Bytes{0x12, 0x66, 0xE0, 0xFF, 0x10, 0x99}));
    EXPECT_EQ(frames[8], (Bytes{0x12, 0x66, 0x00, 0x02, 0x00, 0x86}));
    EXPECT_EQ(Bytes(frames[5].begin(), frames[5].begin() + 5), (Bytes{0x11, 0x66, 0xFF, 0xFF, 0x01}));
    const auto& asked = ports.log("COM1").reads;
    EXPECT_EQ(std::vector<std::size_t>(asked.end() - 13, asked.end()),
              (std::vector<std::size_t>{22, 22, 6, 22, 11, 7, 22, 22, 6, 22, 11, 7, 9}));

    // Only the first `length` bytes reach the controller.
    const auto memory = controller.firmwareMemory();
    for (const UpgradeRecord& r : kRecords)
        EXPECT_TRUE(std::equal(r.data.begin(), r.data.begin() + r.length, memory.begin() + r.address))
            << r.address;
    EXPECT_EQ(memory[0x12345 + 5], 0xFF);
    EXPECT_EQ(memory[0x200], 0xFF);  // and the length-0 record compared nothing

    EXPECT_EQ(ui.progressHistory(), (std::vector<int>{16, 33, 50, 66, 83, 0, 16, 33, 50, 66, 83, 0, 100}));
    EXPECT_EQ(events.blocks, (std::vector<std::size_t>{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(events.ends, std::vector<RunOutcome>{RunOutcome::Completed});
    EXPECT_EQ(events.log.size(), 2u) << "one run from the first record to the version reply";
    EXPECT_EQ(engine.lastUpgradeVerification(), UpgradeVerification::Clean);
    EXPECT_EQ(engine.upgradeRecordCount(), 0u) << "the list is released after the verification pass";
    EXPECT_EQ(engine.firmwareText(), "\tFW : 1.05b");
    EXPECT_EQ(app.statusText(2), "\tReady");
    EXPECT_EQ(engine.sceneRange(), (std::pair<std::uint32_t, std::uint32_t>{3, 7}));
    EXPECT_FALSE(events.repeat.has_value()) << "\"&Repeat\" is not offered for an upgrade";
}

TEST_F(EngineUpgrade, RetryReadsTheSameRecordAgain) {
    preload(kRecords);
    controller.faults().add("data@" +
                            std::to_string(controller.counters().frames + 2));  // record 1 reads wrong once
    ui.expectOpenFile(file("kq318.upg", kRecords, "1.05"));  // same first four characters: no question
    ui.expectMessage(kDifference, "Fault", Icon::Warning, Buttons::AbortRetryIgnore, Answer::Retry);
    expectSummary(false);  // a difference was seen, even though the second read agreed
    startUpgrade(app, false);
    runToIdle();
    const auto frames = sentSinceStart();
    ASSERT_EQ(frames.size(), kRecords.size() + 2);
    EXPECT_EQ(frames[1], request(false, kRecords[1]));
    EXPECT_EQ(frames[2], request(false, kRecords[1]));
    EXPECT_EQ(frames[3], request(false, kRecords[2]));
    EXPECT_EQ(frames.back(), (Bytes{0x12, 0x03, 0xEB}));
    // Every record agreed at last: the firmware equals the file.
    EXPECT_EQ(engine.lastUpgradeVerification(), UpgradeVerification::AgreedWhenReadAgain);
    EXPECT_EQ(events.differences, std::vector<std::uint32_t>{0x10000});
}

TEST_F(EngineUpgrade, IgnoredDifferencesEndWithWarningsThenTheVersionQuery) {
    preload(kRecords);
    controller.firmwareMemory()[0x10000] ^= 0xFF;
    controller.firmwareMemory()[0x10003] ^= 0xFF;
    ui.expectOpenFile(file("kq318.upg", kRecords, "1.05"));
    // Each differing byte of the record asks again.
    ui.expectMessage(kDifference, "Fault", Icon::Warning, Buttons::AbortRetryIgnore, Answer::Ignore);
    ui.expectMessage(kDifference, "Fault", Icon::Warning, Buttons::AbortRetryIgnore, Answer::Ignore);
    expectSummary(false);
    startUpgrade(app, false);
    runToIdle();
    EXPECT_EQ(sentSinceStart().size(), kRecords.size() + 1);
    EXPECT_EQ(sentSinceStart().back(), (Bytes{0x12, 0x03, 0xEB}));
    EXPECT_EQ(engine.outcome(), RunOutcome::Completed);
    EXPECT_EQ(engine.lastUpgradeVerification(), UpgradeVerification::WithDifferences);
    EXPECT_TRUE(engine.lastVerificationClean()) << "the flag is set again for the version query";

    // Abort ends the run there: no summary, no version query, the list stays.
    ui.clearEvents();
    events = {};
    before = sent().size();
    ui.expectOpenFile(file("kq318.upg", kRecords, "1.05"));
    ui.expectMessage(kDifference, "Fault", Icon::Warning, Buttons::AbortRetryIgnore, Answer::Abort);
    startUpgrade(app, false);
    runToIdle();
    EXPECT_EQ(sentSinceStart().size(), 2u);
    EXPECT_EQ(engine.outcome(), RunOutcome::Stopped);
    EXPECT_EQ(engine.lastUpgradeVerification(), UpgradeVerification::NotFinished);
    EXPECT_EQ(engine.upgradeRecordCount(), kRecords.size());
    EXPECT_EQ(ui.entryEnabled(kStopEntry), false);
}

TEST_F(EngineUpgrade, StopEndsEitherPass) {
    engine.startRun(Region::Midi, Action::ReadController);  // the run "&Repeat" repeats
    runToIdle();
    before = sent().size();
    events = {};

    const std::string path = file("kq318.upg", kRecords);
    ui.expectOpenFile(path);
    sure(Answer::Yes);
    startUpgrade(app, true);
    tickUntil([&] { return events.blocks.size() == 2; });
    engine.stop();
    EXPECT_TRUE(engine.idle());
    EXPECT_EQ(engine.outcome(), RunOutcome::Stopped);
    EXPECT_EQ(sentSinceStart().size(), 2u);  // the third record is not sent
    EXPECT_EQ(engine.upgradeRecordCount(), kRecords.size());
    EXPECT_EQ(engine.lastUpgradeVerification(), UpgradeVerification::NotFinished);

    // "&Repeat" repeats the last memory run, never the upgrade.
    engine.repeat();
    EXPECT_EQ(engine.region(), Region::Midi);
    runToIdle();

    // Stopped at the turn from the install pass to the verification pass:
    // nothing is read back.
    before = sent().size();
    ui.expectOpenFile(path);
    sure(Answer::Yes);
    startUpgrade(app, true);
    tickUntil([&] { return engine.action() == Action::Verify; });
    engine.stop();
    runToIdle();
    EXPECT_EQ(sentSinceStart().size(), kRecords.size());
    for (const Bytes& f : sentSinceStart()) EXPECT_EQ(f[0], kCodeWrite);

    // Stopped in the verification pass.
    before = sent().size();
    events = {};
    ui.expectOpenFile(path);
    ui.expectMessage("Different firmware version : 1.06 !\nContinue ?", "Differences occured !",
                     Icon::Question, Buttons::YesNo, Answer::Yes);
    startUpgrade(app, false);
    tickUntil([&] { return events.blocks.size() == 3; });
    engine.stop();
    EXPECT_EQ(engine.outcome(), RunOutcome::Stopped);
    EXPECT_EQ(engine.lastUpgradeVerification(), UpgradeVerification::NotFinished);
    EXPECT_LE(sentSinceStart().size(), 4u);
    for (const Bytes& f : sentSinceStart()) EXPECT_EQ(f[0], kCodeRead);
}

TEST_F(EngineUpgrade, LineFaultsOfTheUpgradeFrames) {
    const std::string path = file("kq318.upg", kRecords);
    const auto frame = [&](int n) {
        return std::to_string(controller.counters().frames + static_cast<unsigned>(n));
    };
    // A refused record goes out again on Retry; the reply to the read of
    // 0xFFFF naming the next address names 0x10000; a reply of another kind
    // ends the run and keeps the list.
    controller.faults().add("nak@" + frame(2));
    controller.faults().add("address@" + frame(13));
    controller.faults().add("type@" + frame(14));
    ui.expectOpenFile(path);
    sure(Answer::Yes);
    ui.expectMessage("Communication error : NAK", "Fault", Icon::Warning, Buttons::RetryCancel,
                     Answer::Retry);
    ui.expectMessage("Communication error : return adress 65536", "Fault", Icon::Warning,
                     Buttons::RetryCancel, Answer::Retry);
    ui.expectMessage("Protocol error", "Fault", Icon::Warning, Buttons::Ok);
    startUpgrade(app, true);
    runToIdle();
    const auto frames = sentSinceStart();
    ASSERT_EQ(frames.size(), 14u);
    EXPECT_EQ(frames[1], frames[2]);
    EXPECT_EQ(frames[12], request(false, kRecords[5]));
    EXPECT_EQ(frames[13], request(false, kRecords[5]));
    EXPECT_EQ(engine.outcome(), RunOutcome::Failed);
    EXPECT_EQ(engine.upgradeRecordCount(), kRecords.size());
    ASSERT_EQ(events.faults.size(), 3u);
    EXPECT_EQ(events.faults[0].block, 0x10000u);
}

TEST_F(EngineUpgrade, NoRefusedFileReachesTheController) {
    std::string why;
    auto spoilt = buildUpgradeFile("1.06", kRecords, why);
    ASSERT_TRUE(spoilt);
    spoilt->bytes[spoilt->recordOffset(3) + 12] ^= 0x01;  // one stored byte: the checksum fails
    const std::string flipped = (dir / "kq318_flipped.upg").string();
    std::ofstream(flipped, std::ios::binary) << spoilt->bytes;
    const std::string good = file("kq318.upg", kRecords);
    const std::string same = file("kq318_105b.upg", kRecords, "1.05");

    struct Case {
        const char* name;
        std::function<void()> script;
        bool install = true;
        bool statusShown = true;  // the file step set its status texts
    };
    const auto fault = [&](const char* text) {
        ui.expectMessage(text, "Fault", Icon::Information, Buttons::Ok);
    };
    const std::vector<Case> cases{
        {"no port",
         [&] {
             link.close();
             ui.expectMessage("You have to choise an accessible comm port !", "Warning", Icon::Warning,
                              Buttons::Ok);
         },
         true, false},
        {"dialog cancelled", [&] { ui.expectOpenFile(std::nullopt); }},
        {"file gone",
         [&] {
             ui.expectOpenFile((dir / "kq318_gone.upg").string());
             ui.expectMessage("File " + (dir / "kq318_gone.upg").string() + " doesn't exist !", "Warning",
                              Icon::Information, Buttons::Ok);
         }},
        {"a folder",
         [&] {
             ui.expectOpenFile(dir.string());
             fault("File open error !");
         }},
        {"one stored byte flipped",
         [&] {
             ui.expectOpenFile(flipped);
             sure(Answer::Yes);
             fault("Invalid file contents !\nChecksum error !");
         }},
        {"not sure",
         [&] {
             ui.expectOpenFile(good);
             sure(Answer::No);
         }},
        {"no downgrade",
         [&] {
             ui.expectOpenFile(same);
             ui.expectMessage("Do you want to install in your Velora-Tarvane\nfirmware version 1.05 ?",
                              "Are you sure ?", Icon::Question, Buttons::YesNo, Answer::Yes);
             ui.expectMessage(
                 "Do you surely exchange in your Velora-Tarvane\nfirmware version 1.05b with version 1.05 ?",
                 "Downgrade ?", Icon::Question, Buttons::YesNo, Answer::No);
         }},
        {"another version, not verified",
         [&] {
             ui.expectOpenFile(good);
             ui.expectMessage("Different firmware version : 1.06 !\nContinue ?", "Differences occured !",
                              Icon::Question, Buttons::YesNo, Answer::No);
         },
         false},
    };
    for (const Case& c : cases) {
        if (!link.isOpen()) {
            ASSERT_EQ(link.openPort(true), SerialLink::kOpened);
        }
        ui.clearEvents();
        c.script();
        startUpgrade(app, c.install);
        EXPECT_TRUE(engine.idle()) << c.name;
        EXPECT_TRUE(ui.scriptDone()) << c.name;
        EXPECT_EQ(app.statusText(2), "\tReady") << c.name;
        if (c.statusShown) {
            EXPECT_EQ(ui.events().back().kind, UiEvent::Repaint) << c.name;
        }
    }
    EXPECT_TRUE(sentSinceStart().empty());
    EXPECT_TRUE(events.log.empty()) << "a refused upgrade starts no run";

    // An upgrade command while a run goes on is ignored.
    engine.startRun(Region::Midi, Action::ReadController);
    startUpgrade(app, true);  // no dialog
    EXPECT_EQ(engine.region(), Region::Midi);
    runToIdle();
}

}  // namespace
}  // namespace velora
