#include "tests/support/virtual_port_factory.h"

namespace velora::testing {

VirtualPortFactory::Port& VirtualPortFactory::add(const std::string& name) {
    auto& slot = ports_[name];
    if (!slot) order_.push_back(name);
    slot = std::make_shared<Port>();
    return *slot;
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

void VirtualPortFactory::addUnopenable(const std::string& name, int error) {
    add(name).openError = error;
}

void VirtualPortFactory::setConfigureFails(const std::string& name, bool fails) {
    if (auto it = ports_.find(name); it != ports_.end()) it->second->configureFails = fails;
}

void VirtualPortFactory::setEnumeration(std::optional<std::vector<std::string>> names) {
    enumeration_ = std::move(names);
}

ControllerModel* VirtualPortFactory::model(const std::string& name) {
    auto it = ports_.find(name);
    return it == ports_.end() ? nullptr : it->second->model;
}

VirtualSerialDevice* VirtualPortFactory::openDevice(const std::string& name) {
    auto it = ports_.find(name);
    return it == ports_.end() ? nullptr : it->second->device;
}

int VirtualPortFactory::openCount(const std::string& name) const {
    auto it = ports_.find(name);
    return it == ports_.end() ? 0 : it->second->opens;
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
    std::shared_ptr<Port> port = it->second;
    if (port->openError != 0) {
        error = port->openError;
        return nullptr;
    }
    if (port->device) {
        error = EBUSY;
        return nullptr;
    }
    if (port->model && port->model->lineDropped()) {
        error = ENOENT;
        return nullptr;
    }
    auto device = std::make_unique<VirtualSerialDevice>(clock_, port->model, port->timing);
    device->setConfigureFails(port->configureFails);
    // The port keeps itself alive for the device, even past the factory.
    device->setCloseHandler([port] { port->device = nullptr; });
    port->device = device.get();
    ++port->opens;
    error = 0;
    return device;
}

}  // namespace velora::testing
