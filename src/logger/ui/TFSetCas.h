// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logger clock dialog: shows the logger's clock and sets it to the picked
// date and time or to the PC's clock; every store also writes the bus address.

#include <QDialog>

#include "logger/LoggerContext.h"
#include "base/ui/DialogHooks.h"

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimeEdit;

namespace kolvex::ui {

class TFSetCas : public QDialog {
    Q_OBJECT
public:
    explicit TFSetCas(kolvex::LoggerContext& ctx, QWidget* parent = nullptr);
    // Reads the logger clock into the pickers; throws the error of ReadClock.
    void OpenSequence();
    // Captions, set at creation and whenever the dialog is activated.
    void ApplyCaptions();

    // The date-time the pickers were given when the dialog opened.
    double RememberedTime() const { return remembered_; }

    // The error box, and the offer to set a logger clock that holds no valid
    // date from the PC.
    DialogHooks Hooks;
    // The PC's local clock; replaceable so that tests can fix "now".
    std::function<double()> Now;

public slots:
    // Writes the clock (unless the pickers are untouched) and the bus address;
    // closes on success, stays open showing the error otherwise.
    void SetUp_BBClick();

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The store sequence; throws.
    void Store();
    void ShowDrift();

    kolvex::LoggerContext& ctx_;
    double remembered_ = 0;
    double readAt_ = 0;  // the PC's time when the clock was read
    LoggerClock clock_;       // the bytes read when the dialog opened
    bool clockValid_ = true;  // they form a date and time the logger can hold
    QGroupBox *casGb_, *komGb_;
    QCheckBox* dlePc_;
    QTimeEdit* time_;
    QDateEdit* date_;
    QLabel *timeL_, *dateL_, *adrL_;
    // The drift read when the dialog opened, and the limit above which a
    // download warns of it (kept in "kolvex12-clock.ini").
    QLabel *drift_, *driftLimitL_;
    QSpinBox* driftLimit_;
    QLabel* warning_;  // the logger's clock bytes when they form no valid date
    QSpinBox* adr_;
    QPushButton *setUp_, *close_, *help_;
};

}  // namespace kolvex::ui
