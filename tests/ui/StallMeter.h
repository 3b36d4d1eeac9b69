// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The longest time between two turns of the event loop, measured by a timer
// that asks for a turn every 5 ms.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

class StallMeter {
public:
    StallMeter() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 gap = clock_.restart();
            if (!until_ || !until_()) max_ = std::max(max_, gap);
            else timer_.stop();
        });
    }
    // Measures until Stop, or until `until` says so at a turn of the loop.
    void Start(std::function<bool()> until = {}) {
        until_ = std::move(until);
        max_ = 0;
        clock_.start();
        timer_.start();
    }
    // The longest stall in milliseconds.
    qint64 Stop() {
        if (timer_.isActive()) max_ = std::max(max_, clock_.elapsed());
        timer_.stop();
        return max_;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    std::function<bool()> until_;
    qint64 max_ = 0;
};
