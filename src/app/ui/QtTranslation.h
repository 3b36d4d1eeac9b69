#pragma once
// Qt's own texts (file, colour and print dialogs, message box buttons,
// context menus) in the program's language.

#include <QString>

#include "base/Language.h"

namespace kolvex::ui {

// Installs Qt's Czech translation for Czech and removes it for English; the
// windows created afterwards, and the standard buttons retranslated by Qt,
// follow. Returns false when the Czech translation is not installed (Qt's
// texts then stay English).
bool ApplyQtTranslation(kolvex::Lang language);

// The folder searched for "qtbase_cs.qm" (Qt's translations folder unless
// set, for tests).
void SetQtTranslationDir(const QString& dir);

}  // namespace kolvex::ui
