// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pictures of the tool buttons and menu items: icons of the installed
// freedesktop icon theme (Adwaita), with the style's standard pictures as
// the fallback, and two small flags drawn here for the language buttons.

#include <QIcon>
#include <QPixmap>
#include <QStyle>

namespace kolvex::ui {

// Chooses the icon theme once (Adwaita when the platform names none).
void InitIconTheme();
// The theme icon `name`, or the style's standard picture when the theme
// has none.
QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback);
// The Czech and the British flag, drawn at the usual tool-bar sizes.
// The program's picture: a logger with its display and a recorded curve.
QPixmap LoggerPicture(int size);
QIcon AppIcon();
QIcon CzechFlagIcon();
QIcon EnglishFlagIcon();

}  // namespace kolvex::ui
