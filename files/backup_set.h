#pragma once
// Backups of what the controller held before a sync wrote to it: the data
// files of the region synced, saved as one set in a folder of backups and
// named by the date, the time and the region, so that a sync of the same
// region with the backup as its show puts the controller back. A backup is
// never replaced: a name in use gets a counter.

#include <ctime>
#include <filesystem>
#include <string>

#include "image/controller_image.h"
#include "image/show_region.h"

namespace velora {

// Where backups go when no folder is named: $XDG_DATA_HOME/velora/backups,
// else ~/.local/share/velora/backups (on Windows %LOCALAPPDATA%). Empty when
// none of them is known.
std::filesystem::path defaultBackupFolder();

// "2026-12-09-221503-scenes-2.5-2.9": the local time `when` and the region.
std::string backupSetName(std::time_t when, const ShowRegion& region);

struct BackupSaved {
    bool saved = false;
    // The set's path without extension; the file that failed otherwise.
    std::filesystem::path base;
    std::string reason;  // why it failed, in the system's words
};

// Saves the data files of `region` from `image` in `folder` (made when
// missing) as one set: all of them or none. A scene-range backup holds
// zeros outside its range. No file that exists is replaced: the name takes
// "-2", "-3" ... until none of the set's files exists.
BackupSaved saveBackupSet(const std::filesystem::path& folder, std::time_t when, const ShowRegion& region,
                          const ControllerImage& image);

// "/home/me/.local/share/velora/backups/2026-12-09-221503-all.K5s, .K5p, .K5m"
std::string backupFilesText(const std::filesystem::path& base, const ShowRegion& region);

}  // namespace velora
