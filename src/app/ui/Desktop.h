// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program on the user's desktop: every window kept inside the screen's
// available area, and the light or dark colour scheme of the desktop.

#include <QPalette>

class QWidget;

namespace kolvex::ui {

// Moves (and where it can, shrinks) a top-level window so that its frame lies
// inside the available area of its screen.
void FitToScreen(QWidget* window);
// Fits every top-level window of the program when it is shown: the main
// window at its first start or restored placement, and every dialog and box.
// Installed once; later calls do nothing.
void InstallScreenFit();

// True when the palette's window colour is dark (a dark desktop theme).
bool IsDarkPalette(const QPalette& palette);
// The desktop's colour scheme: when it prefers dark and the toolkit did not
// already give a dark palette, the program takes a dark palette (and goes
// back to the style's own when the desktop turns light again). Asked of the
// desktop portal's appearance setting, followed while the program runs; a
// GTK_THEME whose variant is ":dark" counts as a desktop that prefers dark.
void FollowDesktopColourScheme();

}  // namespace kolvex::ui
