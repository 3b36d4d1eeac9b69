#pragma once
// The archive viewer: a child window of the main window that shows the open
// archive table (Table1 of the data module) as a grid, as a chart of its two
// values over time against a left and a right axis, or both side by side.
// It hosts the download, whose result it shows, and opens the chart settings,
// printing and export dialogs.

#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveContext.h"
#include "archive/ChartDetail.h"
#include "archive/ChartNavigation.h"
#include "archive/Download.h"

class QCustomPlot;
class QCPAxis;
class QCPGraph;
class QCPItemStraightLine;
class QCPItemText;
class QCPItemTracer;
class QLabel;
class QMouseEvent;
class QSplitter;
class QTabBar;
class QTableView;
class QTimer;
class QToolButton;
class QWheelEvent;

namespace kolvex::ui {

class ArchiveGridModel;
class DayTicker;

class TFADbf : public QWidget, private kolvex::TableListener {
    Q_OBJECT
public:
    explicit TFADbf(kolvex::ArchiveContext& ctx, QWidget* parent = nullptr);
    ~TFADbf() override;

    // Sets every caption and hint for the current language.
    void ApplyCaptions();

    // Shows a table file. A table that cannot be shown is reported with the
    // reason, and the table shown before stays.
    void OpenArchiveView(const QString& path);
    // The status line of the open table: its path and record count.
    QString TableStatusText() const;
    // A table cut short opened read-only: says so and offers the repair.
    void OfferRepair();
    // Lets the user choose a table, starting at path, and shows it.
    void OpenArchiveDialog(const QString& path);
    // The download with this window's questions; afterwards the table written
    // last is shown at its last record. Errors are thrown to the caller.
    kolvex::DownloadResult ReadArchive();
    // The status line of a finished download.
    static QString DownloadStatusText(const kolvex::DownloadResult& result);

    void ApplyChartSettings();
    void FillChart();

    // Stores the tab, the grid width and the panel width, closes the table.
    void FormCloseQuery();

    // ---- state, for the main window and the tests ----------------------------
    bool TabsShown() const;
    int TabIndex() const;
    int GridPanelWidth() const;
    bool AllMode() const { return allMode_; }
    double ChartStart() const { return navigator_.ChartStart(); }
    double ChartEnd() const { return navigator_.ChartEnd(); }
    double Step() const { return navigator_.CurrentStep(); }
    kolvex::AxisRange BottomRange() const;
    kolvex::AxisRange LeftRange() const;
    kolvex::AxisRange RightRange() const;
    kolvex::AxisRange RememberedLeft() const { return leftRemembered_; }
    kolvex::AxisRange RememberedRight() const { return rightRemembered_; }
    QCustomPlot* Chart() const { return chart_; }
    QCPGraph* Series1() const { return series1_; }
    QCPGraph* Series2() const { return series2_; }
    QTableView* Grid() const { return grid_; }
    ArchiveGridModel* GridModel() const { return model_; }
    QTabBar* TabBar() const { return tabs_; }
    QTimer* Timer1() const { return timer1_; }
    QLabel* RecordLabel() const { return recordL_; }
    // The text the hover cross-hair shows now ("" when hidden).
    QString CrossHairText() const;
    // Chart prints go into this PDF file instead of a printer (tests).
    void SetPrintOutputFile(const QString& path) { printFile_ = path; }

signals:
    // A table was opened or closed: the main window's record deletion button.
    void TableOpenChanged(bool open);
    // The status line after a download.
    void StatusMessage(const QString& text);

public slots:
    void Data_TCChange(int index);
    void Dbf_SMoved();
    void DbfPrint_SBClick();
    void DbfExcel_SBClick();
    void GrafStart_SBClick();
    void GrafEnd_SBClick();
    void GrafPrior_SBMouseDown();
    void GrafPrior_SBMouseUp();
    void GrafNext_SBMouseDown();
    void GrafNext_SBMouseUp();
    void Timer1Timer();
    void GrafRefresh_SBClick();
    void GrafZoomOut_SBClick();
    void GrafZoomIn_SBClick();
    void GrafZoomWidth_SBClick();
    void GrafZoomHeight_SBClick();
    void GrafParam_SBClick();
    void GrafPrint_SBClick();
    void UpdateRecordCounter();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct AxisLook {
        bool Neutral = true;  // black, no title
        QString Title;
        QColor Colour = Qt::black;
        bool Automatic = true;
        double Min = 0, Max = 0;
    };

    void TableChanged(kolvex::TableEvent event) override;
    void BuildGridPanel();
    void BuildChartPanel();
    void BuildChart();
    QToolButton* MakeButton(QWidget* parent, const char* name, const QIcon& icon);
    void UpdateButtons();
    void UpdateCaption();
    void SyncGridRow();
    void GridRowChosen(int row);
    void SizeGridColumns();
    int GridWidthForColumns() const;
    void ShowTabs(bool shown);
    void ApplyAxisLook(QCPAxis* axis, QCPGraph* series, const AxisLook& look);
    void SetBottomRange(const kolvex::AxisRange& r);
    void OneStep();
    void UpdateTickCount();
    void Replot();
    // The series' points for the bottom axis's range at the chart's detail.
    void ShowDetail();
    int PlotPixels() const;
    // Mouse over the chart: dragging scrolls, the wheel zooms, hovering shows
    // the cross-hair.
    void ChartMousePress(QMouseEvent* event);
    void ChartMouseMove(QMouseEvent* event);
    void ChartMouseRelease(QMouseEvent* event);
    void ChartWheel(QWheelEvent* event);
    void ShowCrossHair(double x, double y);
    void HideCrossHair();
    // The chart's visible period of the last run, for the table left open then.
    void RestoreChartView(const std::string& path);
    // A view kept inside [chart start, chart end] (mouse scrolling and zoom).
    kolvex::AxisRange Limited(kolvex::AxisRange r) const;

    kolvex::ArchiveContext& ctx_;

    QWidget* dataTC_ = nullptr;  // the tab control: panels and the tab bar
    QTabBar* tabs_ = nullptr;
    QSplitter* dbfS_ = nullptr;
    QWidget* dbfP_ = nullptr;
    QWidget* grafP_ = nullptr;
    QToolButton* nav_[4] = {nullptr, nullptr, nullptr, nullptr};
    QToolButton* dbfPrintSB_ = nullptr;
    QToolButton* dbfExcelSB_ = nullptr;
    QTableView* grid_ = nullptr;
    ArchiveGridModel* model_ = nullptr;
    QLabel* recordL_ = nullptr;

    QToolButton* grafStartSB_ = nullptr;
    QToolButton* grafPriorSB_ = nullptr;
    QToolButton* grafNextSB_ = nullptr;
    QToolButton* grafEndSB_ = nullptr;
    QToolButton* grafRefreshSB_ = nullptr;
    QToolButton* grafZoomOutSB_ = nullptr;
    QToolButton* grafZoomInSB_ = nullptr;
    QToolButton* grafZoomWidthSB_ = nullptr;
    QToolButton* grafZoomHeightSB_ = nullptr;
    QToolButton* grafParamSB_ = nullptr;
    QToolButton* grafPrintSB_ = nullptr;

    QCustomPlot* chart_ = nullptr;
    QCPGraph* series1_ = nullptr;
    QCPGraph* series2_ = nullptr;
    QSharedPointer<DayTicker> ticker_;
    QCPItemStraightLine* crossV_ = nullptr;
    QCPItemStraightLine* crossH_ = nullptr;
    QCPItemTracer* tracer1_ = nullptr;
    QCPItemTracer* tracer2_ = nullptr;
    QCPItemText* crossText_ = nullptr;
    QTimer* timer1_ = nullptr;

    // Chart state.
    bool allMode_ = true;
    kolvex::ChartNavigator navigator_;
    kolvex::AxisRange leftRemembered_, rightRemembered_;
    AxisLook leftLook_, rightLook_;
    // The points as loaded, the fields read for them (time stamp first) and
    // the column of each series among them (-1 when it shows nothing), and
    // the period of the loading.
    kolvex::ChartDetail detail_;
    std::vector<int> scanFields_;
    int sourceColumn_[2] = {-1, -1};
    bool loadAll_ = true, loading_ = false;
    double loadStart_ = 0, loadEnd_ = 0;
    std::int64_t loadCount_ = 0;
    // Decimals and units of the two series, for the cross-hair.
    int seriesDecimals_[2] = {1, 1};
    QString seriesUnit_[2], seriesLabel_[2];

    int gridWidth_ = 200;  // the grid panel's width while both panels show
    bool syncing_ = false;
    bool dragging_ = false;
    int dragStartX_ = 0;
    kolvex::AxisRange dragStartRange_;
    QString printFile_;
    bool reopening_ = false;
    bool stateChecked_ = false;
};

}  // namespace kolvex::ui
