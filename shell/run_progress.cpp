#include "shell/run_progress.h"

#include <cmath>
#include <cstdio>

#include "image/controller_image.h"
#include "link/frames.h"
#include "upgrade/upgrade_file.h"

namespace velora {

namespace {

constexpr double kRequestBytes = kFrameOverhead;
constexpr double kBlockBytes = kBlockSize;
constexpr double kAcknowledgementBytes = kAcknowledgement.size();
constexpr double kDesignedSilence = 0.1;            // seconds after each acknowledgement
constexpr double kRecordBytes = kUpgradeMaxLength;  // a full firmware record, the usual one

}  // namespace

double RunProgress::secondsPerBlock(Action action, RunKind kind) {
    const double rate = kBytesPerSecond;
    const double payload = kind == RunKind::Firmware ? kRecordBytes : kBlockBytes;
    if (action == Action::WriteController)
        return (kRequestBytes + payload + kAcknowledgementBytes) / rate + kDesignedSilence;
    return (kRequestBytes + kRequestBytes + payload) / rate;
}

void RunProgress::start(RunKind kind, Action action) {
    action_ = action;
    kind_ = kind;
    done_ = total_ = 0;
}

void RunProgress::blockDone(std::size_t done, std::size_t total, Action action) {
    action_ = action;
    done_ = done;
    total_ = total;
}

int RunProgress::percent() const {
    if (total_ == 0) return 0;
    return static_cast<int>(std::min(done_, total_) * 100 / total_);
}

std::chrono::milliseconds RunProgress::timeLeft() const {
    const std::size_t left = total_ > done_ ? total_ - done_ : 0;
    double seconds = static_cast<double>(left) * secondsPerBlock(action_, kind_);
    // An upgrade's install pass is followed by the verification pass.
    if (kind_ == RunKind::Firmware && action_ == Action::WriteController)
        seconds += static_cast<double>(total_) * secondsPerBlock(Action::Verify, kind_);
    return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

std::string RunProgress::text() const {
    if (total_ == 0) return {};
    return std::to_string(percent()) + " % - " + minutesAndSeconds(timeLeft()) + " left";
}

std::string minutesAndSeconds(std::chrono::milliseconds duration) {
    const long long seconds = (duration.count() + 999) / 1000;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

}  // namespace velora
