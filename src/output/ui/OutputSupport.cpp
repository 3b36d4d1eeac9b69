#include "output/ui/OutputSupport.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/Language.h"
#include "base/ui/ErrorDisplay.h"
#include "base/ui/ModalRunner.h"

namespace kolvex::ui {

QString OutTr(const char* cs, const char* en) { return Q(kolvex::Tr(cs, en)); }

OutputHooks DefaultOutputHooks(QWidget* parent) {
    OutputHooks h;
    h.Error = [parent](const std::exception& e) { ShowError(parent, e); };
    h.Ask = [parent](const QString& question) {
        // The texts carry Windows line breaks; a message box wants "\n".
        QString text = question;
        text.remove(QLatin1Char('\r'));
        return AskYesNo(parent, text);
    };
    h.Info = [parent](const QString& message) { ShowInfo(parent, message); };
    h.Warn = [parent](const QString& title, const QString& message) {
        QMessageBox box(QMessageBox::Warning, title, message, QMessageBox::Ok, parent);
        RunModal(box);
    };
    h.Saved = [parent](const QString&, const QString& message) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("kolvex12"), message, QMessageBox::NoButton, parent);
        box.setObjectName(QStringLiteral("Saved_MB"));
        QPushButton* open = box.addButton(OutTr("&Otevřít", "&Open"), QMessageBox::AcceptRole);
        QPushButton* folder = box.addButton(OutTr("Otevřít &složku", "Open &folder"), QMessageBox::ActionRole);
        box.addButton(QMessageBox::Close);
        box.setDefaultButton(QMessageBox::Close);
        RunModal(box);
        if (box.clickedButton() == open) return OutputHooks::AfterSave::OpenFile;
        if (box.clickedButton() == folder) return OutputHooks::AfterSave::OpenFolder;
        return OutputHooks::AfterSave::Nothing;
    };
    return h;
}

QString SavedText(const QString& path, std::uint64_t count, bool pages) {
    const QString n = QString::number(count);
    const QString file = QDir::toNativeSeparators(path);
    if (pages) return OutTr("Zapsán soubor %1  (stran: %2)", "Written %1  (pages: %2)").arg(file, n);
    return OutTr("Zapsán soubor %1  (řádků: %2)", "Written %1  (rows: %2)").arg(file, n);
}

bool OpenContainingFolder(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

QPushButton* MakeOutputButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(parent->style()->standardIcon(icon));
    b->setAutoDefault(false);
    return b;
}

UpDownButton::UpDownButton(QWidget* parent) : QWidget(parent) {
    auto make = [this](Qt::ArrowType arrow, const char* name) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setArrowType(arrow);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        b->setFixedWidth(17);
        b->setMinimumHeight(6);
        return b;
    };
    up_ = make(Qt::UpArrow, "Up");
    down_ = make(Qt::DownArrow, "Down");
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    l->addWidget(up_);
    l->addWidget(down_);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(up_, &QToolButton::clicked, this, &UpDownButton::upClicked);
    connect(down_, &QToolButton::clicked, this, &UpDownButton::downClicked);
}

QSize UpDownButton::sizeHint() const { return {17, 24}; }

}  // namespace kolvex::ui
