// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LiveSchedule.h"

#include <cmath>

namespace kolvex {

bool LiveSchedule::Due(double secondsOfDay) {
    // Round to nearest, ties to even, then take the second within five.
    const long rounded = std::lrint(secondsOfDay);
    const int s = static_cast<int>(((rounded % 5) + 5) % 5);
    if (s != 0 && countdown_ > 0) {
        --countdown_;
        return false;
    }
    lastSecond_ = s;
    return true;
}

void LiveSchedule::Succeeded() { countdown_ = 5 - lastSecond_; }

}  // namespace kolvex
