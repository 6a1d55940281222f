#pragma once
// The differences between two images, in the verification's words, one line
// each and grouped by the region they are in: what velora-cli diff lists
// between two shows, and what sets the controller's memory beside the
// program's.

#include <cstddef>
#include <string>
#include <vector>

#include "image/controller_image.h"

namespace velora {

struct ImageDifferences {
    // Scene by scene, channel by channel: "Scene 2/3 fixture 1 channel 1: 0 <> 123".
    std::vector<std::string> scenes;
    // Each programme's end scene, mode and fade; the special buttons, slow
    // mode and the cues: "Cue no. 5 obszar 2: 4 <> empty".
    std::vector<std::string> settings;
    // Key by key: "MIDI key 70 (A# / 4) triggering in field 1: off <> on".
    std::vector<std::string> midi;

    std::size_t count() const { return scenes.size() + settings.size() + midi.size(); }
    bool empty() const { return count() == 0; }
    // Every line: the scenes', then the settings' and the MIDI keys'.
    std::vector<std::string> lines() const;
};

// What differs between `a` and `b`, each difference as "what: a's <> b's".
ImageDifferences differencesBetween(const ControllerImage& a, const ControllerImage& b);

// A count in words: "no differences", "1 difference", "3 differences" for
// `noun` "difference".
std::string counted(std::size_t n, const std::string& noun);

}  // namespace velora
