#pragma once
// The command line of velora-emu.

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/controller_model.h"
#include "emulator/faults.h"

namespace velora {

struct EmuOptions {
    std::string link;    // symlink to the device, removed at exit
    bool paced = false;  // 38400 baud, 11 bits a byte, both directions
    std::chrono::milliseconds turnaround{0};
    std::string memoryFile;   // loaded at start, saved after writes and at exit
    bool demo = false;        // start with the demonstration show
    std::string demoUpgrade;  // write the demonstration upgrade file here, then exit
    FirmwareVersion version;
    std::vector<FaultRule> faults;
    bool log = false;  // every frame in hex on stderr
    bool help = false;
};

// Parses the arguments after the program name. Nothing and `error` set when
// they are wrong.
std::optional<EmuOptions> parseEmuOptions(std::span<const std::string_view> args, std::string& error);

// The --help text.
std::string emuUsage();

}  // namespace velora
