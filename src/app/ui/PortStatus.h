// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's status line for the logger link: the port in use and
// whether the logger answers (the time of its last good answer to any
// exchange: live readings, dialogs, downloads), and the
// quiet reopening of the configured port after its adapter was unplugged and
// plugged back.

#include <QLabel>
#include <QTime>

#include <cstdint>
#include <string>

#include "app/AppContext.h"

namespace kolvex::ui {

class PortStatus : public QLabel {
    Q_OBJECT
public:
    explicit PortStatus(kolvex::AppContext& ctx, QWidget* parent = nullptr);

    // After a reading of the live display: whether the logger answered.
    void Reading(bool ok);
    // After any exchange (a dialog's, a download's): takes from the port's
    // counters whether the logger answered since the last look. Cheap; the
    // main window calls it every second and after each logger command.
    void Follow();
    // Shows the port's present state (after opening, closing or a language
    // change).
    void Refresh();
    // When the open port has gone away, closes it; when the configured device
    // is back, opens it again without a message. True when it was reopened.
    bool Resume();

private:
    kolvex::AppContext& ctx_;
    QTime lastGood_;
    bool answering_ = false;
    bool tried_ = false;  // at least one reading since the port opened
    std::string lost_;    // the port that went away while open
    std::uint64_t seenAnswers_ = 0;
    std::uint32_t seenErrors_ = 0;
};

}  // namespace kolvex::ui
