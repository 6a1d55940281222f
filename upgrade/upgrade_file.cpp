#include "upgrade/upgrade_file.h"

#include <charconv>
#include <istream>
#include <new>
#include <optional>
#include <stdexcept>

namespace velora {

namespace {

// The value of `count` hexadecimal digits; nothing when one is not a digit
// (a blank or a sign included).
std::optional<std::uint32_t> hexField(const StoredRecord& plain, std::size_t first, std::size_t count) {
    const char* begin = reinterpret_cast<const char*>(plain.data()) + first;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(begin, begin + count, value, 16);
    if (error != std::errc() || end != begin + count) return std::nullopt;
    return value;
}

// A 32-bit word, low byte first; nothing when the file ends inside it.
std::optional<std::uint32_t> readWord(std::istream& in) {
    std::uint8_t bytes[4];
    if (!in.read(reinterpret_cast<char*>(bytes), 4)) return std::nullopt;
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Columns of the version line.
constexpr std::size_t kMajorColumn = 7;
constexpr std::size_t kMinorColumn = 9;

}  // namespace

bool isUpgradeVersion(std::string_view version) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return version.size() == 4 && digit(version[0]) && version[1] == '.' && digit(version[2]) &&
           digit(version[3]);
}

std::uint8_t upgradeKeyByte(std::size_t record, std::size_t column) {
    return static_cast<std::uint8_t>((column + record % kUpgradeKeyPeriod) & 0xFF);
}

StoredRecord scrambleRecord(const StoredRecord& plain, std::size_t record) {
    // A character equal to its key byte is stored as it is; every other one
    // XOR-ed, which never gives the key byte itself since no character is 0.
    StoredRecord stored;
    for (std::size_t j = 0; j < kUpgradeRecordSize; ++j) {
        const std::uint8_t k = upgradeKeyByte(record, j);
        stored[j] = plain[j] == k ? plain[j] : static_cast<std::uint8_t>(plain[j] ^ k);
    }
    return stored;
}

// The key undoes itself: a byte equal to its key byte was stored as it is,
// every other one XOR-ed once more is the character again.
StoredRecord unscrambleRecord(const StoredRecord& stored, std::size_t record) {
    return scrambleRecord(stored, record);
}

const char* upgradeErrorText(UpgradeError error) {
    switch (error) {
        case UpgradeError::None:
            return "";
        case UpgradeError::OpenFailed:
            return "File open error !";
        case UpgradeError::InvalidContents:
            return "Invalid file contents !";
        case UpgradeError::UnexpectedEnd:
            return "Unexpected end of file !";
        case UpgradeError::InvalidSize:
            return "Invalid file size !";
        case UpgradeError::AllocationFailed:
            return "Memory allocation error !";
        case UpgradeError::ReadFailed:
            return "File read error !";
        case UpgradeError::ChecksumMismatch:
            return "Invalid file contents !\nChecksum error !";
    }
    return "";
}

bool parseRecordText(const StoredRecord& plain, UpgradeRecord& record) {
    const auto length = hexField(plain, 0, 2);
    const auto address = hexField(plain, 2, 5);
    if (!length || !address || *length > kUpgradeMaxLength || *address > kUpgradeMaxAddress) return false;
    // Columns 7 and 8 are not looked at.
    for (std::size_t n = 0; n < record.data.size(); ++n) {
        const auto value = hexField(plain, 9 + 2 * n, 2);
        if (!value) return false;
        record.data[n] = static_cast<std::uint8_t>(*value);
    }
    record.length = *length;
    record.address = *address;
    return true;
}

bool UpgradeFileReader::readLine(std::string& line) {
    line.clear();
    std::streambuf* buffer = in_.rdbuf();
    if (!in_.good() || buffer == nullptr) return false;
    bool any = false;
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in_.setstate(std::ios::eofbit);
            return any;
        }
        any = true;
        if (c == '\n') return true;
        if (line.size() < kUpgradeLineBuffer - 1) line.push_back(static_cast<char>(c));
    }
}

UpgradeError UpgradeFileReader::readHead() {
    version_.clear();
    std::string line;
    // The header line ends in CR LF: a line feed alone leaves no CR before it.
    if (!readLine(line) || line != std::string(kUpgradeHeaderLine) + '\r')
        return UpgradeError::InvalidContents;
    if (!readLine(line) || !line.starts_with(kUpgradeVersionPrefix) || line.size() <= kMinorColumn + 1)
        return UpgradeError::InvalidContents;
    const std::string version{line[kMajorColumn], '.', line[kMinorColumn], line[kMinorColumn + 1]};
    if (!isUpgradeVersion(version)) return UpgradeError::InvalidContents;
    version_ = version;
    return UpgradeError::None;
}

UpgradeError UpgradeFileReader::readRecords(std::vector<UpgradeRecord>& records) {
    // Free bytes, up to and including the first 0x00.
    std::streambuf* buffer = in_.rdbuf();
    if (buffer == nullptr) return UpgradeError::ReadFailed;
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) return UpgradeError::UnexpectedEnd;
        if (c == 0) break;
    }
    in_.clear();

    // The header offset names the place where it stands itself.
    const std::streamoff at = in_.tellg();
    const std::optional<std::uint32_t> offset = readWord(in_);
    if (!offset || at < 0 || static_cast<std::uint64_t>(at) != *offset) return UpgradeError::InvalidContents;

    // The size must hold exactly `count` records, with fewer than one
    // record's worth of bytes to spare.
    const std::optional<std::uint32_t> count = readWord(in_);
    const std::optional<std::uint32_t> checksum = readWord(in_);
    if (!count || !checksum) return UpgradeError::InvalidSize;
    in_.clear();
    in_.seekg(0, std::ios::end);
    const std::streamoff size = in_.tellg();
    const std::uint64_t recordsAt = std::uint64_t{*offset} + kUpgradeBinaryHeaderSize;
    if (size < 0) return UpgradeError::ReadFailed;
    if (static_cast<std::uint64_t>(size) < recordsAt ||
        (static_cast<std::uint64_t>(size) - recordsAt) / kUpgradeRecordSize != *count)
        return UpgradeError::InvalidSize;
    // Nothing to send: the transfer needs at least one record.
    if (*count == 0) return UpgradeError::InvalidContents;

    in_.clear();
    in_.seekg(static_cast<std::streamoff>(recordsAt));
    std::vector<UpgradeRecord> list;
    try {
        list.reserve(*count);
    } catch (const std::bad_alloc&) {
        return UpgradeError::AllocationFailed;
    } catch (const std::length_error&) {
        return UpgradeError::AllocationFailed;
    }

    // Every record must parse before the checksum counts: a bad record is
    // reported as such, not as a checksum error.
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < *count; ++i) {
        StoredRecord stored;
        if (!in_.read(reinterpret_cast<char*>(stored.data()), kUpgradeRecordSize))
            return UpgradeError::ReadFailed;
        for (std::uint8_t b : stored) sum += b;
        UpgradeRecord record;
        if (!parseRecordText(unscrambleRecord(stored, i), record)) return UpgradeError::InvalidContents;
        list.push_back(record);
    }
    if (sum != *checksum) return UpgradeError::ChecksumMismatch;
    records = std::move(list);
    return UpgradeError::None;
}

UpgradeError readUpgradeFile(std::istream& in, UpgradeFile& file) {
    UpgradeFileReader reader(in);
    UpgradeError error = reader.readHead();
    if (error != UpgradeError::None) return error;
    std::vector<UpgradeRecord> records;
    error = reader.readRecords(records);
    if (error != UpgradeError::None) return error;
    file.version = reader.fileVersion();
    file.records = std::move(records);
    return UpgradeError::None;
}

}  // namespace velora
