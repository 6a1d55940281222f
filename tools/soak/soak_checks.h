#pragma once
// What velora-soak checks after a velora-cli run: the controller memory the
// emulator saved against the data files, and the exit status against what
// the run could end with.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "image/controller_image.h"

namespace velora::soak {

using Bytes = std::vector<std::uint8_t>;

// The controller's data memory: kBlocks blocks of kBlockSize bytes.
inline constexpr std::size_t kMemorySize = std::size_t{kBlocks} * kBlockSize;

enum class Verb { Read, Write, Verify };
const char* verbName(Verb verb);

// A REGION as velora-cli takes it.
struct Target {
    std::string text;
    std::array<bool, 3> regions{};  // indexed by Region::Scenes, Settings, Midi
    std::uint32_t firstScene = 0;
    std::uint32_t lastScene = kScenes - 1;

    static Target scenes(std::uint32_t first, std::uint32_t last);  // absolute scene numbers
    static Target settings();
    static Target midi();
    static Target all();

    bool has(Region region) const { return regions[static_cast<std::size_t>(region)]; }
    bool covers(std::uint32_t block) const;
    int blocks() const;
};

// A data file as found on the disk.
struct FileState {
    enum Kind { Absent, File, Directory };
    Kind kind = Absent;
    std::string bytes;
    bool operator==(const FileState&) const = default;
};
using FileSet = std::array<FileState, 3>;  // BASE.K5s, .K5p, .K5m

std::filesystem::path fileOf(const std::filesystem::path& base, Region region);
FileSet snapshotFiles(const std::filesystem::path& base);
bool writeBytes(const std::filesystem::path& path, const void* data, std::size_t size);

// The data memory of a memory file; nothing when it is missing or too short.
std::optional<Bytes> loadMemory(const std::filesystem::path& path);

// The region's data file as a read of `memory` saves it.
std::string fileFromMemory(const Bytes& memory, Region region);

// What one run was and how it ended.
struct RunFacts {
    Verb verb = Verb::Read;
    Target target;
    int status = -1;  // as a shell shows it
    bool hung = false;
    bool interrupted = false;  // SIGINT sent while it ran
    double stopSeconds = 0;    // from the SIGINT to its end
    bool faultFree = true;     // no fault rules and nothing made to fail
    std::string mustFail;      // why it cannot succeed, or empty
    bool plantedDifference = false;
    bool followsInterrupt = false;  // started at once after an interrupted run
};

struct Verdict {
    std::vector<std::string> problems;
    int corruptedBlocks = 0;
    int unwantedSaves = 0;  // files replaced by a run that did not succeed
    bool wrongStatus = false;
};

// What a campaign counts.
struct Totals {
    int runs = 0;  // velora-cli runs
    int faults = 0;
    int corruptedBlocks = 0;
    int wrongStatuses = 0;
    int hangs = 0;
    int interrupts = 0;
    int unwantedSaves = 0;
    int installs = 0;            // velora-cli upgrade runs
    int firmwareUnlikeFile = 0;  // installs that ended with 0 and left another firmware
    int wrongWords = 0;          // runs cut short that did not say what to do
    int failingRuns = 0;
};

// Checks one run: its status, its data files (`before` as prepared, `after`
// as left) and the controller memory (`memoryAfter` may be missing).
void checkRun(const RunFacts& run, const Bytes& memoryBefore, const std::optional<Bytes>& memoryAfter,
              const FileSet& before, const FileSet& after, Verdict& verdict);

}  // namespace velora::soak
