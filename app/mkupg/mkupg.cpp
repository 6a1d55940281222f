#include "app/mkupg/mkupg.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>

#include "files/atomic_save.h"
#include "files/file_reason.h"
#include "upgrade/upgrade_writer.h"

namespace velora::mkupg {

namespace {

bool parseUnsigned(std::string_view text, int base, std::uint32_t& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end;
}

bool parseHex(std::string_view text, std::uint32_t& value) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    return parseUnsigned(text, 16, value);
}

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The next blank-separated word of `text`, taken off its front.
std::string_view takeWord(std::string_view& text) {
    text = trim(text);
    const auto end = text.find_first_of(" \t");
    const std::string_view word = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end);
    return word;
}

bool readFile(const std::string& name, std::string& bytes, std::ostream& err) {
    std::ifstream in;
    // A list may come from a pipe, as a script makes it.
    if (const auto refused = openToRead(name, in, FileKinds::PlainOrStream)) {
        err << "velora-mkupg: " << name << ": " << refused->reason << "\n";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        err << "velora-mkupg: " << name << ": cannot read\n";
        return false;
    }
    return true;
}

// The usage line says which options go together, which the parser's own
// usage line cannot.
class Formatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App*, std::string) const override {
        return "Usage: velora-mkupg --version M.mm (--image FILE --address ADDR | --list FILE) --output "
               "OUT\n";
    }
};

// The parser with the options bound: to the result, or, for the address,
// to the text that is checked after parsing.
struct CommandLine {
    CLI::App app{"Packs firmware records into an upgrade file for the controller (\"kq318*.upg\").\n",
                 "velora-mkupg"};
    Options options;
    std::string address;

    CommandLine() {
        app.formatter(std::make_shared<Formatter>());
        app.footer(
            "A list holds one record a line: ADDRESS LENGTH DATA, where ADDRESS is hexadecimal, at most\n"
            "1E000; LENGTH is 0..16 (decimal; hexadecimal after 0x); DATA is up to 16 bytes as hexadecimal\n"
            "pairs, blanks allowed between them, at least LENGTH of them (the bytes beyond LENGTH are kept\n"
            "in the file but never sent). Empty lines and lines beginning with # are skipped.\n"
            "\n"
            "Example: velora-mkupg --version 1.06 --image fw.bin --address F800 -o kq318_106.upg\n"
            "\n"
            "Exit status: 0 the file was written, 2 error (nothing written).");
        app.set_help_flag("-h,--help", "show this text");
        // An option given twice takes its last value.
        app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        app.add_option("--version", options.version, "the firmware version the file announces, e.g. 1.06")
            ->type_name("M.mm");
        app.add_option("--image", options.image, "a binary firmware image, cut into records of 16 bytes")
            ->type_name("FILE");
        app.add_option("--address", address,
                       "where the image's first byte goes, hexadecimal (F800 or 0xF800)")
            ->type_name("ADDR");
        app.add_option("--list", options.list, "a text list of records, one a line (below)")
            ->type_name("FILE");
        app.add_option("-o,--output", options.output,
                       "the upgrade file to write (replaced whole, or left as it was)")
            ->type_name("OUT");
        app.add_option("--note", options.note, "a line of text for the file's free bytes")->type_name("TEXT");
    }
};

}  // namespace

void printUsage(std::ostream& out) {
    out << CommandLine().app.help();
}

std::optional<Options> parseArguments(const std::vector<std::string>& args, std::ostream& err) {
    CommandLine line;
    Options& o = line.options;
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        line.app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        o.help = true;
        return o;
    } catch (const CLI::ParseError& e) {
        err << "velora-mkupg: " << e.what() << " (try --help)\n";
        return std::nullopt;
    }
    if (line.app.count("--address") > 0) {
        std::uint32_t address = 0;
        if (!parseHex(line.address, address)) {
            err << "velora-mkupg: --address takes a hexadecimal address, e.g. F800\n";
            return std::nullopt;
        }
        o.address = address;
    }
    if (!isUpgradeVersion(o.version)) {
        err << "velora-mkupg: --version takes a version like 1.06 (a digit, a point, two digits)\n";
        return std::nullopt;
    }
    if (o.image.empty() == o.list.empty()) {
        err << "velora-mkupg: give either --image FILE with --address ADDR, or --list FILE\n";
        return std::nullopt;
    }
    if (!o.image.empty() && !o.address) {
        err << "velora-mkupg: --image needs --address, where its first byte goes\n";
        return std::nullopt;
    }
    if (o.image.empty() && o.address) {
        err << "velora-mkupg: --address goes with --image\n";
        return std::nullopt;
    }
    if (o.output.empty()) {
        err << "velora-mkupg: --output names the upgrade file to write\n";
        return std::nullopt;
    }
    return o;
}

std::optional<std::vector<UpgradeRecord>> recordsFromList(std::string_view text, std::string& why) {
    std::vector<UpgradeRecord> records;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#') continue;
        const auto fail = [&](const std::string& what) {
            why = "line " + std::to_string(lineNumber) + ": " + what;
            return std::nullopt;
        };

        UpgradeRecord record;
        const std::string_view address = takeWord(line);
        if (!parseHex(address, record.address) || record.address > kUpgradeMaxAddress)
            return fail("the address is hexadecimal, at most 1E000");
        const std::string_view length = takeWord(line);
        const bool hex = length.starts_with("0x") || length.starts_with("0X");
        if (!(hex ? parseHex(length, record.length) : parseUnsigned(length, 10, record.length)) ||
            record.length > kUpgradeMaxLength)
            return fail("the length is 0 to 16");
        std::string digits;
        for (char c : line)
            if (c != ' ' && c != '\t') digits.push_back(c);
        if (digits.size() % 2 != 0 || digits.size() > 32)
            return fail("the data are up to 16 bytes, two hexadecimal digits each");
        for (std::size_t n = 0; n < digits.size() / 2; ++n) {
            std::uint32_t value = 0;
            if (!parseUnsigned(std::string_view(digits).substr(2 * n, 2), 16, value))
                return fail("the data are up to 16 bytes, two hexadecimal digits each");
            record.data[n] = static_cast<std::uint8_t>(value);
        }
        if (digits.size() / 2 < record.length)
            return fail("fewer data bytes than the length says (" + std::to_string(digits.size() / 2) +
                        " < " + std::to_string(record.length) + ")");
        records.push_back(record);
    }
    if (records.empty()) {
        why = "the list holds no record";
        return std::nullopt;
    }
    return records;
}

int run(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.help) {
        printUsage(out);
        return kSuccess;
    }
    std::string input;
    const std::string& inputName = o.image.empty() ? o.list : o.image;
    if (!readFile(inputName, input, err)) return kError;
    std::string why;
    const std::optional<std::vector<UpgradeRecord>> records =
        o.image.empty()
            ? recordsFromList(input, why)
            : recordsFromImage(std::span(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()),
                               *o.address, why);
    if (!records) {
        err << "velora-mkupg: " << inputName << ": " << why << "\n";
        return kError;
    }
    const std::string note = o.note.empty() ? std::string() : o.note + "\r\n";
    const std::optional<UpgradeFileBytes> file = buildUpgradeFile(o.version, *records, why, note);
    if (!file) {
        err << "velora-mkupg: " << why << "\n";
        return kError;
    }
    const SaveOutcome saved = saveAtomically(FileToSave{o.output, file->bytes});
    if (!saved.saved()) {
        err << "velora-mkupg: " << o.output << ": cannot write: " << saved.reason() << "\n";
        return kError;
    }
    out << "velora-mkupg: " << o.output << ": version " << o.version << ", " << records->size() << " record"
        << (records->size() == 1 ? "" : "s") << "\n";
    return kSuccess;
}

}  // namespace velora::mkupg
