// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGTERM (logout, shutdown) and SIGINT (Ctrl+C) close the program like the
// user would, from whatever state it is in: open dialogs and message boxes
// are dismissed, a running download stops as on Abort, and then the main
// window closes, which stores the configuration. A second signal ends the
// program at once.

class QApplication;
class QWidget;

namespace kolvex::ui {

// Installs the handlers; the main window is closed once `mainWindow` is set.
void InstallTermination(QApplication& app);
// The window to close; a predicate tells when it is in the middle of a
// command that must unwind first (a download between its dialogs).
void SetTerminationTarget(QWidget* mainWindow, bool (*busy)(QWidget*));
bool TerminationRequested();

}  // namespace kolvex::ui
