#pragma once
// The three data files: raw copies of image fields with no header,
// signature or checksum, multi-byte values little-endian.
//
//   scene file    (".K5s") 261,632 bytes: the scene table, 1022 x 256 bytes
//   settings file (".K5p")     202 bytes: see the offsets below
//   MIDI file     (".K5m")     256 bytes: 128 entries, low byte first
//
// Nothing in a file tells its kind; the region the user chose decides where
// it goes.

#include <cstddef>
#include <iosfwd>
#include <string_view>

#include "image/controller_image.h"

namespace velora {

inline constexpr std::size_t kSceneFileSize = std::size_t{kScenes} * kChannels;
inline constexpr std::size_t kSettingsFileSize = 202;
inline constexpr std::size_t kMidiFileSize = std::size_t{kMidiKeys} * 2;

// Offsets of the settings file's fields.
struct SettingsFileOffset {
    static constexpr std::size_t endScene = 0;              // 48 bytes
    static constexpr std::size_t speedSync = 48;            // 48 bytes
    static constexpr std::size_t fade = 96;                 // 48 bytes
    static constexpr std::size_t specialButtonsMode = 144;  // 16-bit, whole
    static constexpr std::size_t slowMode = 146;            // 16-bit, 0x0000 or 0xFFFF
    static constexpr std::size_t strobeScene = 148;         // 16-bit
    static constexpr std::size_t fogScene = 150;            // 16-bit
    static constexpr std::size_t extraScene = 152;          // 16-bit
    static constexpr std::size_t cues = 154;                // 3 fields x 16 cues
};

// True for the regions that have a data file: Scenes, Settings, Midi.
bool hasDataFile(Region region);

// Size of the region's file layout; 0 for a region without a data file.
std::size_t dataFileSize(Region region);

// The region's file extension without the dot ("K5s", "K5p", "K5m"); empty
// for a region without a data file.
std::string_view dataFileExtension(Region region);

// Writes the region's layout from the image. False when the region has no
// data file or the stream failed.
bool writeDataFile(std::ostream& out, const ControllerImage& image, Region region);

// Reads the region's layout straight into the image fields, in file order.
// True when the whole layout was read; a longer file is read only as far as
// the layout goes. A file that ends early leaves in the image everything it
// held: whole scenes and the part of the scene in which it ends; settings
// fields before the end and the bytes of the field in which it ends (the low
// byte of a 16-bit field); the MIDI bytes it holds. Everything after that
// stays as it was. False (nothing read) for a region without a data file.
bool readDataFile(std::istream& in, ControllerImage& image, Region region);

}  // namespace velora
