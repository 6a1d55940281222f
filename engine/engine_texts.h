#pragma once
// Every text the transfer engine shows: the messages of runs on the line and
// the firmware text.

#include <cstdint>
#include <string>

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

// The question before writing to the controller blocks the program never
// filled; `what` names them ("Scenes 1/1-2/5 and Settings").
std::string unfilledWriteQuestion(const std::string& what);

}  // namespace velora
