#pragma once
// A demonstration upgrade, so that "&Installing" and "&Veryfication" can be
// tried against the emulator: a firmware image of 4 KiB that runs across
// address 0xFFFF, and the upgrade file that carries it.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "emulator/controller_model.h"
#include "upgrade/upgrade_file.h"

namespace velora {

// The demonstration firmware's records: 16 bytes each from 0xF800, the last
// one shorter. The same every time.
std::vector<UpgradeRecord> demoFirmwareRecords();

// The version a demonstration upgrade offers: one minor step above `current`
// ("1.05b" gives "1.06"), so that installing it asks no "Downgrade ?".
std::string nextFirmwareVersion(const FirmwareVersion& current);

// Writes the demonstration upgrade file (replacing a previous one whole or
// not at all); its version, or nothing with `error` on failure.
std::optional<std::string> writeDemoUpgradeFile(const std::filesystem::path& path,
                                                const FirmwareVersion& current, std::string& error);

}  // namespace velora
