#include "tests/support/emulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velora::testing {

using SteadyTime = std::chrono::steady_clock;

EmulatorProcess::EmulatorProcess(const std::string& program, std::vector<std::string> options,
                                 const std::filesystem::path& errorLog) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& option : options) argv.push_back(option.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null >= 0) ::dup2(null, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        if (!errorLog.empty()) {
            const int log = ::open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (log >= 0) ::dup2(log, STDERR_FILENO);
        }
        // The caller's blocked signals must not follow the emulator.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (pid_ < 0) {
        ::close(out[0]);
        return;
    }
    output_ = out[0];
    device_ = readLine(std::chrono::seconds(5));
}

EmulatorProcess::~EmulatorProcess() {
    if (pid_ > 0 && !reaped_ && stop(SIGTERM, std::chrono::seconds(5)) < 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) ::close(output_);
}

int EmulatorProcess::stop(int signal, std::chrono::milliseconds limit) {
    if (pid_ <= 0 || reaped_) return -1;
    ::kill(pid_, signal);
    const auto end = SteadyTime::now() + limit;
    int status = 0;
    while (SteadyTime::now() < end) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        ::poll(nullptr, 0, 5);
    }
    return -1;
}

std::string EmulatorProcess::readLine(std::chrono::milliseconds limit) {
    std::string line;
    const auto end = SteadyTime::now() + limit;
    while (SteadyTime::now() < end) {
        pollfd p{output_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char c;
        if (::read(output_, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
    }
    return {};
}

}  // namespace velora::testing
