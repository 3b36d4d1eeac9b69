// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TFMain.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ConfigDefaults.h"
#include "base/AuditTrail.h"
#include "base/Language.h"
#include "base/ui/DialogKit.h"
#include "base/ui/Help.h"
#include "app/ui/QtTranslation.h"
#include "base/ui/Icons.h"
#include "app/ui/LampShape.h"
#include "app/ui/Desktop.h"
#include "app/ui/LiveTrendPanel.h"
#include "base/ui/ModalRunner.h"
#include "base/ui/OffThread.h"
#include "app/ui/PortStatus.h"
#include "app/ui/TFAbout02.h"
#include "app/ui/TFLoggers.h"
#include "app/LoggerSettings.h"
#include "app/WorkFolder.h"
#include "app/ui/TFSetPC.h"
#include "archive/ui/TFADbf.h"
#include "archive/ui/TFADbfConvert.h"
#include "archive/ui/TFAParamC.h"
#include "archive/ui/TFAudit.h"
#include "archive/ui/ViewerSupport.h"
#include "logger/Conversion.h"
#include "logger/LoggerAudit.h"
#include "logger/ui/TFAErase.h"
#include "logger/ui/TFAParama.h"
#include "logger/ui/TFSetCas.h"
#include "logger/ui/TFZDiag.h"
#include "logger/ui/TFZVerze.h"
#include "output/ui/TFADbfErase.h"
#include "output/ui/ViewerOutputActions.h"


namespace kolvex::ui {

namespace {

constexpr int kPanelHeight = 33;

QRect ScreenArea() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) return screen->availableGeometry();
    return QRect(0, 0, 1024, 768);
}

// The regional long time format without a time zone (for example 14:05:09).
QString LongTimeText(const QTime& t) {
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    format = format.trimmed();
    if (format.isEmpty()) format = QStringLiteral("HH:mm:ss");
    return QLocale().toString(t, format);
}

QToolButton* MakeToolButton(QWidget* parent, const char* name, const QIcon& icon) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(icon);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    b->setFocusPolicy(Qt::TabFocus);  // reachable with Tab, pressed with Space
    return b;
}

}  // namespace

double ToDateTimeValue(const QDateTime& t) {
    static const qint64 epoch = QDate(1899, 12, 30).toJulianDay();
    const qint64 days = t.date().toJulianDay() - epoch;
    return static_cast<double>(days) + t.time().msecsSinceStartOfDay() / 86'400'000.0;
}

TFMain::TFMain(AppContext& ctx, QWidget* parent)
    : TFMain(ctx, [] { return QDateTime::currentDateTime(); }, parent) {}

TFMain::TFMain(AppContext& ctx, TimeSource clock, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), clock_(std::move(clock)) {
    setObjectName(QStringLiteral("TFMain"));
    Hooks = DefaultDialogHooks(this);
    // Every window of the program stays inside the screen's available area.
    InstallScreenFit();
    setWindowIcon(AppIcon());
    InitIconTheme();

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName(QStringLiteral("MdiArea"));
    mdiArea_->viewport()->installEventFilter(this);

    BuildMenus();
    BuildToolBar();
    BuildLivePanels();

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Client"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(hP_[0]);
    column->addWidget(hP_[1]);
    // The live trend takes the room below the panels, above the viewer's area.
    auto* split = new QSplitter(Qt::Vertical, central);
    liveTrend_ = new LiveTrendPanel(ctx_, hValueST_, split);
    split->addWidget(liveTrend_);
    split->addWidget(mdiArea_);
    column->addWidget(split, 1);
    setCentralWidget(central);

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(1000);
    connect(timer1_, &QTimer::timeout, this, &TFMain::Timer1Timer);
    portStatus_ = new PortStatus(ctx_, this);
    statusBar()->addPermanentWidget(portStatus_, 1);

    // The port's waits run off this window's thread (base/ui/OffThread.h).
    ctx_.Port.SetWorkRunner([&port = ctx_.Port](const std::function<void()>& work) {
        RunOffThread(work, [&port] { port.RequestAbort(); });
    });
    Startup();
    timer1_->start();
}

TFMain::~TFMain() {
    // The data module outlives the window; its questions must not reach it.
    ctx_.Adm.SetAnswerer(nullptr);
    ctx_.Port.SetWorkRunner(nullptr);
}

// ---- building the window ----------------------------------------------------

void TFMain::BuildMenus() {
    auto item = [this](QMenu* menu, const char* name, const QIcon& icon, void (TFMain::*slot)()) {
        QAction* a = menu->addAction(icon, QString());
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto menu = [this](const char* name) {
        QMenu* m = menuBar()->addMenu(QString());
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };

    nastaveniMI_ = menu("Nastaveni_MI");
    setPCMI_ = item(nastaveniMI_, "SetPC_MI", ThemeIcon("computer", QStyle::SP_ComputerIcon), &TFMain::SetPC_MIClick);
    setCasMI_ = item(nastaveniMI_, "SetCas_MI", ThemeIcon("appointment-soon", QStyle::SP_FileDialogInfoView),
                     &TFMain::SetCas_MIClick);
    setCasMI_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    nastaveniMI_->addSeparator();
    czechMI_ = item(nastaveniMI_, "Czech_MI", QIcon(), &TFMain::Czech_MIClick);
    czechMI_->setCheckable(true);
    englishMI_ = item(nastaveniMI_, "English_MI", QIcon(), &TFMain::English_MIClick);
    englishMI_->setCheckable(true);

    zobrazeniMI_ = menu("Zobrazeni_MI");
    zVerzeMI_ = item(zobrazeniMI_, "ZVerze_MI", ThemeIcon("dialog-information", QStyle::SP_MessageBoxInformation),
                     &TFMain::ZVerze_MIClick);
    zobrazeniMI_->addSeparator();
    zMereniMI_ = item(zobrazeniMI_, "ZMereni_MI", QIcon(), &TFMain::ZMereni_MIClick);
    zMereniMI_->setCheckable(true);
    zDiagnostikaMI_ = item(zobrazeniMI_, "ZDiagnostika_MI", QIcon(), &TFMain::ZDiagnostika_MIClick);

    archivaceMI_ = menu("Archivace_MI");
    aOpenFileMI_ = item(archivaceMI_, "AOpenFile_MI", ThemeIcon("document-open", QStyle::SP_DialogOpenButton),
                        &TFMain::AOpenFile_MIClick);
    aReadMI_ = item(archivaceMI_, "ARead_MI", ThemeIcon("folder-download", QStyle::SP_ArrowDown),
                    &TFMain::ARead_MIClick);
    archivaceMI_->addSeparator();
    aParamMI_ = item(archivaceMI_, "AParam_MI", ThemeIcon("document-properties", QStyle::SP_FileDialogDetailedView),
                     &TFMain::AParam_MIClick);
    aEraseMI_ = item(archivaceMI_, "AErase_MI", ThemeIcon("edit-clear-all", QStyle::SP_TrashIcon), &TFMain::AErase_MIClick);
    aParamSaveMI_ = item(archivaceMI_, "AParamSave_MI", ThemeIcon("document-save-as", QStyle::SP_DialogSaveButton),
                         &TFMain::AParamSave_MIClick);
    archivaceMI_->addSeparator();
    aAuditMI_ = item(archivaceMI_, "AAudit_MI", ThemeIcon("document-properties", QStyle::SP_FileDialogContentsView),
                     &TFMain::AAudit_MIClick);
    aLoggersMI_ = item(archivaceMI_, "ALoggers_MI", ThemeIcon("view-list-details", QStyle::SP_FileDialogListView),
                       &TFMain::ALoggers_MIClick);
    archivaceMI_->addSeparator();
    // Ends the run like the window's close button.
    exitMI_ = archivaceMI_->addAction(ThemeIcon("application-exit", QStyle::SP_DialogCloseButton), QString());
    exitMI_->setObjectName(QStringLiteral("Exit_MI"));
    exitMI_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exitMI_, &QAction::triggered, this, &QWidget::close);

    helpMI_ = menu("Help_MI");
    hObsahMI_ = item(helpMI_, "HObsah_MI", ThemeIcon("help-contents", QStyle::SP_DialogHelpButton),
                     &TFMain::HObsah_MIClick);
    helpMI_->addSeparator();
    hAboutMI_ = item(helpMI_, "HAbout_MI", ThemeIcon("help-about", QStyle::SP_MessageBoxInformation),
                     &TFMain::HAbout_MIClick);
}

void TFMain::BuildToolBar() {
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName(QStringLiteral("ToolBar_CB"));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(24, 24));
    toolBar_->toggleViewAction()->setEnabled(false);
    toolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, toolBar_);

    // Language group: mutually exclusive.
    czechSB_ = MakeToolButton(toolBar_, "Czech_SB", CzechFlagIcon());
    englishSB_ = MakeToolButton(toolBar_, "English_SB", EnglishFlagIcon());
    czechSB_->setCheckable(true);
    englishSB_->setCheckable(true);
    languageGroup_ = new QButtonGroup(this);
    languageGroup_->setExclusive(true);
    languageGroup_->addButton(czechSB_);
    languageGroup_->addButton(englishSB_);
    connect(czechSB_, &QToolButton::clicked, this, &TFMain::Czech_MIClick);
    connect(englishSB_, &QToolButton::clicked, this, &TFMain::English_MIClick);
    toolBar_->addWidget(czechSB_);
    toolBar_->addWidget(englishSB_);
    toolBar_->addSeparator();

    // Settings group.
    nastPCSB_ = MakeToolButton(toolBar_, "NastPC_SB", ThemeIcon("computer", QStyle::SP_ComputerIcon));
    nastCasSB_ = MakeToolButton(toolBar_, "NastCas_SB", ThemeIcon("appointment-soon", QStyle::SP_FileDialogInfoView));
    connect(nastPCSB_, &QToolButton::clicked, this, &TFMain::SetPC_MIClick);
    connect(nastCasSB_, &QToolButton::clicked, this, &TFMain::SetCas_MIClick);
    toolBar_->addWidget(nastPCSB_);
    toolBar_->addWidget(nastCasSB_);
    toolBar_->addSeparator();

    // View group.
    zobrInfoSB_ = MakeToolButton(toolBar_, "ZobrInfo_SB",
                                 ThemeIcon("dialog-information", QStyle::SP_MessageBoxInformation));
    zobrMereniSB_ = MakeToolButton(toolBar_, "ZobrMereni_SB",
                                   ThemeIcon("network-transmit-receive", QStyle::SP_MediaPlay));
    zobrMereniSB_->setCheckable(true);
    connect(zobrInfoSB_, &QToolButton::clicked, this, &TFMain::ZVerze_MIClick);
    connect(zobrMereniSB_, &QToolButton::clicked, this, &TFMain::ZobrMereni_SBClick);
    toolBar_->addWidget(zobrInfoSB_);
    toolBar_->addWidget(zobrMereniSB_);
    toolBar_->addSeparator();

    // Archive group.
    archivOpenSB_ = MakeToolButton(toolBar_, "ArchivOpen_SB", ThemeIcon("document-open", QStyle::SP_DialogOpenButton));
    archivReadSB_ = MakeToolButton(toolBar_, "ArchivRead_SB", ThemeIcon("folder-download", QStyle::SP_ArrowDown));
    archivOpenSB_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    archivReadSB_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    archivParamSB_ = MakeToolButton(toolBar_, "ArchivParam_SB",
                                    ThemeIcon("document-properties", QStyle::SP_FileDialogDetailedView));
    archivEraseSB_ = MakeToolButton(toolBar_, "ArchivErase_SB", ThemeIcon("edit-clear-all", QStyle::SP_TrashIcon));
    archivParamSaveSB_ = MakeToolButton(toolBar_, "ArchivParamSave_SB",
                                        ThemeIcon("document-save-as", QStyle::SP_DialogSaveButton));
    dbfEraseSB_ = MakeToolButton(toolBar_, "DbfErase_SB", ThemeIcon("edit-delete", QStyle::SP_TrashIcon));
    connect(archivOpenSB_, &QToolButton::clicked, this, &TFMain::AOpenFile_MIClick);
    connect(archivReadSB_, &QToolButton::clicked, this, &TFMain::ARead_MIClick);
    connect(archivParamSB_, &QToolButton::clicked, this, &TFMain::AParam_MIClick);
    connect(archivEraseSB_, &QToolButton::clicked, this, &TFMain::AErase_MIClick);
    connect(archivParamSaveSB_, &QToolButton::clicked, this, &TFMain::AParamSave_MIClick);
    connect(dbfEraseSB_, &QToolButton::clicked, this, &TFMain::DbfErase_SBClick);
    for (QToolButton* b :
         {archivOpenSB_, archivReadSB_, archivParamSB_, archivEraseSB_, archivParamSaveSB_, dbfEraseSB_})
        toolBar_->addWidget(b);
    // The record deletion waits for a table opened in the viewer.
    dbfEraseSB_->setEnabled(false);

    // The clock at the right edge.
    auto* spacer = new QWidget(toolBar_);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolBar_->addWidget(spacer);
    timeP_ = new QLabel(QStringLiteral("00:00:00"), toolBar_);
    timeP_->setObjectName(QStringLiteral("Time_P"));
    timeP_->setFrameShape(QFrame::StyledPanel);
    timeP_->setFrameShadow(QFrame::Sunken);
    timeP_->setAlignment(Qt::AlignCenter);
    QFont clockFont = timeP_->font();
    clockFont.setBold(true);
    timeP_->setFont(clockFont);
    timeP_->setMinimumWidth(timeP_->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00 MM")) + 16);
    timeP_->setContentsMargins(6, 2, 6, 2);
    toolBar_->addWidget(timeP_);
}

void TFMain::BuildLivePanels() {
    for (int i = 0; i < 2; ++i) {
        const QString n = QString::number(i + 1);
        auto* panel = new QFrame(this);
        panel->setObjectName(QStringLiteral("H%1_P").arg(n));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Raised);
        panel->setFixedHeight(kPanelHeight);
        panel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        panel->setAutoFillBackground(true);

        auto* lamp = new LampShape(panel);
        lamp->setObjectName(QStringLiteral("SigNet%1_S").arg(n));
        lamp->SetColor(kLampGood);

        auto* name = new QLabel(panel);
        name->setObjectName(QStringLiteral("H%1Name_L").arg(n));
        name->setMinimumWidth(name->fontMetrics().horizontalAdvance(QStringLiteral("MMMMMMMMMM")));

        auto* value = new QLabel(panel);
        value->setObjectName(QStringLiteral("H%1Value_ST").arg(n));
        value->setFrameShape(QFrame::StyledPanel);
        value->setFrameShadow(QFrame::Sunken);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setAutoFillBackground(true);
        QFont big = value->font();
        big.setBold(true);
        big.setPixelSize(19);
        value->setFont(big);
        value->setFixedHeight(kPanelHeight - 6);
        value->setFixedWidth(QFontMetrics(big).horizontalAdvance(QStringLiteral("-00000.000")) + 14);
        value->setContentsMargins(4, 0, 6, 0);
        QPalette pal = value->palette();
        pal.setColor(QPalette::WindowText, kValueGood);
        value->setPalette(pal);

        auto* unit = new QLabel(QStringLiteral("°C"), panel);
        unit->setObjectName(QStringLiteral("H%1Unit_L").arg(n));
        QFont unitFont = unit->font();
        unitFont.setBold(true);
        unit->setFont(unitFont);
        unit->setMinimumWidth(unit->fontMetrics().horizontalAdvance(QStringLiteral("MMMM")));

        auto* row = new QHBoxLayout(panel);
        row->setContentsMargins(10, 2, 10, 2);
        row->setSpacing(10);
        row->addWidget(lamp, 0, Qt::AlignVCenter);
        row->addWidget(name, 0, Qt::AlignVCenter);
        row->addWidget(value, 0, Qt::AlignVCenter);
        row->addWidget(unit, 0, Qt::AlignVCenter);
        row->addStretch(1);

        panel->hide();
        hP_[i] = panel;
        sigNetS_[i] = lamp;
        hNameL_[i] = name;
        hValueST_[i] = value;
        hUnitL_[i] = unit;
    }
    ApplyValueBackground();
}

void TFMain::ApplyValueBackground() {
    // The value boxes keep their navy, red and orange texts in a dark theme
    // too: their background stays light, like a display.
    const QColor back = IsDarkPalette(palette()) ? QColor(236, 236, 236) : palette().color(QPalette::Base);
    for (QLabel* value : hValueST_) {
        QPalette pal = value->palette();
        pal.setColor(QPalette::Window, back);
        value->setPalette(pal);
    }
}

void TFMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && hValueST_[0]) ApplyValueBackground();
}

// ---- start-up and shutdown --------------------------------------------------

void TFMain::Startup() {
    // The path is fixed now: file dialogs may change the working directory.
    ctx_.ConfigPath = QDir::current().absoluteFilePath(QString::fromLatin1(kConfigFileName)).toStdString();
    if (!LoadConfig()) {
        ApplyConfigDefaults();
        SetLanguage(ctx_.Config.Language);
        // The user chooses a port before anything else happens.
        TFSetPC settings(ctx_, nullptr);
        RunModal(settings);
    }
    ApplyLanguage();
    try {
        ApplyPortSettings(ctx_);
    } catch (const std::exception& e) {
        // The window keeps the toolkit's placement and the live display
        // stays off; another port can be chosen in the settings.
        startupPortFailed_ = true;
        ShowError(nullptr, e);
    }
    portStatus_->Refresh();
    if (!startupPortFailed_) RestorePlacement();
    // The data module (it lives in the context) gets this program's question
    // box, then the hidden old-database conversion window is created.
    answerer_ = std::make_unique<QtAnswerer>(this);
    ctx_.Adm.SetAnswerer(answerer_.get());
    InstallOldDatabaseConverter(ctx_, this);
}

bool TFMain::LoadConfig() {
    std::string refusal;
    const bool loaded = LoadConfigFile(ctx_.ConfigPath, ctx_.Config, &refusal);
    if (loaded) SetLanguage(ctx_.Config.Language);
    // A configuration that is no regular file is refused and named; the run
    // then goes on as without one.
    if (!refusal.empty()) ShowError(nullptr, BoxText(refusal));
    SetDriftLimitSeconds(LoadDriftLimit(ClockSettingsPath(ctx_.ConfigPath)));
    return loaded;
}

void TFMain::ApplyConfigDefaults() {
    // In the start-up order: this window, the communication, the storing
    // options, the viewer with printing, export and the chart, the deletion.
    const QRect area = ScreenArea();
    const double today = ToDateTimeValue(clock_());
    ApplyShellDefaults(ctx_.Config, area.width(), area.height());
    ApplyCommDefaultsTo(ctx_.Config, ctx_.Port);
    kolvex::ApplyStoringDefaults(ctx_.Config);
    // The viewer's: last archive path, tab, printing and export, then the
    // chart period.
    ApplyViewerDefaults(ctx_.Config, today, QDir::currentPath().toStdString());
    ApplyChartDefaults(ctx_.Config, today);
    ApplyEraseDefaults(ctx_.Config, today);
    helpFile_ = QStringLiteral("kolvex12_EN.hlp");
}

void TFMain::SaveConfig() {
    // A file that cannot be written is not reported.
    (void)SaveConfigFile(ctx_.ConfigPath, ctx_.Config);
}

void TFMain::RestorePlacement() {
    const QRect area = ScreenArea();
    Placement stored{ctx_.Config.WindowTop, ctx_.Config.WindowLeft, ctx_.Config.WindowHeight, ctx_.Config.WindowWidth};
    const Placement p = ClampPlacement(stored, area.width(), area.height());
    move(area.left() + p.Left, area.top() + p.Top);
    resize(p.Width, p.Height);
    zobrMereniSB_->setChecked(ctx_.Config.MeasuringOn != 0);
    SwitchLiveDisplay();
}

void TFMain::StorePlacement() {
    const QRect area = ScreenArea();
    const QRect g = (isMaximized() || isFullScreen()) ? normalGeometry() : QRect(pos(), size());
    ctx_.Config.WindowTop = g.top() - area.top();
    ctx_.Config.WindowLeft = g.left() - area.left();
    ctx_.Config.WindowHeight = g.height();
    ctx_.Config.WindowWidth = g.width();
    ctx_.Config.MeasuringOn = zobrMereniSB_->isChecked() ? 1 : 0;
}

bool TFMain::Busy() const { return downloading_ || WorkRunning(); }

void TFMain::closeEvent(QCloseEvent* event) {
    if (WorkRunning()) {
        // Port work waits in a local event loop below this call: it gives up
        // first, then the window closes.
        AbortRunningWork();
        event->ignore();
        QTimer::singleShot(50, this, &QWidget::close);
        return;
    }
    ArchiveViewerStoreState();
    timer1_->stop();
    ctx_.Port.Close();
    StorePlacement();
    SaveConfig();
    event->accept();
}

bool TFMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mdiArea_->viewport() && event->type() == QEvent::Resize) FitViewer();
    if (watched == mdiArea_->viewport() && event->type() == QEvent::Paint && !firstPaintDone_ &&
        !ArchiveViewerExists()) {
        firstPaintDone_ = true;
        // Not inside the paint itself: opening a table may show messages.
        QTimer::singleShot(0, this, &TFMain::FirstPaint);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFMain::FirstPaint() {
    const QString path = QString::fromStdString(ctx_.Config.LastArchivePath);
    if (!path.isEmpty() && QFileInfo(path).isFile()) OpenArchiveAtFirstPaint(path);
    firstPaintHandled_ = true;
}

void TFMain::OpenArchiveAtFirstPaint(const QString& path) {
    EnsureViewer();
    viewer_->OpenArchiveView(path);
}

bool TFMain::EnsureViewer() {
    if (viewer_) return false;
    viewer_ = new TFADbf(ctx_, MakeViewerActions(ctx_));
    // A child without border and close box that fills the client area.
    viewerWindow_ = mdiArea_->addSubWindow(viewer_, Qt::SubWindow | Qt::FramelessWindowHint);
    viewerWindow_->setObjectName(QStringLiteral("TFADbf_Window"));
    viewerWindow_->setSystemMenu(nullptr);
    viewerWindow_->setOption(QMdiSubWindow::RubberBandResize, false);
    viewerWindow_->setOption(QMdiSubWindow::RubberBandMove, false);
    connect(viewer_, &TFADbf::TableOpenChanged, this,
            [this](bool open) { dbfEraseSB_->setEnabled(open && !downloading_); });
    connect(viewer_, &TFADbf::StatusMessage, this, [this](const QString& text) { statusBar()->showMessage(text); });
    FitViewer();
    viewerWindow_->show();
    return true;
}

void TFMain::FitViewer() {
    if (viewerWindow_) viewerWindow_->setGeometry(mdiArea_->viewport()->rect());
}

void TFMain::ArchiveViewerApplyLanguage() { viewer_->ApplyCaptions(); }

void TFMain::ArchiveViewerStoreState() {
    if (viewer_) viewer_->FormCloseQuery();
}

void TFMain::SetArchiveCommandsEnabled(bool enabled) {
    for (QAction* a : {aOpenFileMI_, aReadMI_, aParamSaveMI_}) a->setEnabled(enabled);
    for (QToolButton* b : {archivOpenSB_, archivReadSB_, archivParamSaveSB_}) b->setEnabled(enabled);
    dbfEraseSB_->setEnabled(enabled && ctx_.Adm.Table1.IsOpen() && viewer_);
}

// ---- language ---------------------------------------------------------------

void TFMain::ApplyLanguage() {
    if (ctx_.Config.Language > 1) ctx_.Config.Language = 0;
    SetLanguage(ctx_.Config.Language);
    ApplyQtTranslation(CurrentLanguage());
    const bool english = CurrentLanguage() == Lang::English;
    helpFile_ = english ? QStringLiteral("kolvex12_EN.hlp") : QStringLiteral("kolvex12.hlp");
    (english ? englishSB_ : czechSB_)->setChecked(true);
    czechMI_->setChecked(!english);
    englishMI_->setChecked(english);

    setWindowTitle(QStringLiteral("Quendal KOLVEX12  Marvenik"));

    nastaveniMI_->setTitle(Tx("&Nastavení", "&Set-up"));
    setPCMI_->setText(Tx("&Počítač...", "&Computer"));
    nastPCSB_->setToolTip(Tx("Počitač", "Computer"));
    setCasMI_->setText(Tx("&Datum a čas...", "&Date && Time"));
    nastCasSB_->setToolTip(Tx("Datum a čas", "Date Time"));
    czechMI_->setText(QStringLiteral("Česky"));  // not translated
    czechSB_->setToolTip(QStringLiteral("Cesky"));
    englishMI_->setText(QStringLiteral("English"));
    englishSB_->setToolTip(QStringLiteral("English"));

    zobrazeniMI_->setTitle(Tx("&Zobrazení", "&View"));
    zVerzeMI_->setText(Tx("&Informace o přístroji...", "&Quendal Info..."));
    zobrInfoSB_->setToolTip(Tx("Informace o přístroji", "Quendal Info"));
    zMereniMI_->setText(Tx("&Měření...", "&Mesuring..."));
    zobrMereniSB_->setToolTip(Tx("Zobrazení měření", "Measuring"));
    zDiagnostikaMI_->setText(Tx("&Diagnostika...", "&Diagnostics..."));

    archivaceMI_->setTitle(Tx("&Archivace", "&Archive"));
    aOpenFileMI_->setText(Tx("&Otevření souboru...", "&File Open..."));
    archivOpenSB_->setText(Tx("Soubor", "File"));
    archivOpenSB_->setToolTip(Tx("Otevření souboru", "File Open"));
    aReadMI_->setText(Tx("&Přečíst...", "&Read..."));
    archivReadSB_->setText(Tx("Přečíst", "Read"));
    archivReadSB_->setToolTip(Tx("Čtení archivace", "Read"));
    aParamMI_->setText(Tx("&Parametry archivace...", "&Archiving parameter..."));
    archivParamSB_->setToolTip(Tx("Parametry archivace", "Archiving parameters"));
    aEraseMI_->setText(Tx("&Vymazání archivace...", "&Data deletion..."));
    archivEraseSB_->setToolTip(Tx("Vymazání archivace", "Data deletion"));
    aParamSaveMI_->setText(Tx("&Parametry ukládání...", "&Parameter loading..."));
    aLoggersMI_->setText(Tx("&Nastavené záznamníky...", "&Configured loggers..."));
    archivParamSaveSB_->setToolTip(Tx("Parametry čtení", "Reading parameters"));
    aAuditMI_->setText(Tx("A&uditní protokol...", "A&udit trail..."));
    dbfEraseSB_->setToolTip(Tx("Odstranění záznamů z databáze", "Delete database"));

    helpMI_->setTitle(Tx("&Nápověda", "&Help"));
    hObsahMI_->setText(Tx("&Obsah...", "&Contents..."));
    hAboutMI_->setText(Tx("O &aplikaci...", "&About..."));
    exitMI_->setText(Tx("&Konec", "E&xit"));

    // The lamps, value boxes and panels for a screen reader.
    for (int i = 0; i < 2; ++i) {
        const QString input = Tx("Vstup %1", "Input %1").arg(i + 1);
        hP_[i]->setAccessibleName(input);
        sigNetS_[i]->setAccessibleName(input + Tx(", stav čtení", ", reading state"));
        sigNetS_[i]->setAccessibleDescription(Tx("Světle zelená: čte se; zelená: poslední čtení se podařilo; "
                                                 "červená: záznamník neodpověděl",
                                                 "Light green: reading; green: the last reading succeeded; "
                                                 "red: the logger did not answer"));
        hValueST_[i]->setAccessibleName(input + Tx(", hodnota", ", value"));
        hValueST_[i]->setAccessibleDescription(Tx("Poslední naměřená hodnota; oranžově za alarmovou mezí, "
                                                  "červeně po nepovedeném čtení",
                                                  "The last value read; orange beyond an alarm limit, red after a "
                                                  "failed reading"));
        hNameL_[i]->setAccessibleName(input + Tx(", jméno", ", name"));
        hUnitL_[i]->setAccessibleName(input + Tx(", jednotka", ", unit"));
    }
    dbfEraseSB_->setAccessibleName(Tx("Odstranění záznamů z databáze", "Delete database"));
    liveTrend_->ApplyCaptions();
    if (ArchiveViewerExists()) ArchiveViewerApplyLanguage();
    portStatus_->Refresh();
}

void TFMain::Czech_MIClick() {
    ctx_.Config.Language = 0;
    ApplyLanguage();
}

void TFMain::English_MIClick() {
    ctx_.Config.Language = 1;
    ApplyLanguage();
}

// ---- live display -----------------------------------------------------------

void TFMain::SetLamps(const QColor& color, bool repaintNow) {
    for (LampShape* lamp : sigNetS_) {
        lamp->SetColor(color);
        if (repaintNow) lamp->repaint();
    }
}

void TFMain::SetValueColor(const QColor& color) {
    for (QLabel* value : hValueST_) {
        QPalette pal = value->palette();
        pal.setColor(QPalette::WindowText, color);
        value->setPalette(pal);
    }
}

void TFMain::SwitchLiveDisplay() {
    bool on = zobrMereniSB_->isChecked();
    if (on) {
        try {
            ctx_.Ops.ReadLoggerType();
            ctx_.Ops.ReadParameterBlock();
            ctx_.Ops.ReadInputInfo();
            ShowInputPanels();
        } catch (const std::exception&) {
            // Switching on fails silently: the button pops up.
            zobrMereniSB_->setChecked(false);
            on = false;
        }
    }
    zMereniMI_->setChecked(on);
    if (on) {
        zobrMereniSB_->setToolTip(QStringLiteral("Čtení hodnot zapnuto"));  // the same in both languages
    } else {
        zobrMereniSB_->setToolTip(QStringLiteral("Čtení hodnot vypnuto"));
        hP_[0]->hide();
        hP_[1]->hide();
    }
    liveTrend_->SetLive(on);
    MakeRoom();
    schedule_.Reset();  // the next tick reads at once
}

void TFMain::ShowInputPanels() {
    const ParameterBlock& block = ctx_.Logger.Image.Parameters;
    // Input 2 first, then input 1, as the panels are refreshed.
    for (int i : {1, 0}) {
        const bool recorded = (block.ArchiveFlags & (i == 0 ? kFlagRecordInput1 : kFlagRecordInput2)) != 0;
        if (recorded) {
            hP_[i]->show();
            hNameL_[i]->setText(QString::fromStdString(block.Input[i].Name()).left(10));
            hUnitL_[i]->setText(QString::fromStdString(block.Input[i].Unit()));
        } else {
            hP_[i]->hide();
        }
    }
}

void TFMain::ArchiveParametersStored() {
    // The logger image holds the block just written: the running display
    // takes its names, units and limits now, keeping the trend's history.
    if (!zobrMereniSB_->isChecked()) return;
    ShowInputPanels();
    liveTrend_->ParametersStored();
    MakeRoom();
}

void TFMain::MakeRoom() {
    int needed = toolBar_->isHidden() ? 0 : toolBar_->sizeHint().height();
    for (QFrame* panel : hP_)
        if (!panel->isHidden()) needed += kPanelHeight;
    const int menu = menuBar()->isHidden() ? 0 : menuBar()->sizeHint().height();
    const int client = height() - menu;
    if (client < needed) resize(width(), needed + menu);
}

void TFMain::Timer1Timer() {
    const QDateTime now = clock_();
    const double value = ToDateTimeValue(now);
    if (value == lastClockValue_) return;
    lastClockValue_ = value;
    timeP_->setText(LongTimeText(now.time()));
    // Exchanges of dialogs and downloads (the timer fires while they run).
    portStatus_->Follow();
    // While a command's exchange runs, the port is left alone until the next tick.
    if (ctx_.Port.Busy) return;
    // An unplugged adapter that is back: the live display goes on by itself.
    if (zobrMereniSB_->isChecked() && portStatus_->Resume()) schedule_.Reset();
    if (zobrMereniSB_->isChecked()) ReadLiveValues();
}

void TFMain::ReadLiveValues() {
    const QDateTime now = clock_();
    const double secondsOfDay = now.time().msecsSinceStartOfDay() / 1000.0;
    if (ctx_.Port.Busy) return;  // a command's exchange runs: read at a later tick
    if (!schedule_.Due(secondsOfDay)) return;

    SetLamps(kLampReading, true);  // the reading below blocks the window
    bool ok = false;
    std::array<std::uint16_t, 2> raw{};
    try {
        raw = ctx_.Ops.ReadCurrentValues();
        QString text[2];
        for (int i = 0; i < 2; ++i)
            if (!hP_[i]->isHidden())
                text[i] = QString::fromStdString(
                    FormatInputValue(ctx_.Logger.Image, i, raw[static_cast<std::size_t>(i)], DecimalSeparator()));
        for (int i = 0; i < 2; ++i)
            if (!hP_[i]->isHidden()) hValueST_[i]->setText(text[i]);
        ok = true;
    } catch (const std::exception&) {
        ok = false;  // nothing is reported; the lamps tell
    }
    if (ok) {
        SetLamps(kLampGood, false);
        SetValueColor(kValueGood);
        schedule_.Succeeded();
    } else {
        SetLamps(kLampFailed, false);
        SetValueColor(kValueFailed);
        schedule_.Failed();
    }
    liveTrend_->AddReading(ToDateTimeValue(now), ok ? std::optional(raw) : std::nullopt);
    portStatus_->Reading(ok);
    emit LiveReadingDone(ok);
}

void TFMain::ZobrMereni_SBClick() { SwitchLiveDisplay(); }

void TFMain::ZMereni_MIClick() {
    zobrMereniSB_->setChecked(!zobrMereniSB_->isChecked());
    SwitchLiveDisplay();
}

// ---- commands ---------------------------------------------------------------

template <class Dialog>
int TFMain::RunLoggerDialog() {
    Dialog dialog(ctx_, this);
    try {
        dialog.OpenSequence();
    } catch (const std::exception& e) {
        portStatus_->Follow();
        Hooks.Error(e);
        return QDialog::Rejected;
    }
    portStatus_->Follow();
    const int result = RunModal(dialog);
    portStatus_->Follow();
    return result;
}

void TFMain::SetPC_MIClick() {
    TFSetPC dialog(ctx_, this);
    RunModal(dialog);
    portStatus_->Refresh();
}

void TFMain::SetCas_MIClick() { RunLoggerDialog<TFSetCas>(); }
void TFMain::ZVerze_MIClick() { RunLoggerDialog<TFZVerze>(); }
void TFMain::ZDiagnostika_MIClick() { RunLoggerDialog<TFZDiag>(); }
void TFMain::AParam_MIClick() {
    if (RunLoggerDialog<TFAParama>() == QDialog::Accepted) ArchiveParametersStored();
}
void TFMain::AErase_MIClick() { RunLoggerDialog<TFAErase>(); }

void TFMain::AOpenFile_MIClick() {
    if (downloading_) return;
    EnsureViewer();
    viewer_->OpenArchiveDialog(QString::fromStdString(ctx_.Config.LastArchivePath));
}

void TFMain::ARead_MIClick() {
    // The download processes window messages while it reads; a second one
    // (or opening or deleting tables meanwhile) must wait for it.
    if (downloading_) return;
    downloading_ = true;
    SetArchiveCommandsEnabled(false);
    const bool created = EnsureViewer();
    try {
        viewer_->ReadArchive();
    } catch (const std::exception& e) {
        Hooks.Error(e);
    }
    downloading_ = false;
    portStatus_->Follow();
    SetArchiveCommandsEnabled(true);
    // A viewer created for the download shows LastArchivePath afterwards,
    // unless the download already shows that table.
    const Table& t = ctx_.Adm.Table1;
    if (created && !(t.IsOpen() && t.Path() == ctx_.Config.LastArchivePath && viewer_->TabsShown())) {
        const QString path = QString::fromStdString(ctx_.Config.LastArchivePath);
        if (QFileInfo(path).isFile()) viewer_->OpenArchiveView(path);
    }
}

void TFMain::AParamSave_MIClick() {
    TFAParamC dialog(ctx_.Config, this);
    RunModal(dialog);
}

void TFMain::ALoggers_MIClick() {
    TFLoggers dialog(LoggerSettingsFolder(), UserDataFolder(), this);
    RunModal(dialog);
}

void TFMain::AAudit_MIClick() {
    // The trail of the data folder; the program's own when it keeps one.
    const std::string folder = AuditFolder().empty() ? QDir::currentPath().toStdString() : AuditFolder();
    TFAudit dialog(folder, this);
    dialog.Reload();
    RunModal(dialog);
}

void TFMain::DbfErase_SBClick() {
    if (downloading_ || !ctx_.Adm.Table1.IsOpen()) return;
    int result = QDialog::Rejected;
    {
        TFADbfErase dialog(ctx_, this);
        result = RunModal(dialog);
    }
    // Records or files were deleted: the viewer shows the table anew.
    if (result == QDialog::Accepted && viewer_) {
        if (ctx_.Adm.Table1.IsOpen())
            viewer_->OpenArchiveView(QString::fromStdString(ctx_.Adm.Table1.Path()));
        else
            dbfEraseSB_->setEnabled(false);
    }
}

void TFMain::HObsah_MIClick() { ShowHelpContents(this); }

void TFMain::HAbout_MIClick() {
    TFAbout02 about(this);
    RunModal(about);
}

}  // namespace kolvex::ui
