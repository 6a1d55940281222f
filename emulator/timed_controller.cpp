#include "emulator/timed_controller.h"

#include <algorithm>

namespace velora {

void TimedController::receive(std::uint8_t byte, TimePoint at) {
    if (drop_) return;
    advanceTo(at);
    lastByte_ = at;
    sendReplies(model_.receive(std::span<const std::uint8_t>(&byte, 1)), at);
}

void TimedController::advanceTo(TimePoint now) {
    if (drop_ || !lastByte_ || !model_.midFrame()) return;
    const TimePoint givenUp = *lastByte_ + timing_.frameGap;
    if (now > givenUp) sendReplies(model_.receiveTimeout(), givenUp);
}

std::optional<TimePoint> TimedController::nextEvent() const {
    if (drop_ || !lastByte_ || !model_.midFrame()) return std::nullopt;
    // advanceTo acts once the gap has been exceeded, however slightly.
    return *lastByte_ + timing_.frameGap + Duration(1);
}

void TimedController::sendReplies(const std::vector<Reply>& replies, TimePoint at) {
    for (const Reply& reply : replies) {
        const TimePoint start = at + timing_.turnaround + reply.delay;
        if (reply.dropLine) {
            drop_ = start;
            return;
        }
        TimePoint t = std::max(start, txFree_);
        for (std::uint8_t b : reply.bytes) {
            t += timing_.byteTime;
            output_.push_back(TimedByte{b, t});
        }
        txFree_ = t;
    }
}

}  // namespace velora
