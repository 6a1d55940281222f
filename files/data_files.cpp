#include "files/data_files.h"

#include <array>
#include <istream>
#include <ostream>

namespace velora {

namespace {

// Byte-wise stream access: the scene and table fields are arrays of bytes,
// so they travel as they are; 16-bit values are split explicitly.
char* bytesOf(std::uint8_t* p) {
    return reinterpret_cast<char*>(p);
}
const char* bytesOf(const std::uint8_t* p) {
    return reinterpret_cast<const char*>(p);
}

template <std::size_t N>
void writeBytes(std::ostream& out, const std::array<std::uint8_t, N>& field) {
    out.write(bytesOf(field.data()), static_cast<std::streamsize>(N));
}

template <std::size_t N>
void readBytes(std::istream& in, std::array<std::uint8_t, N>& field) {
    if (in) in.read(bytesOf(field.data()), static_cast<std::streamsize>(N));
}

void writeWord(std::ostream& out, std::uint16_t value) {
    const char bytes[2] = {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
    out.write(bytes, 2);
}

// Replaces the bytes of `field` that the stream still holds, low byte first,
// as a read into little-endian memory would.
void readWord(std::istream& in, std::uint16_t& field) {
    if (!in) return;
    char bytes[2] = {};
    in.read(bytes, 2);
    const std::streamsize got = in.gcount();
    if (got >= 1) field = static_cast<std::uint16_t>((field & 0xFF00) | static_cast<std::uint8_t>(bytes[0]));
    if (got >= 2)
        field = static_cast<std::uint16_t>((field & 0x00FF) | static_cast<std::uint8_t>(bytes[1]) << 8);
}

bool writeScenes(std::ostream& out, const ControllerImage& image) {
    for (const auto& scene : image.scenes) {
        writeBytes(out, scene);
        if (!out) return false;
    }
    return true;
}

bool readScenes(std::istream& in, ControllerImage& image) {
    for (auto& scene : image.scenes) {
        readBytes(in, scene);  // a short piece keeps the bytes it got
        if (!in) return false;
    }
    return true;
}

bool writeSettings(std::ostream& out, const ControllerImage& image) {
    writeBytes(out, image.endScene);
    writeBytes(out, image.speedSync);
    writeBytes(out, image.fade);
    writeWord(out, image.specialButtonsMode);
    writeWord(out, image.slowMode);
    writeWord(out, image.strobeScene);
    writeWord(out, image.fogScene);
    writeWord(out, image.extraScene);
    for (const auto& field : image.cues) writeBytes(out, field);
    return static_cast<bool>(out);
}

bool readSettings(std::istream& in, ControllerImage& image) {
    readBytes(in, image.endScene);
    readBytes(in, image.speedSync);
    readBytes(in, image.fade);
    readWord(in, image.specialButtonsMode);
    readWord(in, image.slowMode);
    readWord(in, image.strobeScene);
    readWord(in, image.fogScene);
    readWord(in, image.extraScene);
    for (auto& field : image.cues) readBytes(in, field);
    return static_cast<bool>(in);
}

bool writeMidi(std::ostream& out, const ControllerImage& image) {
    std::array<char, kMidiFileSize> bytes{};
    for (std::size_t i = 0; i < image.midi.size(); ++i) {
        bytes[2 * i] = static_cast<char>(image.midi[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(image.midi[i] >> 8);
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool readMidi(std::istream& in, ControllerImage& image) {
    std::array<char, kMidiFileSize> bytes{};
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    for (std::size_t k = 0; k < got; ++k) {
        std::uint16_t& entry = image.midi[k / 2];
        const auto byte = static_cast<std::uint8_t>(bytes[k]);
        entry = k % 2 == 0 ? static_cast<std::uint16_t>((entry & 0xFF00) | byte)
                           : static_cast<std::uint16_t>((entry & 0x00FF) | byte << 8);
    }
    return static_cast<bool>(in);
}

}  // namespace

bool hasDataFile(Region region) {
    return region == Region::Scenes || region == Region::Settings || region == Region::Midi;
}

std::size_t dataFileSize(Region region) {
    switch (region) {
        case Region::Scenes:
            return kSceneFileSize;
        case Region::Settings:
            return kSettingsFileSize;
        case Region::Midi:
            return kMidiFileSize;
        default:
            return 0;
    }
}

std::string_view dataFileExtension(Region region) {
    switch (region) {
        case Region::Scenes:
            return "K5s";
        case Region::Settings:
            return "K5p";
        case Region::Midi:
            return "K5m";
        default:
            return {};
    }
}

bool writeDataFile(std::ostream& out, const ControllerImage& image, Region region) {
    switch (region) {
        case Region::Scenes:
            return writeScenes(out, image);
        case Region::Settings:
            return writeSettings(out, image);
        case Region::Midi:
            return writeMidi(out, image);
        default:
            return false;
    }
}

bool readDataFile(std::istream& in, ControllerImage& image, Region region) {
    switch (region) {
        case Region::Scenes:
            return readScenes(in, image);
        case Region::Settings:
            return readSettings(in, image);
        case Region::Midi:
            return readMidi(in, image);
        default:
            return false;
    }
}

}  // namespace velora
