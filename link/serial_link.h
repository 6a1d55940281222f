#pragma once
// The line to the controller: the port table, the one open port, opening
// and choosing ports, and the controller search.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial.h"
#include "platform/ui.h"

namespace velora {

// How the platform's enumeration names its ports. Windows-style
// enumerations list every kind of port ("LPT1", "FILE", "COM3") and only the
// names beginning with "COM" are serial ports; elsewhere the enumeration
// lists serial devices only, by path ("/dev/ttyUSB0", a pseudo-terminal
// named in VELORA_PORTS), and every one of them is offered.
enum class PortNaming { ComNames, DevicePaths };

#ifdef _WIN32
inline constexpr PortNaming kPlatformPortNaming = PortNaming::ComNames;
#else
inline constexpr PortNaming kPlatformPortNaming = PortNaming::DevicePaths;
#endif

// Builds the port table from what the platform enumerated: sorted without
// regard to case (so COM10 comes before COM2); with ComNames only the names
// that begin with "COM" (case-sensitive) are kept. Empty names are never
// kept. `std::nullopt` (no enumeration service) gives COM1 and COM2. The
// table returned holds only the names; its end is the "empty slot".
std::vector<std::string> buildPortTable(const std::optional<std::vector<std::string>>& enumerated,
                                        PortNaming naming = kPlatformPortNaming);

// Messages about finding ports and the controller, shared by start-up and
// the port menu.
inline constexpr const char* kNoPortsText = "No comm ports available";
inline constexpr const char* kNoPortsCaption = "A disaster !";
inline constexpr int kNoPortsExitCode = -1;
inline constexpr const char* kOpenErrorText = "Comm open error !";
inline constexpr const char* kConfigErrorText = "Comm config error !";
inline constexpr const char* kPortWarningCaption = "Warning";
inline constexpr const char* kNotFoundAtStartText =
    "Did not found any controller Velora TR !\nPlug in the device, prepare for communication\n\tand try "
    "again.";
inline constexpr const char* kNotFoundAutoText =
    "Did not found any Velora Tarvane !\nPlug in the device, prepare for communication\n\tand try again.";
inline constexpr const char* kNotFoundCaption = "We've got a problem :";

// "No comm ports available" ("A disaster !", warning). The caller then ends
// the program with kNoPortsExitCode.
void reportNoPorts(UserInterface& ui);
// The start-up search found nothing (the caller then puts the engine Idle);
// `reason`, the search's report, goes under the box's text.
void reportControllerNotFoundAtStart(UserInterface& ui, const std::string& reason = {});

// Why a device could not be opened, for the message box: the device and the
// reason in words ("/dev/ttyUSB0: permission denied: add yourself to the
// dialout group ...", "...: in use by another program", "...: no such device").
// A refused permission says what to do from `access`, the device's owner and
// group: join the group that may use it, or ask the administrator when only
// root or its owner may.
std::string openFailureReason(const std::string& device, int error,
                              const std::optional<DeviceAccess>& access = std::nullopt);

// What a system error number on the line means for the user, in words, with
// what to do about it: "the line to the controller went away (...)" for an
// unplugged adapter, a permission or busy port, a time-out.
std::string explainLineError(int error);

// Sleeps in `device` until bytes may have moved or its next deadline has
// come, for at most `longest`: the wait of every loop that may block on the
// line.
void waitForLine(SerialDevice& device, const Clock& clock, Duration longest);

class SerialLink {
  public:
    static constexpr int kOpened = 0;
    static constexpr int kOpenFailed = -2;

    SerialLink(SerialPortFactory& factory, UserInterface& ui, const Clock& clock);
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    void setPortTable(std::vector<std::string> table) { ports_ = std::move(table); }
    const std::vector<std::string>& portTable() const { return ports_; }
    int currentPort() const { return current_; }

    // Called after a port was chosen from the menu and opened, or after
    // "&Auto" found the controller: the engine queries the version.
    void setVersionQueryHook(std::function<void()> hook) { versionQuery_ = std::move(hook); }

    // Opens and configures the current port. 0, or -2 on failure (with a
    // message unless quiet). A port that is open already is closed first.
    int openPort(bool quiet);
    // The "&Comm choice" entry of slot i (command 201 + i). Slots outside
    // the table are ignored.
    void choosePort(int slot);
    // "&Auto" (command 200), after the engine has gone Idle.
    void autoSearch();
    // The blocking search over every port of the table; true when found.
    // `first`, when it names a port of the table, is tried before the others
    // (the port last used).
    bool searchController(const std::string& first = {});

    bool isOpen() const { return device_ != nullptr; }
    SerialDevice* device() { return device_.get(); }
    void purge();
    void close();

    // The line went away during a run (the controller unplugged, switched
    // off): the port is closed, and kept in mind so that the next command
    // that needs the line opens it again by name.
    void loseLine();
    bool lineLost() const { return lost_; }
    // Opens the port that went away again, quietly; "Comm open error !" only
    // when that fails (and it is tried again by the next command).
    bool reopenLostPort();
    // The system's error number of the last failed open, 0 after a success.
    int lastOpenError() const { return lastOpenError_; }
    // Why the last search found no controller: one line for each port it
    // tried, the port and why it could not be opened or what it did not
    // answer. Empty after a search that found the controller.
    const std::vector<std::string>& searchTrials() const { return trials_; }
    // Those lines as one text, for the box's informative text.
    std::string searchReport() const;

    // Before a probe: the line is let fall quiet for this long, so bytes of
    // an exchange cut short by another program are not taken for the answer.
    static constexpr Duration kQuietTime = std::chrono::milliseconds(20);
    static constexpr Duration kQuietLimit = std::chrono::milliseconds(500);

  private:
    // Polls until the operation is no longer pending, sleeping in the
    // device between polls.
    IoStatus awaitWrite();
    IoStatus awaitRead();
    void awaitQuiet();
    void waitForLine();
    void reportLineFault(int error);

    SerialPortFactory& factory_;
    UserInterface& ui_;
    const Clock& clock_;
    std::vector<std::string> ports_;
    int current_ = 0;
    std::unique_ptr<SerialDevice> device_;
    std::function<void()> versionQuery_;
    bool lost_ = false;
    int lastOpenError_ = 0;
    std::string lastOpenReason_;  // the words of the last failed open
    std::vector<std::string> trials_;
};

}  // namespace velora
