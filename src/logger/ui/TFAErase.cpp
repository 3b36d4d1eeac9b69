// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/ui/TFAErase.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "base/ui/DialogKit.h"
#include "logger/LoggerAudit.h"
#include "logger/ServiceViews.h"

namespace kolvex::ui {

namespace {
constexpr int kHelpContext = 1301;

QLabel* MakeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}
}  // namespace

TFAErase::TFAErase(kolvex::LoggerContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFAErase"));
    Hooks = DefaultDialogHooks(this);
    zaplneni_ = MakeLabel(this, "Zaplneni_L");
    aFreePb_ = new QProgressBar(this);
    aFreePb_->setObjectName(QStringLiteral("AFree_PB"));
    aFreePb_->setRange(0, 100);
    aFreePb_->setValue(0);
    aFreePb_->setTextVisible(false);
    aFreePb_->setMinimumWidth(220);
    aFree_ = MakeLabel(this, "AFree_L");
    ukaz_ = MakeLabel(this, "Ukaz_L");
    ukazatel_ = MakeLabel(this, "Ukazatel_L");
    // The figures are padded with spaces; a fixed-pitch font keeps them aligned.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    aFree_->setFont(fixed);
    ukazatel_->setFont(fixed);
    erase_ = MakeButton(this, "Erase_BB", QStyle::SP_TrashIcon);
    close_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);
    help_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);

    auto* grid = new QGridLayout;
    grid->addWidget(zaplneni_, 0, 0, 1, 2);
    grid->addWidget(aFreePb_, 1, 0);
    grid->addWidget(aFree_, 1, 1);
    auto* pointers = new QHBoxLayout;
    pointers->addWidget(ukaz_);
    pointers->addSpacing(12);
    pointers->addWidget(ukazatel_);
    pointers->addStretch();
    grid->addLayout(pointers, 2, 0, 1, 2);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addSpacing(8);
    top->addLayout(FootRow(this, help_, kHelpContext, {erase_}, close_));
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(erase_, &QPushButton::clicked, this, &TFAErase::Erase_BBClick);
    ApplyCaptions();
}

void TFAErase::ApplyCaptions() {
    setWindowTitle(Tx("Vymazání archivace", "Erase data from logger"));
    zaplneni_->setText(Tx("Zaplnění archivační paměti", "Full memory"));
    ukaz_->setText(Tx("Ukazatele", "Pointers"));
    erase_->setText(Tx("&Odstranit", "&Delete"));
    help_->setText(Tx("&Nápověda", "&Help"));
    close_->setText(Tx("&Zavřít", "&Close"));
}

void TFAErase::OpenSequence() {
    // The fill is taken of the logger's own archive size.
    ctx_.Ops.ReadLoggerType();
    ctx_.Ops.ReadInputInfo();
    const ArchivePointers p = ctx_.Ops.ReadArchivePointers(9);
    const int fill = ArchiveFillPercent(p, ctx_.Logger.Image.InputInfo.ArchiveSize);
    // The bar stops at its ends; the label shows the figure as it is.
    aFreePb_->setValue(fill < 0 ? 0 : (fill > 100 ? 100 : fill));
    aFree_->setText(Q(FormatFillPercent(fill)));
    ukazatel_->setText(Q(FormatPointers(p)));
}

void TFAErase::Erase_BBClick() {
    bool ok = true;
    try {
        // The question names what the pointers say now; Yes drops exactly that.
        const ArchivePointers p = ctx_.Ops.ReadArchivePointers(9);
        const std::uint32_t unread = UnreadArchiveBytes(p, ctx_.Logger.Image.InputInfo.ArchiveSize);
        if (!Hooks.Ask(Q(EraseArchiveQuestion(p, unread, CurrentLanguage())), Answer::No)) return;
        ctx_.Ops.WriteArchiveReadPointer(p.ArchiveWrite);
        AuditArchiveErase(ctx_.Logger.Image, p, p.ArchiveWrite, "erase");
    } catch (const std::exception& e) {
        ok = false;
        Hooks.Error(e);
    }
    done(ok ? QDialog::Accepted : QDialog::Rejected);
}

void TFAErase::keyPressEvent(QKeyEvent* event) {
    if (!HelpKey(this, event, kHelpContext)) QDialog::keyPressEvent(event);
}

}  // namespace kolvex::ui
