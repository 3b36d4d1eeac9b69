// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ui/TFANastGraf.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/ui/DialogKit.h"
#include "base/ui/ModalRunner.h"
#include "base/ui/TSpinFEdit.h"
#include "archive/ui/ViewerSupport.h"
#include "output/ui/PeriodGroup.h"

namespace kolvex::ui {

namespace {

constexpr int kHelpContext = 1322;
constexpr float kLowest = -50, kHighest = 1000;
// The humidity unit that limits an axis to 0..100 (the parameter editor's
// "% rv" does not match it).
const char* const kRelativeHumidity = "% r.v.";

QLabel* NamedLabel(QWidget* parent, const QString& name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

}  // namespace

TFANastGraf::TFANastGraf(kolvex::ArchiveContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFANastGraf"));
    Hooks = DefaultDialogHooks(this);
    ChooseColour = [this](const QColor& initial) -> std::optional<QColor> {
        QColorDialog dialog(initial, this);
        dialog.setObjectName(QStringLiteral("CD"));
        if (RunModal(dialog) != QDialog::Accepted) return std::nullopt;
        return dialog.selectedColor();
    };

    period_ = new PeriodGroup(kolvex::PeriodDialog::Chart, false, this);
    BuildAxis(left_, "LeftAxis");
    BuildAxis(right_, "RightAxis");
    graf_ = MakeButton(this, "Graf_BB", QStyle::SP_DialogApplyButton);
    help_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);
    abort_ = MakeButton(this, "Abort_BB", QStyle::SP_DialogCloseButton);
    graf_->setDefault(true);

    auto* axes = new QHBoxLayout;
    axes->addWidget(left_.Box, 1);
    axes->addWidget(right_.Box, 1);
    auto* top = new QVBoxLayout(this);
    top->addWidget(period_);
    top->addLayout(axes);
    top->addSpacing(4);
    top->addLayout(FootRow(this, help_, kHelpContext, {graf_}, abort_));
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(graf_, &QPushButton::clicked, this, &TFANastGraf::Graf_BBClick);
    connect(left_.Source, &QComboBox::currentIndexChanged, this, &TFANastGraf::LeftAxis_CBChange);
    connect(right_.Source, &QComboBox::currentIndexChanged, this, &TFANastGraf::RightAxis_CBChange);
    connect(left_.ColourSB, &QToolButton::clicked, this, &TFANastGraf::LeftAxisColor_SBClick);
    connect(right_.ColourSB, &QToolButton::clicked, this, &TFANastGraf::RightAxisColor_SBClick);

    // Opening: captions, the stored period as it is, both source lists, then
    // the period's kind (applied by the group's load).
    ApplyCaptions();
    period_->Load(ctx_.Config.ChartPeriod);
    if (ctx_.Adm.Table1.IsOpen()) fields_ = kolvex::OutputFields(ctx_.Adm.Table1, ctx_.Adm.ParameterRecord);
    FillAxis(left_, ctx_.Adm.ParameterRecord.LeftAxis());
    FillAxis(right_, ctx_.Adm.ParameterRecord.RightAxis());
}

void TFANastGraf::BuildAxis(Axis& a, const char* prefixText) {
    const QString prefix = QString::fromLatin1(prefixText);
    a.Box = new QGroupBox(this);
    a.Box->setObjectName(prefix + QStringLiteral("_GB"));
    a.Hodn = NamedLabel(a.Box, prefix + QStringLiteral("Hodn_L"));
    a.Source = new QComboBox(a.Box);
    a.Source->setObjectName(prefix + QStringLiteral("_CB"));
    a.Source->setMinimumContentsLength(16);
    a.Auto = new QCheckBox(a.Box);
    a.Auto->setObjectName(prefix + QStringLiteral("Auto_CB"));
    a.MaxL = NamedLabel(a.Box, prefix + QStringLiteral("Max_L"));
    a.MinL = NamedLabel(a.Box, prefix + QStringLiteral("Min_L"));
    auto spin = [&](const QString& name) {
        auto* s = new TSpinFEdit(a.Box);
        s->setObjectName(name);
        s->SetDigits(2);
        s->SetPrecision(8);
        s->SetIncrement(1);
        s->SetMinValue(kLowest);
        s->SetMaxValue(kHighest);
        s->setAlignment(Qt::AlignRight);
        s->setMinimumWidth(s->fontMetrics().horizontalAdvance(QStringLiteral("-00000.00")) + 30);
        return s;
    };
    a.Max = spin(prefix + QStringLiteral("Max_SFE"));
    a.Min = spin(prefix + QStringLiteral("Min_SFE"));
    a.JednMax = NamedLabel(a.Box, prefix + QStringLiteral("JednMax_L"));
    a.JednMin = NamedLabel(a.Box, prefix + QStringLiteral("JednMin_L"));
    a.JednMax->setMinimumWidth(a.JednMax->fontMetrics().horizontalAdvance(QStringLiteral("% r.v.")) + 4);
    a.Colour = new QFrame(a.Box);
    a.Colour->setObjectName(prefix + QStringLiteral("Color_P"));
    a.Colour->setFrameShape(QFrame::Box);
    a.Colour->setAutoFillBackground(true);
    a.Colour->setFixedHeight(22);
    a.ColourSB = new QToolButton(a.Box);
    a.ColourSB->setObjectName(prefix + QStringLiteral("Color_SB"));
    a.ColourSB->setText(QStringLiteral("..."));
    a.ColourSB->setFixedHeight(22);
    a.MaxL->setBuddy(a.Max);
    a.MinL->setBuddy(a.Min);
    a.Hodn->setBuddy(a.Source);

    auto* g = new QGridLayout(a.Box);
    g->addWidget(a.Hodn, 0, 0);
    g->addWidget(a.Source, 0, 1, 1, 2);
    g->addWidget(a.Auto, 1, 0, 1, 3);
    g->addWidget(a.MaxL, 2, 0);
    g->addWidget(a.Max, 2, 1);
    g->addWidget(a.JednMax, 2, 2);
    g->addWidget(a.MinL, 3, 0);
    g->addWidget(a.Min, 3, 1);
    g->addWidget(a.JednMin, 3, 2);
    auto* colour = new QHBoxLayout;
    colour->setSpacing(2);
    colour->addWidget(a.Colour, 1);
    colour->addWidget(a.ColourSB);
    g->addLayout(colour, 4, 1, 1, 2);
    g->setColumnStretch(1, 1);
}

void TFANastGraf::ApplyCaptions() {
    setWindowTitle(Tx("Nastavení zobrazení grafu", "Graph set-up"));
    left_.Box->setTitle(Tx("Levá osa", "Left axis"));
    right_.Box->setTitle(Tx("Pravá osa", "Right axis"));
    for (Axis* a : {&left_, &right_}) {
        a->Hodn->setText(Tx("Hodnota", "Value"));
        a->Auto->setText(Tx("Rozsah automaticky", "Scale automatically"));
        a->MaxL->setText(QStringLiteral("Max"));
        a->MinL->setText(QStringLiteral("Min"));
        if (a->Source->count() > 0) a->Source->setItemText(0, Tx(" nic", "nothing"));
        // "Max" and "Min" alone do not say of which axis.
        const QString axis = a == &left_ ? Tx("Levá osa", "Left axis") : Tx("Pravá osa", "Right axis");
        a->Max->setAccessibleName(axis + QStringLiteral(", max"));
        a->Min->setAccessibleName(axis + QStringLiteral(", min"));
        a->Colour->setAccessibleName(axis + Tx(", barva", ", colour"));
        a->ColourSB->setAccessibleName(axis + Tx(", změnit barvu", ", change the colour"));
    }
    graf_->setText(Tx("&Graf", "&Graph"));
    help_->setText(Tx("&Nápověda", "&Help"));
    abort_->setText(Tx("&Zavřít", "&Abort"));
    period_->ApplyCaptions();
}

void TFANastGraf::FillAxis(Axis& a, const kolvex::AxisSettings& stored) {
    {
        const QSignalBlocker block(a.Source);
        a.Source->clear();
        a.Source->addItem(Tx(" nic", "nothing"));
        for (const kolvex::OutputField& f : fields_)
            if (f.Type == kolvex::FieldType::Float) a.Source->addItem(QStringLiteral(" ") + Q(f.Label));
        // An index the list does not hold selects nothing.
        a.Source->setCurrentIndex(stored.Source >= 0 && stored.Source < a.Source->count() ? stored.Source : -1);
    }
    a.Auto->setChecked(stored.Automatic != 0);
    a.Min->SetValue(static_cast<float>(stored.Minimum));
    a.Max->SetValue(static_cast<float>(stored.Maximum));
    a.LoadedMin = stored.Minimum;
    a.LoadedMax = stored.Maximum;
    a.LoadedMinText = a.Min->Text();
    a.LoadedMaxText = a.Max->Text();
    SetSwatch(a, ColourFromRecord(stored.Colour));
    UpdateUnits(a);
}

void TFANastGraf::UpdateUnits(Axis& a) {
    float lo = kLowest, hi = kHighest;
    const int k = a.Source->currentIndex();
    QString unit;
    if (k >= 1) {
        int seen = 0;
        for (const kolvex::OutputField& f : fields_) {
            if (f.Type != kolvex::FieldType::Float) continue;
            if (++seen == k) {
                unit = Q(f.Unit);
                if (f.Unit == kRelativeHumidity) lo = 0, hi = 100;
                break;
            }
        }
    }
    a.JednMax->setText(unit);
    a.JednMin->setText(unit);
    for (TSpinFEdit* s : {a.Min, a.Max}) {
        s->SetMinValue(lo);
        s->SetMaxValue(hi);
    }
}

void TFANastGraf::LeftAxis_CBChange() { UpdateUnits(left_); }
void TFANastGraf::RightAxis_CBChange() { UpdateUnits(right_); }

void TFANastGraf::SetSwatch(Axis& a, const QColor& c) {
    a.Current = c;
    QPalette pal = a.Colour->palette();
    pal.setColor(QPalette::Window, c);
    a.Colour->setPalette(pal);
}

void TFANastGraf::ChooseAxisColour(Axis& a) {
    if (!ChooseColour) return;
    if (const std::optional<QColor> c = ChooseColour(a.Current); c && c->isValid()) SetSwatch(a, *c);
}

void TFANastGraf::LeftAxisColor_SBClick() { ChooseAxisColour(left_); }
void TFANastGraf::RightAxisColor_SBClick() { ChooseAxisColour(right_); }

kolvex::AxisSettings TFANastGraf::Collect(const Axis& a, kolvex::AxisSettings s) const {
    s.Source = a.Source->currentIndex();
    s.Automatic = a.Auto->isChecked() ? 1 : 0;
    // A field shows a float; one the user did not touch keeps the stored double.
    s.Minimum = a.Min->Text() == a.LoadedMinText ? a.LoadedMin : static_cast<double>(a.Min->Value());
    s.Maximum = a.Max->Text() == a.LoadedMaxText ? a.LoadedMax : static_cast<double>(a.Max->Value());
    s.Colour = ColourToRecord(a.Current);
    return s;
}

void TFANastGraf::Graf_BBClick() {
    period_->Store(ctx_.Config.ChartPeriod);
    kolvex::ArchiveParameterRecord& r = ctx_.Adm.ParameterRecord;
    r.SetLeftAxis(Collect(left_, r.LeftAxis()));
    r.SetRightAxis(Collect(right_, r.RightAxis()));
    accept();
}

void TFANastGraf::keyPressEvent(QKeyEvent* event) {
    if (!HelpKey(this, event, kHelpContext)) QDialog::keyPressEvent(event);
}

}  // namespace kolvex::ui
