#pragma once
// velora-soak's firmware installs: short upgrade files (1 to 20 records)
// installed by velora-cli in velora-emu under every fault kind with random
// retries, Ctrl-C at a random moment of either pass followed at once by an
// install, a line lost mid-install. Each run's status and last words are
// checked, and the firmware memory the emulator saved against the file: an
// install that ended with 0 must leave every record as the file has it, and
// nothing may change outside the records.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/soak/soak_checks.h"
#include "tools/soak/soak_random.h"
#include "upgrade/upgrade_file.h"

namespace velora::soak {

struct UpgradeStep {
    bool verifyOnly = false;
    bool yes = true;      // without it the install question is answered No
    int retries = -1;     // -1: no --retries
    bool ignore = false;  // --ignore-differences
    // SIGINT once the emulator has taken this frame, and `interruptDelay`
    // seconds more.
    std::optional<std::uint64_t> interruptAtFrame;
    double interruptDelay = 0;
    std::string mustFail;  // why it cannot end with 0, or empty
    double limit = 0;      // seconds before it counts as hung
};

struct UpgradePlan {
    std::string version;  // of the file; the emulator reports 1.05b
    std::vector<UpgradeRecord> records;
    bool paced = false;
    std::vector<std::string> faults;
    bool dataFault = false;  // a rule may make a record read back different
    // When a lone drop rule ends the first step in a known place, the words
    // its end must say ("the line was lost while installing" ...).
    std::string lostWords;
    std::vector<UpgradeStep> steps;
};

// Draws a plan: plain installs with faults (40 %), Ctrl-C then an install at
// once (35 %), a line lost mid-install (15 %), a version question answered No
// or a verification of its own (10 %).
UpgradePlan planUpgrade(Rng& rng);

// Carries `plan` out in `dir` with the programs in `bin`: what was run goes
// to `lines`, what went wrong to `problems`, the counts into `totals`
// (unless `stopped` answers true once the runs are over: the soak's own
// Ctrl-C cut them short).
void carryOutUpgrade(const std::string& bin, const UpgradePlan& plan, std::uint64_t seed,
                     const std::filesystem::path& dir, const std::atomic<bool>& stopped, Totals& totals,
                     std::vector<std::string>& lines, std::vector<std::string>& problems);

}  // namespace velora::soak
