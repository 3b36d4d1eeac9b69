// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The hooks through which a dialog shows errors, asks questions and informs:
// the part of the dialog kit (DialogKit.h) that a dialog's header needs. A
// test replaces them, so that no message box waits for a user.

#include <QString>

#include <exception>
#include <functional>

#include "base/ui/ErrorDisplay.h"

class QWidget;

namespace kolvex::ui {

// The message boxes of a dialog. The defaults (DefaultDialogHooks) are the
// program's common boxes; a test puts its own in.
struct DialogHooks {
    // An error of a dialog command.
    std::function<void(const std::exception&)> Error;
    // A Yes/No question; true for Yes. `preferred` is what Enter answers.
    std::function<bool(const QString& question, Answer preferred)> Ask;
    // Information, with the information icon.
    std::function<void(const QString& message)> Info;
    // A message box without an icon.
    std::function<void(const QString& message)> Message;
    // A warning under its own title.
    std::function<void(const QString& title, const QString& message)> Warn;
};

DialogHooks DefaultDialogHooks(QWidget* parent);

}  // namespace kolvex::ui
