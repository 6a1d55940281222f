#include "tests/support/virtual_line.h"

#include <algorithm>

namespace velora::testing {

namespace {

void earliest(std::optional<TimePoint>& best, TimePoint t) {
    if (!best || t < *best) best = t;
}

}  // namespace

VirtualSerialDevice::VirtualSerialDevice(VirtualClock& clock, ControllerModel* model, LineTiming timing)
    : clock_(clock), timing_(timing), hostTxFree_(clock.now()), processedUpTo_(clock.now()) {
    if (model) controller_ = std::make_unique<TimedController>(*model, timing);
}

VirtualSerialDevice::~VirtualSerialDevice() {
    if (onClose_) onClose_();
}

bool VirtualSerialDevice::configure(const LineSettings& settings) {
    settings_ = settings;
    return !configureFails_;
}

std::optional<TimePoint> VirtualSerialDevice::dropTime() const {
    std::optional<TimePoint> drop = manualDrop_;
    if (controller_ && controller_->dropTime()) earliest(drop, *controller_->dropTime());
    return drop;
}

bool VirtualSerialDevice::lineDropped() const {
    process();
    const auto drop = dropTime();
    return drop && *drop <= clock_.now();
}

void VirtualSerialDevice::dropLine() {
    process();
    if (!manualDrop_) manualDrop_ = clock_.now();
    process();
}

void VirtualSerialDevice::process() const {
    const TimePoint now = clock_.now();

    // The controller hears what has reached it by now and answers.
    if (controller_) {
        while (!outbound_.empty() && outbound_.front().at <= now) {
            const auto drop = dropTime();
            // Nothing reaches a controller whose line has gone.
            if (!drop || outbound_.front().at <= *drop)
                controller_->receive(outbound_.front().byte, outbound_.front().at);
            outbound_.pop_front();
        }
        controller_->advanceTo(now);
        auto& replies = controller_->output();
        const auto drop = dropTime();
        for (const TimedByte& b : replies)
            if (!drop || b.at <= *drop) inbound_.push_back(b);
        replies.clear();
    } else {
        while (!outbound_.empty() && outbound_.front().at <= now) outbound_.pop_front();
    }

    for (const TimedByte& b : inbound_)
        if (b.at > processedUpTo_ && b.at <= now) activityDue_ = true;

    const auto drop = dropTime();
    const TimePoint limit = drop ? std::min(now, *drop) : now;
    const bool dropped = drop && *drop <= now;

    if (write_.state == OpState::Pending) {
        if (write_.doneAt <= limit) {
            write_.state = OpState::Done;
            activityDue_ = true;
        } else if (dropped) {
            write_.state = OpState::Failed;
            write_.error = EIO;
        }
    }
    if (read_.state == OpState::Pending) {
        evaluateRead(limit);
        if (read_.state == OpState::Pending && dropped) {
            read_.state = OpState::Failed;
            read_.error = EIO;
        }
    }
    processedUpTo_ = std::max(processedUpTo_, now);
}

void VirtualSerialDevice::evaluateRead(TimePoint limit) const {
    // Bytes are judged by the moment they arrived, not by when the test polls.
    while (read_.state == OpState::Pending && !inbound_.empty() && inbound_.front().at <= limit) {
        const TimePoint arrived = std::max(inbound_.front().at, read_.start);
        if (!read_.rule.takes(arrived)) return completeRead();
        if (read_.rule.keepsBytes()) read_.bytes.push_back(inbound_.front().byte);
        read_.rule.took(1, arrived);
        inbound_.pop_front();
        if (read_.rule.room() == 0) return completeRead();
    }
    if (read_.state == OpState::Pending && read_.rule.completeBy(limit)) completeRead();
}

void VirtualSerialDevice::completeRead() const {
    read_.state = OpState::Done;
    received_ = read_.bytes;
}

IoStatus VirtualSerialDevice::statusOf(OpState state, std::size_t count, int error) const {
    switch (state) {
        case OpState::Pending:
            return IoStatus::pending();
        case OpState::Failed:
            return IoStatus::failed(error);
        case OpState::Done:
            return IoStatus::done(count);
        case OpState::None:
            break;
    }
    return IoStatus::done(0);
}

void VirtualSerialDevice::purge() {
    process();
    const TimePoint now = clock_.now();
    // What has not yet left the PC is thrown away; what the controller is
    // still sending will arrive all the same.
    outbound_.clear();
    hostTxFree_ = std::min(hostTxFree_, now);
    std::erase_if(inbound_, [now](const TimedByte& b) { return b.at <= now; });
    if (write_.state == OpState::Pending) {
        write_.state = OpState::Failed;
        write_.error = ECANCELED;
    }
    if (read_.state == OpState::Pending) {
        read_.state = OpState::Failed;
        read_.error = ECANCELED;
    }
    received_.clear();
}

int VirtualSerialDevice::startWrite(std::span<const std::uint8_t> bytes) {
    process();
    if (lineDropped()) return EIO;
    const TimePoint now = clock_.now();
    writes_.emplace_back(bytes.begin(), bytes.end());
    hostTxFree_ = std::max(hostTxFree_, now);
    for (std::uint8_t b : bytes) {
        hostTxFree_ += timing_.byteTime;
        outbound_.push_back(TimedByte{b, hostTxFree_});
    }
    write_ = WriteOp{};
    write_.state = OpState::Pending;
    write_.count = bytes.size();
    write_.doneAt = hostTxFree_;
    process();
    return 0;
}

IoStatus VirtualSerialDevice::pollWrite() {
    process();
    const IoStatus status = statusOf(write_.state, write_.count, write_.error);
    if (activityDue_ && activity_) {
        activityDue_ = false;
        activity_();
    }
    return status;
}

void VirtualSerialDevice::startRead(std::size_t count) {
    process();
    beginRead(ReadRule::reply(count, clock_.now(), settings_));
}

void VirtualSerialDevice::startQuiet(Duration quiet, Duration limit) {
    process();
    beginRead(ReadRule::quiet(clock_.now(), quiet, limit));
}

void VirtualSerialDevice::beginRead(ReadRule rule) {
    read_ = ReadOp{};
    received_.clear();
    read_.rule = rule;
    read_.start = clock_.now();
    read_.state = OpState::Pending;
    process();
}

IoStatus VirtualSerialDevice::pollRead() {
    process();
    const IoStatus status = statusOf(read_.state, read_.rule.taken(), read_.error);
    if (activityDue_ && activity_) {
        activityDue_ = false;
        activity_();
    }
    return status;
}

std::size_t VirtualSerialDevice::bytesWaiting() const {
    process();
    const TimePoint now = clock_.now();
    return static_cast<std::size_t>(
        std::count_if(inbound_.begin(), inbound_.end(), [now](const TimedByte& b) { return b.at <= now; }));
}

std::optional<TimePoint> VirtualSerialDevice::nextDeadline() const {
    process();
    std::optional<TimePoint> next;
    if (read_.state == OpState::Pending) earliest(next, read_.rule.deadline());
    // A virtual write finishes at a moment known in advance: that is when
    // something next happens to it.
    if (write_.state == OpState::Pending) earliest(next, write_.doneAt);
    return next;
}

std::optional<TimePoint> VirtualSerialDevice::nextEvent() const {
    process();
    const TimePoint now = clock_.now();
    std::optional<TimePoint> next;
    if (!outbound_.empty()) earliest(next, outbound_.front().at);
    if (controller_) {
        if (auto t = controller_->nextEvent()) earliest(next, *t);
    }
    for (const TimedByte& b : inbound_) {
        if (b.at > now) {
            earliest(next, b.at);
            break;
        }
    }
    if (write_.state == OpState::Pending) earliest(next, write_.doneAt);
    if (read_.state == OpState::Pending) earliest(next, read_.rule.deadline());
    if (auto drop = dropTime(); drop && *drop > now) earliest(next, *drop);
    if (next && *next <= now) next = now;
    return next;
}

void VirtualSerialDevice::wait(Duration timeout) {
    process();
    const bool writePending = write_.state == OpState::Pending;
    const bool readPending = read_.state == OpState::Pending;
    const TimePoint target = clock_.now() + timeout;
    for (;;) {
        if (writePending && write_.state != OpState::Pending) break;
        if (readPending && read_.state != OpState::Pending) break;
        const std::optional<TimePoint> next = nextEvent();
        if (!next || *next > target) {
            clock_.advanceTo(target);
            process();
            break;
        }
        if (*next <= clock_.now()) {
            // Nothing can move without time passing; avoid standing still.
            clock_.advance(Duration(1));
        } else {
            clock_.advanceTo(*next);
        }
        process();
    }
    if (activityDue_ && activity_) {
        activityDue_ = false;
        activity_();
    }
}

}  // namespace velora::testing
