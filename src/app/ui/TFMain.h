// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: a multiple-document frame with the menu, the tool bar,
// the clock and the two live value panels; the archive viewer opens inside
// it. Creating the window runs the start-up (configuration, language, port,
// placement, live display); closing it runs the shutdown (port, placement,
// configuration file).

#include <QDateTime>
#include <QMainWindow>

#include <functional>
#include <memory>

#include "app/AppContext.h"
#include "app/LiveSchedule.h"
#include "base/ui/DialogHooks.h"

class QAction;
class QButtonGroup;
class QCloseEvent;
class QFrame;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;

namespace kolvex::ui {

class LampShape;
class LiveTrendPanel;
class PortStatus;
class QtAnswerer;
class TFADbf;

class TFMain : public QMainWindow {
    Q_OBJECT
public:
    // The wall clock the one-second timer reads (local date and time with
    // milliseconds); tests give their own.
    using TimeSource = std::function<QDateTime()>;

    explicit TFMain(kolvex::AppContext& ctx, QWidget* parent = nullptr);
    TFMain(kolvex::AppContext& ctx, TimeSource clock, QWidget* parent = nullptr);
    ~TFMain() override;

    // Configuration file and placement.
    bool LoadConfig();
    void ApplyConfigDefaults();
    void SaveConfig();
    void RestorePlacement();
    void StorePlacement();

    // Sets every caption, hint and check mark for the current language.
    void ApplyLanguage();

    // Live display.
    void SwitchLiveDisplay();
    // After the archiving parameters were stored: the running display takes
    // the new names, units and alarm limits without losing its history.
    void ArchiveParametersStored();
    void Timer1Timer();
    void ReadLiveValues();

    int ReadCountdown() const { return schedule_.Countdown(); }
    QString HelpFile() const { return helpFile_; }
    QTimer* Timer1() const { return timer1_; }
    QMdiArea* MdiArea() const { return mdiArea_; }
    void SetTimeSource(TimeSource clock) { clock_ = std::move(clock); }
    // True when applying the port at start-up failed (placement skipped).
    bool StartupPortFailed() const { return startupPortFailed_; }
    // True while a command unwinds that must end before the window closes.
    bool Busy() const;
    // The archive viewer, once it exists (it stays for the rest of the run).
    TFADbf* Viewer() const { return viewer_; }
    LiveTrendPanel* LiveTrend() const { return liveTrend_; }
    // The work of the first paint (reopening the last table) is over.
    bool FirstPaintHandled() const { return firstPaintHandled_; }

    // The error box of a command: a logger dialog that cannot open, a
    // download that fails.
    DialogHooks Hooks;

signals:
    // After every reading of the live display: whether it succeeded.
    void LiveReadingDone(bool ok);

public slots:
    void SetPC_MIClick();
    void SetCas_MIClick();
    void Czech_MIClick();
    void English_MIClick();
    void ZVerze_MIClick();
    void ZMereni_MIClick();
    void ZobrMereni_SBClick();
    void ZDiagnostika_MIClick();
    void AOpenFile_MIClick();
    void ARead_MIClick();
    void AParam_MIClick();
    void AErase_MIClick();
    void AParamSave_MIClick();
    void ALoggers_MIClick();
    void AAudit_MIClick();
    void DbfErase_SBClick();
    void HObsah_MIClick();
    void HAbout_MIClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildLivePanels();
    void ApplyValueBackground();
    void Startup();
    void FirstPaint();
    void MakeRoom();
    void SetLamps(const QColor& color, bool repaintNow);
    void SetValueColor(const QColor& color);
    template <class Dialog>
    int RunLoggerDialog();  // the dialog's result; Rejected when it did not open
    // The panels' names, units and visibility from the logger image.
    void ShowInputPanels();

    // ---- archive viewer ---------------------------------------------------
    // Whether it exists, opening a table in it at the first paint, its
    // caption routine and its state at shutdown.
    bool ArchiveViewerExists() const { return viewer_ != nullptr; }
    void OpenArchiveAtFirstPaint(const QString& path);
    void ArchiveViewerApplyLanguage();
    void ArchiveViewerStoreState();
    // Creates the viewer when there is none; true when it was created now.
    bool EnsureViewer();
    // The viewer's child window fills the client area.
    void FitViewer();
    void SetArchiveCommandsEnabled(bool enabled);

    kolvex::AppContext& ctx_;
    TimeSource clock_;
    kolvex::LiveSchedule schedule_;
    double lastClockValue_ = 0;
    QString helpFile_;
    bool startupPortFailed_ = false;
    bool firstPaintDone_ = false;
    bool firstPaintHandled_ = false;

    // Menu.
    QMenu* nastaveniMI_ = nullptr;
    QMenu* zobrazeniMI_ = nullptr;
    QMenu* archivaceMI_ = nullptr;
    QMenu* helpMI_ = nullptr;
    QAction* setPCMI_ = nullptr;
    QAction* setCasMI_ = nullptr;
    QAction* czechMI_ = nullptr;
    QAction* englishMI_ = nullptr;
    QAction* zVerzeMI_ = nullptr;
    QAction* zMereniMI_ = nullptr;
    QAction* zDiagnostikaMI_ = nullptr;
    QAction* aOpenFileMI_ = nullptr;
    QAction* aReadMI_ = nullptr;
    QAction* aParamMI_ = nullptr;
    QAction* aEraseMI_ = nullptr;
    QAction* aParamSaveMI_ = nullptr;
    QAction* aLoggersMI_ = nullptr;
    QAction* aAuditMI_ = nullptr;
    QAction* hObsahMI_ = nullptr;
    QAction* hAboutMI_ = nullptr;
    QAction* exitMI_ = nullptr;

    // Tool bar.
    QToolBar* toolBar_ = nullptr;
    QButtonGroup* languageGroup_ = nullptr;
    QToolButton* czechSB_ = nullptr;
    QToolButton* englishSB_ = nullptr;
    QToolButton* nastPCSB_ = nullptr;
    QToolButton* nastCasSB_ = nullptr;
    QToolButton* zobrInfoSB_ = nullptr;
    QToolButton* zobrMereniSB_ = nullptr;
    QToolButton* archivOpenSB_ = nullptr;
    QToolButton* archivReadSB_ = nullptr;
    QToolButton* archivParamSB_ = nullptr;
    QToolButton* archivEraseSB_ = nullptr;
    QToolButton* archivParamSaveSB_ = nullptr;
    QToolButton* dbfEraseSB_ = nullptr;
    QLabel* timeP_ = nullptr;

    // Live panels.
    QFrame* hP_[2] = {nullptr, nullptr};
    LampShape* sigNetS_[2] = {nullptr, nullptr};
    QLabel* hNameL_[2] = {nullptr, nullptr};
    QLabel* hValueST_[2] = {nullptr, nullptr};
    QLabel* hUnitL_[2] = {nullptr, nullptr};
    LiveTrendPanel* liveTrend_ = nullptr;

    QMdiArea* mdiArea_ = nullptr;
    QTimer* timer1_ = nullptr;

    TFADbf* viewer_ = nullptr;
    QMdiSubWindow* viewerWindow_ = nullptr;
    std::unique_ptr<QtAnswerer> answerer_;
    bool downloading_ = false;
    PortStatus* portStatus_ = nullptr;  // the status bar's port and logger state
};

// Lamp colours of the live display.
inline const QColor kLampReading{0, 255, 0};  // lime, while a reading runs
inline const QColor kLampGood{0, 128, 0};     // green
inline const QColor kLampFailed{255, 0, 0};   // red
inline const QColor kValueGood{0, 0, 128};    // navy
inline const QColor kValueFailed{255, 0, 0};  // red

// Days since 1899-12-30 of a local date and time, the fraction being the
// time of day.
double ToDateTimeValue(const QDateTime& t);

}  // namespace kolvex::ui
