#include "tools/soak/soak_checks.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <system_error>

#include "files/data_files.h"

namespace velora::soak {

namespace fs = std::filesystem;

const char* verbName(Verb verb) {
    switch (verb) {
        case Verb::Read:
            return "read";
        case Verb::Write:
            return "write";
        case Verb::Verify:
            return "verify";
    }
    return "?";
}

// --- regions ------------------------------------------------------------------

namespace {

std::string blockText(std::uint32_t block) {
    std::string text = "block " + std::to_string(block);
    switch (regionOfBlock(block)) {
        case Region::Scenes:
            return text + " (scene " + sceneNameOf(block / 2) + ")";
        case Region::Settings:
            return text + " (settings)";
        default:
            return text + " (MIDI)";
    }
}

constexpr std::array<Region, 3> kFileRegions{Region::Scenes, Region::Settings, Region::Midi};

std::size_t indexOf(Region region) {
    return static_cast<std::size_t>(region);
}

}  // namespace

Target Target::scenes(std::uint32_t first, std::uint32_t last) {
    Target t;
    t.text = "scenes=" + sceneNameOf(first) + "-" + sceneNameOf(last);
    t.regions[indexOf(Region::Scenes)] = true;
    t.firstScene = first;
    t.lastScene = last;
    return t;
}

Target Target::settings() {
    Target t;
    t.text = "settings";
    t.regions[indexOf(Region::Settings)] = true;
    return t;
}

Target Target::midi() {
    Target t;
    t.text = "midi";
    t.regions[indexOf(Region::Midi)] = true;
    return t;
}

Target Target::all() {
    Target t;
    t.text = "all";
    t.regions = {true, true, true};
    return t;
}

bool Target::covers(std::uint32_t block) const {
    const Region region = regionOfBlock(block);
    if (!has(region)) return false;
    if (region != Region::Scenes) return true;
    const BlockRange range = blockRangeOf(firstScene, lastScene);
    return block >= range.first && block <= range.last;
}

int Target::blocks() const {
    int n = 0;
    for (std::uint32_t b = 0; b < kBlocks; ++b) n += covers(b) ? 1 : 0;
    return n;
}

// --- files and memory -----------------------------------------------------------

fs::path fileOf(const fs::path& base, Region region) {
    fs::path path = base;
    path += "." + std::string(dataFileExtension(region));
    return path;
}

FileSet snapshotFiles(const fs::path& base) {
    FileSet set;
    for (Region region : kFileRegions) {
        FileState& state = set[indexOf(region)];
        const fs::path path = fileOf(base, region);
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            state.kind = FileState::Directory;
        } else if (std::ifstream in(path, std::ios::binary); in) {
            state.kind = FileState::File;
            state.bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
    }
    return set;
}

bool writeBytes(const fs::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out.flush());
}

std::optional<Bytes> loadMemory(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    Bytes memory(kMemorySize);
    in.read(reinterpret_cast<char*>(memory.data()), static_cast<std::streamsize>(memory.size()));
    if (static_cast<std::size_t>(in.gcount()) != memory.size()) return std::nullopt;
    return memory;
}

namespace {

std::span<const std::uint8_t, kBlockSize> blockOf(const Bytes& memory, std::uint32_t block) {
    return std::span<const std::uint8_t, kBlockSize>(memory.data() + std::size_t{block} * kBlockSize,
                                                     kBlockSize);
}

bool sameBlock(std::span<const std::uint8_t, kBlockSize> a, std::span<const std::uint8_t, kBlockSize> b) {
    return std::equal(a.begin(), a.end(), b.begin());
}

std::unique_ptr<ControllerImage> imageOfMemory(const Bytes& memory, Region region) {
    auto image = std::make_unique<ControllerImage>();
    const BlockRange range = blockRangeOf(region);
    for (std::uint32_t b = range.first; b <= range.last; ++b) storeBlock(*image, b, blockOf(memory, b));
    return image;
}

// The image the files hold, for the regions `target` names.
std::unique_ptr<ControllerImage> imageOfFiles(const FileSet& files, const Target& target) {
    auto image = std::make_unique<ControllerImage>();
    for (Region region : kFileRegions) {
        if (!target.has(region)) continue;
        std::istringstream in(files[indexOf(region)].bytes);
        readDataFile(in, *image, region);
    }
    return image;
}

}  // namespace

std::string fileFromMemory(const Bytes& memory, Region region) {
    std::ostringstream out(std::ios::binary);
    writeDataFile(out, *imageOfMemory(memory, region), region);
    return out.str();
}

// --- checks --------------------------------------------------------------------

namespace {

const char* extensionOf(Region region) {
    return dataFileExtension(region).data();
}

// Ctrl-C is noticed within one wait on the line; this leaves room for a busy machine.
constexpr double kStopWithin = 2.0;

void checkStatus(const RunFacts& run, Verdict& v) {
    if (run.hung) {
        v.problems.push_back("hung: killed at the time limit");
        return;
    }
    const int s = run.status;
    std::string why;
    const int expected = run.verb == Verb::Verify && run.plantedDifference ? 1 : 0;
    if (s == 130 && !run.interrupted)
        why = "130 without an interrupt";
    else if (s != 0 && s != 1 && s != 2 && s != 130)
        why = "no status velora-cli gives (crashed?)";
    else if (s == 1 && run.verb != Verb::Verify)
        why = "1 is for verification differences only";
    else if (run.interrupted && run.stopSeconds > kStopWithin)
        why = "still running " + std::to_string(run.stopSeconds) + " s after SIGINT";
    else if (s == 0 && !run.mustFail.empty())
        why = "succeeded although " + run.mustFail;
    else if (run.verb == Verb::Verify && run.plantedDifference && s == 0)
        why = "verification passed files that differ from the controller";
    else if (run.verb == Verb::Verify && !run.plantedDifference && s == 1)
        why = "verification found differences in files that match the controller";
    else if (run.interrupted && run.faultFree && s != 130 && s != expected)
        why =
            "an interrupted run must end with 130 (or " + std::to_string(expected) + " when it had finished)";
    else if (!run.interrupted && run.faultFree && s != expected)
        why = std::string(run.followsInterrupt ? "a fault-free run right after an interrupted one"
                                               : "a fault-free run") +
              " must end with " + std::to_string(expected);
    if (why.empty()) return;
    v.wrongStatus = true;
    v.problems.push_back("exit " + std::to_string(s) + ": " + why);
}

// A scene file saved by a read: the range as the controller holds it, the
// rest as the old file had it (when there was one).
void checkSceneFile(const RunFacts& run, const Bytes& memory, const FileState& before, const FileState& after,
                    Verdict& v) {
    if (after.kind != FileState::File || after.bytes.size() != kSceneFileSize) {
        v.corruptedBlocks += run.target.blocks();
        v.problems.push_back("saved no whole .K5s (" + std::to_string(after.bytes.size()) + " bytes)");
        return;
    }
    const bool oldKept = before.kind == FileState::File && before.bytes.size() == kSceneFileSize;
    int inRange = 0, outside = 0;
    std::uint32_t first = kBlocks;
    for (std::uint32_t b = 0; b < kFirstSettingsBlock; ++b) {
        const auto* got =
            reinterpret_cast<const std::uint8_t*>(after.bytes.data()) + std::size_t{b} * kBlockSize;
        const std::uint8_t* want = nullptr;
        if (run.target.covers(b))
            want = memory.data() + std::size_t{b} * kBlockSize;
        else if (oldKept)
            want = reinterpret_cast<const std::uint8_t*>(before.bytes.data()) + std::size_t{b} * kBlockSize;
        if (!want || std::memcmp(got, want, kBlockSize) == 0) continue;
        (run.target.covers(b) ? inRange : outside) += 1;
        first = std::min(first, b);
    }
    if (inRange + outside == 0) return;
    v.corruptedBlocks += inRange + outside;
    std::string text = ".K5s: ";
    if (inRange) text += std::to_string(inRange) + " blocks of the range differ from the controller";
    if (inRange && outside) text += ", ";
    if (outside) text += std::to_string(outside) + " blocks outside the range differ from the old file";
    v.problems.push_back(text + " (first " + blockText(first) + ")");
}

// A settings or MIDI file saved by a read: the file a read of the
// controller's blocks gives.
void checkTableFile(Region region, const Bytes& memory, const FileState& after, Verdict& v) {
    const std::string want = fileFromMemory(memory, region);
    if (after.kind == FileState::File && after.bytes == want) return;
    auto saved = std::make_unique<ControllerImage>();
    std::istringstream in(after.bytes);
    readDataFile(in, *saved, region);
    const auto held = imageOfMemory(memory, region);
    const BlockRange range = blockRangeOf(region);
    int bad = 0;
    for (std::uint32_t b = range.first; b <= range.last; ++b)
        bad += packBlock(*saved, b) != packBlock(*held, b);
    v.corruptedBlocks += std::max(bad, 1);
    v.problems.push_back(std::string(".") + extensionOf(region) + " differs from the controller (" +
                         std::to_string(after.bytes.size()) + " bytes, " + std::to_string(bad) +
                         " blocks differ)");
}

std::string stateText(const FileState& state, const FileState& before, const std::string& fresh) {
    if (state == before) return "old";
    if (state.kind == FileState::File && state.bytes == fresh) return "new";
    return "other";
}

void checkFiles(const RunFacts& run, const Bytes& memory, const FileSet& before, const FileSet& after,
                Verdict& v) {
    const bool succeeded = !run.hung && run.status == 0;
    if (run.verb == Verb::Read && !succeeded && run.target.text == "all" && after != before) {
        // A whole-memory read saves three files; after a failure they must be
        // the old set, and a mixed set is the worst outcome.
        std::string states;
        for (Region region : kFileRegions) {
            const std::size_t i = indexOf(region);
            states += std::string(states.empty() ? "" : ", ") + extensionOf(region) + " " +
                      stateText(after[i], before[i], fileFromMemory(memory, region));
            v.unwantedSaves += after[i] != before[i];
        }
        v.problems.push_back("left files changed after exit " + std::to_string(run.status) + " (" + states +
                             ")");
        return;
    }
    for (Region region : kFileRegions) {
        const std::size_t i = indexOf(region);
        if (run.verb == Verb::Read && succeeded && run.target.has(region)) {
            if (region == Region::Scenes)
                checkSceneFile(run, memory, before[i], after[i], v);
            else
                checkTableFile(region, memory, after[i], v);
            continue;
        }
        if (after[i] == before[i]) continue;
        ++v.unwantedSaves;
        std::string why = run.verb != Verb::Read ? std::string("a ") + verbName(run.verb) + " saves no file"
                          : succeeded            ? "outside the region read"
                                                 : "after exit " + std::to_string(run.status);
        v.problems.push_back(std::string("changed .") + extensionOf(region) + ": " + why);
    }
}

void checkMemory(const RunFacts& run, const Bytes& before, const Bytes& after, const FileSet& files,
                 Verdict& v) {
    const bool succeeded = !run.hung && run.status == 0;
    std::unique_ptr<ControllerImage> written;
    if (run.verb == Verb::Write) written = imageOfFiles(files, run.target);
    int outside = 0, wrong = 0;
    std::uint32_t first = kBlocks;
    for (std::uint32_t b = 0; b < kBlocks; ++b) {
        const auto old = blockOf(before, b);
        const auto now = blockOf(after, b);
        bool bad = false;
        if (written && run.target.covers(b)) {
            const Block want = packBlock(*written, b);
            const bool isNew = std::equal(want.begin(), want.end(), now.begin());
            // A write that did not finish leaves each block old or new.
            bad = succeeded ? !isNew : !isNew && !sameBlock(old, now);
            wrong += bad;
        } else {
            bad = !sameBlock(old, now);
            outside += bad;
        }
        if (bad) first = std::min(first, b);
    }
    if (outside + wrong == 0) return;
    v.corruptedBlocks += outside + wrong;
    std::string text = "controller memory: ";
    if (wrong)
        text +=
            std::to_string(wrong) + (succeeded ? " blocks not as written" : " blocks neither old nor new");
    if (wrong && outside) text += ", ";
    if (outside)
        text += std::to_string(outside) + (run.verb == Verb::Write
                                               ? " blocks changed outside the region written"
                                               : std::string(" blocks changed by a ") + verbName(run.verb));
    v.problems.push_back(text + " (first " + blockText(first) + ")");
}

}  // namespace

void checkRun(const RunFacts& run, const Bytes& memoryBefore, const std::optional<Bytes>& memoryAfter,
              const FileSet& before, const FileSet& after, Verdict& verdict) {
    checkStatus(run, verdict);
    checkFiles(run, memoryBefore, before, after, verdict);
    if (memoryAfter)
        checkMemory(run, memoryBefore, *memoryAfter, before, verdict);
    else
        verdict.problems.push_back("the emulator left no memory file");
}

}  // namespace velora::soak
