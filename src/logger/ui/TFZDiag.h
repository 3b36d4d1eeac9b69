// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logger diagnostics dialog: battery and alarm flags now and since the
// last clearing, the battery voltages; Read refreshes, Clear clears.

#include <QDialog>

#include <functional>

#include "logger/LoggerContext.h"
#include "base/ui/DialogHooks.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace kolvex::ui {

class TFZDiag : public QDialog {
    Q_OBJECT
public:
    explicit TFZDiag(kolvex::LoggerContext& ctx, QWidget* parent = nullptr);
    // Reads the logger type (hiding the voltage row up to type 3) and runs
    // the read step; throws the failed operation's error.
    void OpenSequence();
    void ApplyCaptions();

    // Shows the errors of Read and Clear while the dialog is open.
    DialogHooks Hooks;
    // Asks for the file of the communication record; empty when cancelled.
    std::function<QString()> ChooseTraceFile;

    QCheckBox* TraceSwitch() const { return trace_; }

public slots:
    void Read_BBClick();
    // Starts the record of the communication (in a file the user picks) or ends it.
    void Trace_ChBClick(bool on);
    void Clear_BBClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ReadStep();

    kolvex::LoggerContext& ctx_;
    QLabel *status_, *actual_, *history_, *battDisch_, *alarm1Low_, *alarm1High_, *alarm2Low_, *alarm2High_,
        *batteryVoltage_;
    // Indicators: battery, alarm 1 low, alarm 1 high, alarm 2 low, alarm 2 high; now and history.
    QLabel* now_[5];
    QLabel* hist_[5];
    QLabel *uBatA_, *uBatH_;
    QPushButton *read_, *clear_, *close_, *help_;
    QCheckBox* trace_;
    QLabel* traceFile_;
    void ShowTraceState();
};

}  // namespace kolvex::ui
