// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The viewer's statistics panel beside the chart: the period summary of the
// chart's visible period (recomputed shortly after each zoom or scroll), the
// list of alarm excursions (a click shows that excursion in the chart), and
// two cursors A and B on the chart with the time between them and each
// input's value difference. The figures come from the core's summary, the
// same rows the printed summary page and the workbook show.

#include <QWidget>

#include "archive/Adm.h"
#include "archive/PeriodSummary.h"

class QCPGraph;
class QCPItemStraightLine;
class QLabel;
class QTableWidget;
class QTimer;
class QToolButton;

namespace kolvex::ui {

class ViewerChart;

class StatisticsPanel : public QWidget {
    Q_OBJECT
public:
    StatisticsPanel(kolvex::TADM& adm, ViewerChart* chart, QWidget* parent = nullptr);

    void ApplyCaptions();
    // Computes the summary of the visible period now (also when hidden).
    void Refresh();
    // Places cursor A (0) or B (1) at a time of the chart.
    void SetCursor(int which, double time);
    // Shows excursion `row` of the list in the chart (what a click does).
    void ShowExcursion(int row);

    const kolvex::PeriodSummary& Summary() const { return summary_; }
    QTableWidget* Figures() const { return figures_; }
    QTableWidget* Excursions() const { return excursions_; }
    QString CursorText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Fill();
    void UpdateCursors();
    // The value of a series at a time: its last point at or before it.
    static bool ValueAt(const QCPGraph* g, double t, double& value);

    kolvex::TADM& adm_;
    ViewerChart* chart_;
    QLabel* title_ = nullptr;
    QTableWidget* figures_ = nullptr;
    QLabel* excursionsL_ = nullptr;
    QTableWidget* excursions_ = nullptr;
    QToolButton* cursorSB_[2] = {nullptr, nullptr};
    QLabel* cursorL_ = nullptr;
    QTimer* delay_ = nullptr;
    QCPItemStraightLine* line_[2] = {nullptr, nullptr};
    bool placed_[2] = {false, false};
    double at_[2] = {0, 0};
    int arming_ = -1;  // the cursor the next click on the chart places
    kolvex::PeriodSummary summary_;
    std::vector<std::pair<double, double>> rows_;  // start and end of each listed excursion
};

}  // namespace kolvex::ui
