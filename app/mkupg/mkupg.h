#pragma once
// velora-mkupg: packs firmware records into an upgrade file with a chosen
// version, from a binary image or from a text list of records. Its logic is
// here, free of Qt, so the tests can make their upgrade files with it.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "upgrade/upgrade_file.h"

namespace velora::mkupg {

enum ExitStatus { kSuccess = 0, kError = 2 };

struct Options {
    std::string version;                   // "M.mm"
    std::string image;                     // a binary image ...
    std::optional<std::uint32_t> address;  // ... and where its first byte goes
    std::string list;                      // or a text list of records
    std::string output;
    std::string note;  // text for the file's free bytes
    bool help = false;
};

// Parses the arguments (CLI11); on error returns nullopt and says why on
// `err`.
std::optional<Options> parseArguments(const std::vector<std::string>& args, std::ostream& err);

// The --help text.
void printUsage(std::ostream& out);

// A text list, one record a line: ADDRESS LENGTH DATA. ADDRESS hexadecimal
// (with or without 0x), LENGTH 0..16 (decimal, or hexadecimal after 0x),
// DATA up to 16 bytes as pairs of hexadecimal digits, blanks allowed between
// them, at least LENGTH of them (bytes beyond the length travel in the file
// but are never sent; missing ones are 00). Empty lines and lines that begin
// with '#' are skipped. Nothing, with `why` naming the line, on a fault.
std::optional<std::vector<UpgradeRecord>> recordsFromList(std::string_view text, std::string& why);

// Makes the file; what went wrong goes to `err` as "velora-mkupg: ...".
int run(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace velora::mkupg
