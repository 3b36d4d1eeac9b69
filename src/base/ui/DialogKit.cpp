// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ui/DialogKit.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QLocale>
#include <QDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QSpacerItem>

#include "base/Language.h"
#include "base/ui/Help.h"

namespace kolvex::ui {

QString Tx(const char* cs, const char* en) { return Q(kolvex::Tr(cs, en)); }

QLocale ProgramLocale() {
    const QLocale::Language wanted =
        kolvex::CurrentLanguage() == kolvex::Lang::English ? QLocale::English : QLocale::Czech;
    const QLocale system = QLocale::system();
    if (system.language() == wanted) return system;
    return wanted == QLocale::English ? QLocale(QLocale::English, QLocale::UnitedKingdom)
                                      : QLocale(QLocale::Czech, QLocale::Czechia);
}

QString ProgramShortDateFormat() {
    QString f = ProgramLocale().dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy"))) f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}

void UseProgramLocale(QDateTimeEdit* picker) {
    const QLocale locale = ProgramLocale();
    picker->setLocale(locale);
    if (picker->calendarPopup() && picker->calendarWidget()) picker->calendarWidget()->setLocale(locale);
}

void KeepTitleVisible(QDialog* dialog) {
    QLayout* layout = dialog->layout();
    if (!layout) return;
    // The title bar's font is the window system's; the application font in
    // bold is a fair measure of it.
    QFont font = dialog->font();
    font.setBold(true);
    const int needed = QFontMetrics(font).horizontalAdvance(dialog->windowTitle()) + 140;
    layout->addItem(new QSpacerItem(needed, 0, QSizePolicy::Fixed, QSizePolicy::Fixed));
}

QPushButton* MakeButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(parent->style()->standardIcon(icon));
    b->setAutoDefault(false);
    return b;
}

void ConnectHelp(QAbstractButton* help, QWidget* dialog, int context) {
    QObject::connect(help, &QAbstractButton::clicked, dialog, [dialog, context] { ShowHelpTopic(dialog, context); });
}

bool HelpKey(QWidget* dialog, QKeyEvent* event, int context) {
    if (event->key() != Qt::Key_F1) return false;
    ShowHelpTopic(dialog, context);
    return true;
}

ButtonRow::ButtonRow(QDialog* dialog, Qt::Orientation orientation)
    : dialog_(dialog),
      layout_(orientation == Qt::Horizontal ? static_cast<QBoxLayout*>(new QHBoxLayout)
                                            : static_cast<QBoxLayout*>(new QVBoxLayout)) {}

ButtonRow& ButtonRow::Help(QPushButton* help, int context) {
    layout_->addWidget(help);
    ConnectHelp(help, dialog_, context);
    return *this;
}

ButtonRow& ButtonRow::Action(QPushButton* button) {
    layout_->addWidget(button);
    return *this;
}

ButtonRow& ButtonRow::Actions(std::initializer_list<QPushButton*> buttons) {
    for (QPushButton* b : buttons) Action(b);
    return *this;
}

ButtonRow& ButtonRow::Close(QPushButton* close) {
    layout_->addWidget(close);
    QObject::connect(close, &QPushButton::clicked, dialog_, &QDialog::reject);
    return *this;
}

ButtonRow& ButtonRow::Stretch() {
    layout_->addStretch(1);
    return *this;
}

QBoxLayout* FootRow(QDialog* dialog, QPushButton* help, int helpContext, std::initializer_list<QPushButton*> actions,
                    QPushButton* close) {
    return ButtonRow(dialog).Help(help, helpContext).Stretch().Actions(actions).Close(close).Layout();
}

DialogHooks DefaultDialogHooks(QWidget* parent) {
    DialogHooks h;
    h.Error = [parent](const std::exception& e) { ShowError(parent, e); };
    h.Ask = [parent](const QString& question, Answer preferred) {
        return AskYesNo(parent, BoxText(question), preferred);
    };
    h.Info = [parent](const QString& message) { ShowInfo(parent, message); };
    h.Message = [parent](const QString& message) { ShowMessage(parent, message); };
    h.Warn = [parent](const QString& title, const QString& message) { ShowWarning(parent, title, message); };
    return h;
}

}  // namespace kolvex::ui
