#include "base/ui/DialogKit.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QDialog>
#include <QKeyEvent>

#include "base/Language.h"
#include "base/ui/Help.h"

namespace kolvex::ui {

QString Tx(const char* cs, const char* en) { return Q(kolvex::Tr(cs, en)); }

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
