// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Timing.h"

#include <ctime>

namespace kolvex {

std::int64_t CounterNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::int64_t CounterFrequency() { return 1000000000LL; }

void StartDeadline(std::int64_t& target, std::uint32_t microseconds) {
    target = CounterNow() + static_cast<std::int64_t>(microseconds) * CounterFrequency() / 1000000;
}

namespace {
std::int64_t EffectiveDeadline(std::uint32_t microseconds, std::int64_t deadline, std::int64_t now) {
    const std::int64_t limit = now + static_cast<std::int64_t>(microseconds) * CounterFrequency() / 1000000;
    return deadline < limit ? deadline : limit;
}
}  // namespace

void WaitUntil(std::uint32_t microseconds, std::int64_t deadline) {
    const std::int64_t target = EffectiveDeadline(microseconds, deadline, CounterNow());
    // Sleep on the absolute monotonic target: no spinning, and never longer
    // than the target (apart from the scheduler's wake-up latency).
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(target / 1000000000LL);
    ts.tv_nsec = static_cast<long>(target % 1000000000LL);
    while (CounterNow() < target) {
        if (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == 0) break;
    }
}

bool DeadlinePassed(std::uint32_t microseconds, std::int64_t deadline) {
    const std::int64_t now = CounterNow();
    return now >= EffectiveDeadline(microseconds, deadline, now);
}

std::int64_t MicrosecondsUntil(std::int64_t deadline) {
    const std::int64_t d = deadline - CounterNow();
    return d > 0 ? d * 1000000 / CounterFrequency() : 0;
}

}  // namespace kolvex
