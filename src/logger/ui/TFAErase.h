// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive erase dialog: how full the logger's archive memory is, its two
// pointers, and the emptying step (read bookmark := write pointer).

#include <QDialog>

#include "logger/LoggerContext.h"
#include "base/ui/DialogHooks.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kolvex::ui {

class TFAErase : public QDialog {
    Q_OBJECT
public:
    explicit TFAErase(kolvex::LoggerContext& ctx, QWidget* parent = nullptr);
    // Reads the archive pointers (9 bytes) and shows fill and pointers;
    // throws the failed operation's error.
    void OpenSequence();
    void ApplyCaptions();

    // The error box, and the question before emptying (asked preferring No:
    // Enter and Escape answer No).
    DialogHooks Hooks;

public slots:
    // Reads the pointers, asks (naming the bytes not read since the last
    // download) and on Yes empties the archive up to the write pointer it
    // read, then closes; also after a failure, which is shown first. On No
    // nothing is written and the dialog stays open.
    void Erase_BBClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    kolvex::LoggerContext& ctx_;
    QLabel *zaplneni_, *aFree_, *ukaz_, *ukazatel_;
    QProgressBar* aFreePb_;
    QPushButton *erase_, *close_, *help_;
};

}  // namespace kolvex::ui
