// Measures full "&All" transfers of velora-cli against velora-emu, paced at
// the real line speed and unpaced, and prints the wall time beside the line
// limit and the share of the wall time that velora-cli spent on the CPU.
//
// usage: velora-bench [--unpaced-only | --paced-only] [--bin DIR]

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kBytesPerSecond = 38400.0 / 11.0;
// Read or verify: 2048 requests of 6 bytes and replies of 134.
constexpr double kReadLimit = 2048 * (6 + 134) / kBytesPerSecond;
// Write: 2048 frames of 134 bytes and acknowledgements of 3, plus the 100 ms
// of silence that ends each acknowledgement read.
constexpr double kWriteLimit = 2048 * (134 + 3) / kBytesPerSecond + 2048 * 0.1;

struct Emulator {
    pid_t pid = -1;
    std::string device;
};

Emulator startEmulator(const std::string& bin, bool paced) {
    int out[2];
    if (pipe(out) != 0) std::exit(2);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<const char*> argv{"velora-emu", "--demo"};
        if (paced) argv.push_back("--paced");
        argv.push_back(nullptr);
        execv((bin + "/velora-emu").c_str(), const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    return {pid, line};
}

void stopEmulator(const Emulator& emu) {
    kill(emu.pid, SIGTERM);
    waitpid(emu.pid, nullptr, 0);
}

struct Result {
    double wall = 0;
    double cpu = 0;
    int status = -1;
};

Result runCli(const std::string& bin, const std::vector<std::string>& args) {
    std::vector<const char*> argv{"velora-cli"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        execv((bin + "/velora-cli").c_str(), const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Result r;
    r.wall = std::chrono::duration<double>(Clock::now() - start).count();
    r.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

void report(const char* what, const Result& r, double limit) {
    std::printf(
        "%-22s wall %8.2f s   line limit %7.1f s   ratio %5.3f   cli CPU %6.3f s (%5.2f %% of wall)   exit "
        "%d\n",
        what, r.wall, limit, r.wall / limit, r.cpu, 100.0 * r.cpu / r.wall, r.status);
    std::fflush(stdout);
}

void benchmark(const std::string& bin, bool paced, const fs::path& dir) {
    const Emulator emu = startEmulator(bin, paced);
    const std::string base = (dir / (paced ? "paced" : "unpaced")).string();
    const char* mode = paced ? "paced" : "unpaced";
    const Result read = runCli(bin, {"--port", emu.device, "read", "all", base});
    report((std::string("read all, ") + mode).c_str(), read, kReadLimit);
    const Result write = runCli(bin, {"--port", emu.device, "write", "all", base});
    report((std::string("write all, ") + mode).c_str(), write, kWriteLimit);
    const Result verify = runCli(bin, {"--port", emu.device, "verify", "all", base});
    report((std::string("verify all, ") + mode).c_str(), verify, kReadLimit);
    stopEmulator(emu);
}

void usage() {
    std::printf(
        "usage: velora-bench [options]\n"
        "Runs full \"&All\" read, write and verify transfers of velora-cli against\n"
        "velora-emu, unpaced and then paced at the real line speed (38400 baud; the\n"
        "paced run takes about seven minutes), and prints the wall time of each beside\n"
        "the line limit and velora-cli's share of it on the CPU.\n"
        "\n"
        "Options:\n"
        "  --unpaced-only   only the unpaced transfers\n"
        "  --paced-only     only the paced transfers\n"
        "  --bin DIR        take velora-cli and velora-emu from DIR (default: the app\n"
        "                   folder beside the one holding velora-bench)\n"
        "  --help, -h       show this text\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string bin = fs::path(argv[0]).parent_path().parent_path() / "app";
    bool paced = true, unpaced = true;
    // Every argument is checked before anything runs: a mistyped option
    // must not start a run of several minutes.
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else if (a == "--unpaced-only") {
            paced = false;
        } else if (a == "--paced-only") {
            unpaced = false;
        } else if (a == "--bin") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "velora-bench: --bin needs a folder (try --help)\n");
                return 2;
            }
            bin = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "velora-bench: unknown option %s (try --help)\n", a.c_str());
            return 2;
        } else {
            std::fprintf(stderr, "velora-bench: unexpected argument %s (try --help)\n", a.c_str());
            return 2;
        }
    }
    if (!paced && !unpaced) {
        std::fprintf(stderr, "velora-bench: --unpaced-only and --paced-only exclude each other\n");
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("velora-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("line: 38400 baud, 11 bits a byte = %.1f bytes/s\n", kBytesPerSecond);
    if (unpaced) benchmark(bin, false, dir);
    if (paced) benchmark(bin, true, dir);
    fs::remove_all(dir);
    return 0;
}
