#pragma once
// The reading side of a show as text, before and after the document is
// parsed: a cheap walk over its brackets and keys that refuses what no show
// looks like (too large, nested too deep, a key given twice) before a parser
// builds anything of it; and, for a refusal, the place as the technician
// counts it and the line and column where it stands.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velora {

// A show is nested 6 levels deep (document, programmes, programme, scenes,
// scene, fixture); with every scene lit it takes about 1.2 MB and holds
// about 281,000 values (numbers, texts, arrays, objects). The bounds leave
// room for any layout a script may give it, one value a line included, and
// keep a parsed document within some tens of megabytes.
inline constexpr int kShowTextMaxDepth = 64;
inline constexpr std::size_t kShowTextMaxBytes = 16 * 1024 * 1024;
inline constexpr std::size_t kShowTextMaxValues = 1'000'000;
inline constexpr std::size_t kShowTextMaxFields = 64;  // in one object

// Line and column counted from 1, columns in bytes; 0 when not known.
struct TextPosition {
    std::size_t line = 0;
    std::size_t column = 0;
};

// Why a document was refused before parsing: the JSON path (as the reader
// names its refusals), the rule, and where in the text.
struct ShapeRefusal {
    std::string path;
    std::string rule;
    TextPosition at;
};

// Refuses a document of `bytes` bytes when it is over kShowTextMaxBytes.
std::optional<ShapeRefusal> checkShowTextSize(std::size_t bytes);

// Refuses a document over kShowTextMaxBytes, nested deeper than
// kShowTextMaxDepth, holding more than kShowTextMaxValues values, with an
// object of more than kShowTextMaxFields fields, or with a key given twice
// in one object. Text that is not JSON is walked as far as
// it goes and left to the parser to refuse.
std::optional<ShapeRefusal> checkShowTextShape(std::string_view text);

// Where the value at `path` (e.g. "programmes[1].scenes[2]") begins; when
// it is missing, where the nearest value that holds it begins.
TextPosition positionOfPath(std::string_view text, std::string_view path);

// Where the byte at `offset` stands.
TextPosition positionOfByte(std::string_view text, std::size_t offset);

// The place at `path` as the technician counts it, in the program's words:
// "programme 2, scene 3, fixture 1, channel 4", "MIDI key 70 (A# / 4)",
// "Cue no. 5 obszar 2", "STROBE"; empty for the document's other fields.
std::string placeOfPath(std::string_view path);

}  // namespace velora
