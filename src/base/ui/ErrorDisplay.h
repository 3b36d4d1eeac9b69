#pragma once
// The one place that shows errors and questions to the user.

#include <exception>
#include <QString>

class QWidget;

namespace kolvex::ui {

// Critical message box titled "kolvex12", a stop icon and OK; a full stop is
// appended unless the text ends in a character at most '.'.
void ShowError(QWidget* parent, const QString& message);
void ShowError(QWidget* parent, const std::exception& error);
// Yes/No confirmation box; true for Yes.
bool AskYesNo(QWidget* parent, const QString& question);
// Plain information box titled "kolvex12".
void ShowInfo(QWidget* parent, const QString& message);

// UTF-8 core text to QString.
inline QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace kolvex::ui
