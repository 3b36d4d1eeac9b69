// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Timing primitives over the high-resolution (monotonic) counter. All times
// are in microseconds; counter values are in counter ticks.

#include <cstdint>

namespace kolvex {

std::int64_t CounterNow();
std::int64_t CounterFrequency();  // ticks per second

// target := now + microseconds * frequency / 1 000 000 (integer, truncating).
void StartDeadline(std::int64_t& target, std::uint32_t microseconds);
// Waits until the counter reaches min(deadline, now + microseconds); never
// longer than `microseconds`. Sleeps instead of spinning.
void WaitUntil(std::uint32_t microseconds, std::int64_t deadline);
// True when the counter has reached min(deadline, now + microseconds); with
// 0 microseconds always true.
bool DeadlinePassed(std::uint32_t microseconds, std::int64_t deadline);
// Microseconds from now until the deadline (0 when already passed).
std::int64_t MicrosecondsUntil(std::int64_t deadline);

}  // namespace kolvex
