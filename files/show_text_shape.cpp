#include "files/show_text_shape.h"

#include <algorithm>
#include <array>
#include <functional>
#include <unordered_map>
#include <vector>

#include "files/show_text.h"
#include "image/controller_image.h"

namespace velora {

namespace {

// An object or array open where the walk is.
struct Frame {
    bool object = false;
    bool expectKey = false;                             // an object: the next string is a key
    std::size_t index = 0;                              // an array: the element being walked
    std::string key;                                    // an object: the key of the value being walked
    std::unordered_map<std::string, std::size_t> keys;  // an object: each key and where it stands
};

// The path of the value being walked in the frame `depth` levels in, as the
// reader names its refusals: "programmes[2].fade"; "document" for the whole.
std::string pathOf(const std::vector<Frame>& frames, std::size_t depth) {
    std::string path;
    for (std::size_t k = 0; k < depth; ++k) {
        const Frame& f = frames[k];
        path += f.object ? (path.empty() ? "" : ".") + f.key : "[" + std::to_string(f.index) + "]";
    }
    return path.empty() ? "document" : path;
}

void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::optional<unsigned> hex4(std::string_view raw, std::size_t at) {
    if (at + 4 > raw.size()) return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        const char c = raw[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<unsigned>(digit);
    }
    return value;
}

// A key as the parser will see it: "f\u0061de" is "fade". An escape that is
// not one is kept as written (the parser refuses the document anyway).
std::string decoded(std::string_view raw) {
    if (raw.find('\\') == std::string_view::npos) return std::string(raw);
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 >= raw.size()) {
            out += raw[i];
            continue;
        }
        const char e = raw[++i];
        static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
        if (const auto k = kFrom.find(e); k != std::string_view::npos) {
            out += kTo[k];
        } else if (const auto high = e == 'u' ? hex4(raw, i + 1) : std::nullopt) {
            unsigned code = *high;
            i += 4;
            if (code >= 0xD800 && code < 0xDC00 && i + 2 < raw.size() && raw[i + 1] == '\\' &&
                raw[i + 2] == 'u') {
                if (const auto low = hex4(raw, i + 3); low && *low >= 0xDC00 && *low < 0xE000) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
                    i += 6;
                }
            }
            appendUtf8(out, code);
        } else {
            out += '\\';
            out += e;
        }
    }
    return out;
}

// Where a value begins, with the frames that hold it. False stops the walk.
using ValueSeen = std::function<bool(const std::vector<Frame>& frames, std::size_t offset)>;

// Walks the document's brackets, keys and values, outside strings, as far
// as it is well formed; refuses it nested too deep or with a key given twice.
std::optional<ShapeRefusal> walk(std::string_view text, const ValueSeen& seen) {
    std::vector<Frame> frames;
    bool inToken = false;  // within a number or a literal
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (std::string_view(" \t\n\r{}[],:\"").find(c) == std::string_view::npos) {
            if (!inToken && !seen(frames, i)) return std::nullopt;
            inToken = true;
            continue;
        }
        inToken = false;
        if (c == '"') {
            std::size_t end = i + 1;
            while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
            end = std::min(end, text.size());
            if (!frames.empty() && frames.back().expectKey) {
                Frame& f = frames.back();
                f.expectKey = false;
                f.key = decoded(text.substr(i + 1, end - i - 1));
                const auto [first, fresh] = f.keys.emplace(f.key, i);
                if (!fresh) {
                    const TextPosition was = positionOfByte(text, first->second);
                    return ShapeRefusal{pathOf(frames, frames.size()),
                                        "is given twice (first at line " + std::to_string(was.line) +
                                            ", column " + std::to_string(was.column) + ")",
                                        positionOfByte(text, i)};
                }
                // Objects keep their keys in order, found one by one: a
                // great many of them would take the parser minutes.
                if (f.keys.size() > kShowTextMaxFields)
                    return ShapeRefusal{pathOf(frames, frames.size() - 1),
                                        "has more than " + std::to_string(kShowTextMaxFields) +
                                            " fields, where a show's objects have at most 7",
                                        positionOfByte(text, i)};
            } else if (!seen(frames, i)) {
                return std::nullopt;
            }
            i = end;
        } else if (c == '{' || c == '[') {
            if (!seen(frames, i)) return std::nullopt;
            if (frames.size() >= static_cast<std::size_t>(kShowTextMaxDepth))
                return ShapeRefusal{"document",
                                    "is nested more than " + std::to_string(kShowTextMaxDepth) +
                                        " levels deep, where a show is 6",
                                    positionOfByte(text, i)};
            frames.push_back(Frame{c == '{', c == '{', 0, {}, {}});
        } else if (c == '}' || c == ']') {
            if (frames.empty()) return std::nullopt;  // the parser says what is wrong
            frames.pop_back();
        } else if (c == ',') {
            if (frames.empty()) return std::nullopt;
            if (frames.back().object)
                frames.back().expectKey = true;
            else
                ++frames.back().index;
        }
    }
    return std::nullopt;
}

// One step of a path: a key, or an index in brackets.
struct Step {
    bool isIndex = false;
    std::string key;
    std::size_t index = 0;
};

std::vector<Step> stepsOf(std::string_view path) {
    std::vector<Step> steps;
    std::size_t i = 0;
    while (i < path.size()) {
        if (path[i] == '.') ++i;
        if (i < path.size() && path[i] == '[') {
            const std::size_t close = std::min(path.find(']', i), path.size());
            std::size_t n = 0;
            for (std::size_t k = i + 1; k < close; ++k)
                if (path[k] >= '0' && path[k] <= '9') n = n * 10 + static_cast<std::size_t>(path[k] - '0');
            steps.push_back({true, {}, n});
            i = close + 1;
        } else {
            const std::size_t end = std::min(path.find_first_of(".[", i), path.size());
            steps.push_back({false, std::string(path.substr(i, end - i)), 0});
            i = end;
        }
    }
    return steps;
}

}  // namespace

std::optional<ShapeRefusal> checkShowTextSize(std::size_t bytes) {
    if (bytes <= kShowTextMaxBytes) return std::nullopt;
    return ShapeRefusal{"document",
                        "is larger than the " + std::to_string(kShowTextMaxBytes / (1024 * 1024)) +
                            " MiB a show may take (a show with every scene lit takes about 1.2 MB)",
                        {}};
}

std::optional<ShapeRefusal> checkShowTextShape(std::string_view text) {
    if (auto refused = checkShowTextSize(text.size())) return refused;
    std::size_t values = 0;
    std::size_t tooMany = 0;
    const auto refused = walk(text, [&](const std::vector<Frame>&, std::size_t offset) {
        if (++values <= kShowTextMaxValues) return true;
        tooMany = offset;
        return false;
    });
    if (refused || values <= kShowTextMaxValues) return refused;
    return ShapeRefusal{"document",
                        "holds more than a million values, where a show with every scene lit holds "
                        "about 281,000",
                        positionOfByte(text, tooMany)};
}

TextPosition positionOfPath(std::string_view text, std::string_view path) {
    const std::vector<Step> target = stepsOf(path);
    std::optional<std::size_t> best;
    std::size_t bestDepth = 0;
    walk(text, [&](const std::vector<Frame>& frames, std::size_t offset) {
        if (frames.size() > target.size()) return true;
        for (std::size_t k = 0; k < frames.size(); ++k) {
            const Frame& f = frames[k];
            const Step& s = target[k];
            if (f.object ? s.isIndex || s.key != f.key : !s.isIndex || s.index != f.index) return true;
        }
        if (!best || frames.size() > bestDepth) {
            best = offset;
            bestDepth = frames.size();
        }
        return frames.size() < target.size();
    });
    return best ? positionOfByte(text, *best) : TextPosition{};
}

TextPosition positionOfByte(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const std::size_t lineStart = before.rfind('\n') == std::string_view::npos ? 0 : before.rfind('\n') + 1;
    return {static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1,
            offset - lineStart + 1};
}

std::string placeOfPath(std::string_view path) {
    const std::vector<Step> s = stepsOf(path);
    const auto index = [&s](std::size_t k) { return k < s.size() && s[k].isIndex; };
    const auto name = [&s](std::size_t k) {
        return k < s.size() && !s[k].isIndex ? s[k].key : std::string();
    };
    const auto counted = [&s](std::size_t k) { return std::to_string(s[k].index + 1); };
    std::string words;
    const auto add = [&words](const std::string& w) { words += (words.empty() ? "" : ", ") + w; };

    if (name(0) == "programmes" && index(1)) {
        add("programme " + counted(1));
        if (name(2) == "scenes" && index(3)) {
            add("scene " + counted(3));
            if (index(4)) add("fixture " + counted(4));
            if (index(4) && index(5)) add("channel " + counted(5));
        }
    } else if (name(0) == "midi" && index(1)) {
        // MIDI keys count from 0, as the controller numbers them.
        const std::size_t key = s[1].index;
        add("MIDI key " + std::to_string(key) +
            (key < static_cast<std::size_t>(kMidiKeys)
                 ? std::string(" (") + midiNoteName(static_cast<int>(key)) + " / " +
                       std::to_string(midiOctaveOf(static_cast<int>(key))) + ")"
                 : std::string()));
        if ((name(2) == "triggering" || name(2) == "assignment") && index(3))
            add(name(2) + " in field " + counted(3));
    } else if (name(0) == "cues" && index(1)) {
        add(index(2) ? "Cue no. " + counted(2) + " obszar " + counted(1) : "obszar " + counted(1));
    } else if (name(0) == "special_buttons") {
        for (std::size_t b = 0; b < kShowButtonKeys.size(); ++b)
            if (name(1) == kShowButtonKeys[b]) add(kSpecialButtonWords[b]);
    }
    return words;
}

}  // namespace velora
