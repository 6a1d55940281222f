#include "app/cli/terminal_ui.h"

#include "link/engine.h"

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

std::string strip(const std::string& status) { return status.empty() || status[0] != '\t' ? status : status.substr(1); }

}  // namespace

TerminalUi::TerminalUi(std::ostream& err, Answers answers, bool progressBar)
    : err_(err), answers_(answers), progressBar_(progressBar) {}

void TerminalUi::finishProgress() {
    if (barShown_) err_ << "\n";
    barShown_ = false;
    lastDrawn_ = -1;
}

Answer TerminalUi::messageBox(const std::string& text, const std::string& caption, Icon icon, Buttons buttons) {
    finishProgress();
    err_ << caption << " " << oneLine(text);
    Answer answer = Answer::Ok;
    switch (buttons) {
        case Buttons::Ok: break;
        case Buttons::YesNo: answer = answers_.yes ? Answer::Yes : Answer::No; break;
        case Buttons::RetryCancel:
        case Buttons::AbortRetryIgnore:
            if (retriesInRow_ < answers_.retries) {
                ++retriesInRow_;
                answer = Answer::Retry;
            } else {
                answer = buttons == Buttons::RetryCancel ? Answer::Cancel : Answer::Abort;
            }
            break;
    }
    if (buttons != Buttons::Ok) err_ << " [" << (answer == Answer::Yes ? "Yes" : answer == Answer::No ? "No" : answer == Answer::Retry ? "Retry" : answer == Answer::Cancel ? "Cancel" : "Abort") << "]";
    err_ << std::endl;
    if ((icon == Icon::Error || icon == Icon::Warning) && answer != Answer::Retry && buttons != Buttons::YesNo)
        ++problems_;
    return answer;
}

void TerminalUi::setStatusText(int part, const std::string& text) {
    if (part == 1) region_ = strip(text);
}

void TerminalUi::setProgress(int position) {
    retriesInRow_ = 0;  // the line works again
    if (!progressBar_ || position == lastDrawn_) return;
    lastDrawn_ = position;
    constexpr int kWidth = 40;
    const int filled = position * kWidth / 100;
    err_ << "\r" << region_ << " [" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << position << "%" << std::flush;
    barShown_ = true;
}

void TerminalUi::enableActionEntry(int position, bool enabled) {
    // "&Stop" is enabled each time a block has gone through: the line works
    // again, so the retries in a row start over.
    if (position == kStopEntry && enabled) retriesInRow_ = 0;
}

bool TerminalUi::openFileDialog(FileDialogRequest& request) {
    request.path = base_ + "." + request.defaultExtension;
    return true;
}

bool TerminalUi::saveFileDialog(FileDialogRequest& request) {
    request.path = base_ + "." + request.defaultExtension;
    return true;
}

}  // namespace velora::cli
