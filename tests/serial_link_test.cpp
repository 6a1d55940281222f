#include "link/serial_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "tests/support/scripted_ui.h"
#include "tests/support/virtual_port_factory.h"

namespace velora {
namespace {

using testing::ManualClock;
using testing::ScriptedUi;
using testing::UiEvent;
using testing::VirtualPortFactory;

const std::vector<std::uint8_t> kProbe{0x1B, 0x03, 0xE2};

struct LinkFixture : ::testing::Test {
    ManualClock clock;
    VirtualPortFactory ports{clock};
    ScriptedUi ui;
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

TEST_F(LinkFixture, SearchSaysWhyEachPortCouldNotBeUsed) {
    // owner, group, group may use it, everyone may, this program in the group
    const DeviceAccess dialout{"root", "dialout", true, false, false};
    const DeviceAccess uucp{"root", "uucp", true, false, false};
    const DeviceAccess rootAlone{"root", "root", false, false, false};
    const DeviceAccess ownerAlone{"ola", "tty", false, false, false};
    const DeviceAccess member{"root", "dialout", true, false, true};
    const std::vector<std::pair<std::string, std::string>> table{
        {"/dev/ttyS0",
         "permission denied: add yourself to the dialout group (sudo usermod -aG dialout $USER) and log in "
         "again"},
        {"/dev/ttyS1",
         "permission denied: the device belongs to the uucp group: add yourself to it (sudo usermod -aG uucp "
         "$USER) and log in again"},
        {"/dev/ttyS2",
         "permission denied: only root may use it (owner root, group root): ask the administrator to give it "
         "to "
         "the dialout group (a udev rule), then join that group"},
        {"/dev/ttyS3",
         "permission denied: only its owner, ola, may use it (owner ola, group tty): run the program as ola, "
         "or "
         "ask the administrator for the right to use it"},
        {"/dev/ttyS4",
         "permission denied: the device's permissions (owner root, group dialout) let you use it, but the "
         "system "
         "refuses it for another reason: ask the administrator"},
        {"/dev/ttyS5", "permission denied: ask the administrator for the right to use it"},
        {"/dev/ttyS6", "in use by another program"},
        {"/dev/ttyS7", "no such device"},
        {"/dev/ttyS8", "cannot be set to 38400 baud, 8 data bits, no parity, 2 stop bits"},
        {"/dev/ttyS9", "opened, but nothing answered"},
        {"/dev/ttyU0", "opened, but the answer was not the controller's"},
    };
    ports.addUnopenable("/dev/ttyS0", EACCES, dialout);
    ports.addUnopenable("/dev/ttyS1", EACCES, uucp);
    ports.addUnopenable("/dev/ttyS2", EACCES, rootAlone);
    ports.addUnopenable("/dev/ttyS3", EACCES, ownerAlone);
    ports.addUnopenable("/dev/ttyS4", EPERM, member);
    ports.addUnopenable("/dev/ttyS5", EACCES);
    ports.addUnopenable("/dev/ttyS6", EBUSY);
    ports.addUnopenable("/dev/ttyS7", ENOENT);
    ports.addSilent("/dev/ttyS8");
    ports.setConfigureFails("/dev/ttyS8");
    ports.addSilent("/dev/ttyS9");
    ports.addWrongAcknowledgement("/dev/ttyU0");
    std::vector<std::string> names, lines;
    for (const auto& [name, why] : table) {
        names.push_back(name);
        lines.push_back(name + ": " + why);
    }
    useTable(names);

    EXPECT_FALSE(link.searchController());
    EXPECT_EQ(link.searchTrials(), lines);
    EXPECT_TRUE(ui.events().empty());  // the search itself stays quiet

    // "&Auto" gives them under its text, one port a line.
    std::string report;
    for (const std::string& line : lines) report += (report.empty() ? "" : "\n") + line;
    ui.expectMessage(
        "Did not found any Velora Tarvane !\nPlug in the device, prepare for communication\n\tand try again.",
        "We've got a problem :", Icon::Warning, Buttons::Ok);
    link.autoSearch();
    ASSERT_EQ(ui.events().size(), 1u);
    EXPECT_EQ(ui.events().back().reason, report);

    // A search that finds the controller leaves nothing to report.
    ports.addController("/dev/ttyU1");
    names.push_back("/dev/ttyU1");
    useTable(names);
    EXPECT_TRUE(link.searchController());
    EXPECT_TRUE(link.searchTrials().empty());
}

TEST_F(LinkFixture, SearchSkipsDeadPortsAndTakesTheOneThatAcknowledges) {
    ports.addController("COM0");
    ports.setConfigureFails("COM0");
    ports.addUnopenable("COM1", EACCES);
    ports.addWrongAcknowledgement("COM2");  // 06 03 F6
    ports.addSilent("COM3");
    ports.addController("COM4").faults().add("short@1-");  // half an acknowledgement
    ports.addController("COM5");
    ports.addController("COM6");
    useTable({"COM0", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6"});

    EXPECT_TRUE(link.searchController());  // no message box at all: the UI fails on any

    EXPECT_EQ(ports.openAttempts(),
              (std::vector<std::string>{"COM0", "COM1", "COM2", "COM3", "COM4", "COM5"}));
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
    ports.addUnopenable("COM1", ENOENT);
    ports.addUnopenable("COM2", EBUSY);
    useTable({"COM1", "COM2"});
    EXPECT_FALSE(link.searchController());
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(ui.events().empty());

    ports.addController("COM3");
    ports.setReadFails("COM3", EIO);  // a line that drops is not an answer
    useTable({"COM3"});
    EXPECT_FALSE(link.searchController());
    EXPECT_EQ(ports.openDevices(), 0);
}

TEST_F(LinkFixture, ProbeWriteFailureEndsTheSearchWithAFault) {
    for (const char* name : {"COM1", "COM2", "COM3"}) ports.addController(name);
    ports.setWriteStartFails("COM1", EIO);
    ports.setWriteFails("COM2", ETIMEDOUT);

    useTable({"COM1", "COM3"});
    ui.expectMessage("Communication error : " + std::to_string(EIO), "Fault", Icon::Error, Buttons::Ok);
    EXPECT_FALSE(link.searchController());
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(std::ranges::count(ports.openAttempts(), "COM3"), 0);  // the search ended there

    useTable({"COM2", "COM3"});
    ui.expectMessage("Communication error : " + std::to_string(ETIMEDOUT), "Fault", Icon::Error, Buttons::Ok);
    EXPECT_FALSE(link.searchController());
    EXPECT_EQ(ports.openDevices(), 0);
    EXPECT_EQ(std::ranges::count(ports.openAttempts(), "COM3"), 0);
}

TEST_F(LinkFixture, AutoSearchClosesTheOldPortAndReportsOrQueries) {
    ports.addSilent("COM1");
    ports.addController("COM2");
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
    ports.addSilent("COM1");
    ports.addUnopenable("COM2", EACCES);
    ports.addSilent("COM3");
    ports.setConfigureFails("COM3");
    ports.addSilent("COM4");
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
    EXPECT_EQ(ports.log("COM3").opens, 1);
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
