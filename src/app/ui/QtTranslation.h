// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Qt's own texts (file, colour and print dialogs, message box buttons,
// context menus) in the program's language.

#include "base/Language.h"

namespace kolvex::ui {

// Installs Qt's Czech translation for Czech and removes it for English; the
// windows created afterwards, and the standard buttons retranslated by Qt,
// follow. Returns false when the Czech translation is not installed (Qt's
// texts then stay English).
bool ApplyQtTranslation(kolvex::Lang language);

}  // namespace kolvex::ui
