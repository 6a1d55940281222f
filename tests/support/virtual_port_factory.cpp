#include "tests/support/virtual_port_factory.h"

#include <algorithm>

namespace velora::testing {

VirtualPortFactory::Port& VirtualPortFactory::add(const std::string& name) {
    if (!ports_.contains(name)) order_.push_back(name);
    return ports_[name] = Port{};
}

ControllerModel& VirtualPortFactory::addController(const std::string& name, LineTiming timing) {
    Port& port = add(name);
    port.owned = std::make_unique<ControllerModel>();
    port.model = port.owned.get();
    port.timing = timing;
    return *port.model;
}

void VirtualPortFactory::addController(const std::string& name, ControllerModel& model, LineTiming timing) {
    Port& port = add(name);
    port.model = &model;
    port.timing = timing;
}

ControllerModel& VirtualPortFactory::addWrongAcknowledgement(const std::string& name, LineTiming timing) {
    ControllerModel& model = addController(name, timing);
    FaultRule everyFrame = FaultRule::at(FaultKind::Checksum, 1);
    everyFrame.lastFrame = FaultRule::kEveryLater;
    model.faults().add(everyFrame);
    return model;
}

void VirtualPortFactory::addSilent(const std::string& name, LineTiming timing) {
    add(name).timing = timing;
}

void VirtualPortFactory::addUnopenable(const std::string& name, int error,
                                       std::optional<DeviceAccess> access) {
    Port& port = add(name);
    port.openError = error;
    port.access = std::move(access);
}

std::optional<DeviceAccess> VirtualPortFactory::access(const std::string& name) {
    const auto it = ports_.find(name);
    return it == ports_.end() ? std::nullopt : it->second.access;
}

PortRecord& VirtualPortFactory::record(const std::string& name) {
    return *ports_.at(name).record;
}

void VirtualPortFactory::setConfigureFails(const std::string& name, bool fails) {
    record(name).configureFails = fails;
}

void VirtualPortFactory::setWriteStartFails(const std::string& name, int error) {
    record(name).writeStartError = error;
}

void VirtualPortFactory::setWriteFails(const std::string& name, int error) {
    record(name).writeError = error;
}

void VirtualPortFactory::setReadFails(const std::string& name, int error) {
    record(name).readError = error;
}

void VirtualPortFactory::setEnumeration(std::optional<std::vector<std::string>> names) {
    enumeration_ = std::move(names);
}

ControllerModel* VirtualPortFactory::model(const std::string& name) {
    auto it = ports_.find(name);
    return it == ports_.end() ? nullptr : it->second.model;
}

VirtualSerialDevice* VirtualPortFactory::openDevice(const std::string& name) {
    auto it = ports_.find(name);
    return it != ports_.end() && it->second.record->isOpen() ? it->second.device : nullptr;
}

int VirtualPortFactory::openDevices() const {
    return static_cast<int>(
        std::ranges::count_if(ports_, [](const auto& p) { return p.second.record->isOpen(); }));
}

const PortRecord& VirtualPortFactory::log(const std::string& name) const {
    static const PortRecord none;
    auto it = ports_.find(name);
    return it == ports_.end() ? none : *it->second.record;
}

std::optional<std::vector<std::string>> VirtualPortFactory::enumerate() {
    if (enumeration_) return *enumeration_;
    return order_;
}

std::unique_ptr<SerialDevice> VirtualPortFactory::open(const std::string& name, int& error) {
    attempts_.push_back(name);
    auto it = ports_.find(name);
    if (it == ports_.end()) {
        error = ENOENT;
        return nullptr;
    }
    Port& port = it->second;
    if (port.openError != 0) {
        error = port.openError;
        return nullptr;
    }
    if (port.record->isOpen()) {
        error = EBUSY;
        return nullptr;
    }
    if (port.model && port.model->lineDropped()) {
        error = ENOENT;
        return nullptr;
    }
    auto device = manual_
                      ? std::make_unique<VirtualSerialDevice>(*manual_, port.model, port.timing, port.record)
                      : std::make_unique<VirtualSerialDevice>(clock_, port.model, port.timing, port.record);
    port.device = device.get();
    error = 0;
    return device;
}

}  // namespace velora::testing
