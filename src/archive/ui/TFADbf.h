// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive viewer: a child window of the main window that shows the open
// archive table (Table1 of the data module) as a grid, as a chart of its two
// values over time against a left and a right axis, or both side by side.
// It hosts the download, whose result it shows; the chart settings, printing
// and export are actions its creator supplies.

#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveContext.h"
#include "archive/ChartNavigation.h"
#include "archive/Download.h"
#include "archive/ui/ViewerActions.h"
#include "base/ui/DialogHooks.h"

class QCustomPlot;
class QCPGraph;
class QLabel;
class QSplitter;
class QTabBar;
class QTableView;
class QTimer;
class QToolButton;

namespace kolvex::ui {

class ArchiveGridModel;
class StatisticsPanel;
class ViewerChart;

class TFADbf : public QWidget, private kolvex::TableListener {
    Q_OBJECT
public:
    // `actions` are what the table print, export and chart settings buttons
    // open; a button whose action is missing stays disabled.
    TFADbf(kolvex::ArchiveContext& ctx, ViewerActions actions, QWidget* parent = nullptr);
    ~TFADbf() override;

    // The message boxes of the viewer and of its download; tests put their
    // own in.
    DialogHooks Hooks;

    // Sets every caption and hint for the current language.
    void ApplyCaptions();

    // Shows a table file. A table that cannot be shown is reported with the
    // reason, and the table shown before stays.
    void OpenArchiveView(const QString& path);
    // The status line of the open table: its path and record count.
    QString TableStatusText() const;
    // Warns about records with damaged time stamps; a table cut short opened
    // read-only: says so and offers the repair.
    void OfferRepair();
    // Lets the user choose a table, starting at path, and shows it.
    void OpenArchiveDialog(const QString& path);
    // The download with this window's questions; afterwards the table written
    // last is shown at its last record. Errors are thrown to the caller.
    kolvex::DownloadResult ReadArchive();
    // The status line of a finished download.
    static QString DownloadStatusText(const kolvex::DownloadResult& result);

    // The chart settings of the parameter record and the chart period; then
    // the chart loaded from the table (see ViewerChart).
    void FillChart();

    // Stores the tab, the grid width and the panel width, closes the table.
    void FormCloseQuery();

    // ---- state, for the main window and the tests ----------------------------
    bool TabsShown() const;
    int TabIndex() const;
    int GridPanelWidth() const;
    bool AllMode() const;
    double ChartStart() const;
    double ChartEnd() const;
    double Step() const;
    kolvex::AxisRange BottomRange() const;
    kolvex::AxisRange LeftRange() const;
    kolvex::AxisRange RightRange() const;
    kolvex::AxisRange RememberedLeft() const;
    kolvex::AxisRange RememberedRight() const;
    QCustomPlot* Chart() const;
    // The statistics panel beside the chart (hidden until its button is on).
    StatisticsPanel* Statistics() const { return statP_; }
    QCPGraph* Series1() const;
    QCPGraph* Series2() const;
    QTableView* Grid() const { return grid_; }
    ArchiveGridModel* GridModel() const { return model_; }
    QTabBar* TabBar() const { return tabs_; }
    QTimer* Timer1() const { return timer1_; }
    QLabel* RecordLabel() const { return recordL_; }
    // The text the hover cross-hair shows now ("" when hidden).
    QString CrossHairText() const;
    // Chart prints go into this PDF file instead of a printer (tests).
    void SetPrintOutputFile(const QString& path);

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
    void TableChanged(kolvex::TableEvent event) override;
    void BuildGridPanel();
    void BuildChartPanel();
    QToolButton* MakeToolButton(QWidget* parent, const char* name, const QIcon& icon);
    void UpdateButtons();
    void UpdateCaption();
    void SyncGridRow();
    void GridRowChosen(int row);
    void SizeGridColumns();
    int GridWidthForColumns() const;
    void ShowTabs(bool shown);
    // The chart's visible period of the last run, for the table left open then.
    void RestoreChartView(const std::string& path);

    kolvex::ArchiveContext& ctx_;
    ViewerActions actions_;

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

    ViewerChart* chart_ = nullptr;
    StatisticsPanel* statP_ = nullptr;
    QToolButton* grafStatSB_ = nullptr;
    QTimer* timer1_ = nullptr;

    int gridWidth_ = 200;  // the grid panel's width while both panels show
    bool syncing_ = false;
    bool reopening_ = false;
    bool stateChecked_ = false;
};

}  // namespace kolvex::ui
