#pragma once
// The data files of one show as velora-cli reads and saves them: BASE.K5s,
// BASE.K5p and BASE.K5m. Every fault it reports names the file and the
// system's reason.

#include <iosfwd>
#include <span>
#include <string>

#include "image/controller_image.h"

namespace velora::cli {

// BASE with the region's extension.
std::string dataFilePath(const std::string& base, Region region);
// The paths of `regions`' files, as "show.K5s, show.K5p, show.K5m".
std::string dataFilePaths(const std::string& base, std::span<const Region> regions);

// Loads the regions' files into the image, each whole. False after a
// message on `err`.
bool loadDataFiles(const std::string& base, std::span<const Region> regions, ControllerImage& image,
                   std::ostream& err);

// Before anything is read from the controller: every file can be saved
// there (its folder exists and takes a new file; a single file may also be
// written in place). False after a message on `err`.
bool checkSaveTargets(const std::string& base, std::span<const Region> regions, std::ostream& err);

// Saves the regions' files from the image; more than one as a set, replaced
// together or not at all. False after a message on `err`.
bool saveDataFiles(const std::string& base, std::span<const Region> regions, const ControllerImage& image,
                   std::ostream& err);

}  // namespace velora::cli
