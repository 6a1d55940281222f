#pragma once
// The user interface of the command-line program: messages go to the
// standard error stream and questions are answered from the options.

#include <cstdint>
#include <ostream>
#include <string>

#include "platform/ui.h"

namespace velora::cli {

struct Answers {
    bool yes = false;  // answer Yes to Yes/No questions (else No)
    int retries = 0;   // answer Retry at most this many times in a row, then Cancel
};

class TerminalUi : public UserInterface {
public:
    TerminalUi(std::ostream& err, Answers answers, bool progressBar);

    // Data files are named after this path without extension.
    void setFileBase(std::string base) { base_ = std::move(base); }
    // Messages with a warning or error icon that ended up not retried.
    int problems() const { return problems_; }
    // A new run: no problems yet, and the retries in a row start over.
    void resetProblems() {
        problems_ = 0;
        retriesInRow_ = 0;
    }
    void finishProgress();

    Answer messageBox(const std::string& text, const std::string& caption, Icon icon, Buttons buttons) override;
    void setStatusText(int part, const std::string& text) override;
    void setProgress(int position) override;
    void enableActionEntry(int position, bool enabled) override;
    void checkPortEntry(int, bool) override {}
    void repaint() override {}
    // The range was set before the run starts; there is nothing to ask.
    bool sceneRangeDialog(std::uint32_t&, std::uint32_t&) override { return true; }
    bool openFileDialog(FileDialogRequest& request) override;
    bool saveFileDialog(FileDialogRequest& request) override;

private:
    std::ostream& err_;
    Answers answers_;
    bool progressBar_;
    bool barShown_ = false;
    int retriesInRow_ = 0;
    int problems_ = 0;
    int lastDrawn_ = -1;
    std::string region_;
    std::string base_;
};

}  // namespace velora::cli
