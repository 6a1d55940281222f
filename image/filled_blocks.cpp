#include "image/filled_blocks.h"

#include <algorithm>
#include <vector>

namespace velora {

namespace {

// How many stretches of scenes a question names before it leaves the rest
// to "...".
constexpr std::size_t kNamedStretches = 3;

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += i + 1 == parts.size() ? " and " : ", ";
        out += parts[i];
    }
    return out;
}

}  // namespace

void FilledBlocks::mark(std::uint32_t block) {
    if (block < kBlocks) filled_.set(block);
}

void FilledBlocks::mark(BlockRange blocks) {
    for (std::uint32_t b = blocks.first; b <= blocks.last && b < kBlocks; ++b) filled_.set(b);
}

void FilledBlocks::markChanged(const ControllerImage& before, const ControllerImage& after) {
    for (std::uint32_t b = 0; b < kBlocks; ++b)
        if (packBlock(before, b) != packBlock(after, b)) filled_.set(b);
}

bool FilledBlocks::allFilled(BlockRange blocks) const {
    for (std::uint32_t b = blocks.first; b <= blocks.last && b < kBlocks; ++b)
        if (!filled_.test(b)) return false;
    return true;
}

std::string FilledBlocks::describeUnfilled(BlockRange blocks) const {
    std::bitset<kBlocks> wanted;
    for (std::uint32_t b = blocks.first; b <= blocks.last && b < kBlocks; ++b) wanted.set(b);
    return describeUnfilledAmong(wanted);
}

std::string FilledBlocks::describeUnfilled(std::span<const std::uint32_t> blocks) const {
    std::bitset<kBlocks> wanted;
    for (std::uint32_t b : blocks)
        if (b < kBlocks) wanted.set(b);
    return describeUnfilledAmong(wanted);
}

std::string FilledBlocks::describeUnfilledAmong(const std::bitset<kBlocks>& wanted) const {
    const auto unfilled = [&](std::uint32_t b) { return wanted.test(b) && !filled_.test(b); };
    const auto unfilledScene = [&](std::uint32_t s) { return unfilled(2 * s) || unfilled(2 * s + 1); };
    constexpr std::uint32_t sceneCount = kScenes;
    std::vector<std::string> stretches;
    bool more = false;
    for (std::uint32_t scene = 0; scene < sceneCount; ++scene) {
        if (!unfilledScene(scene)) continue;
        std::uint32_t end = scene;
        while (end + 1 < sceneCount && unfilledScene(end + 1)) ++end;
        if (stretches.size() == kNamedStretches) {
            more = true;
            break;
        }
        stretches.push_back(sceneNameOf(scene) + (end > scene ? "-" + sceneNameOf(end) : std::string()));
        scene = end;
    }
    std::vector<std::string> parts;
    if (!stretches.empty()) {
        std::string scenes = "Scenes ";
        for (std::size_t i = 0; i < stretches.size(); ++i) scenes += (i > 0 ? ", " : "") + stretches[i];
        if (more) scenes += ", ...";
        parts.push_back(scenes);
    }
    const auto anyUnfilledIn = [&](Region region) {
        const BlockRange r = blockRangeOf(region);
        for (std::uint32_t b = r.first; b <= r.last; ++b)
            if (unfilled(b)) return true;
        return false;
    };
    if (anyUnfilledIn(Region::Settings)) parts.push_back("Settings");
    if (anyUnfilledIn(Region::Midi)) parts.push_back("MIDI assignments");
    return joined(parts);
}

}  // namespace velora
