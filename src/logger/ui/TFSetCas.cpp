// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/ui/TFSetCas.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <cmath>
#include <optional>

#include "base/ui/DialogKit.h"
#include "base/AuditTrail.h"
#include "base/DateTime.h"
#include "logger/LoggerAudit.h"
#include "logger/ServiceViews.h"

namespace kolvex::ui {

namespace {
constexpr int kHelpContext = 1120;
constexpr int kDialogHelpContext = 1210;

}  // namespace

TFSetCas::TFSetCas(kolvex::LoggerContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFSetCas"));
    Hooks = DefaultDialogHooks(this);
    Now = [] { return NowLocal(); };

    casGb_ = new QGroupBox(this);
    casGb_->setObjectName(QStringLiteral("Cas_GB"));
    dlePc_ = new QCheckBox(casGb_);
    dlePc_->setObjectName(QStringLiteral("dlePC_ChB"));
    timeL_ = new QLabel(casGb_);
    timeL_->setObjectName(QStringLiteral("Time_L"));
    time_ = new QTimeEdit(casGb_);
    time_->setObjectName(QStringLiteral("DTPTime"));
    time_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    dateL_ = new QLabel(casGb_);
    dateL_->setObjectName(QStringLiteral("Date_L"));
    date_ = new QDateEdit(casGb_);
    date_->setObjectName(QStringLiteral("DTPDate"));
    // The short date format of the program's language, with a four-digit
    // year so that the year check can be met by what the picker shows.
    date_->setDisplayFormat(ProgramShortDateFormat());
    date_->setCalendarPopup(true);
    UseProgramLocale(date_);
    UseProgramLocale(time_);
    date_->setMinimumDate(QDate(1900, 1, 1));
    timeL_->setBuddy(time_);
    dateL_->setBuddy(date_);
    warning_ = new QLabel(casGb_);
    warning_->setObjectName(QStringLiteral("CasChyba_L"));
    warning_->setWordWrap(true);
    warning_->setMinimumWidth(240);
    QPalette warn = warning_->palette();
    warn.setColor(QPalette::WindowText, QColor(176, 0, 0));
    warning_->setPalette(warn);
    warning_->hide();

    auto* casGrid = new QGridLayout(casGb_);
    casGrid->addWidget(dlePc_, 0, 0, 1, 2);
    casGrid->addWidget(timeL_, 1, 0);
    casGrid->addWidget(time_, 1, 1);
    casGrid->addWidget(dateL_, 2, 0);
    casGrid->addWidget(date_, 2, 1);
    casGrid->addWidget(warning_, 3, 0, 1, 2);
    drift_ = new QLabel(casGb_);
    drift_->setObjectName(QStringLiteral("Drift_L"));
    driftLimitL_ = new QLabel(casGb_);
    driftLimitL_->setObjectName(QStringLiteral("DriftLimit_L"));
    driftLimit_ = new QSpinBox(casGb_);
    driftLimit_->setObjectName(QStringLiteral("DriftLimit_SE"));
    driftLimit_->setRange(0, 86400);
    driftLimit_->setSuffix(QStringLiteral(" s"));
    driftLimit_->setValue(DriftLimitSeconds());
    driftLimitL_->setBuddy(driftLimit_);
    casGrid->addWidget(drift_, 4, 0, 1, 2);
    casGrid->addWidget(driftLimitL_, 5, 0);
    casGrid->addWidget(driftLimit_, 5, 1);
    casGrid->setColumnStretch(1, 1);

    komGb_ = new QGroupBox(this);
    komGb_->setObjectName(QStringLiteral("KomQUEND_GB"));
    adrL_ = new QLabel(komGb_);
    adrL_->setObjectName(QStringLiteral("AdrQUEND_L"));
    adr_ = new QSpinBox(komGb_);
    adr_->setObjectName(QStringLiteral("EAdrQUEND"));
    adr_->setRange(0, 255);
    auto* komRow = new QHBoxLayout(komGb_);
    komRow->addWidget(adrL_);
    komRow->addWidget(adr_);
    komRow->addStretch();

    setUp_ = MakeButton(this, "SetUp_BB", QStyle::SP_DialogApplyButton);
    close_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    help_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);

    auto* top = new QVBoxLayout(this);
    top->addWidget(casGb_);
    top->addWidget(komGb_);
    top->addSpacing(8);
    top->addLayout(FootRow(this, help_, kHelpContext, {setUp_}, close_));
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(setUp_, &QPushButton::clicked, this, &TFSetCas::SetUp_BBClick);
    ApplyCaptions();
}

void TFSetCas::ApplyCaptions() {
    setWindowTitle(Tx("QUENDAL - nastavení času", "QUENDAL  time set-up"));
    casGb_->setTitle(Tx("Čas a datum", "Date time"));
    dlePc_->setText(Tx("Nastavit podle PC", "according to PC"));
    dlePc_->setToolTip(QStringLiteral("Nastavení času a datumu podle času PC"));  // one text in both languages
    timeL_->setText(Tx("Čas", "Time"));
    dateL_->setText(Tx("Datum", "Date"));
    komGb_->setTitle(Tx("Komunikace", "Communication"));
    adrL_->setText(Tx("Adresa", "Address"));
    help_->setText(Tx("&Nápověda", "&Help"));
    setUp_->setText(Tx("&Nastavit", "&Set-up"));
    close_->setText(Tx("&Zavřít", "&Cloae"));
    warning_->setText(Q(InvalidClockWarning(clock_, CurrentLanguage())));
    driftLimitL_->setText(Tx("Upozornit při odchylce nad", "Warn when off by more than"));
    driftLimit_->setToolTip(Tx("Čtení archivace upozorní, když se hodiny záznamníku liší od PC víc než o tolik sekund",
                               "A download warns when the logger's clock differs from the PC's by more than this"));
    ShowDrift();
}

void TFSetCas::ShowDrift() {
    drift_->setVisible(readAt_ != 0 && clockValid_);
    if (readAt_ == 0 || !clockValid_) return;
    const long long s = std::llround((remembered_ - readAt_) * 86400.0);
    drift_->setText(Tx("Odchylka proti PC: ", "Drift against the PC: ") +
                    QString::fromStdString((s > 0 ? "+" : "") + std::to_string(s)) + QStringLiteral(" s"));
}

void TFSetCas::OpenSequence() {
    const LoggerClock clock = ctx_.Ops.ReadClock();
    clock_ = clock;
    clockValid_ = ClockValid(clock);
    // An impossible clock is named as the logger holds it; the pickers then
    // start from 1 January 2001.
    warning_->setText(Q(InvalidClockWarning(clock, CurrentLanguage())));
    warning_->setVisible(!clockValid_);
    remembered_ = ClockToDateTime(clock);
    readAt_ = Now ? Now() : NowLocal();
    ShowDrift();
    const DateTimeParts p = DecodeDateTime(remembered_);
    time_->setTime(QTime(p.Hour, p.Minute, p.Second, 0));
    date_->setDate(QDate(p.Year, p.Month, p.Day));
    dlePc_->setChecked(ctx_.Config.SetClockFromPC != 0);
    adr_->setValue(ctx_.Port.LoggerAddress);
    komGb_->hide();
    adrL_->hide();
    adr_->hide();
}

void TFSetCas::Store() {
    double t = 0;
    if (dlePc_->isChecked()) {
        t = Now();
    } else {
        const QDate d = date_->date();
        const QTime tm = time_->time();
        t = TryEncodeDateTime(d.year(), d.month(), d.day(), tm.hour(), tm.minute(), tm.second(), tm.msec())
                .value_or(0.0);
        // Untouched pickers: the logger's clock runs on, it is not written;
        // one that holds no valid date is offered the PC's clock instead.
        if (t == remembered_) t = 0;
        if (t == 0 && !clockValid_ && Hooks.Ask(Q(InvalidClockQuestion(CurrentLanguage())), Answer::Yes)) t = Now();
    }
    std::optional<double> oldClock;
    if (t != 0) {
        ctx_.Ops.WriteClock(DateTimeToClock(t));  // ESetCas outside 2000..2099
        // The logger's time before: as read when the dialog opened, run on since.
        if (clockValid_) oldClock = remembered_ + ((Now ? Now() : NowLocal()) - readAt_);
        clockValid_ = true;
    }
    const auto address = static_cast<std::uint8_t>(adr_->value());
    try {
        ctx_.Ops.WriteLoggerAddress(address);
    } catch (...) {
        // The clock is set all the same: its entry goes in before the error shows.
        if (t != 0) (void)WriteAuditReporting(ClockSetEvent(ctx_.Logger.Image, oldClock, t, dlePc_->isChecked() ? "pc" : "entered"));
        throw;
    }
    ctx_.Port.LoggerAddress = address;
    ctx_.Config.BusAddress = address;
    ctx_.Config.SetClockFromPC = dlePc_->isChecked() ? 1 : 0;
    if (driftLimit_->value() != DriftLimitSeconds()) {
        SetDriftLimitSeconds(driftLimit_->value());
        if (!ctx_.ConfigPath.empty()) (void)SaveDriftLimit(ClockSettingsPath(ctx_.ConfigPath), driftLimit_->value());
    }
    // The set clock in the audit trail before the dialog reports it done.
    if (t != 0) AuditClockSet(ctx_.Logger.Image, oldClock, t, dlePc_->isChecked() ? "pc" : "entered");
}

void TFSetCas::SetUp_BBClick() {
    try {
        Store();
    } catch (const std::exception& e) {
        Hooks.Error(e);
        return;
    }
    accept();
}

void TFSetCas::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) ApplyCaptions();
    QDialog::changeEvent(event);
}

void TFSetCas::keyPressEvent(QKeyEvent* event) {
    if (!HelpKey(this, event, kDialogHelpContext)) QDialog::keyPressEvent(event);
}

}  // namespace kolvex::ui
