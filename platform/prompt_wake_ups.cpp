#include "platform/prompt_wake_ups.h"

#ifdef __linux__
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#elif defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <timeapi.h>
#endif

namespace velora {

void askForPromptWakeUps() {
#ifdef __linux__
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    struct {  // the system's scheduling attributes, first version
        std::uint32_t size, policy;
        std::uint64_t flags;
        std::int32_t nice;
        std::uint32_t priority;
        std::uint64_t runtime, deadline, period;
    } attributes{};
    attributes.size = sizeof attributes;
    attributes.policy = SCHED_OTHER;
    attributes.nice = ::getpriority(PRIO_PROCESS, 0);  // as it was started
    attributes.runtime = 100'000;                      // nanoseconds
    ::syscall(SYS_sched_setattr, 0, &attributes, 0U);
#elif defined(_WIN32)
    // The system's timer to the millisecond while the program runs; by
    // default a sleep may last up to 16 ms.
    ::timeBeginPeriod(1);
#endif
}

}  // namespace velora
