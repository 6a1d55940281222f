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

// Builds the port table from what the platform enumerated: sorted without
// regard to case, keeping only names that begin with "COM" (case-sensitive).
// `std::nullopt` (no enumeration service) gives COM1 and COM2. The table
// returned holds only the names; its end is the "empty slot".
std::vector<std::string> buildPortTable(const std::optional<std::vector<std::string>>& enumerated);

class SerialLink {
public:
    static constexpr int kOpened = 0;
    static constexpr int kOpenFailed = -2;

    SerialLink(SerialPortFactory& factory, UserInterface& ui, const Clock& clock);
    ~SerialLink();

    void setPortTable(std::vector<std::string> table) { ports_ = std::move(table); }
    const std::vector<std::string>& portTable() const { return ports_; }
    int currentPort() const { return current_; }

    // Called after a port was chosen from the menu and opened, or after
    // "&Auto" found the controller: the engine queries the version.
    void setVersionQueryHook(std::function<void()> hook) { versionQuery_ = std::move(hook); }

    // Opens and configures the current port. 0, or -2 on failure (with a
    // message unless quiet).
    int openPort(bool quiet);
    // The "&Comm choice" entry of slot i (command 201 + i).
    void choosePort(int slot);
    // "&Auto" (command 200), after the engine has gone Idle.
    void autoSearch();
    // The blocking search over every port of the table; true when found.
    bool searchController();

    bool isOpen() const { return device_ != nullptr; }
    SerialDevice* device() { return device_.get(); }
    void purge();
    void close();

private:
    SerialPortFactory& factory_;
    UserInterface& ui_;
    const Clock& clock_;
    std::vector<std::string> ports_;
    int current_ = 0;
    std::unique_ptr<SerialDevice> device_;
    std::function<void()> versionQuery_;
};

}  // namespace velora
