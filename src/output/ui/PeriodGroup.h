// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The period group of the record deletion, chart settings, print and export
// dialogs: the kind radio buttons, the day, month, year and week controls,
// the start and end date and time pickers, the current-period button and, in
// the print and export dialogs, the step selector. A thin view over
// PeriodModel: every handler passes the change to the model and then shows
// the model's state again.

#include <QGroupBox>

#include <cstdint>
#include <functional>

#include "output/PeriodSelection.h"

class QButtonGroup;
class QGridLayout;
class QHBoxLayout;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimeEdit;

namespace kolvex::ui {

class UpDownButton;

class PeriodGroup : public QGroupBox {
    Q_OBJECT
public:
    PeriodGroup(kolvex::PeriodDialog dialog, bool withStep, QWidget* parent = nullptr);

    // Fills the controls from a stored block (and the step selector from
    // stepIndex when it is shown) with the dialog's repairs, then applies the
    // stored kind as if the user had chosen it.
    void Load(const kolvex::PeriodSettings& block, std::int32_t stepIndex = kolvex::kDefaultStepIndex);
    // Writes the controls back (and the step index when the selector is shown).
    void Store(kolvex::PeriodSettings& block, std::int32_t* stepIndex = nullptr) const;

    const kolvex::PeriodModel& Model() const { return model_; }
    double Start() const { return model_.Start(); }
    double End() const { return model_.End(); }
    bool IsAll() const { return model_.IsAll(); }
    // The period handed to an action: start = end = 0 for the kind all.
    double EffectiveStart() const { return model_.EffectiveStart(); }
    double EffectiveEnd() const { return model_.EffectiveEnd(); }
    int StepIndex() const { return step_; }
    int StepSeconds() const { return kolvex::StepSeconds(step_); }

    void ApplyCaptions();

    // The local date and time now; tests put a fixed clock in.
    std::function<double()> Clock;

public slots:
    void Obdobi_RGClick(int kind);
    void ObdobiDay_SEChange();
    void ObdobiYear_SEChange();
    void ObdobiWeek_SEChange();
    void ObdobiMonth_SBUpClick();
    void ObdobiMonth_SBDownClick();
    void SetDatum_SBClick();
    void ObdobiStartDate_DTPExit();
    void ObdobiStartTime_DTPExit();
    void ObdobiEndDate_DTPExit();
    void ObdobiEndTime_DTPExit();
    void Perioda_SBUpClick();
    void Perioda_SBDownClick();

private:
    // Shows the model's state in the controls without running their handlers.
    // The steps of the constructor, in their order.
    void BuildKindButtons();
    void BuildControls();
    QGridLayout* LayOutControls();
    void BuildStep(QHBoxLayout* row);
    void ConnectControls();

    void ShowModel();
    void ShowStart();
    void ShowEnd();
    void ShowStep();
    void ApplyLayout();
    // The value of a date and time picker pair.
    double PairValue(const QDateEdit* date, const QTimeEdit* time) const;

    kolvex::PeriodModel model_;
    bool withStep_;
    int step_ = kolvex::kDefaultStepIndex;
    bool showing_ = false;

    QWidget* kinds_;
    QButtonGroup* kindGroup_;
    QRadioButton* kindButtons_[6];
    QLabel *dayL_, *monthL_, *yearL_, *weekL_, *startL_, *endL_;
    QSpinBox *day_, *year_, *week_;
    QLineEdit* month_;
    UpDownButton* monthSB_;
    QDateEdit *startDate_, *endDate_;
    QTimeEdit *startTime_, *endTime_;
    QPushButton* setDatum_;
    QLabel* stepL_ = nullptr;
    QLineEdit* stepCB_ = nullptr;
    UpDownButton* stepSB_ = nullptr;
};

}  // namespace kolvex::ui
