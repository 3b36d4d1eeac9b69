// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/ui/TFAParama.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/ui/DialogKit.h"
#include "base/ui/TSpinFEdit.h"
#include "logger/Conversion.h"

namespace kolvex::ui {

namespace {

constexpr int kHelpContext = 1310;
constexpr int kDialogHelpContext = 1210;
constexpr int kFieldWidth = 84;

// "Vst%dX" style names with the input number filled in.
QString Name(const char* pattern, int n) { return QString::asprintf(pattern, n + 1); }
QString Name(const char* pattern, int n, int k) { return QString::asprintf(pattern, n + 1, k); }

template <typename W>
W* Make(QWidget* parent, const QString& name) {
    auto* w = new W(parent);
    w->setObjectName(name);
    return w;
}

QLineEdit* MakeEdit(QWidget* parent, const QString& name, int maxLength, bool readOnly = false) {
    auto* e = Make<QLineEdit>(parent, name);
    if (maxLength > 0) e->setMaxLength(maxLength);
    e->setReadOnly(readOnly);
    return e;
}

TSpinFEdit* MakeSpin(QWidget* parent, const QString& name, int digits) {
    auto* s = Make<TSpinFEdit>(parent, name);
    s->SetDigits(digits);
    s->SetIncrement(1.0f);
    // The logger's own setting is shown even when it lies beyond the range.
    s->SetShowBeyondRange(true);
    s->setMinimumWidth(kFieldWidth);
    return s;
}

void SetSpin(TSpinFEdit* s, double min, double max, double value) {
    s->SetMinValue(static_cast<float>(min));
    s->SetMaxValue(static_cast<float>(max));
    s->SetValue(static_cast<float>(value));
}

void SetLimits(TSpinFEdit* s, double min, double max) {
    s->SetMinValue(static_cast<float>(min));
    s->SetMaxValue(static_cast<float>(max));
}

// A control whose value the logger fixes: disabled, on the button-face colour.
void SetFixed(QWidget* w, bool fixed) {
    w->setEnabled(!fixed);
    QPalette pal = w->palette();
    if (fixed) {
        pal.setColor(QPalette::Base, pal.color(QPalette::Button));
        pal.setColor(QPalette::Disabled, QPalette::Base, pal.color(QPalette::Button));
    } else {
        pal.setColor(QPalette::Base, w->style()->standardPalette().color(QPalette::Base));
    }
    w->setPalette(pal);
}

// A page's grid: a caption column, two value columns and a unit column.
// One row of a page: the caption, the low and high field, the unit (any may be null).
void AddRow(QGridLayout* g, int row, QWidget* label, QWidget* lo, QWidget* hi, QWidget* unit) {
    if (label) g->addWidget(label, row, 0);
    if (lo) g->addWidget(lo, row, 1);
    if (hi) g->addWidget(hi, row, 2);
    if (unit) g->addWidget(unit, row, 3);
}

QGridLayout* PageGrid(QWidget* page) {
    auto* g = new QGridLayout(page);
    // Flush with the tab's heading above the page book.
    g->setContentsMargins(0, 6, 0, 0);
    g->setHorizontalSpacing(10);
    g->setVerticalSpacing(8);
    g->setColumnMinimumWidth(1, kFieldWidth);
    g->setColumnMinimumWidth(2, kFieldWidth);
    g->setColumnMinimumWidth(3, 40);
    g->setColumnStretch(4, 1);
    return g;
}

// One row of limits on an input page (any part may be null).
struct PageRow {
    QWidget* Label;
    QWidget* Low;
    QWidget* High;
    QWidget* Unit;
};

// Lays an input page out: the input's name across the two value columns,
// then the page's rows, then the stretch.
void LayOutInputPage(QWidget* page, QWidget* nameLabel, QWidget* name, std::initializer_list<PageRow> rows) {
    QGridLayout* g = PageGrid(page);
    g->addWidget(nameLabel, 0, 0);
    g->addWidget(name, 0, 1, 1, 2);
    int row = 1;
    for (const PageRow& r : rows) AddRow(g, row++, r.Label, r.Low, r.High, r.Unit);
    g->setRowStretch(row, 1);
}

}  // namespace

TFAParama::TFAParama(kolvex::LoggerContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFAParama"));
    Hooks = DefaultDialogHooks(this);

    tabs_ = Make<QTabWidget>(this, QStringLiteral("Parametry_TB"));
    tabs_->addTab(BuildArchiveTab(), QString());
    tabs_->addTab(BuildInputTab(0), QString());
    tabs_->addTab(BuildInputTab(1), QString());

    help_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);
    setUp_ = MakeButton(this, "SetUp_BB", QStyle::SP_DialogApplyButton);
    close_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    auto* top = new QVBoxLayout(this);
    top->addWidget(tabs_);
    top->addLayout(FootRow(this, help_, kHelpContext, {setUp_}, close_));
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(setUp_, &QPushButton::clicked, this, &TFAParama::SetUp_BBClick);
    ApplyCaptions();
}

// ---- building the tabs --------------------------------------------------------

QWidget* TFAParama::BuildArchiveTab() {
    auto* tab = new QWidget;
    nazevMereniL_ = Make<QLabel>(tab, QStringLiteral("NazevMereni_L"));
    nazevMereni_ = MakeEdit(tab, QStringLiteral("NazevMereni_E"), 16);
    nazevSouborL_ = Make<QLabel>(tab, QStringLiteral("NazevSoubor_L"));
    soubor_ = MakeEdit(tab, QStringLiteral("Soubor_E"), 8);
    periodaL_ = Make<QLabel>(tab, QStringLiteral("Perioda_L"));
    perioda_ = MakeEdit(tab, QStringLiteral("Perioda_E"), 0, true);
    perioda_->setFixedWidth(kFieldWidth);
    nazevMereniL_->setBuddy(nazevMereni_);
    nazevSouborL_->setBuddy(soubor_);

    // The period spinner: a pair of arrow buttons beside the period text.
    periodaSb_ = Make<QWidget>(tab, QStringLiteral("Perioda_SB"));
    periodaUp_ = Make<QToolButton>(periodaSb_, QStringLiteral("Perioda_SB_Up"));
    periodaDown_ = Make<QToolButton>(periodaSb_, QStringLiteral("Perioda_SB_Down"));
    periodaUp_->setArrowType(Qt::UpArrow);
    periodaDown_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {periodaUp_, periodaDown_}) {
        b->setFixedSize(18, 12);
        b->setAutoRepeat(true);
    }
    auto* sbLayout = new QVBoxLayout(periodaSb_);
    sbLayout->setContentsMargins(0, 0, 0, 0);
    sbLayout->setSpacing(0);
    sbLayout->addWidget(periodaUp_);
    sbLayout->addWidget(periodaDown_);
    connect(periodaUp_, &QToolButton::clicked, this, &TFAParama::Perioda_SBUpClick);
    connect(periodaDown_, &QToolButton::clicked, this, &TFAParama::Perioda_SBDownClick);

    cyklicky_ = Make<QCheckBox>(tab, QStringLiteral("Cyklicky_ChB"));

    ukladani_ = Make<QGroupBox>(tab, QStringLiteral("Ukladani_GB"));
    hodn1_ = Make<QCheckBox>(ukladani_, QStringLiteral("Hodn1_ChB"));
    hodn2_ = Make<QCheckBox>(ukladani_, QStringLiteral("Hodn2_ChB"));
    auto* ukl = new QVBoxLayout(ukladani_);
    ukl->addWidget(hodn1_);
    ukl->addWidget(hodn2_);
    ukl->addStretch();

    presnost_ = Make<QGroupBox>(tab, QStringLiteral("Presnost_RG"));
    presnost0_ = Make<QRadioButton>(presnost_, QStringLiteral("Presnost_RG_0"));
    presnost1_ = Make<QRadioButton>(presnost_, QStringLiteral("Presnost_RG_1"));
    presnost0_->setChecked(true);
    auto* pr = new QVBoxLayout(presnost_);
    pr->addWidget(presnost0_);
    pr->addWidget(presnost1_);
    pr->addStretch();

    auto* grid = new QGridLayout(tab);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(nazevMereniL_, 0, 0);
    grid->addWidget(nazevMereni_, 0, 1, 1, 2);
    grid->addWidget(nazevSouborL_, 1, 0);
    grid->addWidget(soubor_, 1, 1);
    grid->addWidget(periodaL_, 2, 0);
    auto* periodRow = new QHBoxLayout;
    periodRow->setSpacing(2);
    periodRow->addWidget(perioda_);
    periodRow->addWidget(periodaSb_);
    periodRow->addStretch();
    grid->addLayout(periodRow, 2, 1);
    grid->addWidget(cyklicky_, 3, 1, 1, 2);
    auto* groups = new QHBoxLayout;
    groups->addWidget(ukladani_);
    groups->addWidget(presnost_);
    grid->addLayout(groups, 4, 0, 1, 3);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(2, 1);
    return tab;
}

QWidget* TFAParama::BuildInputTab(int n) {
    InputControls& c = in_[n];
    auto* tab = new QWidget;
    c.tab = tab;
    c.heading = Make<QLabel>(tab, Name("Vstup%dNazev_L", n));
    QFont bold = c.heading->font();
    bold.setBold(true);
    c.heading->setFont(bold);
    c.alarm = Make<QCheckBox>(tab, Name("Vstup%dAlarm_ChB", n));
    c.alarm->hide();  // shown by the page set-up when the logger offers it
    c.book = Make<QStackedWidget>(tab, Name("Vstup%d_N", n));
    c.book->addWidget(Make<QWidget>(c.book, Name("Vstup%dUnused_P", n)));
    c.book->addWidget(BuildTemperaturePage(n));
    c.book->addWidget(BuildCurrentPage(n));
    c.book->addWidget(BuildHumidityPage(n));

    auto* v = new QVBoxLayout(tab);
    auto* head = new QHBoxLayout;
    head->addWidget(c.heading);
    head->addStretch();
    head->addWidget(c.alarm);
    v->addLayout(head);
    v->addWidget(c.book);
    v->addStretch();
    return tab;
}

// An input page with the captions every kind has: the name, the unit (the
// temperature and current pages), the range, the record and the alarm; `k` is
// the kind's place among the pages.
QWidget* TFAParama::StartInputPage(int n, int k, const char* pageName) {
    InputControls& c = in_[n];
    auto* page = Make<QWidget>(nullptr, Name(pageName, n));
    c.nameL[k] = Make<QLabel>(page, Name("Vstup%dNazev%d_L", n, k + 1));
    if (k < 2) c.unitL[k] = Make<QLabel>(page, Name("Vstup%dJedn%d_L", n, k + 1));
    c.rangeL[k] = Make<QLabel>(page, Name("Vstup%dRozsah%d_L", n, k + 1));
    c.recordL[k] = Make<QLabel>(page, Name("Vstup%dZaznam%d_L", n, k + 1));
    c.alarmL[k] = Make<QLabel>(page, Name("Vstup%dAlarm%d_L", n, k + 1));
    return page;
}

QWidget* TFAParama::BuildTemperaturePage(int n) {
    InputControls& c = in_[n];
    QWidget* page = StartInputPage(n, 0, "Vstup%dTeplota_P");
    c.tName = MakeEdit(page, Name("Vst%dTNazev_E", n), 12);
    c.tUnit = Make<QComboBox>(page, n == 0 ? QStringLiteral("Vst1TJedn_CB") : QStringLiteral("CBVst2TJedn"));
    for (TempUnit u : {TempUnit::Celsius, TempUnit::Fahrenheit, TempUnit::Kelvin}) c.tUnit->addItem(Q(TempUnitText(u)));
    c.tUnitR = Make<QLabel>(page, Name("Vst%dTJednR_L", n));
    c.tUnitZ = Make<QLabel>(page, Name("Vst%dTJednZ_L", n));
    c.tUnitA = Make<QLabel>(page, Name("Vst%dTJednA_L", n));
    c.tRangeLo = MakeEdit(page, Name("Vst%dTRozsLo_E", n), 0, true);
    c.tRangeHi = MakeEdit(page, Name("Vst%dTRozsHi_E", n), 0, true);
    c.tRecLo = MakeSpin(page, Name("Vst%dTZaznLo_SFE", n), 0);
    c.tRecHi = MakeSpin(page, Name("Vst%dTZaznHi_SFE", n), 0);
    c.tAlarmLo = MakeSpin(page, Name("Vst%dTAlarmLo_SFE", n), 0);
    c.tAlarmHi = MakeSpin(page, Name("Vst%dTAlarmHi_SFE", n), 0);
    for (QLineEdit* e : {c.tRangeLo, c.tRangeHi}) e->setFixedWidth(kFieldWidth);

    LayOutInputPage(page, c.nameL[0], c.tName,
                    {{c.unitL[0], c.tUnit, nullptr, nullptr},
                     {c.rangeL[0], c.tRangeLo, c.tRangeHi, c.tUnitR},
                     {c.recordL[0], c.tRecLo, c.tRecHi, c.tUnitZ},
                     {c.alarmL[0], c.tAlarmLo, c.tAlarmHi, c.tUnitA}});

    connect(c.tUnit, &QComboBox::currentIndexChanged, this, [this, n](int) { TemperatureUnitChanged(n); });
    return page;
}

QWidget* TFAParama::BuildCurrentPage(int n) {
    InputControls& c = in_[n];
    QWidget* page = StartInputPage(n, 1, "Vstup%dProud_P");
    c.iName = MakeEdit(page, Name("Vst%dINazev_E", n), 12);
    c.iUnit = MakeEdit(page, Name("Vst%dIJedn_E", n), 4);
    c.iUnit->setFixedWidth(kFieldWidth);
    c.iUnitR = Make<QLabel>(page, Name("Vst%dIJednR_L", n));
    c.iUnitZ = Make<QLabel>(page, Name("Vst%dIJednZ_L", n));
    c.iUnitA = Make<QLabel>(page, Name("Vst%dIJednA_L", n));
    c.iSignal = Make<QLabel>(page, Name("Vst%dImA_L", n));
    c.iSignal->setText(QStringLiteral("mA"));
    c.iSigLo = MakeSpin(page, Name("Vst%dImALo_SFE", n), 0);
    c.iSigHi = MakeSpin(page, Name("Vst%dImAHi_SFE", n), 0);
    c.iRangeLo = MakeSpin(page, Name("Vst%dIRozsLo_SFE", n), 1);
    c.iRangeHi = MakeSpin(page, Name("Vst%dIRozsHi_SFE", n), 1);
    c.iRecLo = MakeSpin(page, Name("Vst%dIZaznLo_SFE", n), 1);
    c.iRecHi = MakeSpin(page, Name("Vst%dIZaznHi_SFE", n), 1);
    c.iAlarmLo = MakeSpin(page, Name("Vst%dIAlarmLo_SFE", n), 1);
    c.iAlarmHi = MakeSpin(page, Name("Vst%dIAlarmHi_SFE", n), 1);

    LayOutInputPage(page, c.nameL[1], c.iName,
                    {{c.unitL[1], c.iUnit, nullptr, nullptr},
                     {c.rangeL[1], c.iSigLo, c.iSigHi, c.iSignal},
                     {nullptr, c.iRangeLo, c.iRangeHi, c.iUnitR},
                     {c.recordL[1], c.iRecLo, c.iRecHi, c.iUnitZ},
                     {c.alarmL[1], c.iAlarmLo, c.iAlarmHi, c.iUnitA}});

    connect(c.iUnit, &QLineEdit::editingFinished, this, [this, n] {
        const QString unit = in_[n].iUnit->text();
        for (QLabel* l : {in_[n].iUnitR, in_[n].iUnitZ, in_[n].iUnitA}) l->setText(unit);
    });
    for (TSpinFEdit* s : {c.iSigLo, c.iSigHi, c.iRangeLo, c.iRangeHi})
        connect(s, &TSpinFEdit::editingFinishedValue, this, [this, n] { CurrentLimitsUpdate(n); });
    return page;
}

QWidget* TFAParama::BuildHumidityPage(int n) {
    InputControls& c = in_[n];
    QWidget* page = StartInputPage(n, 2, "Vstup%dVlhkost_P");
    const bool first = n == 0;
    c.hName = MakeEdit(page, first ? QStringLiteral("Vst1HNazev_E") : QStringLiteral("EVst2HNazev"), 12);
    c.hUnit = MakeEdit(page, first ? QStringLiteral("Vst1HJedn_E") : QStringLiteral("EVst2HJedn"), 0, true);
    c.hRangeLo = MakeEdit(page, first ? QStringLiteral("Vst1HRozsLo_E") : QStringLiteral("EVst2HRozsLo"), 0, true);
    c.hRangeHi = MakeEdit(page, first ? QStringLiteral("Vst1HRozsHi_E") : QStringLiteral("EVst2HRozsHi"), 0, true);
    c.hRecLo = MakeSpin(page, Name("Vst%dHZaznLo_SFE", n), 0);
    c.hRecHi = MakeSpin(page, Name("Vst%dHZaznHi_SFE", n), 0);
    c.hAlarmLo = MakeSpin(page, Name("Vst%dHAlarmLo_SFE", n), 0);
    c.hAlarmHi = MakeSpin(page, Name("Vst%dHAlarmHi_SFE", n), 0);
    for (QLineEdit* e : {c.hRangeLo, c.hRangeHi}) e->setFixedWidth(kFieldWidth);
    c.hUnit->setFixedWidth(48);

    LayOutInputPage(page, c.nameL[2], c.hName,
                    {{c.rangeL[2], c.hRangeLo, c.hRangeHi, c.hUnit},
                     {c.recordL[2], c.hRecLo, c.hRecHi, nullptr},
                     {c.alarmL[2], c.hAlarmLo, c.hAlarmHi, nullptr}});
    return page;
}

// ---- captions -----------------------------------------------------------------

void TFAParama::ApplyCaptions() {
    setWindowTitle(Tx("Quendal - parametry archivace", "Quendal - archiving parameters"));
    tabs_->setTabText(0, Tx("Archivace", "Archiving"));
    tabs_->setTabText(1, Tx("Vstup 1", "Input 1"));
    tabs_->setTabText(2, Tx("Vstup 2", "Input 2"));
    nazevMereniL_->setText(Tx("Jméno přístroje", "Quendal name"));
    nazevSouborL_->setText(Tx("Jméno souboru", "File name"));
    periodaL_->setText(Tx("Perioda", "Period"));
    cyklicky_->setText(Tx("Cyklicky", "Cylic"));
    ukladani_->setTitle(Tx("Ukládání", "Recording"));
    hodn1_->setText(Tx("Vstup 1", "Input 1"));
    hodn2_->setText(Tx("Vstup 2", "Input 2"));
    presnost_->setTitle(Tx("Přesnost", "Accuracy"));
    presnost0_->setText(Tx("Normální", "Standard"));
    presnost1_->setText(Tx("Zvýšená", "Increased"));
    for (InputControls& c : in_) {
        c.heading->setText(Tx("Nepoužito", "Unused"));  // the type name replaces it on opening
        c.alarm->setText(Tx("Signalizace alarmu", "Alarm indication"));
        for (QLabel* l : c.nameL) l->setText(Tx("Jméno vstupu", "Input name"));
        for (QLabel* l : c.unitL) l->setText(Tx("Jednotka", "Unit"));
        for (QLabel* l : c.rangeL) l->setText(Tx("Rozsah", "Range"));
        for (QLabel* l : c.recordL) l->setText(Tx("Záznam", "Record"));
        for (QLabel* l : c.alarmL) l->setText(Tx("Alarm", "Alarm"));
    }
    help_->setText(Tx("&Nápověda", "&Help"));
    setUp_->setText(Tx("&Nastavit", "&Set-up"));
    close_->setText(Tx("&Zavřít", "&Close"));
    const QString beyond = Tx("Hodnota přístroje leží mimo rozsah %1 až %2; zůstane zachována, dokud ji nezměníte",
                              "The logger's value lies outside the range %1 to %2; it is kept unless you change it");
    for (TSpinFEdit* s : findChildren<TSpinFEdit*>()) s->SetBeyondRangeHint(beyond);

    // The spin edits stand in rows under shared labels: a screen reader hears
    // which input, which quantity and which end each one is.
    for (int n = 0; n < 2; ++n) {
        InputControls& c = in_[n];
        const QString input = Tx("Vstup %1", "Input %1").arg(n + 1);
        const QString low = Tx("dolní mez", "low limit"), high = Tx("horní mez", "high limit");
        const struct {
            TSpinFEdit* Spin;
            QString What;
            const QString& End;
        } spins[] = {
            {c.tRecLo, Tx("záznam", "record"), low},   {c.tRecHi, Tx("záznam", "record"), high},
            {c.tAlarmLo, Tx("alarm", "alarm"), low},   {c.tAlarmHi, Tx("alarm", "alarm"), high},
            {c.iSigLo, Tx("signál", "signal"), low},   {c.iSigHi, Tx("signál", "signal"), high},
            {c.iRangeLo, Tx("rozsah", "range"), low},  {c.iRangeHi, Tx("rozsah", "range"), high},
            {c.iRecLo, Tx("záznam", "record"), low},   {c.iRecHi, Tx("záznam", "record"), high},
            {c.iAlarmLo, Tx("alarm", "alarm"), low},   {c.iAlarmHi, Tx("alarm", "alarm"), high},
            {c.hRecLo, Tx("záznam", "record"), low},   {c.hRecHi, Tx("záznam", "record"), high},
            {c.hAlarmLo, Tx("alarm", "alarm"), low},   {c.hAlarmHi, Tx("alarm", "alarm"), high},
        };
        for (const auto& sp : spins) {
            if (!sp.Spin) continue;
            const QString name = input + QStringLiteral(", ") + sp.What + QStringLiteral(", ") + sp.End;
            sp.Spin->setAccessibleName(name);
            sp.Spin->Editor()->setAccessibleName(name);
            sp.Spin->setAccessibleDescription(
                Tx("Číslo; šipky nahoru a dolů mění hodnotu o 1", "A number; the Up and Down keys change it by 1"));
        }
    }
}

// ---- open sequence and page set-ups -------------------------------------------

void TFAParama::OpenSequence() {
    const ParameterBlock read = ReadArchiveParams(ctx_.Ops, tables_);
    const LoggerImage& image = ctx_.Logger.Image;
    settingUp_ = true;
    const ArchiveSettingsView a = ViewArchiveSettings(image);
    nazevMereni_->setText(Q(a.LoggerName));
    soubor_->setText(Q(a.FileName));
    period_ = PeriodSelection(image.Parameters.PeriodValue, image.Parameters.PeriodUnit);
    ShowPeriod();
    hodn1_->setEnabled(a.Record1Enabled);
    hodn1_->setChecked(a.Record1Checked);
    hodn2_->setEnabled(a.Record2Enabled);
    hodn2_->setChecked(a.Record2Checked);
    (a.IncreasedAccuracy ? presnost1_ : presnost0_)->setChecked(true);
    cyklicky_->setEnabled(a.CyclicEnabled);
    cyklicky_->setChecked(a.CyclicChecked);

    for (int n = 0; n < 2; ++n) {
        const std::uint8_t code = image.InputInfo.InputType[n];
        in_[n].heading->setText(Q(InputTypeName(code, CurrentLanguage())));
        const InputPage page = PageForInputType(code);
        in_[n].book->setCurrentIndex(static_cast<int>(page));
        switch (page) {
            case InputPage::Temperature: SetUpTemperaturePage(n); break;
            case InputPage::Current: SetUpCurrentPage(n); break;
            case InputPage::Humidity: SetUpHumidityPage(n); break;
            default: break;
        }
    }
    settingUp_ = false;
    base_ = {read, CollectEntry()};
}

void TFAParama::SetUpAlarmSwitch(int n) {
    const AlarmSwitchView v = ViewAlarmSwitch(ctx_.Logger.Image, n);
    in_[n].alarm->setVisible(v.Visible);
    in_[n].alarm->setChecked(v.Checked);
}

void TFAParama::SetUpTemperaturePage(int n) {
    InputControls& c = in_[n];
    const LimitsPageView v = kolvex::SetUpTemperaturePage(ctx_.Logger.Image, n, tables_[n]);
    const bool wasSettingUp = settingUp_;
    settingUp_ = true;
    c.tName->setText(Q(v.Name));
    if (v.ValuesOk) {
        c.tUnit->setCurrentIndex(static_cast<int>(v.Unit));
        const QString unit = c.tUnit->currentText();
        for (QLabel* l : {c.tUnitR, c.tUnitZ, c.tUnitA}) l->setText(unit);
        c.tRangeLo->setText(Q(v.RangeLowText));
        c.tRangeHi->setText(Q(v.RangeHighText));
        SetSpin(c.tRecLo, v.RangeLow, v.RangeHigh, v.RecordLow);
        SetSpin(c.tRecHi, v.RangeLow, v.RangeHigh, v.RecordHigh);
        SetSpin(c.tAlarmLo, v.RangeLow, v.RangeHigh, v.AlarmLow);
        SetSpin(c.tAlarmHi, v.RangeLow, v.RangeHigh, v.AlarmHigh);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{c.tUnit, c.tRecLo, c.tRecHi}) SetFixed(w, !v.Configurable);
    SetUpAlarmSwitch(n);
    settingUp_ = wasSettingUp;
}

void TFAParama::SetUpCurrentPage(int n) {
    InputControls& c = in_[n];
    const CurrentPageView v = kolvex::SetUpCurrentPage(ctx_.Logger.Image, n);
    c.iName->setText(Q(v.Name));
    c.iUnit->setText(Q(v.Unit));
    for (QLabel* l : {c.iUnitR, c.iUnitZ, c.iUnitA}) l->setText(Q(v.Unit));
    if (v.Voltage) c.iSignal->setText(QStringLiteral("V"));
    c.iSigLo->SetValue(static_cast<float>(v.SignalLow));
    c.iSigHi->SetValue(static_cast<float>(v.SignalHigh));
    c.iRangeLo->SetValue(static_cast<float>(v.RangeLow));
    c.iRangeHi->SetValue(static_cast<float>(v.RangeHigh));
    if (v.ValuesOk) {
        c.iRecLo->SetValue(static_cast<float>(v.RecordLow));
        c.iRecHi->SetValue(static_cast<float>(v.RecordHigh));
        c.iAlarmLo->SetValue(static_cast<float>(v.AlarmLow));
        c.iAlarmHi->SetValue(static_cast<float>(v.AlarmHigh));
        CurrentLimitsUpdate(n);
    }
    c.iUnit->setReadOnly(!v.Configurable);
    for (QWidget* w : std::initializer_list<QWidget*>{c.iSigLo, c.iSigHi, c.iRangeLo, c.iRangeHi, c.iRecLo, c.iRecHi})
        SetFixed(w, !v.Configurable);
    SetUpAlarmSwitch(n);
}

void TFAParama::SetUpHumidityPage(int n) {
    InputControls& c = in_[n];
    const LimitsPageView v = kolvex::SetUpHumidityPage(ctx_.Logger.Image, n, tables_[n]);
    c.hName->setText(Q(v.Name));
    c.hUnit->setText(Q(v.UnitText));
    if (v.ValuesOk) {
        c.hRangeLo->setText(Q(v.RangeLowText));
        c.hRangeHi->setText(Q(v.RangeHighText));
        SetSpin(c.hRecLo, v.RangeLow, v.RangeHigh, v.RecordLow);
        SetSpin(c.hRecHi, v.RangeLow, v.RangeHigh, v.RecordHigh);
        SetSpin(c.hAlarmLo, v.RangeLow, v.RangeHigh, v.AlarmLow);
        SetSpin(c.hAlarmHi, v.RangeLow, v.RangeHigh, v.AlarmHigh);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{c.hRecLo, c.hRecHi}) SetFixed(w, !v.Configurable);
    SetUpAlarmSwitch(n);
}

void TFAParama::CurrentLimitsUpdate(int n) {
    InputControls& c = in_[n];
    try {
        const CurrentLimits l = CurrentPageLimits(ctx_.Logger.Image, n, c.iSigLo->Value(), c.iSigHi->Value(),
                                                  c.iRangeLo->Value(), c.iRangeHi->Value());
        SetLimits(c.iSigLo, l.SignalMin, l.SignalMax);
        SetLimits(c.iSigHi, l.SignalMin, l.SignalMax);
        for (TSpinFEdit* s : {c.iRecLo, c.iRecHi, c.iAlarmLo, c.iAlarmHi}) SetLimits(s, l.ConvLow, l.ConvHigh);
    } catch (const std::exception&) {
        // Equal signal ends: the limits stay as they were.
    }
}

void TFAParama::TemperatureUnitChanged(int n) {
    if (settingUp_) return;
    // The new unit goes into the shared block at once; the page then shows
    // the shared block's values in that unit.
    SetTemperatureUnit(ctx_.Logger.Image, n, static_cast<TempUnit>(in_[n].tUnit->currentIndex()));
    SetUpTemperaturePage(n);
    // The page shows the logger's values anew in the new unit: as shown now
    // they are untouched. The unit itself is compared with the logger's.
    TemperatureEntry& shown = base_.Shown.Input[n].Temperature;
    const TemperatureEntry now = CollectEntry().Input[n].Temperature;
    shown.Name = now.Name;
    shown.RecordLow = now.RecordLow;
    shown.RecordHigh = now.RecordHigh;
    shown.AlarmLow = now.AlarmLow;
    shown.AlarmHigh = now.AlarmHigh;
}

// ---- period -------------------------------------------------------------------

void TFAParama::ShowPeriod() { perioda_->setText(Q(period_.Text(CurrentLanguage()))); }

void TFAParama::Perioda_SBUpClick() {
    period_.StepUp();
    ShowPeriod();
}

void TFAParama::Perioda_SBDownClick() {
    period_.StepDown();
    ShowPeriod();
}

// ---- store --------------------------------------------------------------------

ArchiveParamsEntry TFAParama::CollectEntry() const {
    ArchiveParamsEntry e;
    e.LoggerName = nazevMereni_->text().toStdString();
    e.FileName = soubor_->text().toStdString();
    e.PeriodValueBcd = period_.ValueBcd();
    e.PeriodUnit = period_.Unit();
    e.Record1 = hodn1_->isChecked();
    e.Record2 = hodn2_->isChecked();
    e.IncreasedAccuracy = presnost1_->isChecked();
    e.Cyclic = cyklicky_->isChecked();
    for (int n = 0; n < 2; ++n) {
        const InputControls& c = in_[n];
        InputEntry& in = e.Input[n];
        in.Page = static_cast<InputPage>(c.book->currentIndex());
        in.AlarmChecked = !c.alarm->isHidden() && c.alarm->isChecked();
        in.Temperature = {c.tName->text().toStdString(), static_cast<TempUnit>(c.tUnit->currentIndex()),
                          c.tRecLo->Value(),  c.tRecHi->Value(),
                          c.tAlarmLo->Value(), c.tAlarmHi->Value()};
        in.Current = {c.iName->text().toStdString(), c.iUnit->text().toStdString(),
                      c.iSigLo->Value(), c.iSigHi->Value(), c.iRangeLo->Value(), c.iRangeHi->Value(),
                      c.iRecLo->Value(), c.iRecHi->Value(), c.iAlarmLo->Value(), c.iAlarmHi->Value()};
        in.Humidity = {c.hName->text().toStdString(), c.hRecLo->Value(), c.hRecHi->Value(), c.hAlarmLo->Value(),
                       c.hAlarmHi->Value()};
    }
    return e;
}

void TFAParama::SetUp_BBClick() {
    try {
        const ParameterBlock edited = BuildEditBlock(ctx_.Logger.Image, tables_, base_, CollectEntry());
        // Emptying the logger's archive is answered No by Enter and Escape.
        StoreArchiveParams(ctx_.Ops, base_.Read, edited, [this](const std::string& q) { return Hooks.Ask(Q(q), Answer::No); });
    } catch (const EAParamField& e) {
        // Nothing was written: the dialog stays with every edit.
        Hooks.Error(e);
        ShowField(e.Field);
        return;
    } catch (const EAParamA& e) {
        Hooks.Error(e);
        return;
    } catch (const std::exception& e) {
        Hooks.Error(e);
        done(QDialog::Rejected);
        return;
    }
    done(QDialog::Accepted);
}

QWidget* TFAParama::FieldWidget(const ParamFieldRef& field) const {
    if (field.Input < 0) return field.Field == ParamField::FileName ? soubor_ : nazevMereni_;
    const InputControls& c = in_[field.Input];
    switch (static_cast<InputPage>(c.book->currentIndex())) {
        case InputPage::Temperature:
            switch (field.Field) {
                case ParamField::InputName: return c.tName;
                case ParamField::Unit: return c.tUnit;
                case ParamField::RecordLow: return c.tRecLo;
                case ParamField::RecordHigh: return c.tRecHi;
                case ParamField::AlarmLow: return c.tAlarmLo;
                case ParamField::AlarmHigh: return c.tAlarmHi;
                default: return nullptr;
            }
        case InputPage::Current:
            switch (field.Field) {
                case ParamField::InputName: return c.iName;
                case ParamField::Unit: return c.iUnit;
                case ParamField::SignalLow: return c.iSigLo;
                case ParamField::SignalHigh: return c.iSigHi;
                case ParamField::RangeLow: return c.iRangeLo;
                case ParamField::RangeHigh: return c.iRangeHi;
                case ParamField::RecordLow: return c.iRecLo;
                case ParamField::RecordHigh: return c.iRecHi;
                case ParamField::AlarmLow: return c.iAlarmLo;
                case ParamField::AlarmHigh: return c.iAlarmHi;
                default: return nullptr;
            }
        case InputPage::Humidity:
            switch (field.Field) {
                case ParamField::InputName: return c.hName;
                case ParamField::RecordLow: return c.hRecLo;
                case ParamField::RecordHigh: return c.hRecHi;
                case ParamField::AlarmLow: return c.hAlarmLo;
                case ParamField::AlarmHigh: return c.hAlarmHi;
                default: return nullptr;
            }
        default: return nullptr;
    }
}

void TFAParama::ShowField(const ParamFieldRef& field) {
    if (field.Field == ParamField::None && field.Input < 0) return;
    tabs_->setCurrentIndex(field.Input < 0 ? 0 : field.Input + 1);
    QWidget* w = FieldWidget(field);
    if (!w || !w->isEnabled()) return;
    w->setFocus(Qt::OtherFocusReason);
    if (auto* spin = qobject_cast<TSpinFEdit*>(w)) spin->Editor()->selectAll();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
}

void TFAParama::keyPressEvent(QKeyEvent* event) {
    if (!HelpKey(this, event, kDialogHelpContext)) QDialog::keyPressEvent(event);
}

}  // namespace kolvex::ui
