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
#include "platform/qt/qt_serial.h"
#include "tests/support/scripted_ui.h"

#ifndef VELORA_EMU_PATH
#error "VELORA_EMU_PATH names the emulator program"
#endif

namespace velora {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

void ensureApplication() {
    static int argc = 1;
    static char name[] = "e2e_serial_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// velora-emu as a child process; its first line of output is the device.
class Emulator {
  public:
    explicit Emulator(std::vector<std::string> options = {}) {
        std::vector<char*> argv{const_cast<char*>(VELORA_EMU_PATH)};
        for (std::string& option : options) argv.push_back(option.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execv(VELORA_EMU_PATH, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        output_ = out[0];
        device_ = readLine(5s);
    }
    ~Emulator() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) ::close(output_);
    }
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    const std::string& device() const { return device_; }

  private:
    std::string readLine(std::chrono::milliseconds limit) {
        std::string line;
        char c = 0;
        pollfd p{output_, POLLIN, 0};
        while (::poll(&p, 1, static_cast<int>(limit.count())) > 0 && ::read(output_, &c, 1) == 1) {
            if (c == '\n') return line;
            line += c;
        }
        return {};
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::string device_;
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
    ensureApplication();
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
    ensureApplication();
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
