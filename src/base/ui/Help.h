// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bilingual help: a contents page and one topic per help context number,
// shown in a help window in the current language. The help "file" in force
// follows the language: "kolvex12.hlp" (Czech) or "kolvex12_EN.hlp"
// (English); both are HTML pages, installed beside the program and also
// compiled into it for a run from the build folder.

#include <QString>
#include <QUrl>

class QWidget;
class QTextBrowser;

namespace kolvex::ui {

void ShowHelpContents(QWidget* parent);
void ShowHelpTopic(QWidget* parent, int context);

// The help file name of the current language.
QString CurrentHelpFile();
// The page of a help context in the current language (0 = the contents);
// an unknown number gives the contents page.
QUrl HelpPageUrl(int context);
// The installed help pages of a program in the given folder:
// <folder>/../share/kolvex12/help when it holds them, otherwise empty (the
// compiled-in pages are shown then).
QString InstalledHelpFolder(const QString& programFolder);
// The help window's browser, when the window exists (for tests).
QTextBrowser* HelpBrowser();

}  // namespace kolvex::ui
