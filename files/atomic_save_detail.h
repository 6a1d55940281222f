#pragma once
// The parts of atomic saving that every system shares, and the calls each
// system's side (atomic_save_posix.cpp, atomic_save_win32.cpp) provides.

#include <filesystem>
#include <span>
#include <string_view>

#include "files/atomic_save.h"

namespace velora::atomic_detail {

// Where the content really goes: through a symbolic link to the file it
// names, so the link survives the rename.
std::filesystem::path resolvedTarget(const std::filesystem::path& target);
// A name beside the target that no other save of this process uses.
std::filesystem::path temporaryNameFor(const std::filesystem::path& target);
inline constexpr int kNameAttempts = 100;
// A device, pipe or socket is never replaced by a plain file.
bool replaceable(const std::filesystem::path& target);
bool isFolder(const std::filesystem::path& target);

// Each system's side.
long processNumber();
SaveOutcome save(const std::filesystem::path& target, std::string_view bytes);
SaveOutcome saveAll(std::span<const FileToSave> files);

}  // namespace velora::atomic_detail
