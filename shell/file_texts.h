#pragma once
// Texts of the data-file and upgrade-file steps: the file dialogs' titles,
// why a file cannot be read or written, and the questions before saving
// what the program does not hold whole.

#include <cstdint>
#include <string>
#include <string_view>

#include "image/controller_image.h"

namespace velora {

inline constexpr const char* kChooseDataFileTitle = "Choose data file :";
inline constexpr const char* kChooseFileForWritingTitle = "Choose file for writing :";
inline constexpr const char* kFileOpenErrorText = "File open error !";
std::string fileMissingText(std::string_view name);    // "File <name> doesn't exist !"
std::string readFaultText(std::string_view name);      // "<name> :\nRead fault !"
std::string writeFaultText(std::string_view name);     // "<name> :\nWrite fault !"
std::string noWriteAccessText(std::string_view name);  // "<name> :\nNo write access !"
std::string invalidFieldText(int region);              // "Invalid field : <n> !"
std::string invalidActionText(int action);             // "Invalid action : <n> !"
// The question before saving a region whose last read from the controller
// stopped before its end at `block`.
std::string incompleteReadQuestion(Region region, std::uint32_t block);
// The question before saving blocks the program never filled; `what` names
// them ("Scenes 1/1-2/5 and Settings").
std::string unfilledSaveQuestion(const std::string& what);

}  // namespace velora
