// velora-emu as a program: on a real pseudo-terminal, opened with plain
// POSIX termios as any client would.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/emulator_process.h"
#include "upgrade/upgrade_file.h"

#ifndef VELORA_EMU_PATH
#error "VELORA_EMU_PATH names the velora-emu program"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// velora-emu as a child process.
class EmuProcess : public velora::testing::EmulatorProcess {
  public:
    explicit EmuProcess(std::vector<std::string> args) : EmulatorProcess(VELORA_EMU_PATH, std::move(args)) {}
};

int openRaw(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return fd;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B38400);
    tio.c_cflag |= CSTOPB;
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Writes a request and reads up to `want` bytes, giving up after a second.
Bytes exchange(int fd, const Bytes& request, std::size_t want) {
    if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return {};
    Bytes got;
    const auto end = Clock::now() + std::chrono::seconds(1);
    while (got.size() < want && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        std::uint8_t buffer[256];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, want - got.size()));
        if (n <= 0) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

TEST(VeloraEmu, AnswersOnAPseudoTerminalAndStopsCleanly) {
    const auto link =
        std::filesystem::temp_directory_path() / ("velora-emu-e2e-" + std::to_string(::getpid()));
    EmuProcess emu({"--version", "2.31x", "--link", link.string()});
    ASSERT_FALSE(emu.device().empty()) << "velora-emu printed no device";
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), emu.device());

    int fd = openRaw(emu.device());
    ASSERT_GE(fd, 0) << std::strerror(errno);
    EXPECT_EQ(exchange(fd, {0x1B, 0x03, 0xE2}, 3), (Bytes{0x06, 0x03, 0xF7}));
    Bytes version{0x13, 0x06, 0x00, 0x00, 0x03, 31, 2, 'x'};
    unsigned sum = 0;
    for (auto b : version) sum += b;
    version.push_back(static_cast<std::uint8_t>(-sum & 0xFF));
    EXPECT_EQ(exchange(fd, {0x12, 0x03, 0xEB}, 9), version);
    ::close(fd);

    // A client that closes and comes back through the link finds it working,
    // and bytes such as CR and LF are not translated on the way.
    fd = openRaw(link.string());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(exchange(fd, {0x0D, 0x0A, 0x1B, 0x03, 0xE2}, 3), (Bytes{0x06, 0x03, 0xF7}));
    ::close(fd);

    const auto before = Clock::now();
    EXPECT_EQ(emu.stop(SIGTERM, std::chrono::seconds(1)), 0);
    EXPECT_LT(Clock::now() - before, std::chrono::seconds(1));
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(VeloraEmu, DroppedLineHangsUpTheClient) {
    EmuProcess emu({"--fault", "drop@2"});
    ASSERT_FALSE(emu.device().empty());
    const int fd = openRaw(emu.device());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(exchange(fd, {0x1B, 0x03, 0xE2}, 3), (Bytes{0x06, 0x03, 0xF7}));
    EXPECT_TRUE(exchange(fd, {0x1B, 0x03, 0xE2}, 3).empty());
    // The line is gone: writing fails, it does not just stay silent.
    const std::uint8_t probe[] = {0x1B, 0x03, 0xE2};
    EXPECT_EQ(::write(fd, probe, sizeof probe), -1);
    EXPECT_EQ(errno, EIO);
    ::close(fd);
    EXPECT_EQ(emu.stop(SIGTERM, std::chrono::seconds(1)), 0);
}

TEST(VeloraEmu, DemoUpgradeWritesTheFileAndExits) {
    const auto path =
        std::filesystem::temp_directory_path() / ("velora-emu-demo-" + std::to_string(::getpid()) + ".upg");
    EmuProcess emu({"--version", "1.05b", "--demo-upgrade", path.string()});
    // Its one line of output names the file, where a server names its device.
    EXPECT_EQ(emu.device().rfind("velora-emu: demonstration upgrade 1.06 written to ", 0), 0u)
        << emu.device();
    EXPECT_EQ(emu.stop(0, std::chrono::seconds(5)), 0);  // no signal: it ends by itself
    std::ifstream in(path, std::ios::binary);
    velora::UpgradeFile file;
    EXPECT_EQ(velora::readUpgradeFile(in, file), velora::UpgradeError::None);
    EXPECT_EQ(file.version, "1.06");
    EXPECT_FALSE(file.records.empty());
    std::filesystem::remove(path);
}

}  // namespace
