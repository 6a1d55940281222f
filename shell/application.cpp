#include "shell/application.h"

#include "shell/menu_model.h"
#include "shell/shell_texts.h"

namespace velora {

std::optional<TimePoint> Application::EngineTarget::nextDeadline() const {
    SerialDevice* device = link_.device();
    if (device == nullptr) return std::nullopt;
    return device->nextDeadline();
}

void Application::EngineTarget::watchLine(std::function<void()> onActivity) {
    if (SerialDevice* device = link_.device()) device->setActivityHandler(std::move(onActivity));
}

Application::Application(SerialPortFactory& factory, UserInterface& ui, const Clock& clock,
                         EngineEvents* listener)
    : ui_(ui),
      listener_(listener),
      image_(std::make_unique<ControllerImage>()),
      reference_(std::make_unique<ControllerImage>()),
      link_(factory, ui, clock),
      engine_(*image_, filled_, link_, ui, this),
      target_(engine_, link_, status_),
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

bool Application::searchAtStartUp(const std::string& lastPort) {
    if (link_.searchController(lastPort)) {
        engine_.startVersionQuery();
        return true;
    }
    reportControllerNotFoundAtStart(ui_, link_.searchReport());
    return false;
}

void Application::autoSearch() {
    // The transfer state becomes Idle first: a run in progress ends here.
    if (!engine_.idle()) engine_.stop();
    link_.autoSearch();
}

void Application::runEditor(const std::function<void()>& editor) {
    const auto before = std::make_unique<ControllerImage>(*image_);
    editor();
    filled_.markChanged(*before, *image_);
    recountChanges();
}

void Application::inStepWithFile(Region region) {
    const BlockRange blocks = blockRangeOf(region);
    for (std::uint32_t b = blocks.first; b <= blocks.last; ++b) copyBlock(*reference_, *image_, b);
    recountChanges();
}

void Application::recountChanges() {
    changeCount_ = changes().count();
    if (changesCounted_) changesCounted_();
}

std::string Application::glanceText() {
    std::string text = connection().text();
    if (changeCount_ > 0) text += " - " + counted(changeCount_, "change");
    return text;
}

const ConnectionStatus& Application::connection() {
    if (link_.isOpen()) {
        connection_.portOpened(link_.portTable().at(static_cast<std::size_t>(link_.currentPort())));
    } else {
        connection_.portClosed();
    }
    return connection_;
}

void Application::runStarted(RunKind kind, Action action, Region region) {
    status_.runStarted(kind, action, region);
    progress_.start(kind, action);
    ui_.setStatusText(kRegionPart, status_.runPart());
    if (kind == RunKind::Firmware) ui_.setStatusText(kActionPart, kUpgradeStatusText);
    if (listener_) listener_->runStarted(kind, action, region);
}

void Application::blockDone(std::size_t done, std::size_t total) {
    progress_.blockDone(done, total, engine_.action());
    connection_.blockDone();
    // The last block ends a memory run, and an upgrade's pass: the bar never
    // shows 100 for it.
    if (done < total) showProgress(static_cast<int>(done * 100 / total));
    if (listener_) listener_->blockDone(done, total);
}

void Application::regionEntered(Region region) {
    status_.regionEntered(region);
    ui_.setStatusText(kRegionPart, status_.runPart());
    if (listener_) listener_->regionEntered(region);
}

void Application::passStarted(RunKind kind, Action action) {
    status_.passStarted(kind, action);
    ui_.setStatusText(kRegionPart, status_.runPart());
    showProgress(0);
    if (listener_) listener_->passStarted(kind, action);
}

void Application::firmwareKnown(const std::string& text) {
    status_.firmwareKnown(text);
    ui_.setStatusText(kFirmwarePart, text);
    showProgress(100);
    if (listener_) listener_->firmwareKnown(text);
}

void Application::showProgress(int position) {
    status_.setProgress(position);
    ui_.setProgress(position);
}

void Application::blockMoved(Action action, std::uint32_t block) {
    // What the controller acknowledged, or what it held and the image now
    // holds, is in step; a read into a second image leaves the image as it was.
    if (action == Action::WriteController ||
        (action == Action::ReadController && !engine_.readsIntoSecondImage()))
        copyBlock(*reference_, *image_, block);
    if (listener_) listener_->blockMoved(action, block);
}

void Application::differenceFound(std::uint32_t block) {
    if (listener_) listener_->differenceFound(block);
}

void Application::lineError(const LineFault& fault) {
    connection_.lineError(fault);
    if (listener_) listener_->lineError(fault);
}

void Application::runEnded(RunOutcome outcome) {
    connection_.runEnded(outcome, true);
    recountChanges();
    if (listener_) listener_->runEnded(outcome);
    if (runEndedHook_) runEndedHook_(outcome);
}

void Application::stopPossible(bool possible) {
    ui_.enableActionEntry(kStopEntry, possible);
    if (listener_) listener_->stopPossible(possible);
}

void Application::repeatPossible(bool possible) {
    ui_.enableActionEntry(kRepeatEntry, possible);
    if (listener_) listener_->repeatPossible(possible);
}

}  // namespace velora
