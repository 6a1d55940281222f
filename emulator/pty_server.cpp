#include "emulator/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "emulator/memory_file.h"
#include "platform/prompt_wake_ups.h"

namespace velora {

namespace {

using namespace std::chrono_literals;

// Saving waits for this much quiet after the last write, but not longer than
// the second figure after the first unsaved one.
constexpr Duration kSaveQuiet = 1s;
constexpr Duration kSaveAtLatest = 10s;
// What a client that never reads may leave queued before the oldest is lost.
constexpr std::size_t kMaxUnsent = 64 * 1024;
// Paced output goes out a few bytes at a time, to wake less often; the last
// byte of a reply always leaves on time.
constexpr int kBatch = 4;

TimePoint now() {
    return SteadyClock().now();
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char buffer[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X ", b);
        out += buffer;
    }
    if (!out.empty()) out.pop_back();
    return out;
}

std::string symlinkTarget(const std::string& path) {
    std::error_code ec;
    const auto target = std::filesystem::read_symlink(path, ec);
    return ec ? std::string() : target.string();
}

}  // namespace

PtyServer::PtyServer(ControllerModel& model, PtySettings settings)
    : model_(model),
      settings_(std::move(settings)),
      controller_(model, LineTiming{settings_.paced ? kByteTime38400 : Duration::zero(), settings_.turnaround,
                                    std::chrono::milliseconds(50)}),
      started_(now()) {
    writesSeen_ = model_.counters().blockWrites + model_.counters().recordWrites;
    if (settings_.log) model_.setLogger([this](const ModelLogEntry& entry) { logEntry(entry); });
}

PtyServer::~PtyServer() {
    model_.setLogger(nullptr);
    closeLine();
}

bool PtyServer::open(std::string& error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[256];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    device_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

    slave_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave_ < 0 || ::tcgetattr(slave_, &tio) != 0) {
        error = device_ + ": " + std::strerror(errno);
        return false;
    }
    // Raw, 8 data bits, 2 stop bits at 38400 baud: what a client expects to
    // find, and no echo or line editing of the client's bytes.
    ::cfmakeraw(&tio);
    tio.c_cflag |= CSTOPB | CLOCAL | CREAD;
    ::cfsetispeed(&tio, B38400);
    ::cfsetospeed(&tio, B38400);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) {
        error = device_ + ": cannot set raw mode: " + std::strerror(errno);
        return false;
    }

    if (!settings_.linkPath.empty()) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(settings_.linkPath, ec);
        if (!ec && std::filesystem::exists(status) && !std::filesystem::is_symlink(status)) {
            error = settings_.linkPath + ": exists and is not a symbolic link; not replacing it";
            return false;
        }
        // A stale link from an earlier run is replaced in one step.
        const std::string temporary = settings_.linkPath + ".velora-emu-" + std::to_string(::getpid());
        if (::symlink(device_.c_str(), temporary.c_str()) != 0 ||
            ::rename(temporary.c_str(), settings_.linkPath.c_str()) != 0) {
            error = settings_.linkPath + ": cannot make the link: " + std::strerror(errno);
            ::unlink(temporary.c_str());
            return false;
        }
        linkMade_ = true;
    }
    return true;
}

void PtyServer::closeLine() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
    if (linkMade_ && symlinkTarget(settings_.linkPath) == device_) ::unlink(settings_.linkPath.c_str());
    linkMade_ = false;
}

int PtyServer::run(const sigset_t& stopSignals) {
    const int signals = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signals < 0) {
        std::fprintf(stderr, "velora-emu: signalfd: %s\n", std::strerror(errno));
        return 1;
    }
    // A controller answers on time however busy the PC is; paced, its
    // stand-in asks the system for the same.
    if (settings_.paced) askForPromptWakeUps();
    int status = 0;
    for (;;) {
        const TimePoint t = now();
        controller_.advanceTo(t);
        transmit(t);
        if (const auto drop = controller_.dropTime(); drop && *drop <= t) {
            std::fprintf(stderr, "velora-emu: line dropped (fault rule); closing %s and exiting\n",
                         device_.c_str());
            break;
        }
        const std::uint64_t writes = model_.counters().blockWrites + model_.counters().recordWrites;
        if (writes != writesSeen_) {
            writesSeen_ = writes;
            if (!firstUnsaved_) firstUnsaved_ = t;
            saveAt_ = std::min(t + kSaveQuiet, *firstUnsaved_ + kSaveAtLatest);
        }
        if (saveAt_ && *saveAt_ <= t) saveMemory("after writes");

        pollfd fds[2] = {{master_, static_cast<short>(POLLIN | (unsent_.empty() ? 0 : POLLOUT)), 0},
                         {signals, POLLIN, 0}};
        timespec timeout{};
        timespec* wait = nullptr;
        if (const auto wake = nextWake()) {
            const Duration left = std::max(*wake - now(), Duration::zero());
            timeout.tv_sec = static_cast<time_t>(left.count() / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(left.count() % 1'000'000'000);
            wait = &timeout;
        }
        if (::ppoll(fds, 2, wait, nullptr) < 0 && errno != EINTR) {
            std::fprintf(stderr, "velora-emu: poll: %s\n", std::strerror(errno));
            status = 1;
            break;
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signals, &info, sizeof info) > 0 && settings_.log)
                std::fprintf(stderr, "velora-emu: %s, stopping\n",
                             strsignal(static_cast<int>(info.ssi_signo)));
            break;
        }
        if (fds[0].revents & POLLIN) receive(now());
        if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN)) {
            // Cannot happen while we hold the slave open; never spin on it.
            std::fprintf(stderr, "velora-emu: the pseudo-terminal hung up\n");
            status = 1;
            break;
        }
    }
    ::close(signals);
    closeLine();
    if (!settings_.memoryFile.empty()) saveMemory("at exit");
    return status;
}

void PtyServer::receive(TimePoint t) {
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i) {
            // On a paced line a byte has arrived only after its 11 bits.
            TimePoint arrived = t;
            if (settings_.paced) {
                rxFree_ = std::max(rxFree_, t) + kByteTime38400;
                arrived = rxFree_;
            }
            controller_.receive(buffer[i], arrived);
        }
    }
}

void PtyServer::transmit(TimePoint t) {
    auto& out = controller_.output();
    while (!out.empty() && out.front().at <= t) {
        unsent_.push_back(out.front().byte);
        out.pop_front();
    }
    if (unsent_.size() > kMaxUnsent)
        unsent_.erase(unsent_.begin(), unsent_.begin() + static_cast<long>(unsent_.size() - kMaxUnsent));
    while (!unsent_.empty()) {
        const ssize_t n = ::write(master_, unsent_.data(), unsent_.size());
        if (n <= 0) return;  // the pty is full: POLLOUT tells when it takes more
        unsent_.erase(unsent_.begin(), unsent_.begin() + n);
    }
}

std::optional<TimePoint> PtyServer::nextWake() const {
    std::optional<TimePoint> wake = controller_.nextEvent();
    auto earliest = [&wake](TimePoint t) {
        if (!wake || t < *wake) wake = t;
    };
    const auto& out = controller_.output();
    if (!out.empty()) {
        // Up to kBatch bytes that follow one another closely go together.
        TimePoint batch = out.front().at;
        for (std::size_t i = 1; i < out.size() && i < kBatch; ++i) {
            if (out[i].at - out.front().at > kBatch * kByteTime38400) break;
            batch = out[i].at;
        }
        earliest(batch);
    }
    if (const auto drop = controller_.dropTime()) earliest(*drop);
    if (saveAt_) earliest(*saveAt_);
    return wake;
}

void PtyServer::saveMemory(const char* when) {
    saveAt_.reset();
    firstUnsaved_.reset();
    if (settings_.memoryFile.empty()) return;
    std::string error;
    if (!saveMemoryFile(model_, settings_.memoryFile, error)) {
        std::fprintf(stderr, "velora-emu: %s\n", error.c_str());
    } else if (settings_.log) {
        std::fprintf(stderr, "velora-emu: memory saved to %s (%s)\n", settings_.memoryFile.c_str(), when);
    }
}

void PtyServer::logEntry(const ModelLogEntry& entry) const {
    const double seconds = std::chrono::duration<double>(now() - started_).count();
    switch (entry.kind) {
        case ModelLogEntry::Received:
            std::fprintf(stderr, "[%10.4f] PC  -> emu  %s  (%s)\n", seconds, hex(entry.bytes).c_str(),
                         entry.text.c_str());
            break;
        case ModelLogEntry::Sent: {
            const std::string note = entry.text.empty() ? std::string() : "  (" + entry.text + ")";
            std::fprintf(stderr, "[%10.4f] emu -> PC   %s%s\n", seconds, hex(entry.bytes).c_str(),
                         note.c_str());
            break;
        }
        case ModelLogEntry::Discarded:
        case ModelLogEntry::Note:
            std::fprintf(stderr, "[%10.4f]            %s\n", seconds, entry.text.c_str());
            break;
    }
}

}  // namespace velora
