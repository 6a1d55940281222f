#include "shell/status_bar_model.h"

#include <algorithm>

#include "engine/engine_texts.h"
#include "shell/shell_texts.h"

namespace velora {

StatusPartEdges statusPartEdges(int outerWidth, int charWidth) {
    const int w = charWidth;
    const int W = outerWidth;
    StatusPartEdges edges{{12 * w, 21 * w, 43 * w}};
    if (W - 9 * w < 43 * w) {
        const int first = W * 12 / 50;
        const int second = W * 9 / 50 + first;
        edges.rightEdges = {first, second, W * 22 / 50 + second};
    }
    return edges;
}

PartRect progressBarRect(int barWidth, int barHeight, int progressLeft) {
    return {progressLeft + 2, 2, std::max(0, barWidth - progressLeft - 4), std::max(0, barHeight - 4)};
}

PartRect statusPartRect(const StatusPartEdges& edges, int part, int barWidth, int barHeight) {
    const int left = part == 0 ? 0 : edges.rightEdges[static_cast<std::size_t>(part - 1)];
    const int right = part >= 3 ? barWidth : edges.rightEdges[static_cast<std::size_t>(part)];
    return {left, 0, std::max(0, std::min(right, barWidth) - left), barHeight};
}

void StatusTexts::runStarted(RunKind kind, Action action, Region region) {
    kind_ = kind;
    action_ = action;
    region_ = region;
}

void StatusTexts::passStarted(RunKind kind, Action action) {
    kind_ = kind;
    action_ = action;
}

std::string StatusTexts::runPart() const {
    return runText(kind_, region_);
}

std::string StatusTexts::text(int part, bool idle) const {
    switch (part) {
        case kFirmwarePart:
            return firmware_.empty() ? kNoFirmwareText : firmware_;
        case kRegionPart:
            return runPart();
        case kActionPart:
            return idle ? kReadyText : actionText(action_);
        default:
            return {};
    }
}

bool StatusTexts::takeProgressReset() {
    if (progress_ == 0) return false;
    progress_ = 0;
    return true;
}

ShownStatusText shownStatusText(std::string_view text) {
    if (!text.empty() && text.front() == '\t') return {std::string(text.substr(1)), true};
    return {std::string(text), false};
}

}  // namespace velora
