#pragma once
// The user interface of the command-line program: messages go to the
// standard error stream, questions are answered from the options, and the
// engine's events drive the progress line.

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>

#include "engine/engine_events.h"
#include "platform/ui.h"

namespace velora::cli {

struct Answers {
    bool yes = false;  // answer Yes to Yes/No questions (else No)
    int retries = 0;   // answer Retry at most this many times in a row, then Cancel (or Abort)
    // At an Abort/Retry/Ignore question, once the retries are used up:
    // Ignore rather than Abort.
    bool ignore = false;
};

class TerminalUi : public UserInterface, public EngineEvents {
  public:
    TerminalUi(std::ostream& err, Answers answers, bool progressBar);

    // Ends a progress line that is on the screen.
    void finishProgress();
    // The file the next open dialog chooses (once); without one the dialog
    // is cancelled.
    void presetOpenFile(std::string path) { openFile_ = std::move(path); }
    // The progress line's label in place of the region's name; empty gives
    // the region's name back.
    void setProgressLabel(std::string label) { progressLabel_ = std::move(label); }

    // UserInterface
    Answer messageBox(const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons) override;
    void setStatusText(int part, const std::string& text) override;
    void setProgress(int) override {}
    void enableActionEntry(int, bool) override {}
    void checkPortEntry(int, bool) override {}
    void repaint() override {}
    // The range was set before the run starts; there is nothing to ask.
    bool sceneRangeDialog(std::uint32_t&, std::uint32_t&) override { return true; }
    // velora-cli reads and writes its data files itself; the upgrade file
    // is the one preset.
    bool openFileDialog(FileDialogRequest& request) override;
    bool saveFileDialog(FileDialogRequest&) override { return false; }

    // EngineEvents
    void runStarted(Action action, Region region) override;
    void blockDone(std::size_t done, std::size_t total) override;
    void lineError(const LineFault& fault) override;

  private:
    void drawProgress(int percent);

    std::ostream& err_;
    Answers answers_;
    bool progressBar_;
    bool barShown_ = false;
    int retriesInRow_ = 0;
    int lastDrawn_ = -1;
    std::string region_;
    std::string openFile_;
    std::string progressLabel_;
};

}  // namespace velora::cli
