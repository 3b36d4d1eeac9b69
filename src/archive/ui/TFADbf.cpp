#include "archive/ui/TFADbf.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QShortcut>
#include <QSplitter>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

#include <qcustomplot.h>

#include "base/Errors.h"
#include "base/Language.h"
#include "base/ui/ErrorDisplay.h"
#include "base/ui/Help.h"
#include "base/ui/Icons.h"
#include "base/ui/ModalRunner.h"
#include "base/ui/TFProgress.h"
#include "archive/ChartDetail.h"
#include "archive/FileOps.h"
#include "archive/ParameterFile.h"
#include "archive/ViewerState.h"
#include "archive/ui/ArchiveGrid.h"
#include "archive/ui/TFAParamC.h"
#include "archive/ui/ViewerIcons.h"
#include "archive/ui/ViewerSupport.h"

#if __has_include("output/ui/TFANastGraf.h")
#include "output/ui/TFANastGraf.h"
#define KOLVEX_HAVE_CHART_SETTINGS 1
#endif
#if __has_include("output/ui/TFANastTisk.h")
#include "output/ui/TFANastTisk.h"
#define KOLVEX_HAVE_PRINT_DIALOG 1
#endif
#if __has_include("output/ui/TFAToExcel.h")
#include "output/ui/TFAToExcel.h"
#define KOLVEX_HAVE_EXPORT_DIALOG 1
#endif

namespace kolvex::ui {

namespace {

constexpr int kMinGridWidth = 200;
constexpr int kSplitterMinimum = 50;
constexpr int kTabWidth = 100;
constexpr int kRepeatMs = 100;
constexpr int kPathCapacity = 128;
constexpr int kOpenDialogHelp = 1350;
const QColor kTitleBlue(0, 0, 255);

inline QString Tx(const char* cs, const char* en) { return Q(kolvex::Tr(cs, en)); }

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
    QtDownloadUi(kolvex::ConfigRecord& config, QWidget* parent) : config_(config), parent_(parent) {}
    ~QtDownloadUi() override { ProgressEnd(); }

    void Message(const std::string& text) override {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("kolvex12"), BoxText(text), QMessageBox::Ok, parent_);
        RunModal(box);
    }
    void EditStoringOptions(kolvex::StoringOptions& options) override {
        options.To(config_);
        TFAParamC dialog(config_, parent_);
        RunModal(dialog);
        options = kolvex::StoringOptions::From(config_);
    }
    bool Confirm(const std::string& question) override { return AskYesNo(parent_, BoxText(question)); }
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
        QMessageBox box(QMessageBox::Critical, QStringLiteral("kolvex12"), BoxText(message),
                        QMessageBox::Abort | QMessageBox::Retry, parent_);
        box.setDefaultButton(QMessageBox::Retry);
        return RunModal(box) == QMessageBox::Retry ? kolvex::StepFailure::Retry : kolvex::StepFailure::Abort;
    }
    void ProgressStart(const std::string& message) override {
        progress_ = std::make_unique<TFProgress>(parent_);
        progress_->SetMessage(Q(message), false);
        progress_->show();
        QCoreApplication::processEvents();
    }
    void Progress(int percent) override {
        if (progress_) progress_->SetProgress(percent);
        QCoreApplication::processEvents();
    }
    void ProgressEnd() override {
        if (!progress_) return;
        progress_->close();
        progress_.reset();
    }
    void Information(const std::string& text) override { ShowInfo(parent_, BoxText(text)); }
    bool ConfirmCreateFolder(const std::string& dir) override {
        return AskYesNo(parent_, BoxText(kolvex::Tr("Složka  " + dir + "  neexistuje.\r\nVytvořit ji?",
                                                    "The folder  " + dir + "  does not exist.\r\nCreate it?")));
    }

private:
    kolvex::ConfigRecord& config_;
    QWidget* parent_;
    std::unique_ptr<TFProgress> progress_;
};

}  // namespace

// ---- building the window ------------------------------------------------------

TFADbf::TFADbf(ArchiveContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
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

QToolButton* TFADbf::MakeButton(QWidget* parent, const char* name, const QIcon& icon) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(icon);
    b->setIconSize(QSize(20, 20));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
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
        nav_[i] = MakeButton(navigator, kNavNames[i], ViewerIcon(kNavIcons[i]));
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
    dbfPrintSB_ = MakeButton(buttonP, "DbfPrint_SB", ButtonIcon("document-print", QStyle::SP_FileDialogDetailedView));
    dbfExcelSB_ = MakeButton(buttonP, "DbfExcel_SB", ButtonIcon("x-office-spreadsheet", QStyle::SP_FileIcon));
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
    grafStartSB_ = MakeButton(buttonP, "GrafStart_SB", ViewerIcon(ViewerGlyph::ChartStart));
    grafPriorSB_ = MakeButton(buttonP, "GrafPrior_SB", ViewerIcon(ViewerGlyph::ChartPrior));
    grafNextSB_ = MakeButton(buttonP, "GrafNext_SB", ViewerIcon(ViewerGlyph::ChartNext));
    grafEndSB_ = MakeButton(buttonP, "GrafEnd_SB", ViewerIcon(ViewerGlyph::ChartEnd));
    grafRefreshSB_ = MakeButton(buttonP, "GrafRefresh_SB", ViewerIcon(ViewerGlyph::Refresh));
    grafZoomOutSB_ = MakeButton(buttonP, "GrafZoomOut_SB", ViewerIcon(ViewerGlyph::ZoomOut));
    grafZoomInSB_ = MakeButton(buttonP, "GrafZoomIn_SB", ViewerIcon(ViewerGlyph::ZoomIn));
    grafZoomWidthSB_ = MakeButton(buttonP, "GrafZoomWidth_SB", ViewerIcon(ViewerGlyph::FullWidth));
    grafZoomHeightSB_ = MakeButton(buttonP, "GrafZoomHeight_SB", ViewerIcon(ViewerGlyph::FullHeight));
    grafParamSB_ = MakeButton(buttonP, "GrafParam_SB", ViewerIcon(ViewerGlyph::Settings));
    grafPrintSB_ = MakeButton(buttonP, "GrafPrint_SB", ButtonIcon("document-print", QStyle::SP_FileDialogDetailedView));

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

    BuildChart();

    auto* column = new QVBoxLayout(grafP_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(buttonP);
    column->addWidget(chart_, 1);
}

void TFADbf::BuildChart() {
    chart_ = new QCustomPlot(grafP_);
    chart_->setObjectName(QStringLiteral("Graf_Ch"));
    chart_->setBackground(Qt::white);
    chart_->axisRect()->setBackground(Qt::white);
    chart_->legend->setVisible(false);
    chart_->setPlottingHint(QCP::phFastPolylines, true);
    chart_->setNoAntialiasingOnDrag(true);
    chart_->setMinimumHeight(120);
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    chart_->setLocale(locale);

    // The title row: left-aligned, blue, bold, 16 pixels.
    chart_->plotLayout()->insertRow(0);
    auto* title = new QCPTextElement(chart_);
    title->setObjectName(QStringLiteral("Title"));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(16);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setTextColor(kTitleBlue);
    title->setTextFlags(Qt::AlignLeft | Qt::AlignVCenter);
    title->setMargins(QMargins(8, 6, 8, 2));
    chart_->plotLayout()->addElement(0, 0, title);

    // The bottom axis: date-time values, labels on two lines; no top axis.
    ticker_ = QSharedPointer<DayTicker>(new DayTicker);
    chart_->xAxis->setTicker(ticker_);
    chart_->xAxis2->setVisible(false);
    chart_->yAxis2->setVisible(true);
    chart_->yAxis2->setTickLabels(true);
    for (QCPAxis* axis : {chart_->yAxis, chart_->yAxis2}) {
        QFont f = axis->labelFont();
        f.setBold(true);
        axis->setLabelFont(f);
    }

    series1_ = chart_->addGraph(chart_->xAxis, chart_->yAxis);
    series1_->setName(QStringLiteral("Series1"));
    series1_->setPen(QPen(Qt::red, 1));
    series1_->setAdaptiveSampling(true);
    series2_ = chart_->addGraph(chart_->xAxis, chart_->yAxis2);
    series2_->setName(QStringLiteral("Series2"));
    series2_->setPen(QPen(QColor(0, 128, 0), 2));
    series2_->setAdaptiveSampling(true);

    // The hover cross-hair on its own layer, so moving it redraws only itself.
    chart_->addLayer(QStringLiteral("crosshair"), chart_->layer(QStringLiteral("main")), QCustomPlot::limAbove);
    QCPLayer* layer = chart_->layer(QStringLiteral("crosshair"));
    layer->setMode(QCPLayer::lmBuffered);
    const QPen crossPen(QColor(90, 90, 90), 1, Qt::DashLine);
    crossV_ = new QCPItemStraightLine(chart_);
    crossH_ = new QCPItemStraightLine(chart_);
    for (QCPItemStraightLine* line : {crossV_, crossH_}) {
        line->setLayer(layer);
        line->setPen(crossPen);
        line->setClipToAxisRect(true);
        line->setVisible(false);
        line->setSelectable(false);
    }
    tracer1_ = new QCPItemTracer(chart_);
    tracer2_ = new QCPItemTracer(chart_);
    tracer1_->position->setAxes(chart_->xAxis, chart_->yAxis);
    tracer2_->position->setAxes(chart_->xAxis, chart_->yAxis2);
    for (QCPItemTracer* t : {tracer1_, tracer2_}) {
        t->setLayer(layer);
        t->setStyle(QCPItemTracer::tsCircle);
        t->setSize(7);
        t->setVisible(false);
        t->setSelectable(false);
    }
    crossText_ = new QCPItemText(chart_);
    crossText_->setLayer(layer);
    crossText_->setClipToAxisRect(true);
    crossText_->position->setType(QCPItemPosition::ptAbsolute);
    crossText_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    crossText_->setTextAlignment(Qt::AlignLeft);
    crossText_->setPadding(QMargins(6, 4, 6, 4));
    crossText_->setBrush(QColor(255, 255, 225, 235));
    crossText_->setPen(QPen(QColor(120, 120, 120)));
    crossText_->setVisible(false);
    crossText_->setSelectable(false);

    // A chart of many points is shown at the detail of its view.
    connect(chart_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
        if (detail_.Reduced() && !loading_) ShowDetail();
    });
    connect(chart_, &QCustomPlot::mousePress, this, &TFADbf::ChartMousePress);
    connect(chart_, &QCustomPlot::mouseMove, this, &TFADbf::ChartMouseMove);
    connect(chart_, &QCustomPlot::mouseRelease, this, &TFADbf::ChartMouseRelease);
    connect(chart_, &QCustomPlot::mouseWheel, this, &TFADbf::ChartWheel);
    chart_->installEventFilter(this);
    chart_->setMouseTracking(true);

    // Both vertical axes neutral until a table is shown.
    ApplyAxisLook(chart_->yAxis, series1_, leftLook_);
    ApplyAxisLook(chart_->yAxis2, series2_, rightLook_);
    chart_->xAxis->setRange(0, 1);
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
    // The chart title follows the language as well.
    if (ctx_.Adm.Table1.IsOpen()) {
        if (auto* title = qobject_cast<QCPTextElement*>(chart_->plotLayout()->element(0, 0))) {
            title->setText(Q(ChartTitle(ctx_.Adm.Table1.FileName(), CurrentLanguage())));
            Replot();
        }
    }
}

// ---- state --------------------------------------------------------------------

bool TFADbf::TabsShown() const { return !dataTC_->isHidden(); }
int TFADbf::TabIndex() const { return tabs_->currentIndex(); }
int TFADbf::GridPanelWidth() const { return gridWidth_; }

AxisRange TFADbf::BottomRange() const { return {chart_->xAxis->range().lower, chart_->xAxis->range().upper}; }
AxisRange TFADbf::LeftRange() const { return {chart_->yAxis->range().lower, chart_->yAxis->range().upper}; }
AxisRange TFADbf::RightRange() const { return {chart_->yAxis2->range().lower, chart_->yAxis2->range().upper}; }

void TFADbf::ShowTabs(bool shown) { dataTC_->setVisible(shown); }

void TFADbf::UpdateCaption() {
    setWindowTitle(ctx_.Adm.Table1.IsOpen() ? Q(ctx_.Adm.Table1.FileName()) : QString());
}

void TFADbf::UpdateButtons() {
    Table& t = ctx_.Adm.Table1;
    const bool open = t.IsOpen();
    const std::int64_t count = open ? t.RecordCount() : 0;
    const bool records = count > 0;
#ifdef KOLVEX_HAVE_PRINT_DIALOG
    dbfPrintSB_->setEnabled(records);
#else
    dbfPrintSB_->setEnabled(false);
#endif
#ifdef KOLVEX_HAVE_EXPORT_DIALOG
    dbfExcelSB_->setEnabled(records);
#else
    dbfExcelSB_->setEnabled(false);
#endif
    for (QToolButton* b : {grafStartSB_, grafPriorSB_, grafNextSB_, grafEndSB_, grafZoomOutSB_, grafZoomInSB_,
                           grafZoomWidthSB_, grafZoomHeightSB_, grafParamSB_, grafPrintSB_})
        b->setEnabled(records);
#ifndef KOLVEX_HAVE_CHART_SETTINGS
    grafParamSB_->setEnabled(false);
#endif
    grafRefreshSB_->setEnabled(true);
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
        ShowError(this, Tx("Tabulku  %1  nelze zobrazit:\n%2", "The table  %1  cannot be shown:\n%2")
                            .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what())));
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
    if (!AskYesNo(this, text)) return;
    try {
        ctx_.Adm.RepairTable1();
    } catch (const std::exception& e) {
        ShowInfo(this, Q(e.what()));
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
    QtDownloadUi ui(ctx_.Config, this);
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
    if (result.Files.empty() || result.Records == 0) {
        QString text = Tx("Žádné nové záznamy nebyly přečteny", "No new records were read");
        if (result.Aborted) text += Tx("  –  čtení přerušeno", "  –  reading aborted");
        return text;
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
    return text;
}

void TFADbf::RestoreChartView(const std::string& path) {
    // Once per run: the first table shown, if it is the one left last time.
    if (stateChecked_ || ctx_.ConfigPath.empty()) return;
    stateChecked_ = true;
    const std::optional<ViewerState> s = LoadViewerState(ViewerStatePath(ctx_.ConfigPath));
    if (s && s->TablePath == path && ctx_.Adm.Table1.IsOpen()) SetBottomRange(Limited({s->Start, s->End}));
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
            ShowError(this, e);
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

void TFADbf::ApplyAxisLook(QCPAxis* axis, QCPGraph* series, const AxisLook& look) {
    const QColor c = look.Neutral ? QColor(Qt::black) : look.Colour;
    axis->setLabel(look.Neutral ? QString() : look.Title);
    axis->setLabelColor(c);
    axis->setBasePen(QPen(c));
    axis->setTickPen(QPen(c));
    axis->setSubTickPen(QPen(c));
    axis->setTickLabelColor(c);
    if (series && !look.Neutral) {
        QPen pen = series->pen();
        pen.setColor(look.Colour);
        series->setPen(pen);
    }
    if (!look.Automatic) {
        const AxisRange r = MakeRange(look.Min, look.Max);
        axis->setRange(r.Min, r.Max);
    }
}

void TFADbf::ApplyChartSettings() {
    Table& t = ctx_.Adm.Table1;
    const ArchiveParameterRecord& rec = ctx_.Adm.ParameterRecord;
    const AxisSettings left = rec.LeftAxis(), right = rec.RightAxis();
    const int a = left.Source, b = right.Source, n = t.FieldCount();
    // A fixed range whose minimum lies above its maximum cannot be set; the
    // chart keeps what it shows.
    for (const auto& [s, src] : {std::pair{left, a}, std::pair{right, b}}) {
        if (src > 0 && src <= n - 1 && !s.Automatic && s.Minimum > s.Maximum)
            throw EKolvex(Tr("Minimum osy musí být menší nebo rovno maximu",
                             "The axis minimum must be less than or equal to the maximum"));
    }

    const PeriodSettings& period = ctx_.Config.ChartPeriod;
    allMode_ = period.Kind == pkAll;
    if (!allMode_) navigator_.SetLimits(period.Start, period.End);

    if (auto* title = qobject_cast<QCPTextElement*>(chart_->plotLayout()->element(0, 0)))
        title->setText(Q(ChartTitle(t.FileName(), CurrentLanguage())));

    AxisLook l, r;  // neutral and automatic: nothing to show on that axis
    if (a <= 0 && b <= 0) {
        l.Automatic = r.Automatic = false;  // both fixed to 0 .. 0
    }
    auto lookOf = [&rec](const AxisSettings& s, int src) {
        AxisLook look;
        const FieldDescriptor d = rec.Descriptor(std::min(src, kMaxDescriptors - 1));
        look.Neutral = false;
        look.Title = Q(AxisTitle(d.Label, d.Unit));
        look.Colour = ColourFromRecord(s.Colour);
        look.Automatic = s.Automatic != 0;
        look.Min = s.Minimum;
        look.Max = s.Maximum;
        return look;
    };
    if (a > 0 && a <= n - 1) {
        l = lookOf(left, a);
        if (b <= 0) r = l;
    }
    if (b > 0 && b <= n - 1) {
        r = lookOf(right, b);
        if (a <= 0) l = r;
    }
    leftLook_ = l;
    rightLook_ = r;
    ApplyAxisLook(chart_->yAxis, a > 0 && a <= n - 1 ? series1_ : nullptr, l);
    ApplyAxisLook(chart_->yAxis2, b > 0 && b <= n - 1 ? series2_ : nullptr, r);

    // The cross-hair's texts of the two series.
    for (int k = 0; k < 2; ++k) {
        const int src = k == 0 ? a : b;
        if (src > 0 && src < kMaxDescriptors) {
            const FieldDescriptor d = rec.Descriptor(src);
            seriesDecimals_[k] = d.Decimals;
            seriesUnit_[k] = Q(d.Unit);
            seriesLabel_[k] = Q(d.Label);
        } else {
            seriesDecimals_[k] = 1;
            seriesUnit_[k].clear();
            seriesLabel_[k].clear();
        }
    }
}

void TFADbf::FillChart() {
    Table& t = ctx_.Adm.Table1;
    if (!t.IsOpen()) return;
    ApplyChartSettings();
    HideCrossHair();
    // The ranges set while loading do not ask for the detail one by one.
    loading_ = true;
    struct Loaded {
        bool& flag;
        ~Loaded() { flag = false; }
    } loaded{loading_};

    ArchiveParameterRecord& rec = ctx_.Adm.ParameterRecord;
    const int n = t.FieldCount();
    // A source beyond the last field is cut to the last field.
    AxisSettings left = rec.LeftAxis(), right = rec.RightAxis();
    if (left.Source > n - 1) {
        left.Source = n - 1;
        rec.SetLeftAxis(left);
    }
    if (right.Source > n - 1) {
        right.Source = n - 1;
        rec.SetRightAxis(right);
    }
    const int a = left.Source, b = right.Source;
    const bool useA = a > 0, useB = b > 0;
    const double start = navigator_.ChartStart(), end = navigator_.ChartEnd();

    // One pass over the table in blocks of decoded rows (the cursor stays on
    // its record); the points are kept at the detail the chart can show.
    t.DisableControls();
    struct Resume {
        Table& t;
        ~Resume() { t.EnableControls(); }
    } resume{t};
    TFProgress progress(this);
    progress.SetMessage(QStringLiteral("Načítání grafu"), true);  // both languages
    progress.show();

    series1_->data()->clear();
    series2_->data()->clear();
    detail_.Clear();
    loadAll_ = allMode_;
    loadStart_ = start;
    loadEnd_ = end;
    scanFields_ = {0};
    sourceColumn_[0] = sourceColumn_[1] = -1;
    if (useA) {
        sourceColumn_[0] = static_cast<int>(scanFields_.size());
        scanFields_.push_back(a);
    }
    if (useB) {
        sourceColumn_[1] = static_cast<int>(scanFields_.size());
        scanFields_.push_back(b);
    }
    const std::int64_t count = t.RecordCount();
    loadCount_ = count;
    detail_.Reserve(static_cast<std::size_t>(count));
    double lo[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    double hi[2] = {-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    double minT = 0, maxT = 0, minP = 0, maxP = 0;
    bool anyRecord = false, anyPoint = false;
    std::int64_t passed = 0;
    int shown = -1;
    QElapsedTimer sinceShown;
    const int colA = sourceColumn_[0], colB = sourceColumn_[1];
    try {
        t.Scan(scanFields_, 1, [&](const ScanBlock& blk) {
            for (std::size_t r = 0; r < blk.Rows; ++r) {
                const double* v = blk.Values + r * blk.Fields;
                const double tt = v[0];
                if (!anyRecord) minT = maxT = tt;
                anyRecord = true;
                minT = std::min(minT, tt);
                maxT = std::max(maxT, tt);
                if (!allMode_ && (tt < start || tt > end)) continue;
                if (!anyPoint) minP = maxP = tt;
                minP = std::min(minP, tt);
                maxP = std::max(maxP, tt);
                anyPoint = true;
                // An empty value counts as 0 (the block holds 0 for it).
                const double va = colA >= 0 ? v[colA] : 0.0, vb = colB >= 0 ? v[colB] : 0.0;
                if (colA >= 0) {
                    lo[0] = std::min(lo[0], va);
                    hi[0] = std::max(hi[0], va);
                }
                if (colB >= 0) {
                    lo[1] = std::min(lo[1], vb);
                    hi[1] = std::max(hi[1], vb);
                }
                detail_.Add(blk.FirstRecNo + static_cast<std::int64_t>(r), tt, va, vb);
            }
            // The progress window follows the share of records passed; it is
            // redrawn (and the abort button read) when the share changes, at
            // most every 20 ms, which is often enough for the eye and the hand.
            passed += static_cast<std::int64_t>(blk.Rows);
            const int percent = count > 0 ? static_cast<int>(passed * 100 / count) : 100;
            if (percent != shown && (shown < 0 || sinceShown.elapsed() >= 20)) {
                shown = percent;
                sinceShown.start();
                QCoreApplication::processEvents();
                if (progress.SetProgress(percent)) return false;
            }
            return true;
        });
    } catch (...) {
        progress.close();
        throw;
    }
    progress.close();

    // The bottom axis: in all-mode the range of the points (of the records
    // when no series is shown), then the margins of 1/33.
    double s = start, en = end;
    if (allMode_) {
        if (anyPoint && (useA || useB)) {
            s = minP;
            en = maxP;
        } else if (anyRecord) {
            s = minT;
            en = maxT;
        } else {
            s = en = 0;
        }
    }
    const AxisRange bottom = TimeAxisWithMargins(s, en);
    navigator_.SetLimits(bottom.Min, bottom.Max);
    chart_->xAxis->setRange(bottom.Min, bottom.Max);

    // The vertical axes: the range of their series when automatic (a flat
    // series gets one unit either side), else the fixed range; an axis that
    // copies the other shows the other's range; then the margins, remembered
    // for the 100 % vertical button.
    auto settle = [&](const AxisLook& look, int k, bool own, bool otherOwn) {
        if (!look.Automatic) return MakeRange(look.Min, look.Max);
        int src = own ? k : (otherOwn ? 1 - k : -1);
        if (src < 0 || lo[src] > hi[src]) return MakeRange(0, 0);
        if (lo[src] == hi[src]) return MakeRange(lo[src] - 1, hi[src] + 1);
        return MakeRange(lo[src], hi[src]);
    };
    leftRemembered_ = ValueAxisWithMargins(settle(leftLook_, 0, useA, useB));
    rightRemembered_ = ValueAxisWithMargins(settle(rightLook_, 1, useB, useA));
    chart_->yAxis->setRange(leftRemembered_.Min, leftRemembered_.Max);
    chart_->yAxis2->setRange(rightRemembered_.Min, rightRemembered_.Max);

    loading_ = false;
    ShowDetail();
    UpdateTickCount();
    Replot();
}

int TFADbf::PlotPixels() const {
    const int width = chart_->axisRect()->width() > 0 ? chart_->axisRect()->width() : chart_->width();
    return std::max(width, 100);
}

void TFADbf::ShowDetail() {
    Table& t = ctx_.Adm.Table1;
    // A narrow view reads its records again, unless an operation that owns
    // the table has suspended its attached controls or records came or went
    // since the loading (the chart keeps what it showed until it is loaded
    // again).
    ChartDetail::Fetch fetch;
    if (t.IsOpen() && !t.ControlsDisabled() && t.RecordCount() == loadCount_)
        fetch = [&](std::int64_t first, std::int64_t last, std::vector<ChartPoint>(&out)[2]) {
            t.Scan(scanFields_, first, [&](const ScanBlock& blk) {
                for (std::size_t r = 0; r < blk.Rows; ++r) {
                    if (blk.FirstRecNo + static_cast<std::int64_t>(r) > last) return false;
                    const double* v = blk.Values + r * blk.Fields;
                    if (!loadAll_ && (v[0] < loadStart_ || v[0] > loadEnd_)) continue;
                    for (int k = 0; k < 2; ++k)
                        out[k].push_back({v[0], sourceColumn_[k] >= 0 ? v[sourceColumn_[k]] : 0.0});
                }
                return true;
            });
        };
    std::vector<ChartPoint> points[2];
    const QCPRange view = chart_->xAxis->range();
    try {
        detail_.Points(view.lower, view.upper, PlotPixels(), fetch, points);
    } catch (const std::exception&) {
        // The table changed under the chart: the kept extremes serve.
        detail_.Points(view.lower, view.upper, PlotPixels(), {}, points);
    }
    QCPGraph* series[2] = {series1_, series2_};
    for (int k = 0; k < 2; ++k) {
        if (sourceColumn_[k] < 0) {
            series[k]->data()->clear();
            continue;
        }
        QVector<QCPGraphData> d;
        d.reserve(static_cast<qsizetype>(points[k].size()));
        for (const ChartPoint& p : points[k]) d.append(QCPGraphData(p.Key, p.Value));
        series[k]->data()->set(d, detail_.Sorted());
    }
}

void TFADbf::UpdateTickCount() {
    // Labels keep a gap of 30 % of their own width.
    const QFontMetrics fm(chart_->xAxis->tickLabelFont());
    const int label = fm.horizontalAdvance(QStringLiteral("00/00.00"));
    const int width = chart_->axisRect()->width() > 0 ? chart_->axisRect()->width() : chart_->width();
    ticker_->setTickCount(std::max(2, static_cast<int>(width / (label * 1.3))));
}

void TFADbf::Replot() { chart_->replot(QCustomPlot::rpQueuedReplot); }

void TFADbf::SetBottomRange(const AxisRange& r) {
    const AxisRange m = MakeRange(r.Min, r.Max);
    chart_->xAxis->setRange(m.Min, m.Max);
    HideCrossHair();
    Replot();
}

void TFADbf::GrafStart_SBClick() { SetBottomRange(navigator_.ToStart(BottomRange())); }
void TFADbf::GrafEnd_SBClick() { SetBottomRange(navigator_.ToEnd(BottomRange())); }

void TFADbf::GrafPrior_SBMouseDown() {
    navigator_.Press(-1, BottomRange());
    timer1_->start();
    OneStep();
}

void TFADbf::GrafPrior_SBMouseUp() { timer1_->stop(); }

void TFADbf::GrafNext_SBMouseDown() {
    navigator_.Press(+1, BottomRange());
    timer1_->start();
    OneStep();
}

void TFADbf::GrafNext_SBMouseUp() { timer1_->stop(); }

void TFADbf::Timer1Timer() { OneStep(); }

void TFADbf::OneStep() { SetBottomRange(navigator_.Step(BottomRange())); }

void TFADbf::GrafRefresh_SBClick() {
    try {
        FillChart();
    } catch (const std::exception& e) {
        ShowError(this, e);
    }
}

void TFADbf::GrafZoomOut_SBClick() { SetBottomRange(navigator_.ZoomOut(BottomRange())); }
void TFADbf::GrafZoomIn_SBClick() { SetBottomRange(navigator_.ZoomIn(BottomRange())); }
void TFADbf::GrafZoomWidth_SBClick() { SetBottomRange(navigator_.FullWidth()); }

void TFADbf::GrafZoomHeight_SBClick() {
    chart_->yAxis->setRange(leftRemembered_.Min, leftRemembered_.Max);
    chart_->yAxis2->setRange(rightRemembered_.Min, rightRemembered_.Max);
    Replot();
}

void TFADbf::GrafParam_SBClick() {
#ifdef KOLVEX_HAVE_CHART_SETTINGS
    int result = QDialog::Rejected;
    {
        TFANastGraf dialog(ctx_, this);
        result = RunModal(dialog);
    }
    if (result != QDialog::Accepted) return;
    try {
        FillChart();
    } catch (const std::exception& e) {
        ShowError(this, e);
    }
#endif
}

void TFADbf::DbfPrint_SBClick() {
#ifdef KOLVEX_HAVE_PRINT_DIALOG
    TFANastTisk dialog(ctx_, this);
    RunModal(dialog);
    if (!dialog.StatusText().isEmpty()) emit StatusMessage(dialog.StatusText());
#endif
}

void TFADbf::DbfExcel_SBClick() {
#ifdef KOLVEX_HAVE_EXPORT_DIALOG
    TFAToExcel dialog(ctx_, this);
    RunModal(dialog);
    if (!dialog.StatusText().isEmpty()) emit StatusMessage(dialog.StatusText());
#endif
}

void TFADbf::GrafPrint_SBClick() {
    // Screen resolution: the chart's fonts keep their size relative to the
    // drawing (the output itself stays vector graphics).
    QPrinter printer(QPrinter::ScreenResolution);
    if (!printFile_.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printFile_);
    } else if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        // Without a printer the set-up offers a PDF file beside the table.
        printer.setOutputFileName(Q(ReplaceExtension(ctx_.Adm.Table1.Path(), ".pdf")));
    }
    printer.setPageOrientation(QPageLayout::Landscape);
    // The printer set-up: the printer (or a PDF file), paper and orientation.
    QPrintDialog psd(&printer, this);
    psd.setObjectName(QStringLiteral("PSD"));
    psd.setOption(QAbstractPrintDialog::PrintToFile, true);
    psd.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (RunModal(psd) != QDialog::Accepted) return;

    HideCrossHair();
    QCPPainter painter;
    if (!painter.begin(&printer)) {
        ShowError(this, Tx("Tisk grafu se nezdařil", "The graph was not printed"));
        return;
    }
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    // Margins of 10 % of the page on all four sides; the chart is drawn at
    // its size on the screen and scaled to the rest of the page.
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRectF area(page.width() * 0.10, page.height() * 0.10, page.width() * 0.80, page.height() * 0.80);
    const int logicalWidth = std::max(600, chart_->width());
    const double scale = area.width() / logicalWidth;
    const int logicalHeight = static_cast<int>(area.height() / scale);
    painter.translate(area.topLeft());
    painter.scale(scale, scale);
    chart_->toPainter(&painter, logicalWidth, logicalHeight);
    painter.end();
}

// ---- the mouse over the chart -----------------------------------------------------

AxisRange TFADbf::Limited(AxisRange r) const {
    const double start = navigator_.ChartStart(), end = navigator_.ChartEnd();
    r = MakeRange(r.Min, r.Max);
    if (r.Span() >= end - start) return MakeRange(start, end);
    if (r.Min < start) r = {start, start + r.Span()};
    if (r.Max > end) r = {end - r.Span(), end};
    return r;
}

void TFADbf::ChartMousePress(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !grafStartSB_->isEnabled()) return;
    if (!chart_->axisRect()->rect().contains(event->pos())) return;
    dragging_ = true;
    dragStartX_ = event->pos().x();
    dragStartRange_ = BottomRange();
    chart_->setCursor(Qt::ClosedHandCursor);
}

void TFADbf::ChartMouseMove(QMouseEvent* event) {
    if (dragging_) {
        const int width = std::max(1, chart_->axisRect()->width());
        const double delta = -(event->pos().x() - dragStartX_) * dragStartRange_.Span() / width;
        const AxisRange view = BottomRange();
        // Only a view inside the chart is kept there; a view zoomed out
        // beyond it moves freely.
        AxisRange moved{dragStartRange_.Min + delta, dragStartRange_.Max + delta};
        if (view.Span() < ChartEnd() - ChartStart()) moved = Limited(moved);
        chart_->xAxis->setRange(moved.Min, moved.Max);
        HideCrossHair();
        Replot();
        return;
    }
    ShowCrossHair(event->pos().x(), event->pos().y());
}

void TFADbf::ChartMouseRelease(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    chart_->unsetCursor();
}

void TFADbf::ChartWheel(QWheelEvent* event) {
    if (!grafStartSB_->isEnabled()) return;
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return;
    const AxisRange view = BottomRange();
    const double centre = chart_->xAxis->pixelToCoord(event->position().x());
    const double factor = std::pow(0.85, steps);
    AxisRange r{centre - (centre - view.Min) * factor, centre + (view.Max - centre) * factor};
    chart_->xAxis->setRange(Limited(r).Min, Limited(r).Max);
    event->accept();
    ShowCrossHair(event->position().x(), event->position().y());
    Replot();
}

void TFADbf::HideCrossHair() {
    if (!crossV_ || !crossV_->visible()) return;
    for (QCPAbstractItem* item : std::initializer_list<QCPAbstractItem*>{crossV_, crossH_, tracer1_, tracer2_, crossText_})
        item->setVisible(false);
    crossText_->setText(QString());
    chart_->layer(QStringLiteral("crosshair"))->replot();
}

namespace {
// The index of the data point nearest to key, or -1 without data.
int Nearest(const QCPGraph* g, double key) {
    const auto data = g->data();
    if (data->isEmpty()) return -1;
    auto it = data->findBegin(key, false);
    if (it == data->constEnd()) return data->size() - 1;
    int i = static_cast<int>(it - data->constBegin());
    if (i > 0 && std::abs((it - 1)->key - key) <= std::abs(it->key - key)) --i;
    return i;
}
}  // namespace

void TFADbf::ShowCrossHair(double x, double y) {
    if (!grafStartSB_->isEnabled() || !chart_->axisRect()->rect().contains(QPoint(int(x), int(y)))) {
        HideCrossHair();
        return;
    }
    const double key = chart_->xAxis->pixelToCoord(x);
    const QCPGraph* main = !series1_->data()->isEmpty() ? series1_ : series2_;
    const int i = Nearest(main, key);
    if (i < 0) {
        HideCrossHair();
        return;
    }
    const double t = (main->data()->constBegin() + i)->key;
    QString text = DateTimeCellText(t);
    const QCPGraph* graphs[2] = {series1_, series2_};
    QCPItemTracer* tracers[2] = {tracer1_, tracer2_};
    for (int k = 0; k < 2; ++k) {
        const int j = Nearest(graphs[k], t);
        if (j < 0) {
            tracers[k]->setVisible(false);
            continue;
        }
        const double v = (graphs[k]->data()->constBegin() + j)->value;
        text += QLatin1Char('\n') + seriesLabel_[k] + QStringLiteral(":") +
                FloatCellText(v, seriesDecimals_[k], seriesUnit_[k].toStdString());
        tracers[k]->position->setCoords((graphs[k]->data()->constBegin() + j)->key, v);
        tracers[k]->setPen(QPen(graphs[k]->pen().color(), 1.5));
        tracers[k]->setBrush(Qt::white);
        tracers[k]->setVisible(true);
    }
    crossV_->point1->setCoords(t, 0);
    crossV_->point2->setCoords(t, 1);
    crossH_->point1->setType(QCPItemPosition::ptAbsolute);
    crossH_->point2->setType(QCPItemPosition::ptAbsolute);
    crossH_->point1->setCoords(0, y);
    crossH_->point2->setCoords(1, y);
    crossV_->setVisible(true);
    crossH_->setVisible(true);
    crossText_->setText(text);
    // The box stays inside the plot: to the right of the pointer, or to its
    // left near the right edge.
    const QRect area = chart_->axisRect()->rect();
    const QFontMetrics fm(crossText_->font());
    const QRect box = fm.boundingRect(QRect(0, 0, 1000, 1000), Qt::AlignLeft, text).adjusted(0, 0, 14, 10);
    double px = chart_->xAxis->coordToPixel(t) + 12;
    if (px + box.width() > area.right()) px = chart_->xAxis->coordToPixel(t) - 12 - box.width();
    double py = y + 14;
    if (py + box.height() > area.bottom()) py = y - 14 - box.height();
    crossText_->position->setCoords(std::max<double>(area.left() + 2, px), std::max<double>(area.top() + 2, py));
    crossText_->setVisible(true);
    chart_->layer(QStringLiteral("crosshair"))->replot();
}

QString TFADbf::CrossHairText() const { return crossText_ && crossText_->visible() ? crossText_->text() : QString(); }

bool TFADbf::eventFilter(QObject* watched, QEvent* event) {
    // The current record stays in view when the grid changes its size (the
    // panels appear after the table was opened).
    if (watched == grid_->viewport() && event->type() == QEvent::Resize && grid_->currentIndex().isValid())
        QTimer::singleShot(0, grid_, [this] {
            if (grid_->currentIndex().isValid()) grid_->scrollTo(grid_->currentIndex());
        });
    if (watched == chart_) {
        if (event->type() == QEvent::Leave && !dragging_) HideCrossHair();
        if (event->type() == QEvent::Resize) UpdateTickCount();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kolvex::ui
