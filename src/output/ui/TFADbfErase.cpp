// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ui/TFADbfErase.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

#include "base/ui/DialogKit.h"
#include "base/ui/TFProgress.h"
#include "archive/FileOps.h"
#include "output/TableOutput.h"
#include "output/ui/PeriodGroup.h"

namespace kolvex::ui {

namespace {
constexpr int kHelpContext = 1323;
}

TFADbfErase::TFADbfErase(kolvex::ArchiveContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TFADbfErase"));
    Hooks = DefaultDialogHooks(this);
    period_ = new PeriodGroup(kolvex::PeriodDialog::Erase, false, this);
    odstranit_ = MakeButton(this, "Odstranit_BB", QStyle::SP_TrashIcon);
    help_ = MakeButton(this, "Help_BB", QStyle::SP_DialogHelpButton);
    close_ = MakeButton(this, "Close_BB", QStyle::SP_DialogCloseButton);

    auto* top = new QVBoxLayout(this);
    top->addWidget(period_);
    top->addSpacing(4);
    top->addLayout(FootRow(this, help_, kHelpContext, {odstranit_}, close_));
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(odstranit_, &QPushButton::clicked, this, &TFADbfErase::Odstranit_BBClick);

    ApplyCaptions();
    period_->Load(ctx_.Config.ErasePeriod);
}

void TFADbfErase::ApplyCaptions() {
    setWindowTitle(Tx("Odstranění záznamů z databáze", "Delete records from the database"));
    odstranit_->setText(Tx("&Odstranit", "&Delete"));
    help_->setText(Tx("&Nápověda", "&Help"));
    close_->setText(Tx("&Zavřít", "&Close"));
    period_->ApplyCaptions();
}

kolvex::EraseTarget TFADbfErase::Target(bool all, double start, double end) {
    kolvex::Table& t = ctx_.Adm.Table1;
    kolvex::EraseTarget target;
    target.Path = t.Path();
    if (all) {
        target.Records = t.RecordCount();
        const QString par = Q(kolvex::ReplaceExtension(t.Path(), ".par"));
        for (const QString& f : {Q(t.Path()), par})
            if (QFileInfo(f).isFile()) target.Bytes += static_cast<std::uint64_t>(QFileInfo(f).size());
    } else {
        target.Records = kolvex::CountRecordsInPeriod(t, start, end);
    }
    return target;
}

void TFADbfErase::Odstranit_BBClick() {
    const kolvex::Lang lang = kolvex::CurrentLanguage();
    int result = QDialog::Rejected;
    std::unique_ptr<TFProgress> progress;
    try {
        // Each question names what goes (the table, how many records) and
        // prefers No: Enter and Escape delete nothing, and No returns to the
        // dialog with the period as the user left it.
        if (period_->IsAll()) {
            if (!Hooks.Ask(Q(kolvex::EraseAllQuestion(Target(true, 0, 0), lang)), Answer::No)) return;
            result = QDialog::Accepted;
            ctx_.Adm.DeleteArchiveFiles();
        } else {
            // The confirmed values are the ones deleted, to the millisecond.
            const double start = period_->Start(), end = period_->End();
            if (!Hooks.Ask(Q(kolvex::ErasePeriodQuestion(start, end, Target(false, start, end), lang)), Answer::No))
                return;
            hide();
            progress = std::make_unique<TFProgress>(parentWidget());
            progress->SetMessage(Q(kolvex::EraseProgressMessage(lang)), false);
            // The dialog is hidden: the progress window keeps the program
            // from taking other commands while the records go.
            progress->setWindowModality(Qt::ApplicationModal);
            progress->show();
            result = QDialog::Accepted;
            int shown = -1;
            const std::int32_t deleted = ctx_.Adm.DeleteRecordsInPeriod(start, end, [&](int percent) {
                // Called for every record; the window repaints when its figure changes.
                if (percent == shown) return;
                shown = percent;
                progress->SetProgress(percent);
                QCoreApplication::processEvents();
            });
            progress->close();
            progress.reset();
            Hooks.Info(Q(kolvex::EraseResultMessage(deleted, lang)));
        }
    } catch (const std::exception& e) {
        if (progress) progress->close();
        progress.reset();
        Hooks.Error(e);
    }
    done(result);
}

void TFADbfErase::done(int result) {
    period_->Store(ctx_.Config.ErasePeriod);
    QDialog::done(result);
}

void TFADbfErase::keyPressEvent(QKeyEvent* event) {
    if (!HelpKey(this, event, kHelpContext)) QDialog::keyPressEvent(event);
}

}  // namespace kolvex::ui
