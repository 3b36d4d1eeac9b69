#include "base/ui/ErrorDisplay.h"

#include <QMessageBox>

#include "base/Errors.h"
#include "base/ui/ModalRunner.h"

namespace kolvex::ui {

void ShowError(QWidget* parent, const QString& message) {
    const QString text = QString::fromStdString(WithFullStop(message.toStdString()));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("kolvex12"), text, QMessageBox::Ok, parent);
    RunModal(box);
}

void ShowError(QWidget* parent, const std::exception& error) { ShowError(parent, QString::fromUtf8(error.what())); }

bool AskYesNo(QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("kolvex12"), question, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::Yes);
    return RunModal(box) == QMessageBox::Yes;
}

void ShowInfo(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("kolvex12"), message, QMessageBox::Ok, parent);
    RunModal(box);
}

}  // namespace kolvex::ui
