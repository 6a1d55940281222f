// The Qt serial device on real pseudo-terminals: the test holds the master
// side and plays the controller. These tests run on real time, kept short.

#include "serial_qt/qt_serial.h"
#include "serial_qt/serial_ports.h"
#include "tests/support/manual_clock.h"
#include "tests/support/qt_application.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <tuple>
#include <vector>

namespace velora {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using testing::ManualClock;

// The master side of a fresh pseudo-terminal.
class Pty {
  public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        slave_ = ::ptsname(master_);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { close(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slave() const { return slave_; }
    void send(const Bytes& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    Bytes drain() {
        Bytes got(4096);
        const ssize_t n = ::read(master_, got.data(), got.size());
        got.resize(n > 0 ? std::size_t(n) : 0);
        return got;
    }
    void close() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    std::string slave_;
};

double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct PtyFixture : ::testing::Test {
    void SetUp() override {
        testing::ensureCoreApplication();
        ASSERT_FALSE(pty.slave().empty());
    }
    std::unique_ptr<QtSerialDevice> openDevice(const Clock& clock) {
        auto device = std::make_unique<QtSerialDevice>(clock);
        EXPECT_EQ(device->open(pty.slave()), 0);
        EXPECT_TRUE(device->configure(LineSettings{}));
        return device;
    }
    // Polls a read as the blocking callers do: sleep in the device until
    // the line moves or the next deadline passes.
    IoStatus finishRead(SerialDevice& device) {
        IoStatus status = device.pollRead();
        while (status.kind == IoStatus::Pending) {
            const auto deadline = device.nextDeadline();
            device.wait(deadline ? *deadline - steady.now() : Duration(10ms));
            status = device.pollRead();
        }
        return status;
    }
    Pty pty;
    SteadyClock steady;
};

TEST_F(PtyFixture, ReadEndsOnCountOnSilenceAfterDataOrOnTotalTimeOut) {
    pty.send({0xAA, 0xBB});  // before opening: thrown away
    auto device = openDevice(steady);

    // Silent line: 3 x 120 ms, then done with nothing (a count, not an error).
    auto start = steady.now();
    const double cpuStart = cpuSeconds();
    device->startRead(3);
    IoStatus status = finishRead(*device);
    auto took = steady.now() - start;
    EXPECT_EQ(status.kind, IoStatus::Done);
    EXPECT_EQ(status.count, 0u);
    EXPECT_TRUE(device->received().empty());
    EXPECT_GE(took, 355ms);
    EXPECT_LT(took, 600ms);
    EXPECT_LT(cpuSeconds() - cpuStart, 0.05) << "the wait spins";

    // Three bytes of the nine asked for, then silence: done ~100 ms later.
    device->startRead(9);
    EXPECT_EQ(device->pollRead().kind, IoStatus::Pending);
    pty.send({0x06, 0x03, 0xF7});
    start = steady.now();
    status = finishRead(*device);
    took = steady.now() - start;
    EXPECT_EQ(status.kind, IoStatus::Done);
    EXPECT_EQ(Bytes(device->received().begin(), device->received().end()), (Bytes{0x06, 0x03, 0xF7}));
    EXPECT_GE(took, 90ms);
    EXPECT_LT(took, 250ms);

    // The full count ends the read at once; what follows waits for the next.
    pty.send({1, 2, 3, 4, 5});
    start = steady.now();
    device->startRead(3);
    status = finishRead(*device);
    EXPECT_LT(steady.now() - start, 80ms);
    EXPECT_EQ(Bytes(device->received().begin(), device->received().end()), (Bytes{1, 2, 3}));
    device->startRead(3);
    status = finishRead(*device);
    EXPECT_EQ(status.count, 2u);
    EXPECT_EQ(Bytes(device->received().begin(), device->received().end()), (Bytes{4, 5}));
}

TEST_F(PtyFixture, WritesReachTheLineAndPurgeDropsWhatArrived) {
    ManualClock clock;
    auto device = openDevice(clock);
    ASSERT_EQ(device->startWrite(Bytes{0x1B, 0x03, 0xE2}), 0);
    IoStatus status = device->pollWrite();
    for (int i = 0; i < 100 && status.kind == IoStatus::Pending; ++i) status = device->pollWrite();
    EXPECT_EQ(status.kind, IoStatus::Done);
    EXPECT_EQ(status.count, 3u);
    EXPECT_EQ(pty.drain(), (Bytes{0x1B, 0x03, 0xE2}));

    pty.send({9, 9, 9});
    device->startRead(3);
    device->purge();
    EXPECT_EQ(device->pollRead().kind, IoStatus::Failed);  // aborted
    device->startRead(3);
    EXPECT_EQ(device->pollRead().kind, IoStatus::Pending);
    clock.advance(361ms);
    status = device->pollRead();
    EXPECT_EQ(status.kind, IoStatus::Done);
    EXPECT_EQ(status.count, 0u);
}

TEST_F(PtyFixture, WriteThatTheLineDoesNotTakeTimesOut) {
    ManualClock clock;
    auto device = openDevice(clock);
    // Nobody reads the master side, so the line fills up.
    const Bytes flood(1 << 20, 0x55);
    ASSERT_EQ(device->startWrite(flood), 0);
    EXPECT_EQ(device->pollWrite().kind, IoStatus::Pending);
    ASSERT_TRUE(device->nextDeadline().has_value());
    EXPECT_EQ(*device->nextDeadline(), clock.now() + 120ms * int(flood.size()));
    clock.advance(120ms * int(flood.size()));
    const IoStatus status = device->pollWrite();
    EXPECT_EQ(status.kind, IoStatus::Failed);
    EXPECT_EQ(status.error, ETIMEDOUT);
    EXPECT_FALSE(device->nextDeadline().has_value());
}

TEST_F(PtyFixture, LineClosedMidReadFailsAtOnceWithoutSpinning) {
    auto device = openDevice(steady);
    device->startRead(9);
    pty.send({0x13, 0x06});
    device->wait(50ms);  // the two bytes arrive; the rest never does
    EXPECT_EQ(device->pollRead().kind, IoStatus::Pending);
    pty.close();

    const auto start = steady.now();
    const double cpuStart = cpuSeconds();
    const IoStatus status = finishRead(*device);
    const auto took = steady.now() - start;
    EXPECT_EQ(status.kind, IoStatus::Failed);
    EXPECT_EQ(status.error, EIO);
    EXPECT_LT(took, 100ms);
    EXPECT_LT(cpuSeconds() - cpuStart, 0.05);
    EXPECT_EQ(device->lineError(), EIO);

    // Everything afterwards fails too, and nothing waits.
    EXPECT_EQ(device->startWrite(Bytes{0x1B, 0x03, 0xE2}), EIO);
    device->startRead(3);
    EXPECT_EQ(device->pollRead().kind, IoStatus::Failed);
}

// Runs the Qt event loop until the device reports activity or `limit` passes.
bool runUntilActivity(bool& flag, std::chrono::milliseconds limit) {
    QEventLoop loop;
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (flag) loop.quit();
    });
    poll.start(1);
    if (!flag) loop.exec();
    return flag;
}

TEST_F(PtyFixture, UnderAnEventLoopArrivalsAndHangUpAreReported) {
    auto device = openDevice(steady);
    bool active = false;
    device->setActivityHandler([&] { active = true; });

    device->startRead(3);
    pty.send({0x06, 0x03, 0xF7});
    ASSERT_TRUE(runUntilActivity(active, 500ms));
    IoStatus status = device->pollRead();
    EXPECT_EQ(status.kind, IoStatus::Done);
    EXPECT_EQ(status.count, 3u);

    // A reply that arrived before its read started, and a write the line
    // took at once, are ready now: a pump must not sleep on them.
    active = false;
    pty.send({0x13, 0x06, 0x00});
    ASSERT_TRUE(runUntilActivity(active, 500ms));
    device->startRead(3);
    auto deadline = device->nextDeadline();
    ASSERT_TRUE(deadline.has_value());
    EXPECT_LE(*deadline, steady.now());
    EXPECT_EQ(device->pollRead().count, 3u);
    ASSERT_EQ(device->startWrite(Bytes{0x12, 0x03, 0xEB}), 0);
    deadline = device->nextDeadline();
    ASSERT_TRUE(deadline.has_value());
    EXPECT_LE(*deadline, steady.now());
    EXPECT_EQ(device->pollWrite().kind, IoStatus::Done);

    active = false;
    device->startRead(3);
    pty.close();
    ASSERT_TRUE(runUntilActivity(active, 500ms));
    deadline = device->nextDeadline();  // a pump polls at once
    const auto now = steady.now();
    ASSERT_TRUE(deadline.has_value());
    EXPECT_LE(*deadline, now);
    status = device->pollRead();
    EXPECT_EQ(status.kind, IoStatus::Failed);
    EXPECT_EQ(status.error, EIO);

    // The dead line must not keep the event loop busy.
    const double cpuStart = cpuSeconds();
    bool never = false;
    runUntilActivity(never, 150ms);
    EXPECT_LT(cpuSeconds() - cpuStart, 0.05);
}

TEST_F(PtyFixture, BytesHeldOverANapCountFromWhenTheyWereNoticed) {
    // An acknowledgement where a firmware record's frame could come: the
    // device naps over the rest, but the silence runs from the three bytes.
    ManualClock clock;
    auto device = openDevice(clock);
    bool active = false;
    device->setActivityHandler([&] { active = true; });
    device->startRead(22);
    const TimePoint noticed = clock.now();
    pty.send({0x06, 0x03, 0xF7});
    ASSERT_TRUE(runUntilActivity(active, 500ms));
    clock.advance(20ms);  // the pump comes back after the nap
    EXPECT_EQ(device->pollRead().kind, IoStatus::Pending);
    ASSERT_TRUE(device->nextDeadline().has_value());
    EXPECT_EQ(*device->nextDeadline(), noticed + 100ms);
    clock.advanceTo(noticed + 100ms);
    const IoStatus status = device->pollRead();
    EXPECT_EQ(status.kind, IoStatus::Done);
    EXPECT_EQ(status.count, 3u);
}

TEST_F(PtyFixture, OpenFailuresCarryTheSystemReason) {
    QtSerialDevice missing(steady);
    EXPECT_EQ(missing.open("/dev/velora-no-such-port"), ENOENT);

    auto device = openDevice(steady);
    QtSerialDevice second(steady);
    EXPECT_EQ(second.open(pty.slave()), EBUSY);

    QtSerialDevice notSerial(steady);
    EXPECT_EQ(notSerial.open("/dev/null"), ENOTTY);

    LineSettings nineBits;
    nineBits.dataBits = 9;
    EXPECT_FALSE(device->configure(nineBits));
    LineSettings noSpeed;
    noSpeed.baud = 0;
    EXPECT_FALSE(device->configure(noSpeed));
    EXPECT_TRUE(device->configure(LineSettings{}));
}

TEST(QtPortFactory, OffersThePathsOfVeloraPorts) {
    testing::ensureCoreApplication();
    EXPECT_EQ(splitPortList("/tmp/a::/dev/pts/3:"), (std::vector<std::string>{"/tmp/a", "/dev/pts/3"}));
    EXPECT_TRUE(splitPortList("").empty());

    SteadyClock clock;
    QtSerialPortFactory factory(clock);
    ::setenv("VELORA_PORTS", "/tmp/velora-a:/tmp/velora-b:/tmp/velora-a", 1);
    const auto names = factory.enumerate();
    ::unsetenv("VELORA_PORTS");
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(std::count(names->begin(), names->end(), "/tmp/velora-a"), 1);
    EXPECT_EQ(std::count(names->begin(), names->end(), "/tmp/velora-b"), 1);

    int error = 0;
    EXPECT_EQ(factory.open("/tmp/velora-a", error), nullptr);
    EXPECT_EQ(error, ENOENT);
}

TEST(QtPortFactory, TellsWhoMayUseADeviceThroughItsLink) {
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || dialout == nullptr) GTEST_SKIP() << "needs root and a dialout group";
    char folder[] = "/tmp/velora-access-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string device = std::string(folder) + "/ttyUSB0", link = std::string(folder) + "/velora";
    ::close(::open(device.c_str(), O_CREAT | O_WRONLY, 0600));
    ASSERT_EQ(::symlink(device.c_str(), link.c_str()), 0);
    ASSERT_EQ(::chown(device.c_str(), 0, dialout->gr_gid), 0);

    // mode, then: the group may use it, everyone may
    for (const auto& [mode, group, others] : std::vector<std::tuple<mode_t, bool, bool>>{
             {0660, true, false}, {0620, false, false}, {0600, false, false}, {0666, true, true}}) {
        ::chmod(device.c_str(), mode);
        const auto access = deviceAccess(link);
        ASSERT_TRUE(access.has_value());
        EXPECT_EQ(access->owner, "root");
        EXPECT_EQ(access->group, "dialout");
        EXPECT_EQ(access->groupMayUse, group) << std::oct << mode;
        EXPECT_EQ(access->othersMayUse, others) << std::oct << mode;
        EXPECT_FALSE(access->inGroup);  // root runs without the dialout group
    }
    ASSERT_EQ(::chown(device.c_str(), 0, ::getegid()), 0);
    EXPECT_TRUE(deviceAccess(link)->inGroup);
    EXPECT_FALSE(deviceAccess(std::string(folder) + "/none").has_value());
    ::unlink(link.c_str());
    ::unlink(device.c_str());
    ::rmdir(folder);
}

}  // namespace
}  // namespace velora
