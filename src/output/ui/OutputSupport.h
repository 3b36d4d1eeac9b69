#pragma once
// Pieces shared by the output dialogs: the bilingual caption helper, the
// buttons with pictures, the small up/down button of the month and step
// displays, and the replaceable hooks for every message box, so that a test
// answers them instead of a user.

#include <QString>
#include <QStyle>
#include <QWidget>

#include <cstdint>
#include <exception>
#include <functional>

class QPushButton;
class QToolButton;

namespace kolvex::ui {

// The Czech or the English text by the current language.
QString OutTr(const char* cs, const char* en);

// The message boxes of a dialog. The defaults are the program's common boxes
// (errors, questions, information) and a warning box with its own title.
struct OutputHooks {
    std::function<void(const std::exception&)> Error;
    std::function<bool(const QString& question)> Ask;  // true for Yes
    std::function<void(const QString& message)> Info;
    std::function<void(const QString& title, const QString& message)> Warn;
    // A file was written: the message names it; the answer is what the user
    // wants next.
    enum class AfterSave { Nothing, OpenFile, OpenFolder };
    std::function<AfterSave(const QString& path, const QString& message)> Saved;
};

// "<path>" with its row or page count, for the message and the status line.
QString SavedText(const QString& path, std::uint64_t count, bool pages);
// Opens the folder that holds path in the desktop's file manager.
bool OpenContainingFolder(const QString& path);
OutputHooks DefaultOutputHooks(QWidget* parent);

QPushButton* MakeOutputButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon);

// An up/down button pair (the arrows of a spin box without its field), for
// displays that change only in steps.
class UpDownButton : public QWidget {
    Q_OBJECT
public:
    explicit UpDownButton(QWidget* parent = nullptr);
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }
    QSize sizeHint() const override;

signals:
    void upClicked();
    void downClicked();

private:
    QToolButton *up_, *down_;
};

}  // namespace kolvex::ui
