// The upgrade file: every check of the reader and its message, the record
// scrambling, the version questions, and velora-mkupg's packing.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "app/mkupg/mkupg.h"
#include "upgrade/upgrade_file.h"
#include "upgrade/upgrade_writer.h"
#include "upgrade/version_questions.h"

namespace velora {
namespace {

UpgradeRecord record(std::uint32_t address, std::uint32_t length, std::uint8_t seed = 0) {
    UpgradeRecord r;
    r.address = address;
    r.length = length;
    for (std::size_t i = 0; i < r.data.size(); ++i) r.data[i] = static_cast<std::uint8_t>(seed + 17 * i);
    return r;
}

std::vector<UpgradeRecord> someRecords(std::size_t count) {
    std::vector<UpgradeRecord> records;
    for (std::size_t i = 0; i < count; ++i)
        records.push_back(
            record(0xFFC0 + static_cast<std::uint32_t>(16 * i), 16, static_cast<std::uint8_t>(i)));
    return records;
}

UpgradeFileBytes build(const std::vector<UpgradeRecord>& records, std::string_view version = "1.06") {
    std::string why;
    auto file = buildUpgradeFile(version, records, why, "note\r\n");
    EXPECT_TRUE(file) << why;
    return file.value_or(UpgradeFileBytes{});
}

UpgradeError read(const std::string& bytes, UpgradeFile* out = nullptr) {
    std::istringstream in(bytes, std::ios::binary);
    UpgradeFile file;
    const UpgradeError error = readUpgradeFile(in, file);
    if (out) *out = file;
    return error;
}

void putWord(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

std::uint32_t word(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

// Puts `plain` (41 characters) in place of record `index` and, unless told
// otherwise, mends the checksum word so only the record itself is at fault.
void setRecordText(UpgradeFileBytes& file, std::size_t index, std::string_view plain,
                   bool mendChecksum = true) {
    ASSERT_EQ(plain.size(), kUpgradeRecordSize);
    StoredRecord text;
    std::copy(plain.begin(), plain.end(), text.begin());
    const StoredRecord stored = scrambleRecord(text, index);
    const std::size_t at = file.recordOffset(index);
    std::uint32_t sum = word(file.bytes, file.headerOffset + 8);
    for (std::size_t j = 0; j < kUpgradeRecordSize; ++j) {
        sum -= static_cast<std::uint8_t>(file.bytes[at + j]);
        sum += stored[j];
        file.bytes[at + j] = static_cast<char>(stored[j]);
    }
    if (mendChecksum) putWord(file.bytes, file.headerOffset + 8, sum);
}

// A spoiler that gives record `index` these fields (2, 5 and 32 characters;
// type 00), the checksum word mended unless told otherwise.
std::function<void(UpgradeFileBytes&)> recordText(std::size_t index, std::string length, std::string address,
                                                  std::string data = std::string(32, '0'),
                                                  bool mendChecksum = true) {
    return
        [=](UpgradeFileBytes& f) { setRecordText(f, index, length + address + "00" + data, mendChecksum); };
}

TEST(UpgradeFile, ReadsBackWhatWasPacked) {
    std::vector<UpgradeRecord> records = someRecords(25);  // more than two key periods
    records.push_back(record(0, 0, 0x55));                 // length 0: data still travel in the file
    records.push_back(record(0x1E000, 16, 0xAA));          // the highest address, full length
    UpgradeFile file;
    ASSERT_EQ(read(build(records, "2.07").bytes, &file), UpgradeError::None);
    EXPECT_EQ(file.version, "2.07");
    EXPECT_EQ(file.records, records);

    // The record of the example: length 4, address 0x100, A1 B2 C3 D4 and twelve zeros.
    UpgradeFileBytes example = build(someRecords(1));
    setRecordText(example, 0,
                  "0400100"
                  "00"
                  "A1B2C3D4"
                  "000000000000000000000000");
    ASSERT_EQ(read(example.bytes, &file), UpgradeError::None);
    UpgradeRecord expected;
    expected.address = 0x100;
    expected.length = 4;
    expected.data = {0xA1, 0xB2, 0xC3, 0xD4};
    EXPECT_EQ(file.records, std::vector<UpgradeRecord>{expected});

    // Columns 7 and 8 are not looked at; lower-case digits are digits; the
    // rest of the version line is free text.
    setRecordText(example, 0,
                  "0400100"
                  "ZZ"
                  "a1b2c3d4"
                  "000000000000000000000000");
    ASSERT_EQ(read(example.bytes, &file), UpgradeError::None);
    EXPECT_EQ(file.records[0], expected);
    std::string text = example.bytes;
    text.replace(text.find("1.06"), 4, "3.21 (beta, built today)");
    putWord(text, example.headerOffset + 20, static_cast<std::uint32_t>(example.headerOffset + 20));
    ASSERT_EQ(read(text, &file), UpgradeError::None) << "the header offset moves with the longer line";
    EXPECT_EQ(file.version, "3.21");
}

TEST(UpgradeFile, KeyBytesRepeatEveryElevenRecords) {
    EXPECT_EQ(kUpgradeKeyPeriod, 11u);
    EXPECT_EQ(upgradeKeyByte(0, 0), 0);
    EXPECT_EQ(upgradeKeyByte(10, 40), 50);
    EXPECT_EQ(upgradeKeyByte(11, 40), 40);
    EXPECT_EQ(upgradeKeyByte(23, 7), 8);

    // Records i and i + 11 store the same text alike; i and i + 1 do not.
    const StoredRecord text = recordText(record(0x12345, 9, 3));
    EXPECT_EQ(scrambleRecord(text, 4), scrambleRecord(text, 15));
    EXPECT_NE(scrambleRecord(text, 4), scrambleRecord(text, 5));
    // Stored bytes as the controller's maker packs them: column 0 of record
    // 12 has the key byte 1, so '1' (0x31) is stored as 0x30.
    StoredRecord ones;
    ones.fill('1');
    EXPECT_EQ(scrambleRecord(ones, 12)[0], 0x30);
    EXPECT_EQ(unscrambleRecord(scrambleRecord(ones, 12), 12), ones);

    // A stored byte equal to its key byte is taken as it is; any other is
    // XOR-ed. Column 40 of record 8 has the key byte 48, which is '0'.
    StoredRecord stored = scrambleRecord(recordText(record(0, 16, 0)), 8);
    ASSERT_EQ(upgradeKeyByte(8, 40), '0');
    stored[40] = '0';
    EXPECT_EQ(unscrambleRecord(stored, 8)[40], '0');
    stored[40] = '0' ^ '7';
    EXPECT_EQ(unscrambleRecord(stored, 8)[40], '7');

    // The same in a file: record 8 ends in the digit '0'.
    std::vector<UpgradeRecord> records = someRecords(9);
    records[8].data[15] = 0x20;
    UpgradeFileBytes file = build(records);
    EXPECT_EQ(static_cast<std::uint8_t>(file.bytes[file.recordOffset(8) + 40]), '0');
    UpgradeFile back;
    ASSERT_EQ(read(file.bytes, &back), UpgradeError::None);
    EXPECT_EQ(back.records[8].data[15], 0x20);
}

TEST(UpgradeFile, EveryCheckRefusesWithItsMessage) {
    struct Case {
        const char* name;
        std::function<void(UpgradeFileBytes&)> spoil;
        UpgradeError error;
    };
    const auto replaceText = [](UpgradeFileBytes& f, std::string_view from, std::string_view to) {
        f.bytes.replace(f.bytes.find(from), from.size(), to);
    };
    const auto count = [](UpgradeFileBytes& f) -> std::uint32_t { return word(f.bytes, f.headerOffset + 4); };
    const auto setCount = [](UpgradeFileBytes& f, std::uint32_t n) {
        putWord(f.bytes, f.headerOffset + 4, n);
    };
    const std::vector<Case> cases{
        {"empty file", [](UpgradeFileBytes& f) { f.bytes.clear(); }, UpgradeError::InvalidContents},
        {"header line ends in a line feed alone",
         [&](UpgradeFileBytes& f) { replaceText(f, "Tarvane \r\n", "Tarvane \n"); },
         UpgradeError::InvalidContents},
        {"header line without its blank",
         [&](UpgradeFileBytes& f) { replaceText(f, "Tarvane \r", "Tarvane\r"); },
         UpgradeError::InvalidContents},
        {"version line of another word", [&](UpgradeFileBytes& f) { replaceText(f, "Wersja", "Wersia"); },
         UpgradeError::InvalidContents},
        {"major version not a digit", [&](UpgradeFileBytes& f) { replaceText(f, "1.06", "x.06"); },
         UpgradeError::InvalidContents},
        {"minor version not two digits", [&](UpgradeFileBytes& f) { replaceText(f, "1.06", "1.6 "); },
         UpgradeError::InvalidContents},
        {"version line too short", [&](UpgradeFileBytes& f) { replaceText(f, "1.06\r\n", "1.0\n"); },
         UpgradeError::InvalidContents},
        {"no 0x00 after the version line", [](UpgradeFileBytes& f) { f.bytes.resize(f.headerOffset - 1); },
         UpgradeError::UnexpectedEnd},
        {"header offset names another place",
         [](UpgradeFileBytes& f) {
             putWord(f.bytes, f.headerOffset, static_cast<std::uint32_t>(f.headerOffset + 1));
         },
         UpgradeError::InvalidContents},
        {"file ends inside the header offset",
         [](UpgradeFileBytes& f) { f.bytes.resize(f.headerOffset + 3); }, UpgradeError::InvalidContents},
        {"file ends inside the count", [](UpgradeFileBytes& f) { f.bytes.resize(f.headerOffset + 6); },
         UpgradeError::InvalidSize},
        {"count one too high", [&](UpgradeFileBytes& f) { setCount(f, count(f) + 1); },
         UpgradeError::InvalidSize},
        {"count one too low", [&](UpgradeFileBytes& f) { setCount(f, count(f) - 1); },
         UpgradeError::InvalidSize},
        {"41 spare bytes", [](UpgradeFileBytes& f) { f.bytes.append(41, 'x'); }, UpgradeError::InvalidSize},
        {"count 0, no records",
         [&](UpgradeFileBytes& f) {
             setCount(f, 0);
             putWord(f.bytes, f.headerOffset + 8, 0);
             f.bytes.resize(f.recordOffset(0));
         },
         UpgradeError::InvalidContents},
        {"count 0 with 40 spare bytes",
         [&](UpgradeFileBytes& f) {
             setCount(f, 0);
             putWord(f.bytes, f.headerOffset + 8, 0);
             f.bytes.resize(f.recordOffset(0) + 40);
         },
         UpgradeError::InvalidContents},
        {"length not hexadecimal", recordText(1, "1G", "00100"), UpgradeError::InvalidContents},
        {"length 17", recordText(1, "11", "00100"), UpgradeError::InvalidContents},
        {"address 0x1E001", recordText(2, "10", "1E001"), UpgradeError::InvalidContents},
        {"address with a blank", recordText(2, "10", " 1000"), UpgradeError::InvalidContents},
        {"data byte not hexadecimal in the last column",
         recordText(2, "00", "00100", std::string(31, '0') + "g"), UpgradeError::InvalidContents},
        {"a bad record comes before a bad checksum",
         recordText(2, "10", "00100", std::string(31, '0') + "+", false), UpgradeError::InvalidContents},
        {"checksum word one off",
         [](UpgradeFileBytes& f) {
             putWord(f.bytes, f.headerOffset + 8, word(f.bytes, f.headerOffset + 8) + 1);
         },
         UpgradeError::ChecksumMismatch},
        {"one stored byte changed, the record still valid",
         [](UpgradeFileBytes& f) { f.bytes[f.recordOffset(2) + 20] ^= 0x01; },
         UpgradeError::ChecksumMismatch},
    };
    for (const Case& c : cases) {
        UpgradeFileBytes file = build(someRecords(3));
        c.spoil(file);
        EXPECT_EQ(read(file.bytes), c.error) << c.name;
    }

    // Up to 40 spare bytes after the last record are accepted; the highest
    // record is accepted.
    UpgradeFileBytes file = build(someRecords(3));
    file.bytes.append(40, '\0');
    recordText(1, "10", "1E000", std::string(32, 'F'))(file);
    UpgradeFile back;
    ASSERT_EQ(read(file.bytes, &back), UpgradeError::None);
    EXPECT_EQ(back.records[1].address, 0x1E000u);
    EXPECT_EQ(back.records[1].length, 16u);

    // The messages, all shown under "Fault".
    EXPECT_STREQ(upgradeErrorText(UpgradeError::OpenFailed), "File open error !");
    EXPECT_STREQ(upgradeErrorText(UpgradeError::InvalidContents), "Invalid file contents !");
    EXPECT_STREQ(upgradeErrorText(UpgradeError::UnexpectedEnd), "Unexpected end of file !");
    EXPECT_STREQ(upgradeErrorText(UpgradeError::InvalidSize), "Invalid file size !");
    EXPECT_STREQ(upgradeErrorText(UpgradeError::AllocationFailed), "Memory allocation error !");
    EXPECT_STREQ(upgradeErrorText(UpgradeError::ReadFailed), "File read error !");
    EXPECT_STREQ(upgradeErrorText(UpgradeError::ChecksumMismatch),
                 "Invalid file contents !\nChecksum error !");
}

TEST(UpgradeFile, TheHeadIsReadBeforeTheRestIsLookedAt) {
    // The version questions come between the two steps: a file whose records
    // are broken still gives its version first.
    UpgradeFileBytes file = build(someRecords(2), "4.56");
    putWord(file.bytes, file.headerOffset + 8, 0);
    std::istringstream in(file.bytes, std::ios::binary);
    UpgradeFileReader reader(in);
    ASSERT_EQ(reader.readHead(), UpgradeError::None);
    EXPECT_EQ(reader.fileVersion(), "4.56");
    std::vector<UpgradeRecord> records{record(1, 1)};
    EXPECT_EQ(reader.readRecords(records), UpgradeError::ChecksumMismatch);
    EXPECT_EQ(records.size(), 1u) << "a refused file gives out no record";
}

TEST(VersionQuestions, AskedAsTheVersionsCompare) {
    struct Case {
        bool install;
        const char* file;
        const char* controller;
        std::vector<std::string> titles;
    };
    const std::string sure = "Are you sure ?", down = "Downgrade ?", differ = "Differences occured !";
    const std::vector<Case> cases{
        {true, "1.06", "1.05b", {sure}},
        {true, "1.05", "1.05", {sure, down}},   // equal is not newer
        {true, "1.05", "1.05b", {sure, down}},  // the shorter text sorts first
        {true, "1.04", "1.05", {sure, down}},
        {true, "0.01", "N/A", {sure}},
        {true, "0.01", "?.??X", {sure}},
        {true, "1.00", "2.??X", {sure}},
        {true, "9.99", "1.05", {sure}},
        {false, "1.05", "1.05b", {}},  // the first four characters agree
        {false, "1.05", "1.05", {}},
        {false, "1.06", "1.05b", {differ}},
        {false, "1.05", "N/A", {differ}},
        {false, "1.05", "?.??X", {differ}},
        {false, "1.05", "1.0", {differ}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> titles;
        for (const VersionQuestion& q : versionQuestions(c.install, c.file, c.controller))
            titles.push_back(q.title);
        EXPECT_EQ(titles, c.titles) << (c.install ? "install " : "verify ") << c.file << " on "
                                    << c.controller;
    }
    EXPECT_EQ(
        versionQuestions(true, "1.05", "1.05b"),
        (std::vector<VersionQuestion>{
            {"Do you want to install in your Velora-Tarvane\nfirmware version 1.05 ?", sure},
            {"Do you surely exchange in your Velora-Tarvane\nfirmware version 1.05b with version 1.05 ?",
             down}}));
    EXPECT_EQ(versionQuestions(false, "1.06", "N/A"),
              (std::vector<VersionQuestion>{{"Different firmware version : 1.06 !\nContinue ?", differ}}));
    EXPECT_EQ(controllerVersionOf("\tFW : 1.05b"), "1.05b");
    EXPECT_EQ(controllerVersionOf("\tFW : N/A"), "N/A");
}

TEST(MakeUpgrade, ImagesAreCutIntoRecordsOfSixteenBytes) {
    std::vector<std::uint8_t> image(5000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    std::string why;
    const auto records = recordsFromImage(image, 0xF800, why);
    ASSERT_TRUE(records) << why;
    ASSERT_EQ(records->size(), 313u);
    EXPECT_EQ(records->front().address, 0xF800u);
    EXPECT_EQ((*records)[128].address, 0x10000u);
    EXPECT_EQ(records->back().address, 0xF800u + 312 * 16);
    EXPECT_EQ(records->back().length, 8u);
    EXPECT_EQ(records->back().data[7], image[4999]);
    EXPECT_EQ(records->back().data[8], 0) << "bytes past the image stay 0";

    // The last record may start at 0x1E000 and no later.
    EXPECT_TRUE(recordsFromImage(std::vector<std::uint8_t>(32), 0x1DFF0, why));
    EXPECT_FALSE(recordsFromImage(std::vector<std::uint8_t>(33), 0x1DFF0, why));
    EXPECT_FALSE(recordsFromImage({}, 0, why));
}

TEST(MakeUpgrade, ListsNameEveryRecord) {
    std::string why;
    const auto records = mkupg::recordsFromList(
        "# address length data\n"
        "1E000 16 00112233445566778899AABBCCDDEEFF\r\n"
        "\n"
        "0x200 0\n"
        "ffff 0x3 01 02 03 04\n",
        why);
    ASSERT_TRUE(records) << why;
    ASSERT_EQ(records->size(), 3u);
    EXPECT_EQ((*records)[0].address, 0x1E000u);
    EXPECT_EQ((*records)[0].data[15], 0xFF);
    EXPECT_EQ((*records)[1].length, 0u);
    EXPECT_EQ((*records)[2].address, 0xFFFFu);
    EXPECT_EQ((*records)[2].length, 3u);
    EXPECT_EQ((*records)[2].data[3], 0x04) << "a byte past the length is kept in the file";

    for (const char* bad : {"1E001 1 00",
                            "100 17 "
                            "00112233445566778899AABBCCDDEEFF00",
                            "100 2 00", "100 1 0", "100 1 zz", "x 1 00", "", "# nothing\n"}) {
        EXPECT_FALSE(mkupg::recordsFromList(bad, why)) << bad;
    }
    EXPECT_FALSE(mkupg::recordsFromList("100 1 00\n100 2 00", why));
    EXPECT_EQ(why.rfind("line 2:", 0), 0u) << why;
}

TEST(MakeUpgrade, Arguments) {
    std::ostringstream err;
    const auto o = mkupg::parseArguments(
        {"--version", "1.06", "--image", "fw.bin", "--address", "0xF800", "-o", "x.upg"}, err);
    ASSERT_TRUE(o) << err.str();
    EXPECT_EQ(o->address, 0xF800u);
    // An option given twice takes its last value.
    const auto twice =
        mkupg::parseArguments({"--version", "1.05", "--list", "l", "-o", "x", "--version", "1.06"}, err);
    ASSERT_TRUE(twice) << err.str();
    EXPECT_EQ(twice->version, "1.06");
    EXPECT_TRUE(mkupg::parseArguments({"--help"}, err)->help);
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {},
             {"--version", "1.6", "--list", "l", "-o", "x"},
             {"--version", "1.06", "--list", "l"},
             {"--version", "1.06", "--image", "i", "-o", "x"},
             {"--version", "1.06", "--image", "i", "--list", "l", "--address", "0", "-o", "x"},
             {"--version", "1.06", "--list", "l", "--address", "0", "-o", "x"},
             {"--version", "1.06", "--image", "i", "--address", "G0", "-o", "x"},
             {"--version", "1.06", "--list", "l", "-o", "x", "extra"},
             {"--version"}})
        EXPECT_FALSE(mkupg::parseArguments(bad, err)) << ::testing::PrintToString(bad);
}

}  // namespace
}  // namespace velora
