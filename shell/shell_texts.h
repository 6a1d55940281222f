#pragma once
// Texts of the shell's own messages, and the commands built from them.

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/engine_events.h"

namespace velora {

inline constexpr const char* kMainWindowClass = "VeloraTR<->PC";
inline constexpr const char* kMainWindowTitle = "Kq318 Velora Tarvane <--> PC communication interface";
inline constexpr int kMainWindowWidth = 800;
inline constexpr int kMainWindowHeight = 600;

inline constexpr const char* kExitQuestion =
    "WARNING !!!\nAll changes you didn't save to file\nor to controller will be lost !!!\nDo you surely want "
    "to "
    "finish ?";
inline constexpr const char* kExitCaption = "Warning";

inline constexpr const char* kHelpMissingText = "Sorry, help file is not accessible at this time !";
inline constexpr const char* kHelpMissingCaption = "Brak dost\xC4\x99pu !";
// Said under the box's text, before the manual's path: where it was looked
// for, or that no browser could be started to show it.
inline constexpr const char* kManualLookedFor = "Looked for the user manual at ";
inline constexpr const char* kManualNotOpened = "No web browser could be started to show the user manual ";

inline constexpr const char* kAboutCaption = "About :";
inline constexpr const char* kProgramName = "Velora PC link";

// Status-bar texts: what a run does, over what, and the file steps.
const char* regionText(Region region);  // "\tScenes", "\tSettings", "\tMIDI"
// The region of a memory run, else "\tFirmWare", "\tVersion" or "\tN/A".
const char* runText(RunKind kind, Region region);
const char* actionText(Action action);  // "\tWriting to Kq318" ... "\tN/A"
inline constexpr const char* kReadyText = "\tReady";
inline constexpr const char* kFileRegionText = "\tFile";
inline constexpr const char* kEditionStatus = "\tEdition";
inline constexpr const char* kInitiatingText = "\tInitiating";
inline constexpr const char* kUpgradeStatusText = "\tUpgrade";

// The upgrade command's file step.
inline constexpr const char* kChooseUpgradeFileTitle = "Choose upgrade file :";

// The changes window: its title, the line over the list ("3 changes since
// ...", or that there are none) and the heading of a region's group
// ("Scenes: 2 changes").
inline constexpr const char* kChangesTitle = "Changes";
std::string changesHeading(std::size_t count);
std::string changesGroupHeading(const char* region, std::size_t count);

// The maker's page with the firmware upgrade files.
inline constexpr const char* kDownloadPage = "https://www.kq318.example/velora/upgrades";

// The About text: the program, its version and the controller's firmware
// (the firmware text without its centring tab).
std::string aboutText(std::string_view programVersion, std::string_view firmwareText);

// The command interpreter's command line that opens `address` where the
// interpreter named by "ComSpec" exists: "/c start <address>" when the
// environment variable "OS" is set and not empty, else "start <address>".
std::string downloadCommandLine(const char* osVariable, std::string_view address);

}  // namespace velora
