#include "platform/read_rule.h"

#include <algorithm>

namespace velora {

ReadRule ReadRule::reply(std::size_t count, TimePoint start, const LineSettings& settings) {
    ReadRule r;
    r.count_ = count;
    r.totalDeadline_ = start + settings.perByteTimeout * static_cast<long>(count);
    r.silence_ = settings.interByteTimeout;
    r.lastByte_ = start;
    return r;
}

ReadRule ReadRule::quiet(TimePoint start, Duration quiet, Duration limit) {
    ReadRule r;
    r.quiet_ = true;
    r.count_ = std::numeric_limits<std::size_t>::max();
    r.totalDeadline_ = start + limit;
    r.silence_ = quiet;
    r.lastByte_ = start;
    r.anyByte_ = true;  // the quiet time runs from the start
    return r;
}

std::size_t ReadRule::room() const {
    return count_ - std::min(count_, taken_);
}

TimePoint ReadRule::deadline() const {
    if (!anyByte_) return totalDeadline_;
    return std::min(totalDeadline_, lastByte_ + silence_);
}

bool ReadRule::takes(TimePoint at) const {
    return room() > 0 && at <= deadline();
}

void ReadRule::took(std::size_t n, TimePoint at) {
    if (n == 0) return;
    taken_ += n;
    lastByte_ = std::max(lastByte_, at);
    anyByte_ = true;
}

bool ReadRule::completeBy(TimePoint now) const {
    return room() == 0 || now >= deadline();
}

}  // namespace velora
