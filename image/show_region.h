#pragma once
// A part of the show that a command works on as a whole: a range of scenes,
// the programme settings, the MIDI assignments, or all of it; its blocks and
// the data files that hold it.

#include <cstdint>
#include <string>
#include <vector>

#include "image/controller_image.h"

namespace velora {

struct ShowRegion {
    bool all = false;
    Region region = Region::Scenes;
    std::uint32_t firstScene = 0;  // Scenes: the range, absolute scene numbers
    std::uint32_t lastScene = kScenes - 1;

    static ShowRegion whole();
    static ShowRegion scenes(std::uint32_t firstScene, std::uint32_t lastScene);
    static ShowRegion of(Region region);

    // Scenes of a range narrower than all 1022.
    bool sceneRange() const;
    bool includes(Region r) const { return all || region == r; }
    // The regions whose data files hold it: one, or all three.
    std::vector<Region> dataRegions() const;
    // Its blocks, ascending.
    std::vector<std::uint32_t> blocks() const;
    // For a file name: "all", "scenes", "scenes-2.5-2.9", "scenes-2.5",
    // "settings", "midi" (programme.scene, 1-based).
    std::string fileNamePart() const;
};

}  // namespace velora
