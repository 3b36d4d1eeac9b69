// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ui/ErrorDisplay.h"

#include <QMessageBox>

#include "base/Errors.h"
#include "base/ui/ModalRunner.h"

namespace kolvex::ui {

QString BoxText(const std::string& text) { return BoxText(QString::fromStdString(text)); }

QString BoxText(QString text) {
    text.remove(QLatin1Char('\r'));
    return text;
}

void ShowError(QWidget* parent, const QString& message) {
    const QString text = QString::fromStdString(WithFullStop(message.toStdString()));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("kolvex12"), text, QMessageBox::Ok, parent);
    RunModal(box);
}

void ShowError(QWidget* parent, const std::exception& error) { ShowError(parent, QString::fromUtf8(error.what())); }

bool AskYesNo(QWidget* parent, const QString& question, Answer preferred) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("kolvex12"), question, QMessageBox::Yes | QMessageBox::No,
                    parent);
    if (preferred == Answer::No) {
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setDefaultButton(QMessageBox::Yes);
    }
    return RunModal(box) == QMessageBox::Yes;
}

void ShowInfo(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("kolvex12"), message, QMessageBox::Ok, parent);
    RunModal(box);
}

void ShowMessage(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("kolvex12"), message, QMessageBox::Ok, parent);
    RunModal(box);
}

void ShowWarning(QWidget* parent, const QString& title, const QString& message) {
    QMessageBox box(QMessageBox::Warning, title, message, QMessageBox::Ok, parent);
    RunModal(box);
}

}  // namespace kolvex::ui
