#pragma once
// Every text the transfer engine shows: the messages of runs on the line and
// of the file steps, and the firmware text.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/engine_events.h"
#include "image/controller_image.h"

namespace velora {

// "\tFW : " and the version text of a version reply's payload.
std::string firmwareTextOf(std::uint8_t major, std::uint8_t minor, std::uint8_t suffix);
inline constexpr const char* kNoFirmwareText = "\tFW : N/A";

// Captions.
inline constexpr const char* kFaultCaption = "Fault";
inline constexpr const char* kWarningCaption = "Warning";
inline constexpr const char* kProblemCaption = "We've got a problem";
inline constexpr const char* kCleanCaption = "Sukces !";
inline constexpr const char* kWarningsCaption = "Sukces ?";

// Runs on the line.
inline constexpr const char* kNoPortText = "You have to choise an accessible comm port !";
inline constexpr const char* kNotAcknowledgedText = "Communication error : NAK";
inline constexpr const char* kProtocolErrorText = "Protocol error";
inline constexpr const char* kCleanVerificationText = "Veryfication successfully finished !";
inline constexpr const char* kVerificationWarningsText = "Veryfication finished with warnings !";
std::string errorCodeText(int error);  // "Error code : " and the number
std::string recordDifferenceText(std::size_t recordIndex);

// File steps.
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
// The questions before writing to the controller, or saving, blocks the
// program never filled; `what` names them ("Scenes 1/1-2/5 and Settings").
std::string unfilledWriteQuestion(const std::string& what);
std::string unfilledSaveQuestion(const std::string& what);

}  // namespace velora
