#include "link/serial_link.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/frames.h"

namespace velora {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return lowerAscii(x) < lowerAscii(y); });
}

// Longest sleep of the search between two polls of the line.
constexpr Duration kIdleWait = std::chrono::milliseconds(50);

}  // namespace

std::vector<std::string> buildPortTable(const std::optional<std::vector<std::string>>& enumerated,
                                        PortNaming naming) {
    if (!enumerated) return {"COM1", "COM2"};
    std::vector<std::string> sorted = *enumerated;
    std::stable_sort(sorted.begin(), sorted.end(), lessIgnoringCase);
    std::vector<std::string> table;
    for (const std::string& name : sorted) {
        if (name.empty()) continue;
        if (naming == PortNaming::ComNames && name.compare(0, 3, "COM") != 0) continue;
        table.push_back(name);
    }
    return table;
}

void reportNoPorts(UserInterface& ui) {
    ui.messageBox(kNoPortsText, kNoPortsCaption, Icon::Warning, Buttons::Ok);
}

void reportControllerNotFoundAtStart(UserInterface& ui, const std::string& reason) {
    ui.messageBoxWithReason(kNotFoundAtStartText, kNotFoundCaption, Icon::Warning, Buttons::Ok, reason);
}

namespace {

// What a user does about a port that refuses them, when the dialout group
// may use it.
const std::string kDialoutHint =
    "add yourself to the dialout group (sudo usermod -aG dialout $USER) and log in again";

// Why a device refuses this user and what to do, from who may use it.
std::string permissionDenied(const std::optional<DeviceAccess>& access) {
    const std::string denied = "permission denied: ";
    if (!access) return denied + "ask the administrator for the right to use it";
    const DeviceAccess& a = *access;
    const std::string owners = "(owner " + a.owner + ", group " + a.group + ")";
    if (a.othersMayUse || (a.groupMayUse && a.inGroup))
        return denied + "the device's permissions " + owners +
               " let you use it, but the system refuses it for another reason: ask the administrator";
    if (a.groupMayUse && a.group != "root") {
        if (a.group == "dialout") return denied + kDialoutHint;
        return denied + "the device belongs to the " + a.group +
               " group: add yourself to it (sudo usermod -aG " + a.group + " $USER) and log in again";
    }
    if (a.owner == "root")
        return denied + "only root may use it " + owners +
               ": ask the administrator to give it to the dialout group (a udev rule), then join that group";
    return denied + "only its owner, " + a.owner + ", may use it " + owners + ": run the program as " +
           a.owner + ", or ask the administrator for the right to use it";
}

}  // namespace

std::string openFailureReason(const std::string& device, int error,
                              const std::optional<DeviceAccess>& access) {
    std::string why;
    switch (error) {
        case EACCES:
        case EPERM:
            why = permissionDenied(access);
            break;
        case EBUSY:
            why = "in use by another program";
            break;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            why = "no such device";
            break;
        case ENOTTY:
            why = "not a serial port";
            break;
        case EINVAL:
            why = "cannot be set to 38400 baud, 8 data bits, no parity, 2 stop bits";
            break;
        default:
            why = std::strerror(error);
            break;
    }
    return device + ": " + why;
}

std::string explainLineError(int error) {
    switch (error) {
        case EIO:
        case ENXIO:
        case ENODEV:
            return "the line to the controller went away: the cable or the USB adapter was unplugged, or the "
                   "controller was switched off; plug it in, switch it on and try again";
        case ETIMEDOUT:
            return "the port did not send the frame in time: the adapter may be stuck; unplug it, plug it in "
                   "again and try again";
        case EACCES:
        case EPERM:
            return "no permission to use the port: the line above with its name says who may use it and what "
                   "to do";
        case EBUSY:
            return "the port is in use by another program: close that program and try again";
        case ENOENT:
            return "there is no such device: check the port's name";
        case EBADF:
            return "no port is open: choose the port the controller is on";
        default:
            return std::string("the system reports: ") + std::strerror(error);
    }
}

void waitForLine(SerialDevice& device, const Clock& clock, Duration longest) {
    Duration timeout = longest;
    if (const auto deadline = device.nextDeadline())
        timeout = std::clamp(*deadline - clock.now(), Duration::zero(), longest);
    device.wait(timeout);
}

SerialLink::SerialLink(SerialPortFactory& factory, UserInterface& ui, const Clock& clock)
    : factory_(factory), ui_(ui), clock_(clock) {}

SerialLink::~SerialLink() = default;

int SerialLink::openPort(bool quiet) {
    close();
    lastOpenError_ = 0;
    int error = ENOENT;
    std::unique_ptr<SerialDevice> device;
    const bool inTable = current_ >= 0 && static_cast<std::size_t>(current_) < ports_.size();
    const std::string name = inTable ? ports_[static_cast<std::size_t>(current_)] : std::string();
    if (inTable) device = factory_.open(name, error);
    if (!device) {
        lastOpenError_ = error;
        // A refused permission is mended by whoever may use the device.
        std::optional<DeviceAccess> access;
        if (inTable && (error == EACCES || error == EPERM)) access = factory_.access(name);
        lastOpenReason_ = openFailureReason(inTable ? name : "no port", error, access);
        if (!quiet)
            ui_.messageBoxWithReason(kOpenErrorText, kPortWarningCaption, Icon::Warning, Buttons::Ok,
                                     lastOpenReason_);
        return kOpenFailed;
    }
    if (!device->configure(LineSettings{})) {
        lastOpenError_ = EINVAL;
        lastOpenReason_ = openFailureReason(name, EINVAL);
        device.reset();
        if (!quiet)
            ui_.messageBoxWithReason(kConfigErrorText, kPortWarningCaption, Icon::Warning, Buttons::Ok,
                                     lastOpenReason_);
        return kOpenFailed;
    }
    device_ = std::move(device);
    return kOpened;
}

void SerialLink::choosePort(int slot) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= ports_.size()) return;
    lost_ = false;
    if (isOpen()) {
        close();
        ui_.checkPortEntry(current_ + 1, false);
    }
    current_ = slot;
    if (openPort(false) != kOpened) return;
    ui_.checkPortEntry(slot + 1, true);
    if (versionQuery_) versionQuery_();
}

void SerialLink::autoSearch() {
    lost_ = false;
    if (isOpen()) {
        close();
        ui_.checkPortEntry(current_ + 1, false);
    }
    if (searchController()) {
        if (versionQuery_) versionQuery_();
    } else {
        ui_.messageBoxWithReason(kNotFoundAutoText, kNotFoundCaption, Icon::Warning, Buttons::Ok,
                                 searchReport());
    }
}

std::string SerialLink::searchReport() const {
    std::string report;
    for (const std::string& trial : trials_) report += (report.empty() ? "" : "\n") + trial;
    return report;
}

bool SerialLink::searchController(const std::string& first) {
    std::vector<std::size_t> order;
    const auto preferred = std::find(ports_.begin(), ports_.end(), first);
    if (!first.empty() && preferred != ports_.end())
        order.push_back(static_cast<std::size_t>(preferred - ports_.begin()));
    for (std::size_t i = 0; i < ports_.size(); ++i)
        if (order.empty() || i != order.front()) order.push_back(i);
    trials_.clear();
    for (const std::size_t i : order) {
        current_ = static_cast<int>(i);
        const std::string& name = ports_[i];
        if (openPort(true) != kOpened) {
            trials_.push_back(lastOpenReason_);
            continue;
        }
        awaitQuiet();

        const ShortFrame probe = buildShortFrame(kCodeProbe);
        int writeError = device_->startWrite(probe);
        if (writeError == 0) {
            if (const IoStatus written = awaitWrite(); written.kind == IoStatus::Failed)
                writeError = written.error;
        }
        if (writeError != 0) {
            trials_.push_back(name + ": " + explainLineError(writeError));
            reportLineFault(writeError);
            return false;
        }

        device_->startRead(probe.size());
        const IoStatus read = awaitRead();
        if (read.kind == IoStatus::Done && read.count == kAcknowledgement.size() &&
            isAcknowledgement(device_->received())) {
            trials_.clear();
            ui_.checkPortEntry(current_ + 1, true);
            return true;
        }
        if (read.kind == IoStatus::Failed)
            trials_.push_back(name + ": " + explainLineError(read.error));
        else if (read.count == 0)
            trials_.push_back(name + ": opened, but nothing answered");
        else
            trials_.push_back(name + ": opened, but the answer was not the controller's");
        close();
    }
    return false;
}

IoStatus SerialLink::awaitWrite() {
    IoStatus status = device_->pollWrite();
    while (status.kind == IoStatus::Pending) {
        waitForLine();
        status = device_->pollWrite();
    }
    return status;
}

void SerialLink::awaitQuiet() {
    device_->purge();
    device_->startQuiet(kQuietTime, kQuietLimit);
    (void)awaitRead();
}

IoStatus SerialLink::awaitRead() {
    IoStatus status = device_->pollRead();
    while (status.kind == IoStatus::Pending) {
        waitForLine();
        status = device_->pollRead();
    }
    return status;
}

void SerialLink::waitForLine() {
    velora::waitForLine(*device_, clock_, kIdleWait);
}

void SerialLink::reportLineFault(int error) {
    ui_.messageBox("Communication error : " + std::to_string(error), "Fault", Icon::Error, Buttons::Ok);
    close();
}

void SerialLink::purge() {
    if (device_) device_->purge();
}

void SerialLink::close() {
    device_.reset();
}

void SerialLink::loseLine() {
    if (!device_) return;
    close();
    lost_ = true;
    ui_.checkPortEntry(current_ + 1, false);
}

bool SerialLink::reopenLostPort() {
    if (openPort(false) != kOpened) return false;
    lost_ = false;
    ui_.checkPortEntry(current_ + 1, true);
    return true;
}

}  // namespace velora
