#pragma once
// The main window's status line for the logger link: the port in use and
// whether the logger answers (the time of the last good reading), and the
// quiet reopening of the configured port after its adapter was unplugged and
// plugged back.

#include <QLabel>
#include <QTime>

#include <string>

#include "app/AppContext.h"

namespace kolvex::ui {

class PortStatus : public QLabel {
    Q_OBJECT
public:
    explicit PortStatus(kolvex::AppContext& ctx, QWidget* parent = nullptr);

    // After a reading of the live display: whether the logger answered.
    void Reading(bool ok);
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
};

}  // namespace kolvex::ui
