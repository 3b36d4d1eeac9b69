#pragma once
// Small pieces shared by the logger service dialogs: bilingual caption text,
// the buttons with pictures, the replaceable hooks for errors and questions
// (tests put their own in, so no message box ever blocks them) and the
// greying of fixed controls.

#include <QColor>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QStyle>
#include <QWidget>

#include <exception>
#include <functional>

#include "base/Language.h"
#include "base/ui/ErrorDisplay.h"
#include "base/ui/ModalRunner.h"

namespace kolvex::ui {

// The Czech or English text by the current language.
inline QString Tx(const char* cs, const char* en) { return Q(kolvex::Tr(cs, en)); }

// Shows an error of a dialog command; the default is the common error display.
using ErrorHook = std::function<void(const std::exception&)>;
// Asks a Yes/No question; true for Yes. The default is the common question box.
using ConfirmHook = std::function<bool(const QString&)>;

inline ErrorHook DefaultErrorHook(QWidget* parent) {
    return [parent](const std::exception& e) { ShowError(parent, e); };
}

inline ConfirmHook DefaultConfirmHook(QWidget* parent) {
    return [parent](const QString& question) {
        // The question texts carry Windows line breaks; a message box wants "\n".
        QString text = question;
        text.remove(QLatin1Char('\r'));
        return AskYesNo(parent, text);
    };
}

// A Yes/No question whose default (and Escape) answer is No, for a step that
// destroys data; true for Yes.
inline ConfirmHook DefaultNoConfirmHook(QWidget* parent) {
    return [parent](const QString& question) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("kolvex12"), question,
                        QMessageBox::Yes | QMessageBox::No, parent);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return RunModal(box) == QMessageBox::Yes;
    };
}

inline QPushButton* MakeButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(parent->style()->standardIcon(icon));
    b->setAutoDefault(false);
    return b;
}

// A control whose value the logger fixes: disabled, on the button-face colour.
inline void SetFixed(QWidget* w, bool fixed) {
    w->setEnabled(!fixed);
    QPalette pal = w->palette();
    if (fixed) {
        pal.setColor(QPalette::Base, pal.color(QPalette::Button));
        pal.setColor(QPalette::Disabled, QPalette::Base, pal.color(QPalette::Button));
    } else {
        pal.setColor(QPalette::Base, w->style()->standardPalette().color(QPalette::Base));
    }
    w->setPalette(pal);
}

inline const QColor kIndicatorOk{0, 255, 0};   // lime
inline const QColor kIndicatorErr{255, 0, 0};  // red

}  // namespace kolvex::ui
