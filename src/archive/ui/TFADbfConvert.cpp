// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ui/TFADbfConvert.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "base/ui/DialogKit.h"
#include "base/ui/ModalRunner.h"
#include "archive/FileOps.h"

namespace kolvex::ui {

namespace {

constexpr int kNameLength = 12;
constexpr int kUnitLength = 4;

QLabel* MakeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int maxLength, int width) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setMaxLength(maxLength);
    e->setFixedWidth(width);
    return e;
}

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

}  // namespace

TFADbfConvert::TFADbfConvert(kolvex::TADM& adm, QWidget* parent)
    : QDialog(parent), adm_(adm), conversion_(std::make_unique<kolvex::OldDatabaseConversion>(adm)) {
    setObjectName(QStringLiteral("TFADbfConvert"));
    Hooks = DefaultDialogHooks(this);

    label5_ = MakeLabel(this, "Label5");
    dbfName_ = MakeLabel(this, "DbfName_L");
    label1_ = MakeLabel(this, "Label1");
    label2_ = MakeLabel(this, "Label2");
    vstup1_ = MakeLabel(this, "Vstup1_L");
    vstup2_ = MakeLabel(this, "Vstup2_L");
    label7_ = MakeLabel(this, "Label7");
    name1_ = MakeEdit(this, "Name1_E", kNameLength, 130);
    jedn1_ = MakeEdit(this, "Jedn1_E", kUnitLength, 60);
    name2_ = MakeEdit(this, "Name2_E", kNameLength, 130);
    jedn2_ = MakeEdit(this, "Jedn2_E", kUnitLength, 60);
    convert_ = MakeButton(this, "Convert_BB", QStyle::SP_DialogApplyButton);
    close_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    QFont bold = dbfName_->font();
    bold.setBold(true);
    dbfName_->setFont(bold);

    auto* file = new QHBoxLayout;
    file->addWidget(label5_);
    file->addWidget(dbfName_, 1);

    auto* grid = new QGridLayout;
    grid->addWidget(label1_, 0, 1);
    grid->addWidget(label2_, 0, 2);
    grid->addWidget(vstup1_, 1, 0);
    grid->addWidget(name1_, 1, 1);
    grid->addWidget(jedn1_, 1, 2);
    grid->addWidget(vstup2_, 2, 0);
    grid->addWidget(name2_, 2, 1);
    grid->addWidget(jedn2_, 2, 2);
    grid->setColumnStretch(3, 1);

    auto* top = new QVBoxLayout(this);
    top->addLayout(file);
    top->addSpacing(6);
    top->addLayout(grid);
    top->addSpacing(6);
    top->addWidget(label7_);
    top->addSpacing(6);
    // Close ends the dialog with Abort, not by rejecting it.
    top->addLayout(ButtonRow(this).Stretch().Actions({convert_, close_}).Layout());
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(convert_, &QPushButton::clicked, this, &TFADbfConvert::Convert_BBClick);
    connect(close_, &QPushButton::clicked, this, &TFADbfConvert::Close_BBClick);
    ApplyCaptions();
    KeepTitleVisible(this);
}

TFADbfConvert::~TFADbfConvert() = default;

void TFADbfConvert::ApplyCaptions() {
    // This dialog has no English texts.
    setWindowTitle(QStringLiteral("Převod staré  databáze na novou"));
    label5_->setText(QStringLiteral("Databáze:"));
    label1_->setText(QStringLiteral("Jméno vstupu"));
    label2_->setText(QStringLiteral("Jednotka"));
    vstup1_->setText(QStringLiteral("Vstup1"));
    vstup2_->setText(QStringLiteral("Vstup2"));
    label7_->setText(QStringLiteral("Stará databáze se přejmenuje na *.dbfbak"));
    convert_->setText(QStringLiteral("Převést"));
    close_->setText(QStringLiteral("&Konec"));
}

void TFADbfConvert::showEvent(QShowEvent* event) {
    ApplyCaptions();
    QDialog::showEvent(event);
}

bool TFADbfConvert::PrepareConversion(const std::string& path) {
    dbfName_->setText(Q(kolvex::ExtractFileName(path)));
    dbfName_->setToolTip(Q(path));
    return conversion_->PrepareConversion(path);
}

void TFADbfConvert::FormShow() {
    kolvex::OldDatabaseConversion& c = *conversion_;
    if (!c.ReadLegacyParameters()) Hooks.Message(Q(kolvex::LegacyChecksumMessage()));
    struct Row {
        QLabel* label;
        QLineEdit *name, *unit;
    };
    const Row rows[2] = {{vstup1_, name1_, jedn1_}, {vstup2_, name2_, jedn2_}};
    for (int i = 0; i < 2; ++i) {
        const Row& r = rows[i];
        const bool present = c.HasInput(i);
        if (present) {
            r.name->setText(Q(c.InputName(i)).left(kNameLength));
            r.unit->setText(Q(c.InputUnit(i)).left(kUnitLength));
        }
        r.label->setVisible(present);
        r.name->setVisible(present);
        r.unit->setVisible(present);
    }
}

void TFADbfConvert::Convert_BBClick() {
    try {
        conversion_->Convert({Text(name1_), Text(name2_)}, {Text(jedn1_), Text(jedn2_)});
    } catch (const std::exception& e) {
        // The dialog stays open; after a failed rename the old files have
        // moved, so another try is not offered.
        if (conversion_->Spent()) convert_->setEnabled(false);
        Hooks.Error(e);
        return;
    }
    done(Ok);
}

void TFADbfConvert::Close_BBClick() { done(Abort); }

// ---- the converter the data module calls ----------------------------------------

DialogOldStructureConverter::DialogOldStructureConverter(kolvex::TADM& adm, QWidget* parentWindow)
    : QObject(parentWindow), adm_(adm), parentWindow_(parentWindow) {
    setObjectName(QStringLiteral("OldStructureConverter"));
}

DialogOldStructureConverter::~DialogOldStructureConverter() { adm_.SetConverter(nullptr); }

bool DialogOldStructureConverter::Convert(kolvex::TADM& adm, const std::string& path) {
    TFADbfConvert dialog(adm, parentWindow_.data());
    if (OnCreated) OnCreated(dialog);
    if (!dialog.PrepareConversion(path)) return false;
    dialog.FormShow();
    const int result = RunDialog ? RunDialog(dialog) : RunModal(dialog);
    return result == TFADbfConvert::Ok;
}

DialogOldStructureConverter* InstallOldDatabaseConverter(kolvex::ArchiveContext& ctx, QWidget* parent) {
    auto* converter = new DialogOldStructureConverter(ctx.Adm, parent);
    auto* hidden = new TFADbfConvert(ctx.Adm, parent);
    hidden->setObjectName(QStringLiteral("FADbfConvert"));
    hidden->hide();
    converter->SetHiddenWindow(hidden);
    ctx.Adm.SetConverter(converter);
    return converter;
}

}  // namespace kolvex::ui
