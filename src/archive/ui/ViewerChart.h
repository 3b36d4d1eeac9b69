// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive viewer's chart: the open table's two values over time against
// a left and a right axis. It shows what the chart data of the core computes
// (points, ranges, looks), keeps the points at the detail of the view while
// it is zoomed or scrolled, and handles the mouse (dragging scrolls, Ctrl+drag
// or a right-button drag zooms to a rectangle, a double-click goes back to
// 100 %, the wheel zooms around the pointer, hovering shows the cross-hair),
// the horizontal navigation and printing. Its background, grid and text
// follow the palette (light or dark theme).

#include <QString>

#include <qcustomplot.h>

#include "base/ConfigRecord.h"
#include "archive/Adm.h"
#include "archive/ChartData.h"
#include "archive/ChartNavigation.h"

namespace kolvex::ui {

class DayTicker;

class ViewerChart : public QCustomPlot {
    Q_OBJECT
public:
    ViewerChart(kolvex::TADM& adm, QWidget* parent = nullptr);

    // The settings of the parameter record and the period: title, axis
    // titles, colours and fixed ranges. A fixed range with its minimum above
    // its maximum is refused (EKolvex) and the chart keeps what it shows.
    void ApplySettings(const kolvex::PeriodSettings& period);
    // The settings, then the points and ranges from the open table, with the
    // progress window (its abort keeps what was loaded so far).
    void Fill(const kolvex::PeriodSettings& period);
    // The title in the current language.
    void ApplyCaptions();
    // The mouse and the cross-hair work only while the table has records.
    void SetActive(bool active) { active_ = active; }

    // Horizontal navigation and the 100 % buttons.
    void ToStart();
    void ToEnd();
    void ZoomOut();
    void ZoomIn();
    void FullWidth();
    void FullHeight();
    // A press of prior (-1) or next (+1), and one step of it.
    void Press(int direction);
    void StepOnce();
    // Shows this period, kept inside the chart.
    void ShowPeriod(double start, double end);
    // The printer set-up, then the chart on one landscape page.
    void Print();
    // Prints go into this PDF file instead of a printer (tests).
    void SetPrintOutputFile(const QString& path) { printFile_ = path; }

    void HideCrossHair();
    // The text the hover cross-hair shows now ("" when hidden).
    QString CrossHairText() const;

    bool AllMode() const { return allMode_; }
    double ChartStart() const { return navigator_.ChartStart(); }
    double ChartEnd() const { return navigator_.ChartEnd(); }
    double Step() const { return navigator_.CurrentStep(); }
    kolvex::AxisRange BottomRange() const;
    kolvex::AxisRange LeftRange() const;
    kolvex::AxisRange RightRange() const;
    kolvex::AxisRange RememberedLeft() const { return leftRemembered_; }
    kolvex::AxisRange RememberedRight() const { return rightRemembered_; }
    QCPGraph* Series1() const { return series1_; }
    QCPGraph* Series2() const { return series2_; }

protected:
    bool event(QEvent* e) override;

private:
    void Build();
    void ApplyAxisLook(QCPAxis* axis, QCPGraph* series, const kolvex::ChartAxisLook& look);
    void SetTitle();
    void SetBottomRange(const kolvex::AxisRange& r);
    void UpdateTickCount();
    void Replot();
    // The series' points for the bottom axis's range at the chart's detail.
    void ShowDetail();
    int PlotPixels() const;
    bool Usable() const { return active_ && isEnabled(); }
    void MousePress(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseRelease(QMouseEvent* event);
    void Wheel(QWheelEvent* event);
    // Ctrl+drag or a right-button drag zooms to the rectangle drawn (both
    // vertical axes with the bottom one); a double-click goes back to 100 %.
    bool StartRectangleZoom(QMouseEvent* event);
    void ZoomToRectangle(const QRect& rect);
    void ResetZoom(QMouseEvent* event);
    // Background, grid, title, cross-hair and neutral axes from the palette.
    void ApplyPaletteColours();
    void ShowCrossHair(double x, double y);
    // A view kept inside [chart start, chart end] (mouse scrolling and zoom).
    kolvex::AxisRange Limited(kolvex::AxisRange r) const;

    kolvex::TADM& adm_;
    QCPGraph* series1_ = nullptr;
    QCPGraph* series2_ = nullptr;
    QSharedPointer<DayTicker> ticker_;
    QCPItemStraightLine* crossV_ = nullptr;
    QCPItemStraightLine* crossH_ = nullptr;
    QCPItemTracer* tracer1_ = nullptr;
    QCPItemTracer* tracer2_ = nullptr;
    QCPItemText* crossText_ = nullptr;

    bool active_ = false;
    bool allMode_ = true;
    kolvex::ChartNavigator navigator_;
    kolvex::AxisRange leftRemembered_, rightRemembered_;
    kolvex::ChartLooks looks_;
    kolvex::ChartData data_;
    bool loading_ = false;
    bool dragging_ = false;
    int dragStartX_ = 0;
    kolvex::AxisRange dragStartRange_;
    QString printFile_;
};

}  // namespace kolvex::ui
