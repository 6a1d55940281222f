#include "tools/soak/soak_upgrade.h"

#include <signal.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <fstream>
#include <iterator>

#include "emulator/controller_model.h"
#include "tests/support/emulator_process.h"
#include "tools/soak/soak_process.h"
#include "upgrade/upgrade_writer.h"

namespace velora::soak {

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char*, 11> kKinds{"nak",   "checksum", "short",   "address", "type", "data",
                                             "extra", "silence",  "garbage", "delay",   "drop"};

// Records 16 addresses apart, so none overlaps another: now and then across
// 0xFFFF or up to the highest address; now and then a short one or one of
// length 0.
std::vector<UpgradeRecord> drawRecords(Rng& rng) {
    const int count = between(rng, 1, 20);
    const int last = 16 * (count - 1);
    std::uint32_t start = 0;
    switch (between(rng, 0, 3)) {
        case 0:
            start = static_cast<std::uint32_t>(0x10000 - 16 * between(rng, 1, count));
            break;
        case 1:
            start = kUpgradeMaxAddress - static_cast<std::uint32_t>(last);
            break;
        default:
            start = static_cast<std::uint32_t>(between(rng, 0, static_cast<int>(kUpgradeMaxAddress) - last));
    }
    std::vector<UpgradeRecord> records(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < records.size(); ++i) {
        UpgradeRecord& r = records[i];
        r.address = start + 16 * static_cast<std::uint32_t>(i);
        r.length = chance(rng, 0.1) ? static_cast<std::uint32_t>(between(rng, 0, 16)) : 16;
        for (std::uint8_t& b : r.data) b = static_cast<std::uint8_t>(rng() & 0xFF);
    }
    return records;
}

// Frames of one step with no retry: the version query after the port is
// chosen, a write of every record (an install), a read of every record, the
// version query that ends the upgrade.
int framesOf(const UpgradePlan& plan, const UpgradeStep& step) {
    const int n = static_cast<int>(plan.records.size());
    return 2 + (step.verifyOnly ? n : 2 * n);
}
bool isWriteFrame(const UpgradePlan& plan, const UpgradeStep& step, int frame) {
    return !step.verifyOnly && frame >= 2 && frame <= 1 + static_cast<int>(plan.records.size());
}

// Seconds a record takes on the line: each acknowledgement ends in 100 ms of silence.
double perRecord(bool write, bool paced) {
    if (write) return paced ? 0.11 : 0.105;
    return paced ? 0.01 : 0.002;
}

double nominal(const UpgradePlan& plan, const UpgradeStep& step) {
    const double n = static_cast<double>(plan.records.size());
    return 0.2 + n * perRecord(false, plan.paced) + (step.verifyOnly ? 0 : n * perRecord(true, plan.paced));
}

// A plan without faults: none injected, nothing the step must fail on.
void clearFaults(UpgradePlan& plan, UpgradeStep& step) {
    plan.faults.clear();
    plan.dataFault = false;
    plan.lostWords.clear();
    step.mustFail.clear();
}

// Draws `count` fault rules for the first step; returns their cost in seconds.
double drawFaults(Rng& rng, UpgradePlan& plan, UpgradeStep& step, int count) {
    clearFaults(plan, step);
    const int frames = framesOf(plan, step);
    double cost = 0;
    // The first rule that matches a frame is the one applied.
    std::vector<int> taken;
    bool earlierRandom = false;
    for (int i = 0; i < count; ++i) {
        const std::string kind = kKinds[static_cast<std::size_t>(between(rng, 0, kKinds.size() - 1))];
        std::string rule = kind + "@";
        double events = 1;
        plan.dataFault = plan.dataFault || kind == "data";
        if (chance(rng, 0.6)) {
            const int frame = between(rng, 1, frames + 1);
            rule += std::to_string(frame);
            const bool decides =
                !earlierRandom && std::find(taken.begin(), taken.end(), frame) == taken.end();
            taken.push_back(frame);
            const bool write = isWriteFrame(plan, step, frame);
            const bool recordRead = !write && frame >= 2 && frame < frames;
            const bool certain = kind == "nak" || kind == "checksum" || kind == "short" ||
                                 kind == "silence" || kind == "garbage" ||
                                 (!write && (kind == "address" || kind == "type")) ||
                                 (recordRead && kind == "data");
            if (decides && kind == "drop" && frame <= frames) {
                step.mustFail = "the line was dropped at frame " + std::to_string(frame);
                if (count == 1 && frame >= 2)
                    plan.lostWords = write            ? "the line was lost while installing"
                                     : frame < frames ? "the line was lost while verifying"
                                                      : "the version query afterwards failed";
            } else if (decides && step.retries <= 0 && frame <= frames && certain) {
                step.mustFail = rule + " hits a frame and no retries are allowed";
            }
        } else {
            events = drawRandomFault(rng, rule, 0.01, 0.08, frames);
            earlierRandom = true;
        }
        const int ms = drawDelay(rng, kind, rule);
        // A silent frame costs its whole read: a record read asks for up to 22 bytes at 120 ms each.
        const double each = kind == "silence" ? 2.7 : kind == "delay" ? ms / 1000.0 + 0.2 : 0.2;
        cost += events * each;
        plan.faults.push_back(rule);
    }
    return cost;
}

}  // namespace

UpgradePlan planUpgrade(Rng& rng) {
    UpgradePlan plan;
    plan.version = std::array{"1.04", "1.05", "1.06", "2.00"}[static_cast<std::size_t>(between(rng, 0, 3))];
    plan.records = drawRecords(rng);
    UpgradeStep step;
    step.retries = chance(rng, 0.3) ? -1 : between(rng, 0, 4);
    step.ignore = chance(rng, 0.3);
    const double pick = real(rng, 0.0, 1.0);
    double cost = 0;
    if (pick < 0.40) {
        // Faults of every kind, at set frames or at random.
        plan.paced = chance(rng, 0.2);
        const int count = std::array{1, 1, 1, 2, 2, 3}[static_cast<std::size_t>(between(rng, 0, 5))];
        cost = drawFaults(rng, plan, step, count);
        for (int tries = 0; cost > 25 && tries < 20; ++tries) cost = drawFaults(rng, plan, step, count);
        if (cost > 25) {
            clearFaults(plan, step);
            cost = 0;
        }
        plan.steps.push_back(step);
    } else if (pick < 0.75) {
        // Ctrl-C at a random moment of either pass, then at once an install
        // with no fault: it must end with 0.
        plan.paced = chance(rng, 0.5);
        const int records = static_cast<int>(plan.records.size());
        const int frame = between(rng, 2, 1 + 2 * records);
        step.interruptAtFrame = static_cast<std::uint64_t>(frame);
        step.interruptDelay = real(rng, 0.0, perRecord(frame <= 1 + records, plan.paced));
        plan.steps.push_back(step);
        UpgradeStep next;
        next.retries = chance(rng, 0.5) ? -1 : between(rng, 0, 4);
        plan.steps.push_back(next);
    } else if (pick < 0.90) {
        // The line lost, mostly in the install pass.
        plan.paced = chance(rng, 0.2);
        const int records = static_cast<int>(plan.records.size());
        const int frame =
            chance(rng, 0.7) ? between(rng, 2, 1 + records) : between(rng, 2 + records, 1 + 2 * records);
        plan.faults.push_back("drop@" + std::to_string(frame));
        step.mustFail = "the line was dropped at frame " + std::to_string(frame);
        plan.lostWords =
            frame <= 1 + records ? "the line was lost while installing" : "the line was lost while verifying";
        plan.steps.push_back(step);
    } else {
        // The install question answered No, or a verification of what the
        // controller already holds, under random faults.
        if (chance(rng, 0.5)) {
            step.yes = false;
            step.mustFail = "the install question is answered No";
        } else {
            step.verifyOnly = true;
            cost = drawFaults(rng, plan, step, 1);
            if (cost > 25) {
                clearFaults(plan, step);
                cost = 0;
            }
        }
        plan.steps.push_back(step);
    }
    for (UpgradeStep& s : plan.steps) s.limit = 15 + 3 * (nominal(plan, s) + cost);
    return plan;
}

namespace {

// Tells when velora-emu's log shows that it took frame `frame`, and answers
// true `delay` seconds after.
class FrameWatch {
  public:
    FrameWatch(fs::path log, std::uint64_t frame, double delay)
        : log_(std::move(log)), mark_("(#" + std::to_string(frame) + " "), delay_(delay) {}

    bool operator()() {
        using Clock = std::chrono::steady_clock;
        if (!seenAt_) {
            std::ifstream in(log_, std::ios::binary);
            in.seekg(static_cast<std::streamoff>(read_));
            const std::string more((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            read_ += more.size();
            tail_ += more;
            if (tail_.find(mark_) != std::string::npos) seenAt_ = Clock::now();
            // Keep only what a mark cut in two needs.
            if (tail_.size() > 64) tail_.erase(0, tail_.size() - 64);
            if (!seenAt_) return false;
        }
        return std::chrono::duration<double>(Clock::now() - *seenAt_).count() >= delay_;
    }

  private:
    fs::path log_;
    std::string mark_;
    double delay_;
    std::size_t read_ = 0;
    std::string tail_;
    std::optional<std::chrono::steady_clock::time_point> seenAt_;
};

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Ctrl-C is noticed within one wait on the line; this leaves room for a busy machine.
constexpr double kStopWithin = 2.0;

struct StepResult {
    CliResult cli;
    std::string said;  // its standard error
};

// The status of one step, and its words when it was cut short.
void checkStep(const UpgradePlan& plan, std::size_t index, const StepResult& r, bool followsInterrupt,
               Totals& totals, std::vector<std::string>& problems) {
    const UpgradeStep& step = plan.steps[index];
    const int s = r.cli.status;
    const std::string run = "run " + std::to_string(index + 1) + ": ";
    if (r.cli.hung) {
        problems.push_back(run + "hung: killed at the time limit");
        return;
    }
    const bool faultFree = plan.faults.empty();
    std::string why;
    if (s == 130 && !r.cli.interrupted)
        why = "130 without an interrupt";
    else if (s != 0 && s != 1 && s != 2 && s != 130)
        why = "no status velora-cli gives (crashed?)";
    else if (s == 1 && !(step.ignore && plan.dataFault))
        why = "1 although no difference could be ignored";
    else if (r.cli.interrupted && r.cli.seconds - r.cli.interruptedAt > kStopWithin)
        why = "still running " + std::to_string(r.cli.seconds - r.cli.interruptedAt) + " s after SIGINT";
    else if (s == 0 && !step.mustFail.empty())
        why = "succeeded although " + step.mustFail;
    else if (r.cli.interrupted && faultFree && s != 130 && s != 0)
        why = "an interrupted install must end with 130 (or 0 when it had finished)";
    else if (!r.cli.interrupted && faultFree && step.mustFail.empty() && s != 0)
        why = std::string(followsInterrupt ? "a fault-free install right after an interrupted one"
                                           : "a fault-free install") +
              " must end with 0";
    if (!why.empty()) {
        ++totals.wrongStatuses;
        problems.push_back(run + "exit " + std::to_string(s) + ": " + why);
    }

    // A run cut short says what the controller holds and what to do.
    std::string missing;
    if (s == 130 &&
        r.said.find("velora-cli: interrupted while installing; the controller's firmware may be "
                    "incomplete: run the upgrade again") == std::string::npos &&
        r.said.find("velora-cli: interrupted while verifying; the firmware is ") == std::string::npos &&
        r.said.find("the version query afterwards was interrupted") == std::string::npos)
        missing = "an interrupted upgrade did not say what it left";
    else if (index == 0 && !plan.lostWords.empty() && s != 0 &&
             r.said.find(plan.lostWords) == std::string::npos)
        missing = "did not say \"" + plan.lostWords + "\"";
    if (!missing.empty()) {
        ++totals.wrongWords;
        problems.push_back(run + missing);
    }
}

}  // namespace

void carryOutUpgrade(const std::string& bin, const UpgradePlan& plan, std::uint64_t seed, const fs::path& dir,
                     const std::atomic<bool>& stopped, Totals& totals, std::vector<std::string>& lines,
                     std::vector<std::string>& problems) {
    Rng rng(seed ^ 0xF1A5B0A7ull);
    fs::create_directories(dir);

    // The file, and a memory file of random bytes; a verification alone
    // finds the file's records in place.
    std::string why;
    const auto file = buildUpgradeFile(plan.version, plan.records, why);
    if (!file) {
        problems.push_back("the upgrade file could not be made: " + why);
        return;
    }
    const fs::path upgradeFile = dir / ("kq318_" + plan.version + ".upg");
    writeBytes(upgradeFile, file->bytes.data(), file->bytes.size());
    std::string memory =
        randomBytes(rng, ControllerModel::kDataMemorySize + ControllerModel::kFirmwareMemorySize);
    const std::size_t firmwareAt = ControllerModel::kDataMemorySize;
    const bool verifyAlone = plan.steps.front().verifyOnly;
    if (verifyAlone)
        for (const UpgradeRecord& r : plan.records)
            std::copy_n(r.data.begin(), r.length, memory.begin() + static_cast<long>(firmwareAt + r.address));
    const fs::path memoryFile = dir / "memory.bin";
    writeBytes(memoryFile, memory.data(), memory.size());

    std::vector<std::string> emuArgs{"--memory", memoryFile.string(), "--log"};
    if (plan.paced) emuArgs.push_back("--paced");
    for (const std::string& rule : plan.faults) emuArgs.insert(emuArgs.end(), {"--fault", rule});
    const fs::path emuLog = dir / "emu.log";
    testing::EmulatorProcess emu(bin + "/velora-emu", emuArgs, emuLog);
    lines.push_back("velora-emu " + commandLine(emuArgs) + "   (" + std::to_string(plan.records.size()) +
                    " records, file version " + plan.version + ")");
    std::vector<StepResult> results;
    if (emu.device().empty()) {
        problems.push_back("velora-emu did not start (see " + emuLog.string() + ")");
    } else {
        for (std::size_t i = 0; i < plan.steps.size(); ++i) {
            const UpgradeStep& step = plan.steps[i];
            std::vector<std::string> args{"--port", emu.device()};
            if (step.yes) args.push_back("--yes");
            if (step.retries >= 0) args.insert(args.end(), {"--retries", std::to_string(step.retries)});
            if (step.ignore) args.push_back("--ignore-differences");
            args.push_back("upgrade");
            if (step.verifyOnly) args.push_back("--verify-only");
            args.push_back(upgradeFile.string());
            const fs::path log = dir / ("cli-" + std::to_string(i) + ".log");
            Interrupt interrupt;
            if (step.interruptAtFrame)
                interrupt.when = FrameWatch(emuLog, *step.interruptAtFrame, step.interruptDelay);
            StepResult r{runCli(bin, args, log, step.limit, interrupt), readAll(log)};
            char how[160];
            std::snprintf(how, sizeof how, "   [exit %d after %.2f s%s]", r.cli.status, r.cli.seconds,
                          r.cli.hung ? ", hung" : "");
            std::string line = "velora-cli " + commandLine(args) + how;
            if (r.cli.interrupted) {
                char at[96];
                std::snprintf(at, sizeof at, " SIGINT at %.3f s (frame %llu + %.3f s)", r.cli.interruptedAt,
                              static_cast<unsigned long long>(step.interruptAtFrame.value_or(0)),
                              step.interruptDelay);
                line += at;
            }
            lines.push_back(line);
            if (const std::string said = lastWords(log); !said.empty()) lines.push_back("  said: " + said);
            results.push_back(std::move(r));
        }
    }
    const int emuStatus = emu.stop(SIGTERM, std::chrono::seconds(10));
    if (emuStatus == -1 && !emu.device().empty()) {
        ++totals.hangs;
        problems.push_back("velora-emu did not stop on SIGTERM");
    } else if (emuStatus != 0 && !emu.device().empty()) {
        problems.push_back("velora-emu ended with status " + std::to_string(emuStatus));
    }
    if (stopped.load()) return;
    totals.faults += countInjected(emuLog);

    bool succeeded = false, yesOnce = false;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const StepResult& r = results[i];
        ++totals.runs;
        ++totals.installs;
        totals.interrupts += r.cli.interrupted;
        totals.hangs += r.cli.hung;
        checkStep(plan, i, r, i > 0 && results[i - 1].cli.interrupted, totals, problems);
        succeeded = succeeded || (!r.cli.hung && r.cli.status == 0);
        yesOnce = yesOnce || plan.steps[i].yes;
    }

    // The firmware memory: every record as the file has it after a success,
    // each record old or new otherwise, nothing else changed.
    const std::string after = readAll(memoryFile);
    if (after.size() != memory.size()) {
        problems.push_back("the emulator left no whole memory file");
        return;
    }
    if (after.compare(0, firmwareAt, memory, 0, firmwareAt) != 0)
        problems.push_back("the data memory changed in an upgrade");
    std::string expectedOld = memory, expectedNew = memory;
    std::vector<bool> inRecord(ControllerModel::kFirmwareMemorySize, false);
    for (const UpgradeRecord& r : plan.records) {
        std::copy_n(r.data.begin(), r.length,
                    expectedNew.begin() + static_cast<long>(firmwareAt + r.address));
        std::fill_n(inRecord.begin() + r.address, r.length, true);
    }
    int outside = 0, unlike = 0, mixed = 0, written = 0;
    for (std::size_t a = 0; a < inRecord.size(); ++a)
        outside += !inRecord[a] && after[firmwareAt + a] != memory[firmwareAt + a];
    for (const UpgradeRecord& r : plan.records) {
        const std::size_t at = firmwareAt + r.address;
        const bool isNew = after.compare(at, r.length, expectedNew, at, r.length) == 0;
        const bool isOld = after.compare(at, r.length, expectedOld, at, r.length) == 0;
        unlike += !isNew;
        mixed += !isNew && !isOld;
        written += isNew && !isOld;
    }
    if (outside) problems.push_back(std::to_string(outside) + " firmware bytes changed outside the records");
    if (mixed) problems.push_back(std::to_string(mixed) + " records neither old nor new");
    if (succeeded && unlike) {
        ++totals.firmwareUnlikeFile;
        problems.push_back("exit 0, but " + std::to_string(unlike) + " records are not as the file has them");
    }
    if (!yesOnce && written)
        problems.push_back("records written although the install question was answered No");
}

}  // namespace velora::soak
