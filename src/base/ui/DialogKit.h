// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every dialog is built from: the bilingual text chooser, the push
// button with a picture, the row of buttons at a dialog's foot (help,
// actions, close) with its help topic, the F1 key, and (DialogHooks.h) the
// hooks through which a dialog shows errors, asks questions and informs.

#include <QPushButton>
#include <QString>
#include <QStyle>

#include <initializer_list>

#include "base/ui/DialogHooks.h"
#include "base/ui/ErrorDisplay.h"

class QAbstractButton;
class QDateTimeEdit;
class QLocale;
class QBoxLayout;
class QDialog;
class QKeyEvent;

namespace kolvex::ui {

// The Czech or the English text by the current language.
QString Tx(const char* cs, const char* en);

// The locale of the program's language, for month and day names: the
// system's own when it speaks that language, otherwise Czech (Czechia) or
// English (United Kingdom). Numbers keep the system's conventions.
QLocale ProgramLocale();
// The short date format of ProgramLocale, always with a four-digit year.
QString ProgramShortDateFormat();
// A date or time picker (and its calendar popup) in the program's language.
void UseProgramLocale(QDateTimeEdit* picker);

// A fixed-size dialog at least as wide as its title needs in the title bar
// (with room for the window buttons), so that the title is not cut off. For
// a title that does not change; called once, after the layout is built.
void KeepTitleVisible(QDialog* dialog);

// A push button named `name` with the style's picture `icon`. It does not
// become the default button by taking the focus: only a button the dialog
// makes its default answers Enter.
QPushButton* MakeButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon);

// A click on `help` shows help topic `context` for `dialog`.
void ConnectHelp(QAbstractButton* help, QWidget* dialog, int context);
// For a dialog's keyPressEvent: F1 shows help topic `context`; true when the
// key was F1 (the event is then consumed).
bool HelpKey(QWidget* dialog, QKeyEvent* event, int context);

// A row (or a column) of a dialog's buttons, in the order they are added.
// Help shows its topic and Close rejects the dialog; the dialog connects its
// action buttons itself.
class ButtonRow {
public:
    explicit ButtonRow(QDialog* dialog, Qt::Orientation orientation = Qt::Horizontal);
    ButtonRow& Help(QPushButton* help, int context);
    ButtonRow& Action(QPushButton* button);
    ButtonRow& Actions(std::initializer_list<QPushButton*> buttons);
    ButtonRow& Close(QPushButton* close);
    // Takes up the free room, parting the buttons before from those after.
    ButtonRow& Stretch();
    // The layout to add to the dialog's own.
    QBoxLayout* Layout() const { return layout_; }

private:
    QDialog* dialog_;
    QBoxLayout* layout_;
};

// The foot row of most dialogs: Help on the left, then the free room, the
// action buttons and Close on the right.
QBoxLayout* FootRow(QDialog* dialog, QPushButton* help, int helpContext, std::initializer_list<QPushButton*> actions,
                    QPushButton* close);

}  // namespace kolvex::ui
