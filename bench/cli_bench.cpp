// Measures full "&All" transfers of velora-cli against velora-emu, paced at
// the real line speed and unpaced, a paced firmware upgrade, or a sync of a
// show with a few changed scenes, and prints the wall time beside the line
// limit and the share of the wall time that velora-cli spent on the CPU.
//
// usage: velora-bench [--unpaced-only | --paced-only | --upgrade N | --sync] [--bin DIR]

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
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
// An upgrade's records: 16 bytes each, from this address on.
constexpr int kRecordLength = 16;
constexpr unsigned kFirstRecordAddress = 0x1000;
constexpr int kMostRecords = 7000;
// Installing a record: its frame (6 + L bytes) out, the acknowledgement (3)
// back, and the 100 ms of silence that ends the acknowledgement read, which
// asks for a whole frame. Verifying it: the request (6) out, the record's
// frame (6 + L) back.
constexpr double kInstallLimitPerRecord = (6 + kRecordLength + 3) / kBytesPerSecond + 0.1;
constexpr double kVerifyLimitPerRecord = (6 + 6 + kRecordLength) / kBytesPerSecond;
// A sync reads all, then writes and reads back each differing block.
constexpr double kWriteLimitPerBlock = (134 + 3) / kBytesPerSecond + 0.1;
constexpr double kReadLimitPerBlock = (6 + 134) / kBytesPerSecond;
constexpr int kSceneFileSize = 1022 * 256;

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

// Runs a program of `bin` with its standard error thrown away and its
// standard output into `output` (when given).
Result runProgram(const std::string& bin, const char* program, const std::vector<std::string>& args,
                  const std::string& output = {}) {
    std::vector<const char*> argv{program};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        if (!output.empty()) {
            const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) dup2(out, STDOUT_FILENO);
        }
        execv((bin + "/" + program).c_str(), const_cast<char* const*>(argv.data()));
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
    const Result read = runProgram(bin, "velora-cli", {"--port", emu.device, "read", "all", base});
    report((std::string("read all, ") + mode).c_str(), read, kReadLimit);
    const Result write = runProgram(bin, "velora-cli", {"--port", emu.device, "write", "all", base});
    report((std::string("write all, ") + mode).c_str(), write, kWriteLimit);
    const Result verify = runProgram(bin, "velora-cli", {"--port", emu.device, "verify", "all", base});
    report((std::string("verify all, ") + mode).c_str(), verify, kReadLimit);
    stopEmulator(emu);
}

// The seconds velora-cli reports in `output` after "installed N records of
// FILE in" and "verified them in", each -1 when it does not say.
std::pair<double, double> reportedPasses(const std::string& output, const std::string& file) {
    std::ifstream in(output);
    std::stringstream text;
    text << in.rdbuf();
    const std::string line = text.str();
    const auto secondsAfter = [&line](const std::string& words) {
        const std::size_t at = line.find(words);
        return at == std::string::npos ? -1.0 : std::atof(line.c_str() + at + words.size());
    };
    return {secondsAfter(file + " in "), secondsAfter("verified them in ")};
}

void benchmarkUpgrade(const std::string& bin, int records, const fs::path& dir) {
    // Random firmware, so that no pattern of the bytes helps or hinders.
    std::vector<char> image(static_cast<std::size_t>(records * kRecordLength));
    std::mt19937 random(20);
    for (char& b : image) b = static_cast<char>(random() & 0xFF);
    const std::string imagePath = (dir / "fw.bin").string();
    std::ofstream(imagePath, std::ios::binary)
        .write(image.data(), static_cast<std::streamsize>(image.size()));
    const std::string upgrade = (dir / "kq318_bench.upg").string();
    char address[16];
    std::snprintf(address, sizeof address, "%X", kFirstRecordAddress);
    const Result made = runProgram(
        bin, "velora-mkupg", {"--version", "1.06", "--image", imagePath, "--address", address, "-o", upgrade},
        (dir / "mkupg.txt").string());
    if (made.status != 0) {
        std::fprintf(stderr, "velora-bench: velora-mkupg could not make the upgrade file (exit %d)\n",
                     made.status);
        return;
    }
    const Emulator emu = startEmulator(bin, true);
    const std::string output = (dir / "upgrade.txt").string();
    const Result run =
        runProgram(bin, "velora-cli", {"--port", emu.device, "--yes", "upgrade", upgrade}, output);
    stopEmulator(emu);
    const double installLimit = records * kInstallLimitPerRecord;
    const double verifyLimit = records * kVerifyLimitPerRecord;
    const auto [install, verify] = reportedPasses(output, upgrade);
    std::printf("upgrade of %d records of %d bytes, paced:\n", records, kRecordLength);
    if (install >= 0 && verify >= 0) {
        std::printf(
            "  installing   %8.1f s   line limit %7.1f s   ratio %5.3f   (as velora-cli reports it)\n",
            install, installLimit, install / installLimit);
        std::printf(
            "  verifying    %8.1f s   line limit %7.1f s   ratio %5.3f   (as velora-cli reports it)\n",
            verify, verifyLimit, verify / verifyLimit);
    }
    report("  the whole run", run, installLimit + verifyLimit);
}

// BASE's data files copied to CHANGED, with `scenes` scenes spread over the
// show changed in both their blocks.
void changeScenes(const std::string& base, const std::string& changed, int scenes) {
    for (const char* ext : {".K5s", ".K5p", ".K5m"})
        fs::copy_file(base + ext, changed + ext, fs::copy_options::overwrite_existing);
    std::fstream file(changed + ".K5s", std::ios::in | std::ios::out | std::ios::binary);
    for (int i = 0; i < scenes; ++i) {
        for (int channel : {0, 128}) {
            const std::streamoff at =
                static_cast<std::streamoff>(i) * (kSceneFileSize / 256 / scenes) * 256 + channel;
            char b = 0;
            file.seekg(at);
            file.get(b);
            file.seekp(at);
            file.put(static_cast<char>(b ^ 0x5A));
        }
    }
}

// velora-cli sync all of a show with `scenes` changed scenes (two blocks
// each): paced, beside write all and verify all of the same show; unpaced,
// alone.
void benchmarkSync(const std::string& bin, bool paced, int scenes, const fs::path& dir) {
    const char* mode = paced ? "paced" : "unpaced";
    const std::string base = (dir / "sync-show").string();
    const std::string changed = (dir / "sync-changed").string();
    if (!fs::exists(base + ".K5s")) {
        // The demonstration show, read quickly from an unpaced emulator.
        const Emulator quick = startEmulator(bin, false);
        runProgram(bin, "velora-cli", {"--port", quick.device, "--quiet", "read", "all", base});
        stopEmulator(quick);
    }
    changeScenes(base, changed, scenes);
    const Emulator emu = startEmulator(bin, paced);
    const int blocks = 2 * scenes;
    const double syncLimit = kReadLimit + blocks * (kWriteLimitPerBlock + kReadLimitPerBlock);
    const Result sync = runProgram(bin, "velora-cli",
                                   {"--port", emu.device, "--quiet", "sync", "--backup-dir",
                                    (dir / "backups").string(), "all", changed});
    std::printf("sync all, %d changed scenes (%d blocks), %s:\n", scenes, blocks, mode);
    report("  sync all", sync, syncLimit);
    if (paced) {
        const Result write =
            runProgram(bin, "velora-cli", {"--port", emu.device, "--quiet", "write", "all", changed});
        report("  write all", write, kWriteLimit);
        const Result verify =
            runProgram(bin, "velora-cli", {"--port", emu.device, "--quiet", "verify", "all", changed});
        report("  verify all", verify, kReadLimit);
        std::printf("  write all + verify all: %.1f s, %.2f times the sync's %.1f s\n",
                    write.wall + verify.wall, (write.wall + verify.wall) / sync.wall, sync.wall);
    }
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
        "With --upgrade N it runs instead a paced firmware upgrade of N records of 16\n"
        "bytes (installing and verifying; about 2 minutes for 1,000 records), and\n"
        "prints each pass and the whole run beside its line limit.\n"
        "\n"
        "With --sync it runs instead velora-cli sync all of the demonstration show\n"
        "with changed scenes: unpaced with 2 changed scenes (4 blocks), then paced\n"
        "with 10 changed scenes (20 blocks) beside\n"
        "write all and verify all of the same show (about eight minutes).\n"
        "\n"
        "Options:\n"
        "  --unpaced-only   only the unpaced transfers\n"
        "  --paced-only     only the paced transfers\n"
        "  --upgrade N      only a paced upgrade of N records (1 to 7000)\n"
        "  --sync           only the sync (with --unpaced-only or --paced-only: that part)\n"
        "  --bin DIR        take velora-cli, velora-emu and velora-mkupg from DIR\n"
        "                   (default: the app folder beside the one holding\n"
        "                   velora-bench)\n"
        "  --help, -h       show this text\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string bin = fs::path(argv[0]).parent_path().parent_path() / "app";
    bool paced = true, unpaced = true;
    int upgradeRecords = 0;
    bool sync = false;
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
        } else if (a == "--upgrade") {
            const char* value = i + 1 < argc ? argv[i + 1] : "";
            char* end = nullptr;
            const long n = std::strtol(value, &end, 10);
            if (*value == '\0' || *end != '\0' || n < 1 || n > kMostRecords) {
                std::fprintf(stderr,
                             "velora-bench: --upgrade needs a number of records from 1 to %d (try --help)\n",
                             kMostRecords);
                return 2;
            }
            upgradeRecords = static_cast<int>(n);
            ++i;
        } else if (a == "--sync") {
            sync = true;
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
    if (upgradeRecords > 0 && !(paced && unpaced)) {
        std::fprintf(stderr, "velora-bench: --upgrade runs alone, without --unpaced-only or --paced-only\n");
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("velora-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("line: 38400 baud, 11 bits a byte = %.1f bytes/s\n", kBytesPerSecond);
    if (sync && upgradeRecords > 0) {
        std::fprintf(stderr, "velora-bench: --sync and --upgrade exclude each other\n");
        return 2;
    }
    if (sync) {
        if (unpaced) benchmarkSync(bin, false, 2, dir);
        if (paced) benchmarkSync(bin, true, 10, dir);
    } else if (upgradeRecords > 0) {
        benchmarkUpgrade(bin, upgradeRecords, dir);
    } else {
        if (unpaced) benchmark(bin, false, dir);
        if (paced) benchmark(bin, true, dir);
    }
    fs::remove_all(dir);
    return 0;
}
