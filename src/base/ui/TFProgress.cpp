// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ui/TFProgress.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "base/Language.h"
#include "base/ui/DialogKit.h"

namespace kolvex::ui {

TFProgress::TFProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TFProgress"));
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("ProgressBar"));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);

    lProgress_ = new QLabel(QStringLiteral("0 %"), this);
    lProgress_->setObjectName(QStringLiteral("LProgress"));
    QFont bold = lProgress_->font();
    bold.setBold(true);
    lProgress_->setFont(bold);
    lProgress_->setMinimumWidth(lProgress_->fontMetrics().horizontalAdvance(QStringLiteral("100 %")) + 4);
    lProgress_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    abortBB_ = MakeButton(this, "Abort_BB", QStyle::SP_DialogCancelButton);
    connect(abortBB_, &QPushButton::clicked, this, &TFProgress::Abort_BBClick);

    auto* row = new QHBoxLayout;
    row->addWidget(progressBar_, 1);
    row->addWidget(lProgress_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(abortBB_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);

    setFixedSize(312, 78);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    ApplyCaptions();
}

void TFProgress::ApplyCaptions() { abortBB_->setText(Tx("&Zrušit", "&Abort")); }

void TFProgress::SetMessage(const QString& text, bool abortVisible) {
    abortBB_->setVisible(abortVisible);
    setWindowTitle(text);
}

bool TFProgress::SetProgress(int percent) {
    progressBar_->setValue(percent < 0 ? 0 : percent > 100 ? 100 : percent);
    lProgress_->setText(QString::number(percent) + QStringLiteral(" %"));
    return aborted_;
}

void TFProgress::SetAborted() {
    const bool first = !aborted_;
    aborted_ = true;
    if (first) emit Aborting();
}

void TFProgress::Abort_BBClick() { SetAborted(); }

bool TFProgress::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) ApplyCaptions();
    return QDialog::event(e);
}

void TFProgress::showEvent(QShowEvent* e) {
    ApplyCaptions();
    QDialog::showEvent(e);
}

void TFProgress::closeEvent(QCloseEvent* e) {
    // The window has no close box; a close request from the window system
    // stops the operation (when it may be aborted) instead of hiding the
    // window under it. The caller's own close() goes through.
    if (e->spontaneous()) {
        if (!abortBB_->isHidden()) SetAborted();
        e->ignore();
        return;
    }
    e->accept();  // not through reject(), which only aborts
}

void TFProgress::reject() {
    // Escape presses the abort button when there is one; it never hides the
    // window while the operation runs.
    if (!abortBB_->isHidden()) SetAborted();
}

}  // namespace kolvex::ui

