#include "upgrade/upgrade_writer.h"

#include <algorithm>
#include <cstdint>

namespace velora {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void putHex(StoredRecord& text, std::size_t at, std::uint32_t value, std::size_t digits) {
    for (std::size_t i = digits; i-- > 0;) {
        text[at + i] = static_cast<std::uint8_t>(kHexDigits[value & 0xF]);
        value >>= 4;
    }
}

void putWord(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

StoredRecord recordText(const UpgradeRecord& record) {
    StoredRecord text;
    putHex(text, 0, record.length, 2);
    putHex(text, 2, record.address, 5);
    text[7] = text[8] = '0';
    for (std::size_t n = 0; n < record.data.size(); ++n) putHex(text, 9 + 2 * n, record.data[n], 2);
    return text;
}

std::optional<UpgradeFileBytes> buildUpgradeFile(std::string_view version,
                                                 std::span<const UpgradeRecord> records, std::string& why,
                                                 std::string_view note) {
    if (!isUpgradeVersion(version)) {
        why = "the version reads like 1.05: a digit, a point and two digits";
        return std::nullopt;
    }
    if (records.empty()) {
        why = "an upgrade file needs at least one record";
        return std::nullopt;
    }
    if (records.size() > 0xFFFFFFFFu) {
        why = "too many records";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].address > kUpgradeMaxAddress || records[i].length > kUpgradeMaxLength) {
            why =
                "record " + std::to_string(i) + ": the address is at most 0x1E000 and the length at most 16";
            return std::nullopt;
        }
    }
    if (note.find('\0') != std::string_view::npos) {
        why = "the note may not hold a zero byte";
        return std::nullopt;
    }

    UpgradeFileBytes file;
    std::string& out = file.bytes;
    out += kUpgradeHeaderLine;
    out += "\r\n";
    out += kUpgradeVersionPrefix;
    out += version;
    out += "\r\n";
    out += note;
    out.push_back('\0');
    file.headerOffset = out.size();
    putWord(out, static_cast<std::uint32_t>(file.headerOffset));
    putWord(out, static_cast<std::uint32_t>(records.size()));
    const std::size_t checksumAt = out.size();
    putWord(out, 0);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const StoredRecord stored = scrambleRecord(recordText(records[i]), i);
        for (std::uint8_t b : stored) {
            sum += b;
            out.push_back(static_cast<char>(b));
        }
    }
    for (int i = 0; i < 4; ++i) out[checksumAt + i] = static_cast<char>((sum >> (8 * i)) & 0xFF);
    return file;
}

std::optional<std::vector<UpgradeRecord>> recordsFromImage(std::span<const std::uint8_t> image,
                                                           std::uint32_t start, std::string& why) {
    if (image.empty()) {
        why = "the image is empty";
        return std::nullopt;
    }
    const std::uint64_t lastRecord = start + std::uint64_t{(image.size() - 1) / 16 * 16};
    if (lastRecord > kUpgradeMaxAddress) {
        why = "the image runs past the firmware memory: a record may start at 1E000 at the latest";
        return std::nullopt;
    }
    std::vector<UpgradeRecord> records;
    for (std::size_t at = 0; at < image.size(); at += 16) {
        UpgradeRecord record;
        record.address = start + static_cast<std::uint32_t>(at);
        record.length = static_cast<std::uint32_t>(std::min<std::size_t>(16, image.size() - at));
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(at), record.length, record.data.begin());
        records.push_back(record);
    }
    return records;
}

}  // namespace velora
