// velora-soak: many velora-cli runs against velora-emu with faults injected,
// each outcome checked against the controller memory the emulator saved and
// the data files the run left. Every run is drawn from its own seed, which
// the campaign seed gives in turn, so a failing run can be replayed alone.
//
// usage: velora-soak [--runs N] [--seconds S] [--seed S] [--bin DIR] [--keep]
//                    [--upgrades] [--replay RUNSEED]

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "emulator/controller_model.h"
#include "emulator/demo_show.h"
#include "files/data_files.h"
#include "tests/support/emulator_process.h"
#include "tools/soak/soak_checks.h"
#include "tools/soak/soak_process.h"
#include "tools/soak/soak_random.h"
#include "tools/soak/soak_upgrade.h"

namespace velora::soak {
namespace {

namespace fs = std::filesystem;

// --- what a run does --------------------------------------------------------------

enum class Case {
    Plain,               // one run, perhaps with faults, perhaps interrupted
    InterruptedThenRun,  // a paced read interrupted, at once a fault-free run on the same line
    InterruptedReadAll,  // "read all" interrupted: the three files must stay one set
    SaveFails,           // "read all" where one file cannot be saved
    Upgrade,             // firmware installs (soak_upgrade.h)
};

const char* caseName(Case c) {
    switch (c) {
        case Case::Plain:
            return "plain";
        case Case::InterruptedThenRun:
            return "interrupted paced read, then a run";
        case Case::InterruptedReadAll:
            return "interrupted read all";
        case Case::SaveFails:
            return "read all, a file cannot be saved";
        case Case::Upgrade:
            return "firmware install";
    }
    return "?";
}

struct Step {
    Verb verb = Verb::Read;
    Target target;
    int retries = -1;  // -1: no --retries
    bool yes = false;
    std::optional<double> interruptAfter;
    bool interruptOnSave = false;  // SIGINT once the first data file is saved
    bool plantDifference = false;
    bool oldFiles = false;  // a read finds data files from before
    std::string mustFail;
    double limit = 0;  // seconds before it counts as hung
};

struct Plan {
    std::uint64_t seed = 0;
    Case kind = Case::Plain;
    bool paced = false;
    bool demo = false;
    std::vector<std::string> faults;
    int directory = -1;  // this data file is a folder (SaveFails)
    std::vector<Step> steps;
    UpgradePlan upgrade;  // Upgrade
};

constexpr std::array<const char*, 10> kKinds{"nak",   "checksum", "short",   "address", "type",
                                             "extra", "silence",  "garbage", "delay",   "drop"};

// Kinds that velora-cli cannot miss on a block frame: with no retries they
// end the run.
bool certainFailure(const std::string& kind, Verb verb) {
    if (kind == "nak" || kind == "checksum" || kind == "short" || kind == "silence" || kind == "garbage")
        return true;
    return verb != Verb::Write && (kind == "address" || kind == "type");
}

// Rough seconds per block and per fault, for time limits and interrupt moments.
double perBlock(Verb verb, bool paced) {
    if (verb == Verb::Write) return paced ? 0.15 : 0.105;  // each acknowledgement ends in 100 ms of silence
    return paced ? 0.045 : 0.001;
}

double faultCost(const std::string& kind, Verb verb, int ms) {
    if (kind == "silence") return verb == Verb::Write ? 0.8 : 16.2;  // the read gives up after 134 x 120 ms
    if (kind == "delay") return ms / 1000.0 + 0.2;
    return 0.2;
}

double nominal(const Step& step, bool paced) {
    return 0.08 + step.target.blocks() * perBlock(step.verb, paced);
}

Target smallTarget(Rng& rng, int maxScenes) {
    const int pick = between(rng, 0, 9);
    if (pick == 8) return Target::settings();
    if (pick == 9) return Target::midi();
    const int length = between(rng, 1, maxScenes);
    // Now and then the range ends at the last scene, next to the settings blocks.
    const int first = pick == 0 ? kScenes - length : between(rng, 0, kScenes - length);
    return Target::scenes(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(first + length - 1));
}

// Draws the fault rules of a plain run; returns their cost in seconds.
double drawFaults(Rng& rng, Plan& plan, Step& step) {
    plan.faults.clear();
    step.mustFail.clear();
    const int frames = step.target.blocks() + 1;  // the version query comes first
    const int count = std::array{0, 0, 0, 1, 1, 1, 1, 2, 2, 3}[static_cast<std::size_t>(between(rng, 0, 9))];
    double cost = 0;
    // The first rule that matches a frame is the one applied: a rule decides
    // a frame only when no earlier rule may take it.
    std::vector<int> taken;
    bool earlierRandom = false;
    for (int i = 0; i < count; ++i) {
        const std::string kind = kKinds[static_cast<std::size_t>(between(rng, 0, kKinds.size() - 1))];
        std::string rule = kind + "@";
        double events = 1;
        if (chance(rng, 0.5)) {
            const int frame = between(rng, 1, frames + 1);
            rule += std::to_string(frame);
            const bool decides =
                !earlierRandom && std::find(taken.begin(), taken.end(), frame) == taken.end();
            taken.push_back(frame);
            if (decides && kind == "drop" && frame <= frames)
                step.mustFail = "the line was dropped at frame " + std::to_string(frame);
            else if (decides && step.retries < 0 && frame >= 2 && frame <= frames &&
                     certainFailure(kind, step.verb))
                step.mustFail = rule + " hits a block frame and no retries are allowed";
        } else {
            events = drawRandomFault(rng, rule, 0.005, 0.05, frames);
            earlierRandom = true;
        }
        const int ms = drawDelay(rng, kind, rule);
        cost += events * faultCost(kind, step.verb, ms);
        plan.faults.push_back(rule);
    }
    return cost;
}

// The plan of run seed `seed`; with `upgrades`, a firmware install always.
Plan planRun(std::uint64_t seed, bool upgrades) {
    Rng rng(seed);
    Plan plan;
    plan.seed = seed;
    plan.demo = chance(rng, 0.25);
    const double pick = real(rng, 0.0, 1.0);
    plan.kind = upgrades || pick >= 0.80 ? Case::Upgrade
                : pick < 0.08            ? Case::InterruptedThenRun
                : pick < 0.16            ? Case::InterruptedReadAll
                : pick < 0.20            ? Case::SaveFails
                                         : Case::Plain;
    Step step;
    switch (plan.kind) {
        case Case::Upgrade:
            plan.demo = false;
            plan.upgrade = planUpgrade(rng);
            plan.paced = plan.upgrade.paced;
            break;
        case Case::Plain: {
            const int verb = between(rng, 0, 19);
            step.verb = verb < 8 ? Verb::Read : verb < 13 ? Verb::Write : Verb::Verify;
            plan.paced = chance(rng, 0.2);
            // A whole-memory write takes minutes (100 ms a block): reads and verifications only.
            const bool all = !plan.paced && step.verb != Verb::Write && chance(rng, 0.1);
            step.target = all ? Target::all() : smallTarget(rng, plan.paced ? 4 : 16);
            step.retries = chance(rng, 0.3) ? -1 : between(rng, 1, 6);
            step.yes = step.verb == Verb::Verify && chance(rng, 0.3);
            step.plantDifference = step.verb == Verb::Verify && chance(rng, 0.5);
            step.oldFiles = chance(rng, 0.5);
            double cost = drawFaults(rng, plan, step);
            for (int tries = 0; cost > 25 && tries < 20; ++tries) cost = drawFaults(rng, plan, step);
            if (cost > 25) {
                plan.faults.clear();
                step.mustFail.clear();
                cost = 0;
            }
            if (chance(rng, 0.15)) step.interruptAfter = real(rng, 0.0, 1.3 * nominal(step, plan.paced));
            step.limit = 15 + 3 * (nominal(step, plan.paced) + cost);
            plan.steps.push_back(step);
            break;
        }
        case Case::InterruptedThenRun: {
            plan.paced = true;
            step.target = smallTarget(rng, 8);
            step.interruptAfter = real(rng, 0.02, nominal(step, true));
            step.limit = 15 + 3 * nominal(step, true);
            plan.steps.push_back(step);
            Step next;
            next.verb = chance(rng, 0.5) ? Verb::Read : Verb::Verify;
            next.target = smallTarget(rng, 8);
            next.plantDifference = next.verb == Verb::Verify && chance(rng, 0.3);
            next.oldFiles = chance(rng, 0.5);
            next.limit = 15 + 3 * nominal(next, true);
            plan.steps.push_back(next);
            break;
        }
        case Case::InterruptedReadAll:
            plan.paced = chance(rng, 0.25);
            step.target = Target::all();
            step.oldFiles = chance(rng, 0.7);
            // Unpaced, the moment falls anywhere in the run, file saving
            // included; or it comes right after the first of the three saves.
            if (!plan.paced && chance(rng, 0.4))
                step.interruptOnSave = true;
            else
                step.interruptAfter = plan.paced ? real(rng, 0.05, 3.0) : real(rng, 0.0, 0.25);
            // Paced, the whole read would take minutes; it must stop at the interrupt.
            step.limit = plan.paced ? 20 : 15 + 3 * nominal(step, false);
            plan.steps.push_back(step);
            break;
        case Case::SaveFails:
            step.target = Target::all();
            step.oldFiles = true;
            plan.directory = between(rng, 0, 2);
            step.mustFail = std::string("BASE.") +
                            dataFileExtension(static_cast<Region>(plan.directory)).data() + " is a folder";
            step.limit = 15 + 3 * nominal(step, false);
            plan.steps.push_back(step);
            break;
    }
    return plan;
}

// --- carrying a run out ---------------------------------------------------------------

// The data files a step starts from.
void prepareFiles(Rng& rng, const Plan& plan, const Step& step, const Bytes& memory, const fs::path& base) {
    for (int i = 0; i < 3; ++i) {
        const auto region = static_cast<Region>(i);
        if (!step.target.has(region)) continue;
        const fs::path path = fileOf(base, region);
        if (i == plan.directory) {
            fs::create_directories(path);
            continue;
        }
        // A read may find old files; a write sends random ones; a verification starts from a match.
        if (step.verb == Verb::Read && !step.oldFiles) continue;
        const std::string bytes = step.verb == Verb::Verify ? fileFromMemory(memory, region)
                                                            : randomBytes(rng, dataFileSize(region));
        writeBytes(path, bytes.data(), bytes.size());
    }
    if (!step.plantDifference) return;
    // One byte that verification compares: in the scene range, an end scene, a MIDI key.
    std::vector<Region> regions;
    for (int i = 0; i < 3; ++i)
        if (step.target.has(static_cast<Region>(i))) regions.push_back(static_cast<Region>(i));
    const Region region =
        regions[static_cast<std::size_t>(between(rng, 0, static_cast<int>(regions.size()) - 1))];
    std::size_t at = 0;
    if (region == Region::Scenes)
        at = static_cast<std::size_t>(between(rng, static_cast<int>(step.target.firstScene) * kChannels,
                                              static_cast<int>(step.target.lastScene + 1) * kChannels - 1));
    else
        at = static_cast<std::size_t>(between(rng, 0, region == Region::Settings ? kProgrammes - 1 : 255));
    std::string bytes = fileFromMemory(memory, region);
    bytes[at] = static_cast<char>(bytes[at] ^ between(rng, 1, 255));
    writeBytes(fileOf(base, region), bytes.data(), bytes.size());
}

std::atomic<bool> stopCampaign{false};
extern "C" void onStopSignal(int) {
    stopCampaign.store(true);
}

struct Campaign {
    std::string bin;
    fs::path work;
    Bytes demo;  // the demonstration show's memory
    Totals totals;
    bool verbose = false;   // print every run, not only failing ones
    bool upgrades = false;  // firmware installs only
};

// Prints a run that failed (or every run when verbose), with the command that replays it.
void report(Campaign& campaign, const Plan& plan, int number, const std::vector<std::string>& lines,
            const std::vector<std::string>& problems) {
    if (!problems.empty()) ++campaign.totals.failingRuns;
    if (problems.empty() && !campaign.verbose) return;
    std::printf("%s run %d, seed 0x%016" PRIx64 " (%s%s): velora-soak%s --replay 0x%016" PRIx64 " --keep\n",
                problems.empty() ? "PASS" : "FAIL", number, plan.seed, caseName(plan.kind),
                plan.demo ? ", demonstration show" : "", campaign.upgrades ? " --upgrades" : "", plan.seed);
    for (const std::string& line : lines) std::printf("    %s\n", line.c_str());
    for (const std::string& p : problems) std::printf("  - %s\n", p.c_str());
    std::fflush(stdout);
}

// Runs one plan in `dir`; prints it when it fails (or when verbose).
void carryOut(Campaign& campaign, const Plan& plan, int number, const fs::path& dir) {
    if (plan.kind == Case::Upgrade) {
        std::vector<std::string> lines, problems;
        carryOutUpgrade(campaign.bin, plan.upgrade, plan.seed, dir, stopCampaign, campaign.totals, lines,
                        problems);
        if (!stopCampaign.load()) report(campaign, plan, number, lines, problems);
        return;
    }
    Rng rng(plan.seed ^ 0x5A17C0DEull);
    fs::create_directories(dir);
    const fs::path memoryFile = dir / "memory.bin";
    Bytes memory = campaign.demo;
    if (!plan.demo) {
        const std::string bytes = randomBytes(rng, kMemorySize);
        memory.assign(bytes.begin(), bytes.end());
        writeBytes(memoryFile, memory.data(), memory.size());
    }
    std::vector<fs::path> bases;
    std::vector<FileSet> before;
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        bases.push_back(dir / std::string(1, static_cast<char>('a' + i)));
        prepareFiles(rng, plan, plan.steps[i], memory, bases.back());
        before.push_back(snapshotFiles(bases.back()));
    }

    std::vector<std::string> emuArgs{"--memory", memoryFile.string()};
    if (plan.demo) emuArgs.push_back("--demo");
    if (plan.paced) emuArgs.push_back("--paced");
    for (const std::string& rule : plan.faults) {
        emuArgs.push_back("--fault");
        emuArgs.push_back(rule);
    }
    if (!plan.faults.empty()) emuArgs.push_back("--log");  // the log names every fault injected

    std::vector<std::string> lines;  // what was run and how it ended
    std::vector<std::string> problems;
    const fs::path emuLog = dir / "emu.log";
    testing::EmulatorProcess emu(campaign.bin + "/velora-emu", emuArgs, emuLog);
    lines.push_back("velora-emu " + commandLine(emuArgs));
    std::vector<CliResult> results;
    if (emu.device().empty()) {
        problems.push_back("velora-emu did not start (see " + emuLog.string() + ")");
    } else {
        for (std::size_t i = 0; i < plan.steps.size(); ++i) {
            const Step& step = plan.steps[i];
            std::vector<std::string> args{"--port", emu.device()};
            if (step.retries >= 0) args.insert(args.end(), {"--retries", std::to_string(step.retries)});
            if (step.yes) args.push_back("--yes");
            args.insert(args.end(), {verbName(step.verb), step.target.text, bases[i].string()});
            const fs::path log = dir / ("cli-" + std::to_string(i) + ".log");
            Interrupt interrupt{step.interruptAfter, {}, {}};
            if (step.interruptOnSave) interrupt.whenReplaced = fileOf(bases[i], Region::Scenes);
            const CliResult r = runCli(campaign.bin, args, log, step.limit, interrupt);
            results.push_back(r);
            char how[160];
            std::snprintf(how, sizeof how, "   [exit %d after %.2f s%s]", r.status, r.seconds,
                          r.hung ? ", hung" : "");
            std::string line = "velora-cli " + commandLine(args) + how;
            if (r.interrupted) {
                char at[64];
                std::snprintf(at, sizeof at, " SIGINT at %.3f s%s", r.interruptedAt,
                              step.interruptOnSave ? " (.K5s saved)" : "");
                line += at;
            }
            lines.push_back(line);
            if (const std::string said = lastWords(log); !said.empty()) lines.push_back("  said: " + said);
        }
    }
    // One that does not stop in time is killed when `emu` goes.
    const int emuStatus = emu.stop(SIGTERM, std::chrono::seconds(10));
    if (emuStatus == -1 && !emu.device().empty()) {
        ++campaign.totals.hangs;
        problems.push_back("velora-emu did not stop on SIGTERM");
    } else if (emuStatus != 0 && !emu.device().empty()) {
        problems.push_back("velora-emu ended with status " + std::to_string(emuStatus));
    }
    campaign.totals.faults += countInjected(emuLog);

    // A run cut short by the soak's own Ctrl-C says nothing about velora-cli.
    if (stopCampaign.load()) return;
    const std::optional<Bytes> after = loadMemory(memoryFile);
    for (std::size_t i = 0; i < results.size(); ++i) {
        const Step& step = plan.steps[i];
        const CliResult& r = results[i];
        ++campaign.totals.runs;
        campaign.totals.interrupts += r.interrupted;
        campaign.totals.hangs += r.hung;
        RunFacts facts;
        facts.verb = step.verb;
        facts.target = step.target;
        facts.status = r.status;
        facts.hung = r.hung;
        facts.interrupted = r.interrupted;
        facts.faultFree = plan.faults.empty() && plan.directory < 0;
        facts.mustFail = step.mustFail;
        facts.plantedDifference = step.plantDifference;
        facts.followsInterrupt = i > 0 && results[i - 1].interrupted;
        facts.stopSeconds = r.seconds - r.interruptedAt;
        Verdict v;
        checkRun(facts, memory, after, before[i], snapshotFiles(bases[i]), v);
        campaign.totals.corruptedBlocks += v.corruptedBlocks;
        campaign.totals.wrongStatuses += v.wrongStatus;
        campaign.totals.unwantedSaves += v.unwantedSaves;
        for (const std::string& p : v.problems) problems.push_back("run " + std::to_string(i + 1) + ": " + p);
    }

    report(campaign, plan, number, lines, problems);
}

// The demonstration show's memory, as velora-emu --demo starts with it.
Bytes demoMemory() {
    ControllerModel model;
    loadDemoShow(model);
    const auto memory = model.dataMemory();
    return Bytes(memory.begin(), memory.end());
}

// --- the command line -----------------------------------------------------------------

void printUsage(std::FILE* to) {
    std::fputs(
        "usage: velora-soak [options]\n"
        "Runs velora-cli against velora-emu again and again with faults injected, random\n"
        "regions, firmware installs and interrupts, and checks every outcome against the\n"
        "emulator's memory, the data files and the upgrade file. Exit status 0 when nothing\n"
        "went wrong, 1 when a run failed.\n"
        "\n"
        "  --runs N          stop after N runs (default 100 unless --seconds is given)\n"
        "  --seconds S       start no new run after S seconds\n"
        "  --seed S          campaign seed (default: from the clock; printed)\n"
        "  --replay SEED     carry out only the run with this run seed, and print it\n"
        "  --upgrades        firmware installs only (else a fifth of the runs)\n"
        "  --bin DIR         where velora-cli and velora-emu are\n"
        "  --keep            keep the work folder (memory, data files, logs of every run)\n"
        "  --help            this text\n",
        to);
}

std::optional<std::uint64_t> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || text[0] == '-') return std::nullopt;
    return value;
}

std::string defaultBin(const char* argv0) {
#ifdef VELORA_SOAK_BIN
    (void)argv0;
    return VELORA_SOAK_BIN;
#else
    // build/tools/soak/velora-soak next to build/app/
    return (fs::absolute(argv0).parent_path() / ".." / ".." / "app").lexically_normal().string();
#endif
}

int usageError(const std::string& text) {
    std::fprintf(stderr, "velora-soak: %s\n(see velora-soak --help)\n", text.c_str());
    return 2;
}

}  // namespace
}  // namespace velora::soak

int main(int argc, char** argv) {
    using namespace velora::soak;
    std::optional<std::uint64_t> runs, seed, replay;
    std::optional<double> seconds;
    std::string bin = defaultBin(argv[0]);
    bool keep = false, upgrades = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (a == "--keep") {
            keep = true;
            continue;
        }
        if (a == "--upgrades") {
            upgrades = true;
            continue;
        }
        if (a != "--runs" && a != "--seconds" && a != "--seed" && a != "--bin" && a != "--replay")
            return usageError("unknown option " + a);
        if (i + 1 >= argc) return usageError(a + " needs a value");
        const std::string value = argv[++i];
        if (a == "--bin") {
            bin = value;
        } else if (a == "--seconds") {
            char* end = nullptr;
            seconds = std::strtod(value.c_str(), &end);
            if (*end != '\0' || value.empty() || *seconds < 0) return usageError("--seconds takes a number");
        } else {
            const auto n = parseNumber(value);
            if (!n) return usageError(a + " takes a whole number");
            (a == "--runs" ? runs : a == "--seed" ? seed : replay) = *n;
        }
    }
    if (!runs && !seconds) runs = 100;
    if (!seed) seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    for (const char* program : {"velora-cli", "velora-emu"})
        if (access((bin + "/" + program).c_str(), X_OK) != 0)
            return usageError(bin + "/" + program + " is not there (name the folder with --bin)");

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    Campaign campaign;
    campaign.bin = bin;
    campaign.work = fs::temp_directory_path() / ("velora-soak-" + std::to_string(getpid()));
    fs::create_directories(campaign.work);
    campaign.demo = demoMemory();
    campaign.upgrades = upgrades;

    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    Rng seeds(*seed);
    int number = 0;
    if (replay) {
        campaign.verbose = true;
        carryOut(campaign, planRun(*replay, upgrades), 1, campaign.work / "replay");
        number = 1;
    } else {
        while (!stopCampaign.load() && (!runs || static_cast<std::uint64_t>(number) < *runs) &&
               (!seconds || elapsed() < *seconds)) {
            const fs::path dir = campaign.work / ("run-" + std::to_string(++number));
            carryOut(campaign, planRun(seeds(), upgrades), number, dir);
            std::error_code ec;
            if (!keep) fs::remove_all(dir, ec);
        }
    }

    const Totals& t = campaign.totals;
    std::printf("\nvelora-soak: seed %" PRIu64 ", %d planned runs in %.1f s\n", *seed, number, elapsed());
    std::printf("  %-28s %6d\n", "runs (velora-cli)", t.runs);
    std::printf("  %-28s %6d\n", "faults injected", t.faults);
    std::printf("  %-28s %6d\n", "corrupted blocks", t.corruptedBlocks);
    std::printf("  %-28s %6d\n", "wrong statuses", t.wrongStatuses);
    std::printf("  %-28s %6d\n", "hangs", t.hangs);
    std::printf("  %-28s %6d\n", "interrupts", t.interrupts);
    std::printf("  %-28s %6d\n", "files saved by failed runs", t.unwantedSaves);
    std::printf("  %-28s %6d\n", "of them firmware installs", t.installs);
    std::printf("  %-28s %6d\n", "firmware unlike the file", t.firmwareUnlikeFile);
    std::printf("  %-28s %6d\n", "cut short without a word", t.wrongWords);
    std::printf("  %-28s %6d\n", "failing runs", t.failingRuns);
    std::error_code ec;
    if (keep)
        std::printf("work folder kept: %s\n", campaign.work.c_str());
    else
        fs::remove_all(campaign.work, ec);
    return t.failingRuns == 0 && !stopCampaign.load() ? 0 : 1;
}
