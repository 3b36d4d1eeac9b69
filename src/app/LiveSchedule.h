// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Cadence of the live measurement display: readings fall on the seconds of
// the day that are multiples of five. A countdown makes a reading happen
// within five one-second ticks even when the tick of a multiple of five is
// lost or late; after a failure every tick tries again once it has run down.

namespace kolvex {

class LiveSchedule {
public:
    // Called on each tick with the local time of day in seconds. Returns true
    // when a reading is due now (the caller then reports the outcome).
    bool Due(double secondsOfDay);
    void Succeeded();        // countdown := 5 - s of the last due tick
    void Failed() {}         // the countdown is left as it was
    void Reset() { countdown_ = 0; }  // the next tick reads at once
    int Countdown() const { return countdown_; }

private:
    int countdown_ = 0;
    int lastSecond_ = 0;
};

}  // namespace kolvex
