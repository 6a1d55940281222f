#pragma once
// The user interface of the command-line program, fit for cron: every line
// it writes begins "velora-cli: "; what went wrong goes to the standard
// error stream, naming the port and the block it concerns; a question
// answered Yes is part of a good run and is not written; questions are
// answered from the options; the engine's events drive the progress line
// with the time a run still needs.

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>

#include "engine/engine_events.h"
#include "platform/ui.h"
#include "shell/run_progress.h"

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

    // Where a message happened, as "/dev/ttyUSB0, block 2046": asked each
    // time a message is written.
    void setContext(std::function<std::string()> context) { context_ = std::move(context); }
    // Draws the progress line from `progress`, which the program's wiring
    // keeps up to date before this interface hears of a block.
    void followProgress(const RunProgress& progress) { progress_ = &progress; }

    // Ends a progress line that is on the screen.
    void finishProgress();
    // The progress line's label in place of the region's name; empty gives
    // the region's name back.
    void setProgressLabel(std::string label) { progressLabel_ = std::move(label); }
    // The closing "finished with warnings" message is left out while `omit`
    // answers true: the caller says how the run ended in its own words.
    void omitWarningsSummaryWhen(std::function<bool()> omit) { omitWarnings_ = std::move(omit); }

    // UserInterface
    Answer messageBox(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                      std::optional<Answer> defaultButton = std::nullopt) override;
    Answer messageBoxWithReason(const std::string& text, const std::string& caption, Icon icon,
                                Buttons buttons, const std::string& reason,
                                std::optional<Answer> defaultButton = std::nullopt) override;
    void setStatusText(int part, const std::string& text) override;
    void setProgress(int) override {}
    void enableActionEntry(int, bool) override {}
    void checkPortEntry(int, bool) override {}
    void repaint() override {}
    // The range was set before the run starts; there is nothing to ask.
    bool sceneRangeDialog(std::uint32_t&, std::uint32_t&) override { return true; }
    // velora-cli names its files on the command line: there is nothing to choose.
    bool openFileDialog(FileDialogRequest&) override { return false; }
    bool saveFileDialog(FileDialogRequest&) override { return false; }

    // EngineEvents
    void runStarted(RunKind kind, Action action, Region region) override;
    void blockDone(std::size_t done, std::size_t total) override;
    void lineError(const LineFault& fault) override;

  private:
    void drawProgress();
    Answer answerTo(Buttons buttons);

    std::ostream& err_;
    std::function<std::string()> context_;
    std::function<bool()> omitWarnings_;
    const RunProgress* progress_ = nullptr;
    Answers answers_;
    bool progressBar_;
    bool barShown_ = false;
    int retriesInRow_ = 0;
    std::string lastDrawn_;
    std::string region_;
    std::string progressLabel_;
};

}  // namespace velora::cli
