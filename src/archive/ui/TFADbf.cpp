// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ui/TFADbf.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QShortcut>
#include <QSplitter>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "base/Errors.h"
#include "base/Language.h"
#include "base/ui/DialogKit.h"
#include "base/ui/ErrorDisplay.h"
#include "base/ui/Help.h"
#include "base/ui/Icons.h"
#include "base/ui/ModalRunner.h"
#include "base/ui/OffThread.h"
#include "base/ui/TFProgress.h"
#include "archive/FileOps.h"
#include "archive/ParameterFile.h"
#include "archive/ViewerState.h"
#include "archive/ui/ArchiveGrid.h"
#include "archive/ui/TFAParamC.h"
#include "archive/ui/StatisticsPanel.h"
#include "archive/ui/ViewerChart.h"
#include "archive/ui/ViewerIcons.h"
#include "archive/ui/ViewerSupport.h"

namespace kolvex::ui {

namespace {

constexpr int kMinGridWidth = 200;
constexpr int kSplitterMinimum = 50;
constexpr int kTabWidth = 100;
constexpr int kRepeatMs = 100;
constexpr int kPathCapacity = 128;
constexpr int kOpenDialogHelp = 1350;

// The tabs at the bottom, each 100 pixels wide (wider only when a caption
// needs it).
class BottomTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int index) const override {
        QSize s = QTabBar::tabSizeHint(index);
        s.setWidth(std::max(kTabWidth, s.width()));
        return s;
    }
};

// A picture of the icon theme, its symbolic variant, or the style's own.
QIcon ButtonIcon(const char* name, QStyle::StandardPixmap fallback) {
    InitIconTheme();
    for (const QString& n : {QString::fromLatin1(name), QString::fromLatin1(name) + QStringLiteral("-symbolic")})
        if (QIcon::hasThemeIcon(n)) return QIcon::fromTheme(n);
    return QApplication::style()->standardIcon(fallback);
}

QString DbfFilter() { return QStringLiteral("DBase              *.dbf (*.dbf)"); }
QString ParadoxFilter() { return QStringLiteral("Paradox            *.db (*.db)"); }

// The viewer's open dialog: title, the dBASE and Paradox filters, default
// extension "dbf".
void PrepareOpenDialog(QFileDialog& d, const QString& path) {
    d.setObjectName(QStringLiteral("DbfOpen_OD"));
    d.setWindowTitle(Tx("Otevření databáze", "Open database"));
    d.setOption(QFileDialog::DontUseNativeDialog, true);
    d.setOption(QFileDialog::HideNameFilterDetails, true);
    d.setNameFilters({DbfFilter(), ParadoxFilter()});
    d.setDefaultSuffix(QStringLiteral("dbf"));
    const QFileInfo info(path);
    QString dir = info.absolutePath();
    if (!QFileInfo(dir).isDir()) dir = QDir::currentPath();
    d.setDirectory(dir);
    if (info.suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) == 0) d.selectNameFilter(ParadoxFilter());
    if (!info.fileName().isEmpty()) d.selectFile(info.fileName());
    QObject::connect(&d, &QFileDialog::filterSelected, &d, [&d](const QString& filter) {
        d.setDefaultSuffix(filter == ParadoxFilter() ? QStringLiteral("db") : QStringLiteral("dbf"));
    });
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), &d);
    QObject::connect(help, &QShortcut::activated, &d, [&d] { ShowHelpTopic(&d, kOpenDialogHelp); });
}

// What the download asks, in this program's boxes.
class QtDownloadUi : public kolvex::DownloadUi {
public:
    QtDownloadUi(kolvex::ConfigRecord& config, const DialogHooks& hooks, QWidget* parent)
        : config_(config), hooks_(hooks), parent_(parent) {}
    ~QtDownloadUi() override { ProgressEnd(); }

    void Message(const std::string& text) override { hooks_.Message(BoxText(text)); }
    void EditStoringOptions(kolvex::StoringOptions& options) override {
        options.To(config_);
        TFAParamC dialog(config_, parent_);
        RunModal(dialog);
        options = kolvex::StoringOptions::From(config_);
    }
    bool Confirm(const std::string& question) override { return hooks_.Ask(Q(question), Answer::Yes); }
    std::optional<std::string> ChooseTargetFile(const std::string& proposedPath) override {
        QFileDialog d(parent_);
        PrepareOpenDialog(d, Q(proposedPath));
        // A new name may be typed; an existing file is not questioned.
        d.setAcceptMode(QFileDialog::AcceptOpen);
        d.setFileMode(QFileDialog::AnyFile);
        d.setOption(QFileDialog::DontConfirmOverwrite, true);
        if (RunModal(d) != QDialog::Accepted) return std::nullopt;
        const QStringList files = d.selectedFiles();
        if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
        return files.first().toStdString();
    }
    kolvex::StepFailure CommError(const std::string& message) override {
        if (StopRequested()) return kolvex::StepFailure::Abort;  // no question after Abort
        QMessageBox box(QMessageBox::Critical, QStringLiteral("kolvex12"), BoxText(message),
                        QMessageBox::Abort | QMessageBox::Retry, parent_);
        box.setDefaultButton(QMessageBox::Retry);
        return RunModal(box) == QMessageBox::Retry ? kolvex::StepFailure::Retry : kolvex::StepFailure::Abort;
    }
    void ProgressStart(const std::string& message) override {
        progress_ = std::make_unique<TFProgress>(parent_);
        // Abort ends the range at once: the exchange under way gives up too.
        progress_->SetMessage(Q(message), true);
        QObject::connect(progress_.get(), &TFProgress::Aborting, [] { AbortRunningWork(); });
        progress_->show();
        QCoreApplication::processEvents();
    }
    void Progress(int percent) override {
        if (progress_) progress_->SetProgress(percent);
        QCoreApplication::processEvents();
    }
    bool StopRequested() override { return progress_ && progress_->Aborted(); }
    void ProgressEnd() override {
        if (!progress_) return;
        progress_->close();
        progress_.reset();
    }
    void Information(const std::string& text) override { hooks_.Info(BoxText(text)); }
    bool ConfirmCreateFolder(const std::string& dir) override {
        return hooks_.Ask(Q(kolvex::Tr("Složka  " + dir + "  neexistuje.\r\nVytvořit ji?",
                                       "The folder  " + dir + "  does not exist.\r\nCreate it?")),
                          Answer::Yes);
    }

private:
    kolvex::ConfigRecord& config_;
    const DialogHooks& hooks_;
    QWidget* parent_;
    std::unique_ptr<TFProgress> progress_;
};

}  // namespace

// ---- building the window ------------------------------------------------------

TFADbf::TFADbf(ArchiveContext& ctx, ViewerActions actions, QWidget* parent)
    : QWidget(parent), Hooks(DefaultDialogHooks(this)), ctx_(ctx), actions_(std::move(actions)) {
    setObjectName(QStringLiteral("TFADbf"));
    InitIconTheme();

    dataTC_ = new QWidget(this);
    dataTC_->setObjectName(QStringLiteral("Data_TC"));
    dbfS_ = new QSplitter(Qt::Horizontal, dataTC_);
    dbfS_->setObjectName(QStringLiteral("Dbf_S"));
    dbfS_->setChildrenCollapsible(false);
    dbfS_->setHandleWidth(5);

    BuildGridPanel();
    BuildChartPanel();
    dbfS_->addWidget(dbfP_);
    dbfS_->addWidget(grafP_);
    dbfS_->setStretchFactor(0, 0);
    dbfS_->setStretchFactor(1, 1);
    connect(dbfS_, &QSplitter::splitterMoved, this, &TFADbf::Dbf_SMoved);

    tabs_ = new BottomTabBar(dataTC_);
    tabs_->setObjectName(QStringLiteral("Data_TC_Tabs"));
    tabs_->setShape(QTabBar::RoundedSouth);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    for (int i = 0; i < 3; ++i) tabs_->addTab(QString());
    connect(tabs_, &QTabBar::currentChanged, this, &TFADbf::Data_TCChange);

    auto* tcLayout = new QVBoxLayout(dataTC_);
    tcLayout->setContentsMargins(0, 0, 0, 0);
    tcLayout->setSpacing(0);
    tcLayout->addWidget(dbfS_, 1);
    tcLayout->addWidget(tabs_, 0, Qt::AlignLeft);

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(dataTC_);

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(kRepeatMs);
    connect(timer1_, &QTimer::timeout, this, &TFADbf::Timer1Timer);

    // FormCreate: captions; the tab control hidden until a table is shown;
    // the window comes back on the tab it was left on (tab 2 without one).
    const int tab = ctx_.Config.ViewerTab >= 0 && ctx_.Config.ViewerTab <= 2 ? ctx_.Config.ViewerTab : 2;
    tabs_->setCurrentIndex(tab);
    Data_TCChange(tab);
    ApplyCaptions();
    dataTC_->hide();

    ctx_.Adm.Table1.AddListener(this);
    ctx_.Adm.RecordCounterHook = [this] { UpdateRecordCounter(); };
    UpdateButtons();
}

TFADbf::~TFADbf() {
    ctx_.Adm.Table1.RemoveListener(this);
    ctx_.Adm.RecordCounterHook = nullptr;
}

QToolButton* TFADbf::MakeToolButton(QWidget* parent, const char* name, const QIcon& icon) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(icon);
    b->setIconSize(QSize(20, 20));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::TabFocus);  // reachable with Tab, pressed with Space
    return b;
}

void TFADbf::BuildGridPanel() {
    dbfP_ = new QWidget(dbfS_);
    dbfP_->setObjectName(QStringLiteral("Dbf_P"));
    dbfP_->setMinimumWidth(kSplitterMinimum);

    auto* buttonP = new QFrame(dbfP_);
    buttonP->setObjectName(QStringLiteral("DbfButton_P"));
    auto* navigator = new QWidget(buttonP);
    navigator->setObjectName(QStringLiteral("Navigator_DB"));
    auto* navRow = new QHBoxLayout(navigator);
    navRow->setContentsMargins(0, 0, 0, 0);
    navRow->setSpacing(1);
    static const char* const kNavNames[4] = {"Navigator_DB_First", "Navigator_DB_Prior", "Navigator_DB_Next",
                                             "Navigator_DB_Last"};
    static const ViewerGlyph kNavIcons[4] = {ViewerGlyph::First, ViewerGlyph::Prior, ViewerGlyph::Next,
                                             ViewerGlyph::Last};
    for (int i = 0; i < 4; ++i) {
        nav_[i] = MakeToolButton(navigator, kNavNames[i], ViewerIcon(kNavIcons[i]));
        navRow->addWidget(nav_[i]);
    }
    connect(nav_[0], &QToolButton::clicked, this, [this] {
        if (ctx_.Adm.Table1.IsOpen()) ctx_.Adm.Table1.First();
    });
    connect(nav_[1], &QToolButton::clicked, this, [this] {
        if (ctx_.Adm.Table1.IsOpen()) ctx_.Adm.Table1.Prior();
    });
    connect(nav_[2], &QToolButton::clicked, this, [this] {
        if (ctx_.Adm.Table1.IsOpen()) ctx_.Adm.Table1.Next();
    });
    connect(nav_[3], &QToolButton::clicked, this, [this] {
        if (ctx_.Adm.Table1.IsOpen()) ctx_.Adm.Table1.Last();
    });
    dbfPrintSB_ = MakeToolButton(buttonP, "DbfPrint_SB", ButtonIcon("document-print", QStyle::SP_FileDialogDetailedView));
    dbfExcelSB_ = MakeToolButton(buttonP, "DbfExcel_SB", ButtonIcon("x-office-spreadsheet", QStyle::SP_FileIcon));
    connect(dbfPrintSB_, &QToolButton::clicked, this, &TFADbf::DbfPrint_SBClick);
    connect(dbfExcelSB_, &QToolButton::clicked, this, &TFADbf::DbfExcel_SBClick);
    auto* buttonRow = new QHBoxLayout(buttonP);
    buttonRow->setContentsMargins(2, 2, 2, 2);
    buttonRow->setSpacing(2);
    buttonRow->addWidget(navigator);
    buttonRow->addSpacing(10);
    buttonRow->addWidget(dbfPrintSB_);
    buttonRow->addWidget(dbfExcelSB_);
    buttonRow->addStretch(1);

    grid_ = new QTableView(dbfP_);
    grid_->setObjectName(QStringLiteral("DBGrid1"));
    model_ = new ArchiveGridModel(ctx_.Adm, grid_);
    grid_->setModel(model_);
    grid_->setItemDelegate(new ArchiveGridDelegate(grid_));
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setWordWrap(false);
    grid_->setCornerButtonEnabled(false);
    grid_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    const int rowHeight = grid_->fontMetrics().height() + 8;
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setDefaultSectionSize(rowHeight);
    grid_->verticalHeader()->setMinimumSectionSize(rowHeight);
    grid_->verticalHeader()->setFixedWidth(grid_->fontMetrics().horizontalAdvance(QStringLiteral("\u25B6")) + 10);
    grid_->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grid_->horizontalHeader()->setHighlightSections(false);
    grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid_->horizontalHeader()->setStretchLastSection(false);
    grid_->viewport()->installEventFilter(this);
    connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { GridRowChosen(current.isValid() ? current.row() : -1); });

    recordL_ = new QLabel(QStringLiteral("0/0"), dbfP_);
    recordL_->setObjectName(QStringLiteral("Record_L"));
    recordL_->setToolTip(QStringLiteral("pořadí / počet záznamů"));  // both languages
    recordL_->setContentsMargins(4, 2, 4, 2);

    auto* column = new QVBoxLayout(dbfP_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(buttonP);
    column->addWidget(grid_, 1);
    column->addWidget(recordL_);
}

void TFADbf::BuildChartPanel() {
    grafP_ = new QWidget(dbfS_);
    grafP_->setObjectName(QStringLiteral("Graf_P"));
    grafP_->setMinimumWidth(kSplitterMinimum);

    auto* buttonP = new QFrame(grafP_);
    buttonP->setObjectName(QStringLiteral("GrafButton_P"));
    grafStartSB_ = MakeToolButton(buttonP, "GrafStart_SB", ViewerIcon(ViewerGlyph::ChartStart));
    grafPriorSB_ = MakeToolButton(buttonP, "GrafPrior_SB", ViewerIcon(ViewerGlyph::ChartPrior));
    grafNextSB_ = MakeToolButton(buttonP, "GrafNext_SB", ViewerIcon(ViewerGlyph::ChartNext));
    grafEndSB_ = MakeToolButton(buttonP, "GrafEnd_SB", ViewerIcon(ViewerGlyph::ChartEnd));
    grafRefreshSB_ = MakeToolButton(buttonP, "GrafRefresh_SB", ViewerIcon(ViewerGlyph::Refresh));
    grafZoomOutSB_ = MakeToolButton(buttonP, "GrafZoomOut_SB", ViewerIcon(ViewerGlyph::ZoomOut));
    grafZoomInSB_ = MakeToolButton(buttonP, "GrafZoomIn_SB", ViewerIcon(ViewerGlyph::ZoomIn));
    grafZoomWidthSB_ = MakeToolButton(buttonP, "GrafZoomWidth_SB", ViewerIcon(ViewerGlyph::FullWidth));
    grafZoomHeightSB_ = MakeToolButton(buttonP, "GrafZoomHeight_SB", ViewerIcon(ViewerGlyph::FullHeight));
    grafParamSB_ = MakeToolButton(buttonP, "GrafParam_SB", ViewerIcon(ViewerGlyph::Settings));
    grafPrintSB_ = MakeToolButton(buttonP, "GrafPrint_SB", ButtonIcon("document-print", QStyle::SP_FileDialogDetailedView));

    connect(grafStartSB_, &QToolButton::clicked, this, &TFADbf::GrafStart_SBClick);
    connect(grafEndSB_, &QToolButton::clicked, this, &TFADbf::GrafEnd_SBClick);
    connect(grafPriorSB_, &QToolButton::pressed, this, &TFADbf::GrafPrior_SBMouseDown);
    connect(grafPriorSB_, &QToolButton::released, this, &TFADbf::GrafPrior_SBMouseUp);
    connect(grafNextSB_, &QToolButton::pressed, this, &TFADbf::GrafNext_SBMouseDown);
    connect(grafNextSB_, &QToolButton::released, this, &TFADbf::GrafNext_SBMouseUp);
    connect(grafRefreshSB_, &QToolButton::clicked, this, &TFADbf::GrafRefresh_SBClick);
    connect(grafZoomOutSB_, &QToolButton::clicked, this, &TFADbf::GrafZoomOut_SBClick);
    connect(grafZoomInSB_, &QToolButton::clicked, this, &TFADbf::GrafZoomIn_SBClick);
    connect(grafZoomWidthSB_, &QToolButton::clicked, this, &TFADbf::GrafZoomWidth_SBClick);
    connect(grafZoomHeightSB_, &QToolButton::clicked, this, &TFADbf::GrafZoomHeight_SBClick);
    connect(grafParamSB_, &QToolButton::clicked, this, &TFADbf::GrafParam_SBClick);
    connect(grafPrintSB_, &QToolButton::clicked, this, &TFADbf::GrafPrint_SBClick);

    auto* row = new QHBoxLayout(buttonP);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(1);
    for (QToolButton* b : {grafStartSB_, grafPriorSB_, grafNextSB_, grafEndSB_}) row->addWidget(b);
    row->addSpacing(8);
    row->addWidget(grafRefreshSB_);
    row->addSpacing(8);
    for (QToolButton* b : {grafZoomOutSB_, grafZoomInSB_, grafZoomWidthSB_, grafZoomHeightSB_}) row->addWidget(b);
    row->addSpacing(8);
    row->addWidget(grafParamSB_);
    row->addWidget(grafPrintSB_);
    row->addStretch(1);

    // The chart with the statistics panel beside it (shown by its button).
    auto* chartS = new QSplitter(Qt::Horizontal, grafP_);
    chartS->setObjectName(QStringLiteral("Stat_S"));
    chart_ = new ViewerChart(ctx_.Adm, chartS);
    statP_ = new StatisticsPanel(ctx_.Adm, chart_, chartS);
    statP_->hide();
    chartS->addWidget(chart_);
    chartS->addWidget(statP_);
    chartS->setStretchFactor(0, 3);
    chartS->setStretchFactor(1, 2);
    chartS->setCollapsible(0, false);
    grafStatSB_ = MakeToolButton(buttonP, "GrafStat_SB", ButtonIcon("office-chart-bar", QStyle::SP_FileDialogInfoView));
    grafStatSB_->setCheckable(true);
    connect(grafStatSB_, &QToolButton::toggled, this, [this, chartS](bool on) {
        statP_->setVisible(on);
        // A panel shown for the first time gets two fifths of the width.
        const QList<int> sizes = chartS->sizes();
        if (on && sizes.size() == 2 && sizes[1] < 50) {
            const int w = sizes[0] + sizes[1];
            chartS->setSizes({w * 3 / 5, w - w * 3 / 5});
        }
    });
    row->addWidget(grafStatSB_);

    auto* column = new QVBoxLayout(grafP_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(buttonP);
    column->addWidget(chartS, 1);
}

void TFADbf::ApplyCaptions() {
    tabs_->setTabText(0, Tx("Databáze", "Database"));
    tabs_->setTabText(1, Tx("Graf", "Graph"));
    tabs_->setTabText(2, Tx("Databáze + graf", "Database + graph"));
    nav_[0]->setToolTip(Tx("Začátek", "First record"));
    nav_[1]->setToolTip(Tx("Předchozí", "Prior record"));
    nav_[2]->setToolTip(Tx("Následující", "Next record"));
    nav_[3]->setToolTip(Tx("Poslední", "Last record"));
    dbfPrintSB_->setToolTip(Tx("Výpis na tiskárnu", "Print"));
    dbfExcelSB_->setToolTip(Tx("Přenos dat do Excelu", "Convert to Excel"));
    grafStartSB_->setToolTip(Tx("Na začátek", "Start graph"));
    grafPriorSB_->setToolTip(Tx("Posun zpět", "Back graph"));
    grafNextSB_->setToolTip(Tx("Posun vpřed", "Forward graph"));
    grafEndSB_->setToolTip(Tx("Na konec", "End graph"));
    grafRefreshSB_->setToolTip(Tx("Aktualizovat", "Refresh graph"));
    grafZoomOutSB_->setToolTip(Tx("Zmenšit", "Zoom out"));
    grafZoomInSB_->setToolTip(Tx("Zvětšit", "Zoom in"));
    grafZoomWidthSB_->setToolTip(Tx("Měřítko 100% vodorovně", "Scale 100% horizontal"));
    grafZoomHeightSB_->setToolTip(Tx("Měřítko 100% svisle", "Scale 100% vertical"));
    grafParamSB_->setToolTip(Tx("Nastavení grafu", "Graph set-up"));
    grafPrintSB_->setToolTip(Tx("Tisk grafu", "Graph print"));
    grafStatSB_->setToolTip(Tx("Statistika zobrazeného období", "Statistics of the period shown"));
    chart_->ApplyCaptions();
    statP_->ApplyCaptions();
}

// ---- state --------------------------------------------------------------------

bool TFADbf::TabsShown() const { return !dataTC_->isHidden(); }
int TFADbf::TabIndex() const { return tabs_->currentIndex(); }
int TFADbf::GridPanelWidth() const { return gridWidth_; }

bool TFADbf::AllMode() const { return chart_->AllMode(); }
double TFADbf::ChartStart() const { return chart_->ChartStart(); }
double TFADbf::ChartEnd() const { return chart_->ChartEnd(); }
double TFADbf::Step() const { return chart_->Step(); }
AxisRange TFADbf::BottomRange() const { return chart_->BottomRange(); }
AxisRange TFADbf::LeftRange() const { return chart_->LeftRange(); }
AxisRange TFADbf::RightRange() const { return chart_->RightRange(); }
AxisRange TFADbf::RememberedLeft() const { return chart_->RememberedLeft(); }
AxisRange TFADbf::RememberedRight() const { return chart_->RememberedRight(); }
QCustomPlot* TFADbf::Chart() const { return chart_; }
QCPGraph* TFADbf::Series1() const { return chart_->Series1(); }
QCPGraph* TFADbf::Series2() const { return chart_->Series2(); }
QString TFADbf::CrossHairText() const { return chart_->CrossHairText(); }
void TFADbf::SetPrintOutputFile(const QString& path) { chart_->SetPrintOutputFile(path); }

void TFADbf::ShowTabs(bool shown) { dataTC_->setVisible(shown); }

void TFADbf::UpdateCaption() {
    setWindowTitle(ctx_.Adm.Table1.IsOpen() ? Q(ctx_.Adm.Table1.FileName()) : QString());
}

void TFADbf::UpdateButtons() {
    Table& t = ctx_.Adm.Table1;
    const bool open = t.IsOpen();
    const std::int64_t count = open ? t.RecordCount() : 0;
    const bool records = count > 0;
    dbfPrintSB_->setEnabled(records && actions_.PrintTable);
    dbfExcelSB_->setEnabled(records && actions_.ExportTable);
    for (QToolButton* b : {grafStartSB_, grafPriorSB_, grafNextSB_, grafEndSB_, grafZoomOutSB_, grafZoomInSB_,
                           grafZoomWidthSB_, grafZoomHeightSB_, grafPrintSB_})
        b->setEnabled(records);
    grafParamSB_->setEnabled(records && actions_.ChartSettings);
    grafRefreshSB_->setEnabled(true);
    chart_->SetActive(records);
    // The navigator: first and prior stop at the first record, next and last
    // at the last.
    const std::int64_t recno = records && !t.ControlsDisabled() ? t.RecNo() : 0;
    nav_[0]->setEnabled(records && recno != 1);
    nav_[1]->setEnabled(records && recno != 1);
    nav_[2]->setEnabled(records && recno != count);
    nav_[3]->setEnabled(records && recno != count);
}

void TFADbf::UpdateRecordCounter() {
    Table& t = ctx_.Adm.Table1;
    if (!t.IsOpen()) {
        recordL_->clear();
        return;
    }
    if (t.ControlsDisabled()) return;
    recordL_->setText(QString::asprintf("%lld / %lld", static_cast<long long>(t.RecNo()),
                                        static_cast<long long>(t.RecordCount())));
    UpdateButtons();
}

void TFADbf::TableChanged(TableEvent event) {
    switch (event) {
        case TableEvent::Scrolled: SyncGridRow(); break;
        case TableEvent::DataChanged:
            model_->Refresh();
            SyncGridRow();
            UpdateRecordCounter();
            UpdateButtons();
            emit StatusMessage(TableStatusText());
            break;
        case TableEvent::Opened:
        case TableEvent::Closed:
            model_->Reset();
            UpdateRecordCounter();
            UpdateButtons();
            UpdateCaption();
            if (event == TableEvent::Closed) {
                ShowTabs(false);
                emit StatusMessage(QString());
            }
            emit TableOpenChanged(ctx_.Adm.Table1.IsOpen());
            break;
    }
}

void TFADbf::SyncGridRow() {
    Table& t = ctx_.Adm.Table1;
    const int row = t.IsOpen() && !t.ControlsDisabled() ? static_cast<int>(t.RecNo()) - 1 : -1;
    model_->SetCurrentRow(row);
    if (syncing_) return;
    syncing_ = true;
    if (row >= 0 && row < model_->rowCount()) {
        const int column = grid_->currentIndex().isValid() ? grid_->currentIndex().column() : 0;
        const QModelIndex index = model_->index(row, column);
        if (grid_->currentIndex().row() != row) {
            grid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
        }
        grid_->scrollTo(index);
    } else {
        grid_->selectionModel()->clear();
    }
    syncing_ = false;
}

void TFADbf::GridRowChosen(int row) {
    if (syncing_ || row < 0) return;
    Table& t = ctx_.Adm.Table1;
    if (!t.IsOpen() || t.ControlsDisabled()) return;
    if (t.RecNo() != row + 1) t.MoveTo(row + 1);
}

void TFADbf::SizeGridColumns() {
    const QFontMetrics fm(grid_->font());
    const QFontMetrics hfm(grid_->horizontalHeader()->font());
    for (int c = 0; c < model_->columnCount(); ++c) {
        QString sample;
        if (model_->IsFloatColumn(c)) {
            const FieldDescriptor d = ctx_.Adm.ParameterRecord.Descriptor(std::min(c, kMaxDescriptors - 1));
            sample = FloatCellText(-8888.8888, d.Decimals, d.Unit);
        } else {
            sample = DateTimeCellText(38230.5);
        }
        const int header = hfm.horizontalAdvance(model_->headerData(c, Qt::Horizontal).toString()) + 16;
        grid_->setColumnWidth(c, std::max(fm.horizontalAdvance(sample) + 10, header));
    }
}

int TFADbf::GridWidthForColumns() const {
    int w = grid_->verticalHeader()->width() + 2 * grid_->frameWidth() +
            grid_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid_) + 2;
    for (int c = 0; c < model_->columnCount(); ++c) w += grid_->columnWidth(c);
    return w;
}

// ---- showing a table ------------------------------------------------------------

void TFADbf::OpenArchiveView(const QString& path) {
    Table& t = ctx_.Adm.Table1;
    const std::string wanted = path.toStdString();
    const std::string previous = t.IsOpen() ? t.Path() : std::string();
    auto refused = [&](const std::exception& e) {
        emit StatusMessage(TableStatusText());
        Hooks.Error(EKolvex(Tx("Tabulku  %1  nelze zobrazit:\n%2", "The table  %1  cannot be shown:\n%2")
                                .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what()))
                                .toStdString()));
    };
    // The new table is tried alone first: one that cannot be read leaves the
    // table shown now in place.
    if (wanted != previous) {
        try {
            if (!FileExists(wanted))
                throw EADM(Tr("Soubor neexistuje", "The file does not exist"));
            Table probe;
            probe.SetPath(wanted);
            probe.Open();
            probe.Close();
        } catch (const std::exception& e) {
            refused(e);
            return;
        }
    }
    try {
        if (ctx_.Adm.OpenArchive(wanted)) {
            OfferRepair();
            ctx_.Config.LastArchivePath = path.left(kPathCapacity).toStdString();
            gridWidth_ = std::max(ctx_.Adm.ParameterRecord.PanelWidth(), kMinGridWidth);
            model_->Reset();
            SizeGridColumns();
            // A stored width too narrow for the columns in this program's
            // fonts opens wider, up to half the window.
            const int needed = GridWidthForColumns();
            if (needed > gridWidth_) gridWidth_ = std::max(gridWidth_, std::min(needed, width() / 2));
            ShowTabs(true);
            Data_TCChange(tabs_->currentIndex());
            SyncGridRow();
            emit TableOpenChanged(true);
        } else {
            ShowTabs(false);
        }
        FillChart();
        RestoreChartView(wanted);
    } catch (const std::exception& e) {
        // Unreadable parameter file, a failed conversion, the chart: said,
        // and the table shown before comes back when it can.
        ShowTabs(t.IsOpen());
        if (!t.IsOpen() && !previous.empty() && previous != wanted && !reopening_) {
            reopening_ = true;
            OpenArchiveView(Q(previous));
            reopening_ = false;
        }
        refused(e);
    }
    emit TableOpenChanged(t.IsOpen());
    UpdateButtons();
    UpdateCaption();
    UpdateRecordCounter();
    emit StatusMessage(TableStatusText());
}

QString TFADbf::TableStatusText() const {
    const Table& t = ctx_.Adm.Table1;
    if (!t.IsOpen()) return {};
    const std::int64_t count = const_cast<Table&>(t).RecordCount();
    return Tx("%1     záznamů: %2", "%1     records: %2")
        .arg(QDir::toNativeSeparators(Q(t.Path())))
        .arg(static_cast<qlonglong>(count));
}

void TFADbf::OfferRepair() {
    Table& t = ctx_.Adm.Table1;
    if (const std::string w = DamagedRecordsWarning(t.Path(), t.DamagedRecords()); !w.empty())
        Hooks.Warn(QStringLiteral("kolvex12"), BoxText(w));
    const std::int64_t missing = t.MissingRecords();
    if (missing <= 0) return;
    const QString backup = Q(kolvex::ReplaceExtension(t.Path(), ".dbfbak"));
    const QString text =
        Tx("Tabulka  %1  je poškozená: na konci souboru chybí %2 záznamů.\r\n"
           "Je otevřena jen pro čtení se všemi %3 úplnými záznamy.\r\n\r\n"
           "Opravit ji (zkrátit na úplné záznamy, originál se uloží jako %4)?",
           "The table  %1  is damaged: %2 records are missing at the end of the file.\r\n"
           "It is open read-only with all its %3 complete records.\r\n\r\n"
           "Repair it (keep the complete records, the original is saved as %4)?")
            .arg(Q(t.Path()))
            .arg(missing)
            .arg(t.RecordCount())
            .arg(backup);
    if (!Hooks.Ask(text, Answer::Yes)) return;
    try {
        ctx_.Adm.RepairTable1();
    } catch (const std::exception& e) {
        Hooks.Info(Q(e.what()));
    }
}

void TFADbf::OpenArchiveDialog(const QString& path) {
    QFileDialog d(this);
    PrepareOpenDialog(d, path);
    d.setAcceptMode(QFileDialog::AcceptOpen);
    d.setFileMode(QFileDialog::ExistingFile);
    if (RunModal(d) != QDialog::Accepted) return;
    const QStringList files = d.selectedFiles();
    if (!files.isEmpty()) OpenArchiveView(files.first());
}

DownloadResult TFADbf::ReadArchive() {
    DownloadResult result;
    QtDownloadUi ui(ctx_.Config, Hooks, this);
    // The viewer's own controls wait while the download works on the tables.
    dataTC_->setEnabled(false);
    try {
        result = kolvex::ReadArchive(ctx_.Ops, ctx_.Adm, ctx_.Config, ui);
    } catch (...) {
        ui.ProgressEnd();
        dataTC_->setEnabled(true);
        model_->Reset();
        ShowTabs(ctx_.Adm.Table1.IsOpen());
        UpdateButtons();
        UpdateCaption();
        UpdateRecordCounter();
        emit TableOpenChanged(ctx_.Adm.Table1.IsOpen());
        throw;
    }
    dataTC_->setEnabled(true);
    if (!result.Started) return result;
    if (!result.ShownPath.empty()) {
        OpenArchiveView(Q(result.ShownPath));
        if (ctx_.Adm.Table1.IsOpen() && ctx_.Adm.Table1.RecordCount() > 0) ctx_.Adm.Table1.Last();
    } else {
        model_->Reset();
        ShowTabs(false);
        UpdateButtons();
        UpdateCaption();
    }
    emit StatusMessage(DownloadStatusText(result));
    return result;
}

QString TFADbf::DownloadStatusText(const DownloadResult& result) {
    // The logger's clock against the PC's, read at the end of every download.
    const QString drift = result.Drift ? Tx("     Hodiny záznamníku: ", "     Logger clock: ") +
                                             Q(DriftText(*result.Drift, CurrentLanguage()))
                                       : QString();
    // The alarm excursions in the records read.
    std::size_t excursions = 0;
    if (result.Check)
        for (const auto& input : result.Check->Inputs) excursions += input.Excursions.size();
    const QString beyond = excursions ? Tx("     Mimo meze: %1×", "     Alarm excursions: %1").arg(excursions) : QString();
    if (result.Files.empty() || result.Records == 0) {
        QString text = Tx("Žádné nové záznamy nebyly přečteny", "No new records were read");
        if (result.Aborted) text += Tx("  –  čtení přerušeno", "  –  reading aborted");
        return text + drift;
    }
    // The table shown afterwards is the last one written.
    std::string last = result.Files.back().Path;
    std::uint64_t added = result.Files.back().RecordsAdded;
    for (const DownloadFile& f : result.Files) {
        if (f.Path == result.ShownPath) {
            last = f.Path;
            added = f.RecordsAdded;
        }
    }
    QString text = Tx("Přečteno záznamů: %1     Poslední soubor: %2  (přidáno záznamů: %3)",
                      "Records read: %1     Last file: %2  (records added: %3)")
                       .arg(result.Records)
                       .arg(Q(last))
                       .arg(added);
    if (result.Aborted) text += Tx("  –  čtení přerušeno", "  –  reading aborted");
    return text + beyond + drift;
}

void TFADbf::RestoreChartView(const std::string& path) {
    // Once per run: the first table shown, if it is the one left last time.
    if (stateChecked_ || ctx_.ConfigPath.empty()) return;
    stateChecked_ = true;
    std::string refusal;
    const std::optional<ViewerState> s = LoadViewerState(ViewerStatePath(ctx_.ConfigPath), &refusal);
    if (!refusal.empty()) Hooks.Error(EADM(refusal));
    if (s && s->TablePath == path && ctx_.Adm.Table1.IsOpen()) chart_->ShowPeriod(s->Start, s->End);
}

void TFADbf::FormCloseQuery() {
    timer1_->stop();
    if (ctx_.Adm.Table1.IsOpen() && !ctx_.ConfigPath.empty())
        SaveViewerState(ViewerStatePath(ctx_.ConfigPath),
                        {ctx_.Adm.Table1.Path(), BottomRange().Min, BottomRange().Max});
    ctx_.Config.ViewerTab = tabs_->currentIndex();
    ctx_.Config.ViewerGridWidth = gridWidth_;
    if (ctx_.Adm.Table1.IsOpen()) {
        ctx_.Adm.ParameterRecord.SetPanelWidth(gridWidth_);
        try {
            ctx_.Adm.CloseArchive();
        } catch (const std::exception& e) {
            // The table is closed as far as possible; a parameter file that
            // could not be written is worth knowing about.
            Hooks.Error(e);
        }
    }
    setWindowTitle(QString());
}

// ---- tabs and splitter ------------------------------------------------------------

void TFADbf::Data_TCChange(int index) {
    dbfP_->setVisible(index == 0 || index == 2);
    grafP_->setVisible(index == 1 || index == 2);
    if (index == 2) {
        const int total = dbfS_->width();
        if (total > 0) dbfS_->setSizes({gridWidth_, std::max(kSplitterMinimum, total - gridWidth_ - dbfS_->handleWidth())});
        else dbfS_->setSizes({gridWidth_, std::max(kSplitterMinimum, 800 - gridWidth_)});
    }
}

void TFADbf::Dbf_SMoved() {
    // A grid panel narrower than 200 pixels is set back to 200.
    if (dbfP_->width() < kMinGridWidth) {
        const int total = dbfS_->width();
        dbfS_->setSizes({kMinGridWidth, std::max(kSplitterMinimum, total - kMinGridWidth - dbfS_->handleWidth())});
    }
    if (tabs_->currentIndex() == 2) gridWidth_ = std::max(kMinGridWidth, dbfS_->sizes().value(0, kMinGridWidth));
}

// ---- the chart ----------------------------------------------------------------------


void TFADbf::FillChart() { chart_->Fill(ctx_.Config.ChartPeriod); }

void TFADbf::GrafStart_SBClick() { chart_->ToStart(); }
void TFADbf::GrafEnd_SBClick() { chart_->ToEnd(); }

void TFADbf::GrafPrior_SBMouseDown() {
    chart_->Press(-1);
    timer1_->start();
    chart_->StepOnce();
}

void TFADbf::GrafPrior_SBMouseUp() { timer1_->stop(); }

void TFADbf::GrafNext_SBMouseDown() {
    chart_->Press(+1);
    timer1_->start();
    chart_->StepOnce();
}

void TFADbf::GrafNext_SBMouseUp() { timer1_->stop(); }

void TFADbf::Timer1Timer() { chart_->StepOnce(); }

void TFADbf::GrafRefresh_SBClick() {
    try {
        FillChart();
    } catch (const std::exception& e) {
        Hooks.Error(e);
    }
}

void TFADbf::GrafZoomOut_SBClick() { chart_->ZoomOut(); }
void TFADbf::GrafZoomIn_SBClick() { chart_->ZoomIn(); }
void TFADbf::GrafZoomWidth_SBClick() { chart_->FullWidth(); }
void TFADbf::GrafZoomHeight_SBClick() { chart_->FullHeight(); }

void TFADbf::GrafParam_SBClick() {
    if (!actions_.ChartSettings || !actions_.ChartSettings(this)) return;
    try {
        FillChart();
    } catch (const std::exception& e) {
        Hooks.Error(e);
    }
}

void TFADbf::DbfPrint_SBClick() {
    if (!actions_.PrintTable) return;
    const QString status = actions_.PrintTable(this);
    if (!status.isEmpty()) emit StatusMessage(status);
}

void TFADbf::DbfExcel_SBClick() {
    if (!actions_.ExportTable) return;
    const QString status = actions_.ExportTable(this);
    if (!status.isEmpty()) emit StatusMessage(status);
}

void TFADbf::GrafPrint_SBClick() { chart_->Print(); }

bool TFADbf::eventFilter(QObject* watched, QEvent* event) {
    // The current record stays in view when the grid changes its size (the
    // panels appear after the table was opened).
    if (watched == grid_->viewport() && event->type() == QEvent::Resize && grid_->currentIndex().isValid())
        QTimer::singleShot(0, grid_, [this] {
            if (grid_->currentIndex().isValid()) grid_->scrollTo(grid_->currentIndex());
        });
    return QWidget::eventFilter(watched, event);
}

}  // namespace kolvex::ui
