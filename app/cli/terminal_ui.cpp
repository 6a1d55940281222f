#include "app/cli/terminal_ui.h"

#include <algorithm>
#include <utility>

#include "engine/engine_texts.h"
#include "link/serial_link.h"
#include "shell/shell_texts.h"

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

}  // namespace

TerminalUi::TerminalUi(std::ostream& err, Answers answers, bool progressBar)
    : err_(err), answers_(answers), progressBar_(progressBar) {}

void TerminalUi::finishProgress() {
    if (barShown_) err_ << "\n";
    barShown_ = false;
    lastDrawn_.clear();
}

Answer TerminalUi::answerTo(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return answers_.yes ? Answer::Yes : Answer::No;
        case Buttons::RetryCancel:
        case Buttons::AbortRetryIgnore:
            if (retriesInRow_ < answers_.retries) {
                ++retriesInRow_;
                return Answer::Retry;
            }
            if (buttons == Buttons::RetryCancel) return Answer::Cancel;
            return answers_.ignore ? Answer::Ignore : Answer::Abort;
    }
    return Answer::Ok;
}

Answer TerminalUi::messageBox(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                              std::optional<Answer>) {
    return messageBoxWithReason(text, caption, icon, buttons, {});
}

// The answers come from the options, whatever button a box would offer first.
Answer TerminalUi::messageBoxWithReason(const std::string& text, const std::string& caption, Icon icon,
                                        Buttons buttons, const std::string& reason, std::optional<Answer>) {
    finishProgress();
    const Answer answer = answerTo(buttons);
    // A clean verification's closing message is said by velora-cli's own
    // summary line.
    if (icon == Icon::Information && caption == kCleanCaption) return answer;
    if (icon == Icon::Information && caption == kWarningsCaption && omitWarnings_ && omitWarnings_())
        return answer;
    // A question answered Yes is part of a good run; everything else is
    // what went wrong.
    if (icon == Icon::Question && answer == Answer::Yes) return answer;
    std::ostream& stream = err_;
    stream << "velora-cli: ";
    if (context_) {
        const std::string where = context_();
        if (!where.empty()) stream << where << ": ";
    }
    stream << oneLine(text);
    // A reason of several lines (one for each port a search tried) follows
    // the text line by line.
    const bool severalLines = reason.find('\n') != std::string::npos;
    if (!reason.empty() && !severalLines) stream << " (" << reason << ")";
    if (buttons != Buttons::Ok) stream << " [" << nameOf(answer) << "]";
    stream << std::endl;
    if (severalLines) {
        std::size_t start = 0;
        while (start < reason.size()) {
            const std::size_t end = std::min(reason.find('\n', start), reason.size());
            stream << "velora-cli: " << reason.substr(start, end - start) << "\n";
            start = end + 1;
        }
        stream << std::flush;
    }
    return answer;
}

void TerminalUi::setStatusText(int part, const std::string& text) {
    if (part == 1) region_ = strip(text);
}

void TerminalUi::runStarted(RunKind kind, Action, Region region) {
    retriesInRow_ = 0;
    region_ = strip(runText(kind, region));
    lastDrawn_.clear();
}

void TerminalUi::blockDone(std::size_t, std::size_t) {
    retriesInRow_ = 0;  // the line works again: the retries in a row start over
    drawProgress();
}

void TerminalUi::lineError(const LineFault& fault) {
    // The box keeps its fixed text; one more line says what the system's
    // error number means and what to do.
    if (fault.kind == LineFault::WriteFailed || fault.kind == LineFault::ReadFailed ||
        fault.kind == LineFault::PortLost)
        err_ << "velora-cli: " << explainLineError(fault.error) << std::endl;
}

void TerminalUi::drawProgress() {
    if (!progressBar_ || progress_ == nullptr) return;
    const std::string text = progress_->text();
    if (text.empty() || text == lastDrawn_) return;
    lastDrawn_ = text;
    constexpr int kWidth = 30;
    const int filled = progress_->percent() * kWidth / 100;
    err_ << "\r\033[K" << (progressLabel_.empty() ? "velora-cli: " + region_ : progressLabel_) << " ["
         << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << text << std::flush;
    barShown_ = true;
}

}  // namespace velora::cli
