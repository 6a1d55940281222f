#pragma once
// The program's logic objects, alive from start-up to shutdown: the
// controller image, the line and the transfer engine, and the start-up steps
// that belong to them. The desktop program and velora-cli wire them up the
// same way, here.

#include <functional>
#include <memory>
#include <optional>

#include "engine/engine.h"
#include "engine/engine_events.h"
#include "files/show_differences.h"
#include "image/controller_image.h"
#include "image/filled_blocks.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "shell/connection_status.h"
#include "shell/run_progress.h"
#include "shell/status_bar_model.h"
#include "shell/tick_pump.h"

namespace velora {

class Application : private EngineEvents {
  public:
    // `listener` (may be null) hears every event of the engine, after the
    // application has shown it in the menus.
    Application(SerialPortFactory& factory, UserInterface& ui, const Clock& clock,
                EngineEvents* listener = nullptr);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Builds the port table. With no port at all: "No comm ports available"
    // and false; the program then ends with kNoPortsExitCode before any
    // window exists.
    bool buildPorts();

    // The search after the main window is shown. Found: the controller is
    // asked for its firmware version. Not found: its message, with why each
    // port could not be used under it, and the engine stays Idle.
    // `lastPort`, a port of the table, is tried first.
    bool searchAtStartUp(const std::string& lastPort = {});

    // "&Auto": the engine goes Idle, then the port search.
    void autoSearch();

    // The port in use and whether the controller answers; the run's
    // progress and the time it still needs.
    const ConnectionStatus& connection();
    const RunProgress& progress() const { return progress_; }
    // What status-bar part 0, 1 or 2 says on a repaint.
    std::string statusText(int part) const { return status_.text(part, engine_.idle()); }
    UserInterface& ui() { return ui_; }
    // The open/save request shared by every file choice of the program.
    FileDialogRequest& fileDialog() { return fileDialog_; }

    ControllerImage& image() { return *image_; }
    // The blocks of the image that the program filled since start-up.
    FilledBlocks& filledBlocks() { return filled_; }
    // Runs an editor on the image (modal): the blocks its Accept changed
    // count as filled.
    void runEditor(const std::function<void()>& editor);

    // The show as it last was in step with something, block by block: a
    // block is taken from the image when it is read from the controller
    // into the image, written to the controller and acknowledged, or loaded
    // from or saved to a data file.
    const ControllerImage& reference() const { return *reference_; }
    // The blocks of `region` are in step with a data file: loaded or saved.
    void inStepWithFile(Region region);
    // What changed since: each difference as "the reference's <> the image's".
    ImageDifferences changes() const { return differencesBetween(*reference_, *image_); }
    // Their count as last worked out: after an editor, at the end of a run
    // on the line and after a data file was loaded or saved.
    std::size_t changeCount() const { return changeCount_; }
    // Works the count out again (an editor that writes on each Accept and
    // stays open) and tells whoever listens.
    void recountChanges();
    // Called after each count.
    void onChangesCounted(std::function<void()> listener) { changesCounted_ = std::move(listener); }
    // The line at a glance while idle: the port, whether the controller
    // answers, and the count of changes when there are any
    // ("/dev/ttyUSB0 - answering - 3 changes").
    std::string glanceText();
    SerialLink& link() { return link_; }
    TransferEngine& engine() { return engine_; }
    // What the tick pump drives.
    PumpTarget& pumpTarget() { return target_; }
    // Called after every run has ended (and the listener heard of it), from
    // inside the engine's step: a program that goes on with a next run
    // starts it later, once the step is over.
    void setRunEndedHook(std::function<void(RunOutcome)> hook) { runEndedHook_ = std::move(hook); }

  private:
    // The engine's events as the menus show them: "&Stop" and "&Repeat"
    // enabled or greyed; then the listener hears them.
    void runStarted(RunKind kind, Action action, Region region) override;
    void blockDone(std::size_t done, std::size_t total) override;
    void blockMoved(Action action, std::uint32_t block) override;
    void regionEntered(Region region) override;
    void passStarted(RunKind kind, Action action) override;
    void firmwareKnown(const std::string& text) override;
    void differenceFound(std::uint32_t block) override;
    void lineError(const LineFault& fault) override;
    void runEnded(RunOutcome outcome) override;
    void stopPossible(bool possible) override;
    void repeatPossible(bool possible) override;

    // The progress bar at `position`, shown at once.
    void showProgress(int position);

    // The engine and the line, as the pump sees them.
    class EngineTarget : public PumpTarget {
      public:
        EngineTarget(TransferEngine& engine, SerialLink& link, StatusTexts& status)
            : engine_(engine), link_(link), status_(status) {}
        TransferState state() const override { return engine_.state(); }
        bool waitingOnLine() const override { return engine_.waitingOnLine(); }
        void tick(TransferState postedFor) override { engine_.tick(postedFor); }
        bool takeProgressReset() override { return status_.takeProgressReset(); }
        std::optional<TimePoint> nextDeadline() const override;
        void watchLine(std::function<void()> onActivity) override;

      private:
        TransferEngine& engine_;
        SerialLink& link_;
        StatusTexts& status_;
    };

    UserInterface& ui_;
    EngineEvents* listener_;
    std::unique_ptr<ControllerImage> image_;
    std::unique_ptr<ControllerImage> reference_;
    std::size_t changeCount_ = 0;
    std::function<void()> changesCounted_;
    FilledBlocks filled_;
    SerialLink link_;
    TransferEngine engine_;
    StatusTexts status_;
    EngineTarget target_;
    SerialPortFactory& factory_;
    ConnectionStatus connection_;
    RunProgress progress_;
    FileDialogRequest fileDialog_ = FileDialogRequest::standard();
    std::function<void(RunOutcome)> runEndedHook_;
};

}  // namespace velora
