// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress window of long operations: a small always-on-top window with
// a bar, the percentage and an optional abort button.
//
// Callers create it, call SetMessage, show it (not modally), call SetProgress
// after each unit of work with (done + 1) * 100 / total, let pending events
// run where the operation may be aborted, stop when SetProgress returns true,
// and finally close and destroy it.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kolvex::ui {

class TFProgress : public QDialog {
    Q_OBJECT
public:
    explicit TFProgress(QWidget* parent = nullptr);

    // Shows or hides the abort button; the window caption becomes `text`.
    void SetMessage(const QString& text, bool abortVisible);
    // Sets the bar and the label ("42 %"); returns whether the user aborted.
    bool SetProgress(int percent);
    bool Aborted() const { return aborted_; }

    // The abort button's caption by the language.
    void ApplyCaptions();

signals:
    // The user (or a termination signal) asked to stop.
    void Aborting();

public slots:
    void Abort_BBClick();
    void reject() override;

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    // Closing by the window system counts as aborting.
    void closeEvent(QCloseEvent* e) override;

private:
    QProgressBar* progressBar_;
    QLabel* lProgress_;
    QPushButton* abortBB_;
    bool aborted_ = false;
    void SetAborted();
};

}  // namespace kolvex::ui
