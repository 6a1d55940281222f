#include "link/serial_link.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/fake_serial.h"
#include "tests/support/scripted_ui.h"

namespace velora {
namespace {

using testing::FakePortFactory;
using testing::FakePortScript;
using testing::ScriptedUi;
using testing::UiEvent;

const std::vector<std::uint8_t> kProbe{0x1B, 0x03, 0xE2};
const std::vector<std::uint8_t> kAck{0x06, 0x03, 0xF7};

class FixedClock : public Clock {
  public:
    TimePoint now() const override { return TimePoint{}; }
};

struct LinkFixture : ::testing::Test {
    FakePortFactory ports;
    ScriptedUi ui;
    FixedClock clock;
    SerialLink link{ports, ui, clock};
    int versionQueries = 0;

    void useTable(std::vector<std::string> names) {
        link.setPortTable(std::move(names));
        link.setVersionQueryHook([this] { ++versionQueries; });
    }
    std::vector<std::pair<int, bool>> portChecks() const {
        std::vector<std::pair<int, bool>> checks;
        for (const UiEvent& e : ui.events()) {
            if (e.kind == UiEvent::PortCheck) checks.emplace_back(e.index, e.flag);
        }
        return checks;
    }
};

TEST(PortTable, SortsWithoutCaseAndKeepsComNamesOnly) {
    EXPECT_EQ(buildPortTable(std::vector<std::string>{"LPT1", "COM3", "com4", "COM1", "FILE"},
                             PortNaming::ComNames),
              (std::vector<std::string>{"COM1", "COM3"}));
    EXPECT_EQ(buildPortTable(std::vector<std::string>{"COM2", "COM10", "COM1"}, PortNaming::ComNames),
              (std::vector<std::string>{"COM1", "COM10", "COM2"}));
    // Case-insensitive order: "cOM5" sorts among the others but is dropped.
    EXPECT_EQ(buildPortTable(std::vector<std::string>{"COMb", "cOM5", "COMA"}, PortNaming::ComNames),
              (std::vector<std::string>{"COMA", "COMb"}));
    EXPECT_EQ(buildPortTable(std::nullopt, PortNaming::ComNames), (std::vector<std::string>{"COM1", "COM2"}));
    EXPECT_TRUE(buildPortTable(std::vector<std::string>{}, PortNaming::ComNames).empty());
    EXPECT_TRUE(buildPortTable(std::vector<std::string>{"LPT1", "FILE:"}, PortNaming::ComNames).empty());
}

TEST(PortTable, DevicePathsAreAllOffered) {
    EXPECT_EQ(buildPortTable(std::vector<std::string>{"/dev/ttyUSB1", "/dev/pts/7", "", "/dev/ttyACM0"},
                             PortNaming::DevicePaths),
              (std::vector<std::string>{"/dev/pts/7", "/dev/ttyACM0", "/dev/ttyUSB1"}));
    EXPECT_EQ(buildPortTable(std::nullopt, PortNaming::DevicePaths),
              (std::vector<std::string>{"COM1", "COM2"}));
}

TEST(OpenFailureText, NamesDeviceReasonAndHint) {
    const std::string denied = describeOpenFailure("/dev/ttyUSB0", EACCES);
    EXPECT_NE(denied.find("/dev/ttyUSB0"), std::string::npos);
    EXPECT_NE(denied.find("dialout"), std::string::npos);
    EXPECT_NE(describeOpenFailure("/dev/ttyS0", EBUSY).find("another program"), std::string::npos);
    EXPECT_EQ(describeOpenFailure("/dev/ttyS0", ENOENT).find("dialout"), std::string::npos);
}

TEST_F(LinkFixture, SearchSkipsDeadPortsAndTakesTheOneThatAcknowledges) {
    ports.add("COM1", FakePortScript::failingOpen(EACCES))
        .add("COM2", FakePortScript::answering({0x06, 0x03, 0xF6}))
        .add("COM3", FakePortScript::silent())
        .add("COM4", FakePortScript::answering({0x06, 0x03}))
        .add("COM5", FakePortScript::answering(kAck))
        .add("COM6", FakePortScript::answering(kAck));
    FakePortScript badConfig;
    badConfig.configureFails = true;
    ports.add("COM0", badConfig);
    useTable({"COM0", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6"});

    EXPECT_TRUE(link.searchController());  // no message box at all: the UI fails on any

    EXPECT_EQ(ports.openOrder(), (std::vector<std::string>{"COM0", "COM1", "COM2", "COM3", "COM4", "COM5"}));
    EXPECT_EQ(link.currentPort(), 5);
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(ports.openDevices(), 1);
    EXPECT_TRUE(ports.log("COM5").isOpen());
    EXPECT_EQ(portChecks(), (std::vector<std::pair<int, bool>>{{6, true}}));
    for (const char* name : {"COM2", "COM3", "COM4", "COM5"}) {
        const auto& log = ports.log(name);
        EXPECT_EQ(log.purges, 1) << name;
        EXPECT_EQ(log.writes, (std::vector<std::vector<std::uint8_t>>{kProbe})) << name;
        EXPECT_EQ(log.reads, (std::vector<std::size_t>{3})) << name;
        EXPECT_GT(log.waits, 0) << name << ": polls without waiting in between";
    }
    EXPECT_TRUE(ports.log("COM0").writes.empty());
    EXPECT_EQ(versionQueries, 0);  // the search alone queries nothing
}

TEST_F(LinkFixture, SearchOverPortsThatCannotOpenFindsNothingQuietly) {
    ports.add("COM1", FakePortScript::failingOpen(ENOENT)).add("COM2", FakePortScript::failingOpen(EBUSY));
    useTable({"COM1", "COM2"});
    EXPECT_FALSE(link.searchController());
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(ui.events().empty());

    FakePortScript failingRead = FakePortScript::answering(kAck);
    failingRead.readError = EIO;  // a line that drops is not an answer
    ports.add("COM3", failingRead);
    useTable({"COM3"});
    EXPECT_FALSE(link.searchController());
    EXPECT_EQ(ports.openDevices(), 0);
}

TEST_F(LinkFixture, ProbeWriteFailureEndsTheSearchWithAFault) {
    FakePortScript cannotStart = FakePortScript::answering(kAck);
    cannotStart.writeStartError = EIO;
    FakePortScript failsLater = FakePortScript::answering(kAck);
    failsLater.writeError = ETIMEDOUT;
    ports.add("COM1", cannotStart).add("COM2", failsLater).add("COM3", FakePortScript::answering(kAck));

    useTable({"COM1", "COM3"});
    ui.expectMessage("Communication error : " + std::to_string(EIO), "Fault", Icon::Error, Buttons::Ok);
    EXPECT_FALSE(link.searchController());
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(ports.log("COM3").openAttempts, 0);  // the search ended there

    useTable({"COM2", "COM3"});
    ui.expectMessage("Communication error : " + std::to_string(ETIMEDOUT), "Fault", Icon::Error, Buttons::Ok);
    EXPECT_FALSE(link.searchController());
    EXPECT_EQ(ports.openDevices(), 0);
    EXPECT_EQ(ports.log("COM3").openAttempts, 0);
}

TEST_F(LinkFixture, AutoSearchClosesTheOldPortAndReportsOrQueries) {
    ports.add("COM1", FakePortScript::silent()).add("COM2", FakePortScript::answering(kAck));
    useTable({"COM1", "COM2"});
    link.choosePort(0);
    ASSERT_TRUE(link.isOpen());
    EXPECT_EQ(versionQueries, 1);

    link.autoSearch();
    EXPECT_EQ(portChecks(), (std::vector<std::pair<int, bool>>{{1, true}, {1, false}, {2, true}}));
    EXPECT_EQ(link.currentPort(), 1);
    EXPECT_EQ(versionQueries, 2);
    EXPECT_EQ(ports.openDevices(), 1);

    useTable({"COM1"});
    ui.expectMessage(
        "Did not found any Velora Tarvane !\nPlug in the device, prepare for communication\n\tand try again.",
        "We've got a problem :", Icon::Warning, Buttons::Ok);
    link.autoSearch();
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(ports.openDevices(), 0);
    EXPECT_EQ(versionQueries, 2);
}

TEST_F(LinkFixture, ChoosingPortsReportsFailuresAndMovesTheCheckMark) {
    FakePortScript badConfig;
    badConfig.configureFails = true;
    ports.add("COM1", FakePortScript::silent())
        .add("COM2", FakePortScript::failingOpen(EACCES))
        .add("COM3", badConfig)
        .add("COM4", FakePortScript::silent());
    useTable({"COM1", "COM2", "COM3", "COM4"});

    link.choosePort(3);
    link.choosePort(0);
    EXPECT_EQ(link.currentPort(), 0);
    EXPECT_EQ(versionQueries, 2);
    EXPECT_FALSE(ports.log("COM4").isOpen());

    ui.expectMessage("Comm open error !", "Warning", Icon::Warning, Buttons::Ok);
    link.choosePort(1);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.currentPort(), 1);

    ui.expectMessage("Comm config error !", "Warning", Icon::Warning, Buttons::Ok);
    link.choosePort(2);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(ports.log("COM3").opened, 1);
    EXPECT_FALSE(ports.log("COM3").isOpen());  // closed again after the failed settings

    link.choosePort(7);  // no such slot
    EXPECT_EQ(link.currentPort(), 2);
    EXPECT_EQ(versionQueries, 2);
    EXPECT_EQ(portChecks(),
              (std::vector<std::pair<int, bool>>{{4, true}, {4, false}, {1, true}, {1, false}}));
    EXPECT_TRUE(ui.scriptDone());
}

}  // namespace
}  // namespace velora
