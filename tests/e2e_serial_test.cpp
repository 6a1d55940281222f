// The program's own serial device and controller search against velora-emu
// on a real pseudo-terminal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "link/frames.h"
#include "link/serial_link.h"
#include "serial_qt/serial_ports.h"
#include "tests/support/emulator_process.h"
#include "tests/support/qt_application.h"
#include "tests/support/scripted_ui.h"

#ifndef VELORA_EMU_PATH
#error "VELORA_EMU_PATH names the emulator program"
#endif

namespace velora {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// velora-emu as a child process.
class Emulator : public testing::EmulatorProcess {
  public:
    explicit Emulator(std::vector<std::string> options = {})
        : EmulatorProcess(VELORA_EMU_PATH, std::move(options)) {}
};

// Sends a frame and reads the reply as the engine does, but blocking.
Bytes exchange(SerialDevice& device, std::span<const std::uint8_t> frame, std::size_t replyBytes) {
    SteadyClock clock;
    EXPECT_EQ(device.startWrite(frame), 0);
    IoStatus status = device.pollWrite();
    while (status.kind == IoStatus::Pending) {
        device.wait(10ms);
        status = device.pollWrite();
    }
    EXPECT_EQ(status.kind, IoStatus::Done);
    device.startRead(replyBytes);
    status = device.pollRead();
    while (status.kind == IoStatus::Pending) {
        const auto deadline = device.nextDeadline();
        device.wait(deadline ? *deadline - clock.now() : Duration(10ms));
        status = device.pollRead();
    }
    EXPECT_EQ(status.kind, IoStatus::Done);
    return Bytes(device.received().begin(), device.received().end());
}

TEST(EmulatorLine, SearchFindsTheEmulatorAndBlocksRoundTrip) {
    testing::ensureCoreApplication();
    Emulator emulator;
    ASSERT_FALSE(emulator.device().empty()) << "velora-emu printed no device";

    SteadyClock clock;
    QtSerialPortFactory ports(clock);
    testing::ScriptedUi ui;
    SerialLink link(ports, ui, clock);
    link.setPortTable({"/dev/velora-no-such-port", emulator.device()});
    ASSERT_TRUE(link.searchController());
    EXPECT_EQ(link.currentPort(), 1);
    EXPECT_EQ(ui.portChecked(2), std::optional<bool>(true));
    SerialDevice& device = *link.device();

    const ShortFrame query = buildShortFrame(kCodeVersionQuery);
    const Bytes version = exchange(device, query, replyBytesFor(Request::VersionQuery));
    const ReplyJudgement versionReply = judgeDataReply(version, 0);
    ASSERT_TRUE(versionReply.valid()) << versionReply.errorText();
    EXPECT_TRUE(replyMatchesRequest(versionReply, Request::VersionQuery));

    constexpr std::uint32_t kBlock = 1234;
    Bytes payload(128);
    std::iota(payload.begin(), payload.end(), std::uint8_t{7});
    FrameBuffer frame{};
    std::size_t length = buildBlockRequest(frame, true, kTypeMemory, kBlock, payload.size(), payload);
    const Bytes ack =
        exchange(device, std::span(frame).first(length), replyBytesFor(Request::WriteMemoryBlock));
    EXPECT_TRUE(isAcknowledgement(ack));

    length = buildBlockRequest(frame, false, kTypeMemory, kBlock, payload.size());
    const Bytes data =
        exchange(device, std::span(frame).first(length), replyBytesFor(Request::ReadMemoryBlock));
    const ReplyJudgement reply = judgeDataReply(data, kBlock);
    ASSERT_TRUE(reply.valid()) << reply.errorText();
    EXPECT_TRUE(replyMatchesRequest(reply, Request::ReadMemoryBlock));
    EXPECT_TRUE(std::equal(reply.payload.begin(), reply.payload.end(), payload.begin(), payload.end()));
}

TEST(EmulatorLine, LineDroppedMidTransferFailsTheReadAtOnce) {
    testing::ensureCoreApplication();
    Emulator emulator({"--fault", "drop@2"});  // the probe is answered, then the line goes away
    ASSERT_FALSE(emulator.device().empty()) << "velora-emu printed no device";

    SteadyClock clock;
    QtSerialPortFactory ports(clock);
    testing::ScriptedUi ui;
    SerialLink link(ports, ui, clock);
    link.setPortTable({emulator.device()});
    ASSERT_TRUE(link.searchController());
    SerialDevice& device = *link.device();

    const ShortFrame query = buildShortFrame(kCodeVersionQuery);
    ASSERT_EQ(device.startWrite(query), 0);
    IoStatus status = device.pollWrite();
    for (int i = 0; i < 1000 && status.kind == IoStatus::Pending; ++i) {
        device.wait(10ms);
        status = device.pollWrite();
    }
    const auto start = clock.now();
    device.startRead(replyBytesFor(Request::VersionQuery));
    status = device.pollRead();
    while (status.kind == IoStatus::Pending) {
        const auto deadline = device.nextDeadline();
        device.wait(deadline ? *deadline - clock.now() : Duration(10ms));
        status = device.pollRead();
    }
    EXPECT_EQ(status.kind, IoStatus::Failed) << "a dropped line was taken for silence";
    EXPECT_NE(status.error, 0);
    EXPECT_LT(clock.now() - start, 9 * 120ms);
    EXPECT_NE(device.startWrite(query), 0);
}

}  // namespace
}  // namespace velora
