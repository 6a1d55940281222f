#include "shell/application.h"

namespace velora {

std::optional<TimePoint> Application::EngineTarget::nextDeadline() const {
    SerialDevice* device = link_.device();
    if (device == nullptr) return std::nullopt;
    return device->nextDeadline();
}

void Application::EngineTarget::watchLine(std::function<void()> onActivity) {
    if (SerialDevice* device = link_.device()) device->setActivityHandler(std::move(onActivity));
}

Application::Application(SerialPortFactory& factory, UserInterface& ui, const Clock& clock)
    : ui_(ui),
      image_(std::make_unique<ControllerImage>()),
      link_(factory, ui, clock),
      engine_(*image_, link_, ui),
      target_(engine_, link_),
      factory_(factory) {
    link_.setVersionQueryHook([this] { engine_.startVersionQuery(); });
}

Application::~Application() {
    // The device may outlive the pump that listens to it for a moment.
    if (SerialDevice* device = link_.device()) device->setActivityHandler({});
    link_.close();
}

bool Application::buildPorts() {
    link_.setPortTable(buildPortTable(factory_.enumerate()));
    if (!link_.portTable().empty()) return true;
    reportNoPorts(ui_);
    return false;
}

bool Application::searchAtStartUp() {
    if (link_.searchController()) return true;
    reportControllerNotFoundAtStart(ui_);
    engine_.vars().state = TransferState::Idle;
    return false;
}

void Application::autoSearch() {
    if (!engine_.idle()) engine_.endRun(RunOutcome::Stopped);
    link_.autoSearch();
}

}  // namespace velora
