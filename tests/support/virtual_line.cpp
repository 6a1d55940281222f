#include "tests/support/virtual_line.h"

#include <algorithm>
#include <thread>

namespace velora::testing {

namespace {

void earliest(std::optional<TimePoint>& best, TimePoint t) {
    if (!best || t < *best) best = t;
}

}  // namespace

VirtualSerialDevice::VirtualSerialDevice(ManualClock& clock, ControllerModel* model, LineTiming timing,
                                         std::shared_ptr<PortRecord> port)
    : VirtualSerialDevice(static_cast<const Clock&>(clock), model, timing, std::move(port)) {
    manual_ = &clock;
}

VirtualSerialDevice::VirtualSerialDevice(const Clock& clock, ControllerModel* model, LineTiming timing,
                                         std::shared_ptr<PortRecord> port)
    : clock_(clock),
      timing_(timing),
      port_(port ? std::move(port) : std::make_shared<PortRecord>()),
      hostTxFree_(clock.now()),
      processedUpTo_(clock.now()) {
    if (model) controller_ = std::make_unique<TimedController>(*model, timing);
    ++port_->opens;
}

VirtualSerialDevice::~VirtualSerialDevice() {
    ++port_->closes;
}

bool VirtualSerialDevice::configure(const LineSettings& settings) {
    settings_ = settings;
    return !port_->configureFails;
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
            takeReply();
        }
        controller_->advanceTo(now);
        takeReply();
        passReplies(TimePoint{});
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
            write_.error = port_->writeError;
            write_.state = write_.error == 0 ? OpState::Done : OpState::Failed;
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

void VirtualSerialDevice::takeReply() const {
    auto& sent = controller_->output();
    if (sent.empty()) return;
    held_.emplace_back(sent.begin(), sent.end());
    sent.clear();
}

void VirtualSerialDevice::passReplies(TimePoint from) const {
    const auto drop = dropTime();
    for (; !held_.empty() && (!hold_ || releases_ > 0); held_.pop_front()) {
        if (hold_) --releases_;
        // A reply released late sets off when released, its bytes spaced as
        // the controller sent them, and never overtakes an earlier one.
        TimePoint start = from;
        if (!inbound_.empty()) start = std::max(start, inbound_.back().at);
        const TimePoint sent = held_.front().front().at;
        const Duration late = start > sent ? start - sent : Duration::zero();
        for (TimedByte b : held_.front()) {
            b.at += late;
            if (!drop || b.at <= *drop) inbound_.push_back(b);
        }
    }
}

void VirtualSerialDevice::holdReplies(bool hold) {
    process();
    hold_ = hold;
    releases_ = 0;
    if (!hold) releaseReply();
}

void VirtualSerialDevice::releaseReply() {
    process();
    if (hold_) ++releases_;
    passReplies(clock_.now());
    if (activity_) activity_();
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

IoStatus VirtualSerialDevice::report(Operation& op, std::size_t count) {
    IoStatus status = IoStatus::done(0);
    if (op.state == OpState::Pending) status = IoStatus::pending();
    if (op.state == OpState::Failed) status = IoStatus::failed(op.error);
    if (op.state == OpState::Done) status = IoStatus::done(count);
    op.polled = op.state != OpState::Pending;
    if (activityDue_ && activity_) {
        activityDue_ = false;
        activity_();
    }
    return status;
}

void VirtualSerialDevice::purge() {
    ++port_->purges;
    process();
    const TimePoint now = clock_.now();
    // What has not yet left the PC is thrown away; what the controller is
    // still sending will arrive all the same; held replies are forgotten.
    outbound_.clear();
    hostTxFree_ = std::min(hostTxFree_, now);
    std::erase_if(inbound_, [now](const TimedByte& b) { return b.at <= now; });
    held_.clear();
    for (Operation* op : std::initializer_list<Operation*>{&write_, &read_}) {
        if (op->state != OpState::Pending) continue;
        op->state = OpState::Failed;
        op->error = ECANCELED;
        op->polled = true;  // an aborted operation is no news for a pump
    }
    received_.clear();
}

int VirtualSerialDevice::startWrite(std::span<const std::uint8_t> bytes) {
    process();
    if (lineDropped()) return EIO;
    if (port_->writeStartError != 0) return port_->writeStartError;
    const TimePoint now = clock_.now();
    port_->writes.emplace_back(bytes.begin(), bytes.end());
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
    return report(write_, write_.count);
}

void VirtualSerialDevice::startRead(std::size_t count) {
    port_->reads.push_back(count);
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
    if (port_->readError != 0) {
        read_.state = OpState::Failed;
        read_.error = port_->readError;
    }
    process();
}

IoStatus VirtualSerialDevice::pollRead() {
    process();
    return report(read_, read_.rule.taken());
}

std::size_t VirtualSerialDevice::bytesWaiting() const {
    process();
    const TimePoint now = clock_.now();
    return static_cast<std::size_t>(
        std::count_if(inbound_.begin(), inbound_.end(), [now](const TimedByte& b) { return b.at <= now; }));
}

std::optional<TimePoint> VirtualSerialDevice::nextDeadline() const {
    process();
    // A poll would complete an operation at once: a pump must not sleep.
    const auto unreported = [](const Operation& op) {
        return (op.state == OpState::Done || op.state == OpState::Failed) && !op.polled;
    };
    if (unreported(write_) || unreported(read_)) return clock_.now();
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
    ++port_->waits;
    process();
    if (!manual_) {
        // Real time passes by itself: sleep until the line's next event.
        Duration nap = timeout;
        if (const auto next = nextEvent()) nap = std::min(nap, *next - clock_.now());
#ifdef _WIN32
        // MinGW's sleep_for sleeps whole milliseconds, the rest cut off: a
        // nap of less than one would not sleep at all.
        nap = std::chrono::ceil<std::chrono::milliseconds>(nap);
#endif
        if (nap > Duration::zero()) std::this_thread::sleep_for(nap);
        process();
    } else {
        const bool writePending = write_.state == OpState::Pending;
        const bool readPending = read_.state == OpState::Pending;
        const TimePoint target = clock_.now() + timeout;
        for (;;) {
            if (writePending && write_.state != OpState::Pending) break;
            if (readPending && read_.state != OpState::Pending) break;
            const std::optional<TimePoint> next = nextEvent();
            if (!next || *next > target) {
                manual_->advanceTo(target);
                process();
                break;
            }
            if (*next <= clock_.now()) {
                // Nothing can move without time passing; avoid standing still.
                manual_->advance(Duration(1));
            } else {
                manual_->advanceTo(*next);
            }
            process();
        }
    }
    if (activityDue_ && activity_) {
        activityDue_ = false;
        activity_();
    }
}

}  // namespace velora::testing
