#pragma once
// Writing upgrade files: the records packed as the reader expects them, with
// a chosen firmware version. For preparing test upgrades (velora-mkupg), for
// the emulator's demonstration and for the tests.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "upgrade/upgrade_file.h"

namespace velora {

struct UpgradeFileBytes {
    std::string bytes;             // the whole file
    std::size_t headerOffset = 0;  // where the binary header begins
    // Where record `index` is stored.
    std::size_t recordOffset(std::size_t index) const {
        return headerOffset + kUpgradeBinaryHeaderSize + index * kUpgradeRecordSize;
    }
};

// A record's 41 characters: length, address, "00", the 16 data bytes, in
// upper-case hexadecimal.
StoredRecord recordText(const UpgradeRecord& record);

// A binary image whose first byte goes to `start`, cut into records of 16
// bytes (the last one shorter). Nothing, with `why`, for an empty image or
// one that reaches a record address above 0x1E000.
std::optional<std::vector<UpgradeRecord>> recordsFromImage(std::span<const std::uint8_t> image,
                                                           std::uint32_t start, std::string& why);

// The file for `records` (at least one, each within the address and length
// limits) under `version`. `note` goes into the free bytes after the version
// line (it must not hold a 0x00 byte). Nothing, with `why`, when the input
// breaks a rule.
std::optional<UpgradeFileBytes> buildUpgradeFile(std::string_view version,
                                                 std::span<const UpgradeRecord> records, std::string& why,
                                                 std::string_view note = {});

}  // namespace velora
