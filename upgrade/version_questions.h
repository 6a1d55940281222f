#pragma once
// The questions that guard the controller against an unwanted firmware
// exchange, asked after the file's version line has been read and before
// anything else of the file is looked at.
//
// The file version is "M.mm". The controller version is what the firmware
// text shows after "\tFW : ": "1.05b", "1.05", "?.??X" for a value out of
// range, "N/A" while the controller has not answered.

#include <string>
#include <string_view>
#include <vector>

namespace velora {

struct VersionQuestion {
    std::string text;
    std::string title;
    bool operator==(const VersionQuestion&) const = default;
};

// The questions for installing (`install`) or verifying, in the order they
// are asked; each is a Yes/No question, and the upgrade goes on only when
// every one is answered Yes.
//
// Verifying asks "Differences occured !" when the two texts differ within
// their first four characters. Installing always asks "Are you sure ?", then
// "Downgrade ?" when the controller's text holds neither "?" nor "N" and the
// file's text is not greater in a byte-by-byte comparison.
std::vector<VersionQuestion> versionQuestions(bool install, std::string_view fileVersion,
                                              std::string_view controllerVersion);

// The controller version within a firmware text ("\tFW : 1.05b" gives "1.05b").
std::string_view controllerVersionOf(std::string_view firmwareText);

}  // namespace velora
