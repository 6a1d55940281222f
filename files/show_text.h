#pragma once
// A show as text: the whole controller image as one JSON document, in the
// program's own terms (programmes and scenes counted from 1, modes by name,
// MIDI keys with their notes), and back: written by show_text_writer.cpp,
// read by show_text_reader.cpp with the checks of show_text_shape.h.
//
// The document keeps every byte of the data files: a value the editors
// cannot show (a mode byte of 100, a cue of 60, scene bits 1023 in a MIDI
// key) is written as {"raw": n} in its place, so that export and import give
// the same files byte for byte. Keys come in a fixed order, so two exports
// of the same files are the same text.
//
//   {
//     "document": "velora show", "version": 1,
//     "programmes": [ { "programme": 1, "end_scene": null | 1..n, "mode": "manual" | "music" |
//                       "midi" | {"auto": 1..31}, "fade": 0..255,
//                       "scenes": [ "dark" | [16 fixtures of 16 channel values], ... n ] }, ... 48 ],
//     "special_buttons": { "strobe" | "fog" | "extra": { "scene": null | {"programme": p,
//                          "scene": s}, "strobe_mode": bool }, ... },
//     "cues": [ [16 x programme 1..48 | null] for fields 1, 2, 3 ],
//     "slow_mode": bool,
//     "midi": [ { "key": 0..127, "note": "C", "octave": -1, "scene": {"programme": p, "scene": s},
//                 "triggering": [f1, f2, f3], "assignment": [f1, f2, f3] }, ... 128 ]
//   }

#include <array>
#include <string>

#include "files/show_text_shape.h"
#include "image/controller_image.h"

namespace velora {

inline constexpr const char* kShowDocumentName = "velora show";
inline constexpr int kShowTextVersion = 1;
// The keys of the special buttons STROBE, FOG and EXTRA.
inline constexpr std::array<const char*, 3> kShowButtonKeys{"strobe", "fog", "extra"};

// The document of `image`, laid out for reading and for line-by-line
// differences: every array of numbers on one line, everything else indented.
std::string showToText(const ControllerImage& image);

struct ShowTextResult {
    bool ok = false;
    // Where and why the document was refused: its JSON path, the place as
    // the technician counts it, the line and column, and the rule, e.g.
    // "programmes[47].scenes[14] (programme 48, scene 15) at line 9120,
    // column 9: programme 48 has 14 scenes".
    std::string error;
    TextPosition at;  // where the refusal stands; line 0 when nowhere
};

// Reads a document into `image`. On a refusal `image` may hold part of it:
// read into a copy and keep it only when the result is ok. A document over
// kShowTextMaxBytes or nested deeper than kShowTextMaxDepth, or with a key
// given twice in one object, is refused before it is parsed.
ShowTextResult showFromText(const std::string& text, ControllerImage& image);

}  // namespace velora
