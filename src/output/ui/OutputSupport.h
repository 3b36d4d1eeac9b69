// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pieces shared by the output dialogs: the small up/down button of the month
// and step displays, and the box that reports a written file, which joins
// the dialog kit's hooks so that a test answers it instead of a user.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "base/ui/DialogHooks.h"

class QToolButton;

namespace kolvex::ui {

// The dialog kit's message boxes and the one of a written file.
struct OutputHooks : DialogHooks {
    // A file was written: the message names it; the answer is what the user
    // wants next.
    enum class AfterSave { Nothing, OpenFile, OpenFolder };
    std::function<AfterSave(const QString& path, const QString& message)> Saved;
};

// "<path>" with its row or page count, for the message and the status line.
QString SavedText(const QString& path, std::uint64_t count, bool pages);
// Opens the folder that holds path in the desktop's file manager.
bool OpenContainingFolder(const QString& path);
// Opens a written file in the application the desktop registers for its type;
// false when none is registered or it could not be started.
bool OpenInRegisteredApplication(const QString& path);
// The text when a written file could not be opened: it names the file and
// says whether its folder was opened instead.
QString NoApplicationText(const QString& path, bool folderOpened);
// "Open" of a written file: the file, else its folder; when the file could not
// be opened the user is told (the warning of `title` and `text`, followed by
// NoApplicationText). True when the file itself was opened.
bool OpenWrittenFile(const QString& path, const std::function<bool(const QString&)>& openFile,
                     const std::function<bool(const QString&)>& openFolder, const DialogHooks& hooks,
                     const QString& title, const QString& text);
OutputHooks DefaultOutputHooks(QWidget* parent);

// An up/down button pair (the arrows of a spin box without its field), for
// displays that change only in steps.
class UpDownButton : public QWidget {
    Q_OBJECT
public:
    explicit UpDownButton(QWidget* parent = nullptr);
    QToolButton* UpButton() const { return up_; }
    QSize sizeHint() const override;

signals:
    void upClicked();
    void downClicked();

private:
    QToolButton *up_, *down_;
};

}  // namespace kolvex::ui
