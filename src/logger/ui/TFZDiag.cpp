// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/ui/TFZDiag.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "base/ui/DialogKit.h"
#include "link/LinkTrace.h"
#include "logger/ServiceViews.h"

namespace kolvex::ui {

namespace {
constexpr int kHelpContext = 1220;
const QColor kIndicatorOk{0, 255, 0};   // lime
const QColor kIndicatorErr{255, 0, 0};  // red

QLabel* MakeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QLabel* MakeIndicator(QWidget* parent, const char* name) {
    auto* l = MakeLabel(parent, name);
    l->setAlignment(Qt::AlignCenter);
    l->setAutoFillBackground(true);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(64);
    return l;
}

void ShowFlag(QLabel* l, bool err) {
    l->setText(err ? QStringLiteral("Err") : QStringLiteral("OK"));
    QPalette pal = l->palette();
    pal.setColor(QPalette::Window, err ? kIndicatorErr : kIndicatorOk);
    pal.setColor(QPalette::WindowText, Qt::black);
    l->setPalette(pal);
}
}  // namespace

TFZDiag::TFZDiag(kolvex::LoggerContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFZDiag"));
    Hooks = DefaultDialogHooks(this);
    if (LanguageValue() > 1 || ctx_.Config.Language > 1) {
        SetLanguage(0);
        ctx_.Config.Language = 0;
    }
    status_ = MakeLabel(this, "Status_L");
    QFont bold = status_->font();
    bold.setBold(true);
    status_->setFont(bold);
    status_->setAlignment(Qt::AlignCenter);
    actual_ = MakeLabel(this, "Actual_L");
    history_ = MakeLabel(this, "History_L");
    actual_->setAlignment(Qt::AlignCenter);
    history_->setAlignment(Qt::AlignCenter);
    battDisch_ = MakeLabel(this, "BattDisch_L");
    alarm1Low_ = MakeLabel(this, "Alarm1Low_L");
    alarm1High_ = MakeLabel(this, "Alarm1High_L");
    alarm2Low_ = MakeLabel(this, "Alarm2Low_L");
    alarm2High_ = MakeLabel(this, "Alarm2High_L");
    batteryVoltage_ = MakeLabel(this, "BatteryVoltage_L");
    const char* nowNames[5] = {"LBatA", "LAl1LoA", "LAl1HiA", "LAl2LoA", "LAl2HiA"};
    const char* histNames[5] = {"LBatH", "LAl1LoH", "LAl1HiH", "LAl2LoH", "LAl2HiH"};
    for (int i = 0; i < 5; ++i) {
        now_[i] = MakeIndicator(this, nowNames[i]);
        hist_[i] = MakeIndicator(this, histNames[i]);
    }
    uBatA_ = MakeIndicator(this, "UBatA_ST");
    uBatH_ = MakeIndicator(this, "UBatH_ST");
    uBatA_->setAutoFillBackground(false);
    uBatH_->setAutoFillBackground(false);
    read_ = MakeButton(this, "Read_BB", QStyle::SP_BrowserReload);
    clear_ = MakeButton(this, "Clear_BB", QStyle::SP_DialogResetButton);
    close_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    help_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);
    // Off by default; a record once started runs on after the dialog closes,
    // so that a failing download can be recorded, until it is switched off.
    trace_ = new QCheckBox(this);
    trace_->setObjectName(QStringLiteral("Trace_ChB"));
    traceFile_ = MakeLabel(this, "TraceFile_L");
    traceFile_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ChooseTraceFile = [this] {
        return QFileDialog::getSaveFileName(this, trace_->text().remove(QLatin1Char('&')),
                                            QStringLiteral("kolvex12-trace.txt"),
                                            Tx("Text (*.txt);;Všechny soubory (*)", "Text (*.txt);;All files (*)"));
    };

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->addWidget(status_, 0, 0, 1, 3);
    grid->addWidget(actual_, 1, 1);
    grid->addWidget(history_, 1, 2);
    QLabel* rows[5] = {battDisch_, alarm1Low_, alarm1High_, alarm2Low_, alarm2High_};
    for (int i = 0; i < 5; ++i) {
        grid->addWidget(rows[i], i + 2, 0);
        grid->addWidget(now_[i], i + 2, 1);
        grid->addWidget(hist_[i], i + 2, 2);
    }
    grid->addWidget(batteryVoltage_, 7, 0);
    grid->addWidget(uBatA_, 7, 1);
    grid->addWidget(uBatH_, 7, 2);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addSpacing(8);
    top->addWidget(trace_);
    top->addWidget(traceFile_);
    top->addLayout(FootRow(this, help_, kHelpContext, {read_, clear_}, close_));
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(read_, &QPushButton::clicked, this, &TFZDiag::Read_BBClick);
    connect(clear_, &QPushButton::clicked, this, &TFZDiag::Clear_BBClick);
    connect(trace_, &QCheckBox::clicked, this, &TFZDiag::Trace_ChBClick);
    ApplyCaptions();
}

void TFZDiag::ApplyCaptions() {
    setWindowTitle(Tx("QUENDAL diagnostika", "QUENDAL diagnostics"));
    status_->setText(Tx("S t a v", "S t a t u s"));
    actual_->setText(Tx("Aktuální", "Current"));
    history_->setText(Tx("Historie", "History"));
    battDisch_->setText(Tx("Vybitá baterie", "Battery discharged"));
    alarm1Low_->setText(Tx("Podkročení alarmu 1", "Alarm1 low"));
    alarm1High_->setText(Tx("Překročení alarmu 1", "Alarm1 high"));
    alarm2Low_->setText(Tx("Podkročení alarmu 2", "Alarm2 low"));
    alarm2High_->setText(Tx("Překročení alarmu 2", "Alarm2 high"));
    batteryVoltage_->setText(Tx("Napětí baterie", "Battery voltage"));
    help_->setText(Tx("&Nápověda", "&Help"));
    clear_->setText(Tx("&Nulovat", "&Clear"));
    read_->setText(Tx("&Přečíst", "&Read"));
    close_->setText(Tx("&Zavřít", "&Close"));
    trace_->setText(Tx("Zaznamenávat komunikaci…", "Record the communication…"));
    trace_->setToolTip(Tx("Každý odeslaný a přijatý rámec se zapíše do textového souboru pro technickou podporu",
                          "Every frame sent and received is written to a text file for a support request"));
    ShowTraceState();
}

void TFZDiag::ShowTraceState() {
    const LinkTrace* t = CurrentLinkTrace();
    trace_->setChecked(t != nullptr);
    traceFile_->setVisible(t != nullptr);
    if (t) traceFile_->setText(Tx("Záznam: ", "Recording to: ") + Q(t->Path()));
}

void TFZDiag::Trace_ChBClick(bool on) {
    try {
        if (on) {
            const QString path = ChooseTraceFile ? ChooseTraceFile() : QString();
            if (!path.isEmpty()) {
                StartLinkTrace(path.toStdString());
                CurrentLinkTrace()->Note("port", ctx_.Port.SettingsText());
            }
        } else {
            StopLinkTrace();
        }
    } catch (const std::exception& e) {
        Hooks.Error(e);
    }
    ShowTraceState();
}

void TFZDiag::OpenSequence() {
    ctx_.Ops.ReadLoggerType();
    const bool voltage = ctx_.Logger.Image.TypeByte() > 3;
    batteryVoltage_->setVisible(voltage);
    uBatA_->setVisible(voltage);
    uBatH_->setVisible(voltage);
    ReadStep();
}

void TFZDiag::ReadStep() {
    const DiagnosticState d = ctx_.Ops.ReadDiagnostics();
    const DiagnosticView v = ViewDiagnostics(d);
    const bool nowFlags[5] = {v.BatteryNow, v.Alarm1LowNow, v.Alarm1HighNow, v.Alarm2LowNow, v.Alarm2HighNow};
    const bool histFlags[5] = {v.BatteryHistory, v.Alarm1LowHistory, v.Alarm1HighHistory, v.Alarm2LowHistory,
                               v.Alarm2HighHistory};
    for (int i = 0; i < 5; ++i) {
        ShowFlag(now_[i], nowFlags[i]);
        ShowFlag(hist_[i], histFlags[i]);
    }
    uBatA_->setText(Q(FormatBatteryVoltage(d.BatteryVoltageNow)));
    uBatH_->setText(Q(FormatBatteryVoltage(d.BatteryVoltageHistory)));
}

void TFZDiag::Read_BBClick() {
    try {
        ReadStep();
    } catch (const std::exception& e) {
        Hooks.Error(e);
    }
}

void TFZDiag::Clear_BBClick() {
    try {
        ctx_.Ops.ClearDiagnostics();
        ReadStep();
    } catch (const std::exception& e) {
        Hooks.Error(e);
    }
}

void TFZDiag::keyPressEvent(QKeyEvent* event) {
    if (!HelpKey(this, event, kHelpContext)) QDialog::keyPressEvent(event);
}

}  // namespace kolvex::ui
