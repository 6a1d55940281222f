#pragma once
// Which blocks of the image the program has filled since it started: read
// from the controller, loaded from a data file, or changed by an editor. A
// block never filled holds what the image held at start-up (zeros), not the
// show of any controller or file, so writing or saving it asks first.

#include <bitset>
#include <cstdint>
#include <span>
#include <string>

#include "image/controller_image.h"

namespace velora {

class FilledBlocks {
  public:
    void mark(std::uint32_t block);
    void mark(BlockRange blocks);
    void markRegion(Region region) { mark(blockRangeOf(region)); }
    void markScenes(std::uint32_t firstScene, std::uint32_t lastScene) {
        mark(blockRangeOf(firstScene, lastScene));
    }
    void markAll() { filled_.set(); }
    // Marks the blocks whose bytes differ between the two images (what an
    // editor changed).
    void markChanged(const ControllerImage& before, const ControllerImage& after);

    bool filled(std::uint32_t block) const { return block < kBlocks && filled_.test(block); }
    bool allFilled(BlockRange blocks) const;

    // What of `blocks` was never filled, in the words of a question:
    // "Scenes 1/1-2/5, 3/7", "Settings", "MIDI assignments", joined by ", "
    // and " and " (three stretches of scenes at most, then "..."). A scene
    // counts when either of its blocks was never filled. Empty when every
    // block was filled.
    std::string describeUnfilled(BlockRange blocks) const;
    std::string describeUnfilled(std::span<const std::uint32_t> blocks) const;

  private:
    std::string describeUnfilledAmong(const std::bitset<kBlocks>& wanted) const;

    std::bitset<kBlocks> filled_;
};

}  // namespace velora
