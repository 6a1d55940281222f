#pragma once
// The desktop program from start-up to shutdown: the port table, the main
// window, the controller search, the event loop that pumps the engine, and
// the release of everything in order.

#include <memory>
#include <optional>

#include "platform/clock.h"
#include "platform/serial.h"

namespace velora {

class Application;
class MainWindow;
class QtPumpHost;
class QtUserInterface;
class TickPump;

class DesktopProgram {
  public:
    DesktopProgram(SerialPortFactory& factory, const Clock& clock);
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // Start-up up to the event loop. An exit code when the program must end
    // at once (no serial port at all: -1), else nullopt with the main window
    // shown, the search done and the engine under way.
    std::optional<int> start();

    // start(), then the event loop until the main window is closed; returns
    // the exit code.
    int run();

    Application& application() { return *app_; }
    QtUserInterface& ui() { return *ui_; }
    TickPump& pump() { return *pump_; }
    MainWindow* window() { return window_.get(); }

  private:
    SerialPortFactory& factory_;
    const Clock& clock_;
    std::unique_ptr<QtUserInterface> ui_;
    std::unique_ptr<Application> app_;
    std::unique_ptr<QtPumpHost> pumpHost_;
    std::unique_ptr<TickPump> pump_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace velora
