// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place that shows errors, questions and messages to the user. Every
// box is titled "kolvex12" (a warning names its own title) and runs through
// RunModal, so that a test can answer it.

#include <exception>
#include <string>

#include <QString>

class QWidget;

namespace kolvex::ui {

// The answer Enter gives to a Yes/No question. A question that prefers No
// (before a step that destroys data) also answers No on Escape.
enum class Answer { Yes, No };

// Critical message box titled "kolvex12", a stop icon and OK; a full stop is
// appended unless the text ends in a character at most '.'.
void ShowError(QWidget* parent, const QString& message);
void ShowError(QWidget* parent, const std::exception& error);
// Yes/No question box; true for Yes.
bool AskYesNo(QWidget* parent, const QString& question, Answer preferred = Answer::Yes);
// Plain information box titled "kolvex12".
void ShowInfo(QWidget* parent, const QString& message);
// A message box without an icon, titled "kolvex12".
void ShowMessage(QWidget* parent, const QString& message);
// A warning box with its own title.
void ShowWarning(QWidget* parent, const QString& title, const QString& message);

// UTF-8 core text to QString.
inline QString Q(const std::string& s) { return QString::fromStdString(s); }
// A text for a message box: the core's Windows line breaks become "\n".
QString BoxText(const std::string& text);
QString BoxText(QString text);

}  // namespace kolvex::ui
