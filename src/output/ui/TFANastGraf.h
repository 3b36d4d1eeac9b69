// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The chart settings dialog: the chart's period (ChartPeriod), which value
// field each axis shows, automatic or fixed ranges and the colours of both
// axes (the AxisSettings of the open table's parameter record). Nothing is
// stored unless the dialog is closed with Graf_BB, which returns Accepted:
// the viewer then draws its chart anew.

#include <QColor>
#include <QDialog>

#include <functional>
#include <optional>

#include "archive/ArchiveContext.h"
#include "output/TableOutput.h"
#include "base/ui/DialogHooks.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace kolvex::ui {

class PeriodGroup;
class TSpinFEdit;

class TFANastGraf : public QDialog {
    Q_OBJECT
public:
    explicit TFANastGraf(kolvex::ArchiveContext& ctx, QWidget* parent = nullptr);

    void ApplyCaptions();
    PeriodGroup* Period() const { return period_; }

    // The colour dialog preset with a colour; nullopt when the user cancels.
    std::function<std::optional<QColor>(const QColor& initial)> ChooseColour;
    DialogHooks Hooks;

public slots:
    void Graf_BBClick();
    void LeftAxis_CBChange();
    void RightAxis_CBChange();
    void LeftAxisColor_SBClick();
    void RightAxisColor_SBClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Axis {
        QGroupBox* Box = nullptr;
        QLabel* Hodn = nullptr;
        QComboBox* Source = nullptr;
        QCheckBox* Auto = nullptr;
        QLabel *MaxL = nullptr, *MinL = nullptr;
        TSpinFEdit *Max = nullptr, *Min = nullptr;
        QLabel *JednMax = nullptr, *JednMin = nullptr;
        QFrame* Colour = nullptr;
        QToolButton* ColourSB = nullptr;
        QColor Current;
        // The values as loaded: a field the user left untouched keeps them exactly.
        double LoadedMin = 0, LoadedMax = 0;
        QString LoadedMinText, LoadedMaxText;
    };

    void BuildAxis(Axis& a, const char* prefix);
    void FillAxis(Axis& a, const kolvex::AxisSettings& stored);
    void UpdateUnits(Axis& a);
    void ChooseAxisColour(Axis& a);
    void SetSwatch(Axis& a, const QColor& c);
    kolvex::AxisSettings Collect(const Axis& a, kolvex::AxisSettings base) const;

    kolvex::ArchiveContext& ctx_;
    std::vector<kolvex::OutputField> fields_;
    PeriodGroup* period_;
    Axis left_, right_;
    QPushButton *graf_, *help_, *abort_;
};

}  // namespace kolvex::ui
