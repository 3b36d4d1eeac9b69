// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every modal dialog and message box of the program is shown through
// RunModal, so that a test can answer it instead of a user.

#include <functional>

class QDialog;

namespace kolvex::ui {

// Shows the dialog modally and returns its result (QDialog::exec()), or what
// the installed hook returns.
int RunModal(QDialog& dialog);

// A hook that is called instead of exec(); nullptr restores exec(). The hook
// may click buttons of the dialog and returns the result to report.
using ModalHook = std::function<int(QDialog&)>;
void SetModalHook(ModalHook hook);

}  // namespace kolvex::ui
