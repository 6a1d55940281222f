#include "app/cli/terminal_ui.h"

#include <utility>

#include "engine/engine_texts.h"
#include "link/serial_link.h"

namespace velora::cli {
namespace {

// Message texts use tabs and line breaks for the message boxes; on a
// terminal they read better on one line each.
std::string oneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += ' ';
        else if (c != '\t')
            out += c;
    }
    return out;
}

std::string strip(const std::string& status) {
    return status.empty() || status[0] != '\t' ? status : status.substr(1);
}

const char* answerName(Answer answer) {
    switch (answer) {
        case Answer::Yes:
            return "Yes";
        case Answer::No:
            return "No";
        case Answer::Retry:
            return "Retry";
        case Answer::Cancel:
            return "Cancel";
        case Answer::Abort:
            return "Abort";
        case Answer::Ignore:
            return "Ignore";
        case Answer::Ok:
            break;
    }
    return "OK";
}

}  // namespace

TerminalUi::TerminalUi(std::ostream& err, Answers answers, bool progressBar)
    : err_(err), answers_(answers), progressBar_(progressBar) {}

void TerminalUi::finishProgress() {
    if (barShown_) err_ << "\n";
    barShown_ = false;
    lastDrawn_ = -1;
}

Answer TerminalUi::messageBox(const std::string& text, const std::string& caption, Icon, Buttons buttons) {
    finishProgress();
    err_ << caption << " " << oneLine(text);
    Answer answer = Answer::Ok;
    switch (buttons) {
        case Buttons::Ok:
            break;
        case Buttons::YesNo:
            answer = answers_.yes ? Answer::Yes : Answer::No;
            break;
        case Buttons::RetryCancel:
        case Buttons::AbortRetryIgnore:
            if (retriesInRow_ < answers_.retries) {
                ++retriesInRow_;
                answer = Answer::Retry;
            } else if (buttons == Buttons::RetryCancel) {
                answer = Answer::Cancel;
            } else {
                answer = answers_.ignore ? Answer::Ignore : Answer::Abort;
            }
            break;
    }
    if (buttons != Buttons::Ok) err_ << " [" << answerName(answer) << "]";
    err_ << std::endl;
    return answer;
}

bool TerminalUi::openFileDialog(FileDialogRequest& request) {
    if (openFile_.empty()) return false;
    request.path = std::exchange(openFile_, std::string());
    return true;
}

void TerminalUi::setStatusText(int part, const std::string& text) {
    if (part == 1) region_ = strip(text);
}

void TerminalUi::runStarted(Action, Region region) {
    retriesInRow_ = 0;
    region_ = strip(regionText(region));
    lastDrawn_ = -1;
}

void TerminalUi::blockDone(std::size_t done, std::size_t total) {
    retriesInRow_ = 0;  // the line works again: the retries in a row start over
    if (total > 0) drawProgress(static_cast<int>(done * 100 / total));
}

void TerminalUi::lineError(const LineFault& fault) {
    // The box keeps its fixed text; on a terminal one more line says what
    // the system's error number means and what to do.
    if (fault.kind == LineFault::WriteFailed || fault.kind == LineFault::ReadFailed ||
        fault.kind == LineFault::PortLost)
        err_ << "velora-cli: " << explainLineError(fault.error) << std::endl;
}

void TerminalUi::drawProgress(int percent) {
    if (!progressBar_ || percent == lastDrawn_) return;
    lastDrawn_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    err_ << "\r" << (progressLabel_.empty() ? region_ : progressLabel_) << " ["
         << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << percent << "%"
         << std::flush;
    barShown_ = true;
}

}  // namespace velora::cli
