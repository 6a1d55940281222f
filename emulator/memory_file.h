#pragma once
// The file in which velora-emu keeps the controller's memory between runs:
// the data memory (262,144 bytes) followed by the firmware memory (0x1E01F
// bytes). A file holding only the data memory is accepted as well.
//
// Saving never destroys the previous file: the new content goes to a
// temporary file beside it, which is flushed and then renamed over the old
// one; on any failure the temporary file is removed and the old file stays.

#include <filesystem>
#include <string>

#include "emulator/controller_model.h"

namespace velora {

enum class MemoryLoad { Loaded, Missing, Failed };

// Loads the file into `model`. Missing: there is no such file (nothing
// changed). Failed: the file exists but cannot be read or has the wrong
// size; `error` says why and the model is unchanged.
MemoryLoad loadMemoryFile(ControllerModel& model, const std::filesystem::path& path, std::string& error);

// Saves atomically; false with `error` on failure.
bool saveMemoryFile(const ControllerModel& model, const std::filesystem::path& path, std::string& error);

}  // namespace velora
