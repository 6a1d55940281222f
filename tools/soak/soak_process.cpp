#include "tools/soak/soak_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace velora::soak {

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A signal that ended a process reads as 128 + its number, as in a shell; so
// SIGINT before velora-cli took the signal over still reads as 130.
int shellStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// In the child: standard input and output to /dev/null, standard error to
// `log`, then exec. Never returns.
[[noreturn]] void execChild(const std::string& program, const std::vector<std::string>& args,
                            const std::filesystem::path& log) {
    const int null = open("/dev/null", O_RDWR);
    const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(err >= 0 ? err : null, STDERR_FILENO);
    std::vector<char*> argv;
    const std::string name = std::filesystem::path(program).filename();
    argv.push_back(const_cast<char*>(name.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // The soak's own signal mask must not follow the child.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

// Tells when a file is renamed or written into place in its folder.
class FileWatch {
  public:
    explicit FileWatch(const std::filesystem::path& file) : name_(file.filename()) {
        if (file.empty()) return;
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0) inotify_add_watch(fd_, file.parent_path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    ~FileWatch() {
        if (fd_ >= 0) close(fd_);
    }
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    bool active() const { return fd_ >= 0; }

    // Waits up to `seconds` for events; true when one named the file.
    bool seen(double seconds) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(seconds * 1000)) <= 0) return false;
        alignas(inotify_event) char buffer[4096];
        bool hit = false;
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if (event->len > 0 && name_ == event->name) hit = true;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return hit;
    }

  private:
    std::string name_;
    int fd_ = -1;
};

}  // namespace

CliResult runCli(const std::string& bin, const std::vector<std::string>& args,
                 const std::filesystem::path& log, double limit, const Interrupt& interrupt) {
    CliResult result;
    FileWatch watch(interrupt.whenReplaced);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) execChild(bin + "/velora-cli", args, log);
    if (pid < 0) return result;
    int status = 0;
    const auto sendInterrupt = [&](double now) {
        kill(pid, SIGINT);
        result.interrupted = true;
        result.interruptedAt = now;
    };
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        const double now = since(start);
        if (!result.interrupted &&
            ((interrupt.after && now >= *interrupt.after) || (interrupt.when && interrupt.when())))
            sendInterrupt(now);
        if (now > limit) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.hung = true;
            break;
        }
        // Short naps keep the moment of the interrupt close to the one asked for.
        double nap = 0.001;
        if (interrupt.after && !result.interrupted)
            nap = std::min(nap, std::max(0.0, *interrupt.after - now));
        if (watch.active() && !result.interrupted) {
            if (watch.seen(nap)) sendInterrupt(since(start));
        } else {
            std::this_thread::sleep_for(std::chrono::duration<double>(nap));
        }
    }
    result.seconds = since(start);
    result.status = result.hung ? -1 : shellStatus(status);
    return result;
}

std::string lastWords(const std::filesystem::path& log) {
    std::ifstream in(log);
    std::string last;
    for (std::string line; std::getline(in, line);) {
        if (const auto cr = line.rfind('\r'); cr != std::string::npos)
            line.erase(0, cr + 1);  // progress bars
        if (!line.empty()) last = line;
    }
    return last;
}

int countInjected(const std::filesystem::path& log) {
    std::ifstream in(log);
    int n = 0;
    for (std::string line; std::getline(in, line);)
        n += line.find(" fault ") != std::string::npos && line.find(" on frame #") != std::string::npos;
    return n;
}

std::string commandLine(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& w : words) {
        if (!line.empty()) line += ' ';
        const bool plain = !w.empty() && w.find_first_not_of(
                                             "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                             "0123456789-_./=:@,%+") == std::string::npos;
        if (plain) {
            line += w;
            continue;
        }
        line += '\'';
        for (char c : w) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

}  // namespace velora::soak
