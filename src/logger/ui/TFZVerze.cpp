// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/ui/TFZVerze.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "logger/ServiceViews.h"
#include "base/ui/DialogKit.h"

namespace kolvex::ui {

namespace {
constexpr int kHelpContext = 1210;

QLabel* MakeLabel(QWidget* parent, const char* name, bool value) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    if (value) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        l->setMinimumWidth(160);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    return l;
}
}  // namespace

TFZVerze::TFZVerze(kolvex::LoggerContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFZVerze"));
    // A language value above 1 is put back to Czech when the dialog is created.
    if (LanguageValue() > 1 || ctx_.Config.Language > 1) {
        SetLanguage(0);
        ctx_.Config.Language = 0;
    }
    manuf_ = MakeLabel(this, "Manuf_L", false);
    type_ = MakeLabel(this, "Type_L", false);
    version_ = MakeLabel(this, "Version_L", false);
    serNum_ = MakeLabel(this, "SerNum_L", false);
    manufH_ = MakeLabel(this, "ManufH_L", true);
    typeH_ = MakeLabel(this, "TypeH_L", true);
    versionH_ = MakeLabel(this, "VersionH_L", true);
    serNumH_ = MakeLabel(this, "SerNumH_L", true);
    close_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    help_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    QLabel* captions[] = {manuf_, type_, version_, serNum_};
    QLabel* values[] = {manufH_, typeH_, versionH_, serNumH_};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(captions[i], i, 0);
        grid->addWidget(values[i], i, 1);
    }
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addSpacing(8);
    top->addLayout(FootRow(this, help_, kHelpContext, {}, close_));
    top->setSizeConstraint(QLayout::SetFixedSize);

    close_->setDefault(true);
    ApplyCaptions();
}

void TFZVerze::ApplyCaptions() {
    setWindowTitle(Tx("QUENDAL Informace o přístroji", "QUENDAL Information"));
    manuf_->setText(Tx("Výrobce", "Manufacturer"));
    type_->setText(Tx("Typ", "Type"));
    version_->setText(Tx("Verze", "Version"));
    serNum_->setText(Tx("Výr. číslo", "Ser. Number"));
    help_->setText(Tx("&Nápověda", "&Help"));
    close_->setText(Tx("&Zavřít", "&Close"));
}

void TFZVerze::OpenSequence() {
    ctx_.Ops.ReadLoggerType();
    const IdentificationBlock id = ctx_.Ops.ReadIdentification();
    manufH_->setText(Q(id.ManufacturerText()));
    typeH_->setText(Q(id.TypeText()));
    versionH_->setText(Q(FormatVersion(id.VersionMajor, id.VersionMinor)));
    serNumH_->setText(Q(FormatSerialNumber(static_cast<std::int32_t>(id.SerialNumber))));
}

void TFZVerze::keyPressEvent(QKeyEvent* event) {
    if (!HelpKey(this, event, kHelpContext)) QDialog::keyPressEvent(event);
}

}  // namespace kolvex::ui
