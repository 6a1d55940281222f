#include "image/show_region.h"

namespace velora {

namespace {

std::string sceneName(std::uint32_t absolute) {
    const std::uint32_t ps = programmeSceneOf(absolute);
    return std::to_string((ps >> 16) + 1) + "." + std::to_string((ps & 0xFFFF) + 1);
}

}  // namespace

ShowRegion ShowRegion::whole() {
    ShowRegion r;
    r.all = true;
    return r;
}

ShowRegion ShowRegion::scenes(std::uint32_t firstScene, std::uint32_t lastScene) {
    ShowRegion r;
    r.firstScene = firstScene;
    r.lastScene = lastScene;
    return r;
}

ShowRegion ShowRegion::of(Region region) {
    ShowRegion r;
    r.region = region;
    return r;
}

bool ShowRegion::sceneRange() const {
    return !all && region == Region::Scenes && !(firstScene == 0 && lastScene == kScenes - 1);
}

std::vector<Region> ShowRegion::dataRegions() const {
    if (all) return {kMemoryRegions.begin(), kMemoryRegions.end()};
    return {region};
}

std::vector<std::uint32_t> ShowRegion::blocks() const {
    BlockRange range{0, kBlocks - 1};
    if (!all) range = region == Region::Scenes ? blockRangeOf(firstScene, lastScene) : blockRangeOf(region);
    std::vector<std::uint32_t> list;
    for (std::uint32_t b = range.first; b <= range.last; ++b) list.push_back(b);
    return list;
}

std::string ShowRegion::fileNamePart() const {
    if (all) return "all";
    switch (region) {
        case Region::Settings:
            return "settings";
        case Region::Midi:
            return "midi";
        default:
            if (!sceneRange()) return "scenes";
            if (firstScene == lastScene) return "scenes-" + sceneName(firstScene);
            return "scenes-" + sceneName(firstScene) + "-" + sceneName(lastScene);
    }
}

}  // namespace velora
