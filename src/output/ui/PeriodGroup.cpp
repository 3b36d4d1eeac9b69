// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ui/PeriodGroup.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

#include "base/Language.h"
#include "base/ui/DialogKit.h"
#include "base/DateTime.h"
#include "output/ui/OutputSupport.h"

namespace kolvex::ui {

namespace {


template <typename W>
W* Named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    // The group keeps its size whatever the kind shows or hides.
    QSizePolicy p = w->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    w->setSizePolicy(p);
    return w;
}

QSpinBox* MakeSpin(QWidget* parent, const char* name, int lo, int hi) {
    auto* s = Named(new QSpinBox(parent), name);
    s->setRange(lo, hi);
    s->setAlignment(Qt::AlignRight);
    return s;
}

// A display that changes only with its up/down button.
QLineEdit* MakeDisplay(QWidget* parent, const char* name, const std::function<std::string(int)>& item, int count) {
    auto* e = Named(new QLineEdit(parent), name);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    int widest = 0;
    for (int i = 0; i < count; ++i) widest = std::max(widest, e->fontMetrics().horizontalAdvance(Q(item(i))));
    e->setFixedWidth(widest + 16);
    return e;
}

// The width the control needs with its buttons, in its own font, kept when
// it is read-only without them, so that no digit is cut in either state.
void KeepEditableWidth(QDateTimeEdit* e) {
    e->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    e->setMinimumWidth(e->sizeHint().width());
}

void SetPickerEditable(QDateTimeEdit* e, bool editable) {
    e->setReadOnly(!editable);
    e->setButtonSymbols(editable ? QAbstractSpinBox::UpDownArrows : QAbstractSpinBox::NoButtons);
    e->setFocusPolicy(editable ? Qt::StrongFocus : Qt::NoFocus);
    if (auto* date = qobject_cast<QDateEdit*>(e)) date->setCalendarPopup(editable);
}

QDateEdit* MakeDate(QWidget* parent, const char* name) {
    auto* d = Named(new QDateEdit(parent), name);
    d->setDisplayFormat(ProgramShortDateFormat());
    d->setCalendarPopup(true);
    UseProgramLocale(d);
    d->setMinimumDate(QDate(1899, 12, 30));
    KeepEditableWidth(d);
    return d;
}

QTimeEdit* MakeTime(QWidget* parent, const char* name) {
    auto* t = Named(new QTimeEdit(parent), name);
    t->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    UseProgramLocale(t);
    KeepEditableWidth(t);
    return t;
}

}  // namespace

PeriodGroup::PeriodGroup(kolvex::PeriodDialog dialog, bool withStep, QWidget* parent)
    : QGroupBox(parent), model_(dialog), withStep_(withStep) {
    setObjectName(QStringLiteral("Obdobi_GB"));
    Clock = [] { return kolvex::NowLocal(); };

    BuildKindButtons();
    BuildControls();
    QGridLayout* grid = LayOutControls();

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* top = new QHBoxLayout(this);
    top->addWidget(kinds_);
    top->addWidget(line);
    top->addLayout(grid, 1);

    monthSB_->setFixedHeight(month_->sizeHint().height());
    if (stepSB_) stepSB_->setFixedHeight(stepCB_->sizeHint().height());
    dayL_->setBuddy(day_);
    yearL_->setBuddy(year_);
    weekL_->setBuddy(week_);
    startL_->setBuddy(startDate_);
    endL_->setBuddy(endDate_);

    ConnectControls();
    ApplyCaptions();
    ShowModel();
}

// The kinds of period, one radio button each, in a column.
void PeriodGroup::BuildKindButtons() {
    kinds_ = new QWidget(this);
    kinds_->setObjectName(QStringLiteral("Obdobi_RG"));
    kindGroup_ = new QButtonGroup(this);
    auto* kindsLayout = new QVBoxLayout(kinds_);
    kindsLayout->setContentsMargins(0, 0, 0, 0);
    kindsLayout->setSpacing(4);
    for (int k = 0; k < 6; ++k) {
        kindButtons_[k] = new QRadioButton(kinds_);
        kindButtons_[k]->setObjectName(QStringLiteral("Obdobi_RG_%1").arg(k));
        kindGroup_->addButton(kindButtons_[k], k);
        kindsLayout->addWidget(kindButtons_[k]);
    }
    kindsLayout->addStretch(1);
}

// The day, month, year and week, the start and end, and the button that
// sets the current period.
void PeriodGroup::BuildControls() {
    dayL_ = Named(new QLabel(this), "ObdobiDay_L");
    day_ = MakeSpin(this, "ObdobiDay_SE", 1, 31);
    monthL_ = Named(new QLabel(this), "ObdobiMonth_L");
    month_ = MakeDisplay(this, "ObdobiMonth_CB", kolvex::MonthName, 12);
    monthSB_ = Named(new UpDownButton(this), "ObdobiMonth_SB");
    yearL_ = Named(new QLabel(this), "ObdobiYear_L");
    year_ = MakeSpin(this, "ObdobiYear_SE", kolvex::PeriodModel::kYearMin, kolvex::PeriodModel::kYearMax);
    weekL_ = Named(new QLabel(this), "ObdobiWeek_L");
    week_ = MakeSpin(this, "ObdobiWeek_SE", 1, 53);
    startL_ = Named(new QLabel(this), "ObdobiStart_L");
    endL_ = Named(new QLabel(this), "ObdobiEnd_l");
    startDate_ = MakeDate(this, "ObdobiStartDate_DTP");
    startTime_ = MakeTime(this, "ObdobiStartTime_DTP");
    endDate_ = MakeDate(this, "ObdobiEndDate_DTP");
    endTime_ = MakeTime(this, "ObdobiEndTime_DTP");
    setDatum_ = Named(new QPushButton(this), "SetDatum_SB");
    setDatum_->setAutoDefault(false);
}

// Day, month and year in one row, the week below them, then start and end;
// the step (when the group has one) and the current-period button last.
QGridLayout* PeriodGroup::LayOutControls() {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    auto* monthBox = new QHBoxLayout;
    monthBox->setSpacing(0);
    monthBox->addWidget(month_);
    monthBox->addWidget(monthSB_);
    grid->addWidget(dayL_, 0, 0);
    grid->addWidget(day_, 0, 1);
    grid->addWidget(monthL_, 0, 2);
    grid->addLayout(monthBox, 0, 3);
    grid->addWidget(yearL_, 0, 4);
    grid->addWidget(year_, 0, 5);
    // The week is shown only where the day is hidden: it takes the day's place.
    grid->addWidget(weekL_, 0, 0);
    grid->addWidget(week_, 0, 1);
    auto* startBox = new QHBoxLayout;
    startBox->addWidget(startDate_, 1);
    startBox->addWidget(startTime_);
    auto* endBox = new QHBoxLayout;
    endBox->addWidget(endDate_, 1);
    endBox->addWidget(endTime_);
    grid->addWidget(startL_, 1, 0);
    grid->addLayout(startBox, 1, 1, 1, 5);
    grid->addWidget(endL_, 2, 0);
    grid->addLayout(endBox, 2, 1, 1, 5);

    auto* bottom = new QHBoxLayout;
    if (withStep_) BuildStep(bottom);
    bottom->addStretch(1);
    bottom->addWidget(setDatum_);
    grid->addLayout(bottom, 3, 0, 1, 6);
    return grid;
}

// The step of the period: a caption that changes with its up/down button.
void PeriodGroup::BuildStep(QHBoxLayout* row) {
    stepL_ = Named(new QLabel(this), "Perioda_L");
    stepCB_ = MakeDisplay(this, "Perioda_CB", kolvex::StepCaption, kolvex::kStepCount);
    stepSB_ = Named(new UpDownButton(this), "Perioda_SB");
    stepL_->setBuddy(stepCB_);
    row->addWidget(stepL_);
    row->addSpacing(6);
    row->addWidget(stepCB_);
    row->addWidget(stepSB_);
    row->setSpacing(0);
    connect(stepSB_, &UpDownButton::upClicked, this, &PeriodGroup::Perioda_SBUpClick);
    connect(stepSB_, &UpDownButton::downClicked, this, &PeriodGroup::Perioda_SBDownClick);
}

void PeriodGroup::ConnectControls() {
    connect(kindGroup_, &QButtonGroup::idClicked, this, &PeriodGroup::Obdobi_RGClick);
    connect(day_, &QSpinBox::valueChanged, this, &PeriodGroup::ObdobiDay_SEChange);
    connect(year_, &QSpinBox::valueChanged, this, &PeriodGroup::ObdobiYear_SEChange);
    connect(week_, &QSpinBox::valueChanged, this, &PeriodGroup::ObdobiWeek_SEChange);
    connect(monthSB_, &UpDownButton::upClicked, this, &PeriodGroup::ObdobiMonth_SBUpClick);
    connect(monthSB_, &UpDownButton::downClicked, this, &PeriodGroup::ObdobiMonth_SBDownClick);
    connect(setDatum_, &QPushButton::clicked, this, &PeriodGroup::SetDatum_SBClick);
    // An edited date or time becomes the pair's value at once; leaving the
    // control shows it in both controls of the pair.
    auto startEdited = [this] {
        if (!showing_) model_.SetStart(PairValue(startDate_, startTime_));
    };
    auto endEdited = [this] {
        if (!showing_) model_.SetEnd(PairValue(endDate_, endTime_));
    };
    connect(startDate_, &QDateEdit::dateChanged, this, startEdited);
    connect(startTime_, &QTimeEdit::timeChanged, this, startEdited);
    connect(endDate_, &QDateEdit::dateChanged, this, endEdited);
    connect(endTime_, &QTimeEdit::timeChanged, this, endEdited);
    connect(startDate_, &QDateEdit::editingFinished, this, &PeriodGroup::ObdobiStartDate_DTPExit);
    connect(startTime_, &QTimeEdit::editingFinished, this, &PeriodGroup::ObdobiStartTime_DTPExit);
    connect(endDate_, &QDateEdit::editingFinished, this, &PeriodGroup::ObdobiEndDate_DTPExit);
    connect(endTime_, &QTimeEdit::editingFinished, this, &PeriodGroup::ObdobiEndTime_DTPExit);
}

void PeriodGroup::ApplyCaptions() {
    const kolvex::Lang lang = kolvex::CurrentLanguage();
    setTitle(Tx("Období", "Period"));
    for (int k = 0; k < 6; ++k) kindButtons_[k]->setText(Q(kolvex::PeriodKindCaption(k, lang)));
    dayL_->setText(Tx("Den", "Day"));
    monthL_->setText(Tx("Měsíc", "Month"));
    yearL_->setText(Tx("Rok", "Year"));
    weekL_->setText(Tx("Týden", "Week"));
    startL_->setText(Tx("Začátek", "from"));
    endL_->setText(Tx("Konec", "to"));
    setDatum_->setText(Q(kolvex::CurrentPeriodCaption(model_.Kind(), lang)));
    if (stepL_) stepL_->setText(Tx("Perioda", "Period"));
}

void PeriodGroup::Load(const kolvex::PeriodSettings& block, std::int32_t stepIndex) {
    model_.Load(block, Clock());
    // A stored index beyond the list selects its nearest end.
    step_ = std::clamp<std::int32_t>(stepIndex, 0, kolvex::kStepCount - 1);
    ShowModel();
}

void PeriodGroup::Store(kolvex::PeriodSettings& block, std::int32_t* stepIndex) const {
    model_.Store(block);
    if (stepIndex && withStep_) *stepIndex = step_;
}

double PeriodGroup::PairValue(const QDateEdit* date, const QTimeEdit* time) const {
    const QDate d = date->date();
    const QTime t = time->time();
    const auto v = kolvex::TryEncodeDateTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
    return v ? *v : 0;
}

namespace {
void ShowPair(double value, QDateEdit* date, QTimeEdit* time) {
    const kolvex::DateTimeParts p = kolvex::DecodeDateTime(value);
    date->setDate(QDate(p.Year, p.Month, p.Day));
    time->setTime(QTime(p.Hour, p.Minute, p.Second, p.Millisecond));
}
}  // namespace

void PeriodGroup::ShowStart() {
    const bool was = showing_;
    showing_ = true;
    ShowPair(model_.Start(), startDate_, startTime_);
    showing_ = was;
}

void PeriodGroup::ShowEnd() {
    const bool was = showing_;
    showing_ = true;
    ShowPair(model_.End(), endDate_, endTime_);
    showing_ = was;
}

void PeriodGroup::ShowStep() {
    if (stepCB_) stepCB_->setText(Q(kolvex::StepCaption(step_)));
}

void PeriodGroup::ApplyLayout() {
    const kolvex::PeriodLayout l = kolvex::LayoutForKind(model_.Kind());
    auto apply = [](QWidget* label, QWidget* control, bool shown, bool enabled) {
        for (QWidget* w : {label, control}) {
            if (!w) continue;
            w->setVisible(shown);
            w->setEnabled(enabled);
        }
    };
    apply(dayL_, day_, l.DayShown, l.DayEnabled);
    apply(monthL_, month_, l.MonthShown, l.MonthEnabled);
    apply(nullptr, monthSB_, l.MonthShown, l.MonthEnabled);
    apply(yearL_, year_, l.YearShown, l.YearEnabled);
    apply(weekL_, week_, l.WeekShown, l.WeekEnabled);
    apply(startL_, startDate_, l.StartEndShown, true);
    apply(endL_, endDate_, l.StartEndShown, true);
    apply(nullptr, startTime_, l.StartEndShown, true);
    apply(nullptr, endTime_, l.StartEndShown, true);
    for (QDateTimeEdit* e : {static_cast<QDateTimeEdit*>(startDate_), static_cast<QDateTimeEdit*>(startTime_),
                             static_cast<QDateTimeEdit*>(endDate_), static_cast<QDateTimeEdit*>(endTime_)})
        SetPickerEditable(e, l.StartEndEditable);
    setDatum_->setVisible(l.CurrentShown);
}

void PeriodGroup::ShowModel() {
    const bool was = showing_;
    showing_ = true;
    const int kind = model_.Kind();
    if (kind >= 0 && kind < 6) kindButtons_[kind]->setChecked(true);
    day_->setValue(model_.Day());
    month_->setText(Q(kolvex::MonthName(model_.MonthIndex())));
    year_->setValue(model_.Year());
    week_->setValue(model_.Week());
    ShowStart();
    ShowEnd();
    ShowStep();
    setDatum_->setText(Q(kolvex::CurrentPeriodCaption(kind, kolvex::CurrentLanguage())));
    ApplyLayout();
    showing_ = was;
}

void PeriodGroup::Obdobi_RGClick(int kind) {
    if (showing_) return;
    model_.ChooseKind(kind);
    ShowModel();
}

void PeriodGroup::ObdobiDay_SEChange() {
    if (showing_) return;
    model_.SetDay(day_->value());
    ShowModel();
}

void PeriodGroup::ObdobiYear_SEChange() {
    if (showing_) return;
    model_.SetYear(year_->value());
    ShowModel();
}

void PeriodGroup::ObdobiWeek_SEChange() {
    if (showing_) return;
    model_.SetWeek(week_->value());
    ShowModel();
}

void PeriodGroup::ObdobiMonth_SBUpClick() {
    if (showing_) return;
    model_.MonthUp();
    ShowModel();
}

void PeriodGroup::ObdobiMonth_SBDownClick() {
    if (showing_) return;
    model_.MonthDown();
    ShowModel();
}

void PeriodGroup::SetDatum_SBClick() {
    model_.CurrentPeriod(Clock());
    ShowModel();
}

void PeriodGroup::ObdobiStartDate_DTPExit() {
    model_.SetStart(PairValue(startDate_, startTime_));
    ShowStart();
}

void PeriodGroup::ObdobiStartTime_DTPExit() { ObdobiStartDate_DTPExit(); }

void PeriodGroup::ObdobiEndDate_DTPExit() {
    model_.SetEnd(PairValue(endDate_, endTime_));
    ShowEnd();
}

void PeriodGroup::ObdobiEndTime_DTPExit() { ObdobiEndDate_DTPExit(); }

void PeriodGroup::Perioda_SBUpClick() {
    step_ = kolvex::StepUp(step_);
    ShowStep();
}

void PeriodGroup::Perioda_SBDownClick() {
    step_ = kolvex::StepDown(step_);
    ShowStep();
}

}  // namespace kolvex::ui
