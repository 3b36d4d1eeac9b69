// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The record deletion dialog: removes the records of a chosen period from the
// open archive table, or for the kind all the table file and its parameter
// file. It performs at most one action and closes (a question answered No
// returns to it); closing stores the period
// into ErasePeriod. The result is Accepted when the table may have changed
// (records or files deleted), so the caller shows the table anew.

#include <QDialog>

#include "archive/ArchiveContext.h"
#include "base/ui/DialogHooks.h"
#include "output/TableOutput.h"

class QPushButton;

namespace kolvex::ui {

class PeriodGroup;

class TFADbfErase : public QDialog {
    Q_OBJECT
public:
    explicit TFADbfErase(kolvex::ArchiveContext& ctx, QWidget* parent = nullptr);

    void ApplyCaptions();
    PeriodGroup* Period() const { return period_; }

    // Error, question and result boxes; tests put their own in.
    DialogHooks Hooks;

public slots:
    void Odstranit_BBClick();
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // What the deletion would destroy: the table, its records (those of the
    // period), for the whole archive the bytes on the disk.
    kolvex::EraseTarget Target(bool all, double start, double end);

    kolvex::ArchiveContext& ctx_;
    PeriodGroup* period_;
    QPushButton *odstranit_, *help_, *close_;
};

}  // namespace kolvex::ui
