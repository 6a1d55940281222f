#pragma once
// The upgrade file ("kq318*.upg"): new controller firmware as a list of
// records, each at most 16 bytes for one controller address.
//
//   "Firmware Kq318 Velora-Tarvane " CR LF      header line
//   "Wersja M.mm" ... LF                        version line (M one digit, mm two)
//   free bytes up to and including the first 0x00
//   header offset, count, checksum              three 32-bit words, low byte first;
//                                               the offset is where the first word begins
//   count records of 41 bytes                   from header offset + 12
//   up to 40 spare bytes                        ignored
//
// A record is 41 characters: length (2 hexadecimal digits), address (5),
// 2 characters not looked at, then 16 data bytes as 32 hexadecimal digits,
// whatever the length. It is stored scrambled: byte j of record i is read
// with the key byte k = j + (i mod kUpgradeKeyPeriod); a stored byte that
// differs from k is XOR-ed with k, one equal to k is taken as it is. The
// checksum is the sum of every stored record byte, wrapping at 32 bits.
//
// The reader goes through a file in two steps, so that the version questions
// can be asked between them: the two text lines, then everything else. It
// checks everything before it gives out a single record.

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

// One firmware record of an upgrade.
struct UpgradeRecord {
    std::uint32_t address = 0;
    std::uint32_t length = 0;  // 0..16: only the first `length` bytes are sent
    std::array<std::uint8_t, 16> data{};

    bool operator==(const UpgradeRecord&) const = default;
};

inline constexpr std::string_view kUpgradeHeaderLine = "Firmware Kq318 Velora-Tarvane ";
inline constexpr std::string_view kUpgradeVersionPrefix = "Wersja ";
// Lines are read into a buffer of this many characters (the terminating zero
// included); what a longer line holds beyond it is not looked at.
inline constexpr std::size_t kUpgradeLineBuffer = 260;
inline constexpr std::size_t kUpgradeBinaryHeaderSize = 12;
inline constexpr std::size_t kUpgradeRecordSize = 41;
// Records repeat their key bytes every this many records.
inline constexpr std::uint32_t kUpgradeKeyPeriod = 11;
inline constexpr std::uint32_t kUpgradeMaxAddress = 0x1E000;
inline constexpr std::uint32_t kUpgradeMaxLength = 16;

using StoredRecord = std::array<std::uint8_t, kUpgradeRecordSize>;

// The key byte for byte `column` of record `record`.
std::uint8_t upgradeKeyByte(std::size_t record, std::size_t column);
// Stored bytes to the record's characters, and back.
StoredRecord unscrambleRecord(const StoredRecord& stored, std::size_t record);
StoredRecord scrambleRecord(const StoredRecord& plain, std::size_t record);

// Why a file was refused. Every one is shown as a message titled "Fault".
enum class UpgradeError {
    None,
    OpenFailed,        // "File open error !"
    InvalidContents,   // "Invalid file contents !": a text line, the header offset, a record, count 0
    UnexpectedEnd,     // "Unexpected end of file !": no 0x00 after the version line
    InvalidSize,       // "Invalid file size !": the size does not hold count records
    AllocationFailed,  // "Memory allocation error !"
    ReadFailed,        // "File read error !"
    ChecksumMismatch,  // "Invalid file contents !\nChecksum error !"
};
const char* upgradeErrorText(UpgradeError error);

// "M.mm": a digit, a point and two digits ("1.05", "2.10").
bool isUpgradeVersion(std::string_view version);
inline constexpr const char* kUpgradeErrorCaption = "Fault";

// A record's 41 characters to the record; false when a field is not
// hexadecimal, the address exceeds 0x1E000 or the length exceeds 16.
bool parseRecordText(const StoredRecord& plain, UpgradeRecord& record);

class UpgradeFileReader {
  public:
    // `in` is read from where it stands; it must be seekable (the size rule
    // needs the file's size).
    explicit UpgradeFileReader(std::istream& in) : in_(in) {}

    // The header line and the version line.
    UpgradeError readHead();
    // "M.mm", once readHead() has accepted the version line.
    const std::string& fileVersion() const { return version_; }

    // After readHead(): the skip to the first 0x00, the binary header, the
    // size rule, every record, then the checksum. `records` is filled only
    // when the whole file was accepted.
    UpgradeError readRecords(std::vector<UpgradeRecord>& records);

  private:
    // One line up to its line feed (not kept) or the end of the file; false
    // when there was nothing left to read.
    bool readLine(std::string& line);

    std::istream& in_;
    std::string version_;
};

// Both steps at once, for programs that ask no questions.
struct UpgradeFile {
    std::string version;
    std::vector<UpgradeRecord> records;
};
UpgradeError readUpgradeFile(std::istream& in, UpgradeFile& file);

}  // namespace velora
