#include "output/ui/OutputSupport.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/ui/DialogKit.h"
#include "base/ui/ModalRunner.h"

namespace kolvex::ui {

OutputHooks DefaultOutputHooks(QWidget* parent) {
    OutputHooks h;
    static_cast<DialogHooks&>(h) = DefaultDialogHooks(parent);
    h.Saved = [parent](const QString&, const QString& message) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("kolvex12"), message, QMessageBox::NoButton, parent);
        box.setObjectName(QStringLiteral("Saved_MB"));
        QPushButton* open = box.addButton(Tx("&Otevřít", "&Open"), QMessageBox::AcceptRole);
        QPushButton* folder = box.addButton(Tx("Otevřít &složku", "Open &folder"), QMessageBox::ActionRole);
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
    if (pages) return Tx("Zapsán soubor %1  (stran: %2)", "Written %1  (pages: %2)").arg(file, n);
    return Tx("Zapsán soubor %1  (řádků: %2)", "Written %1  (rows: %2)").arg(file, n);
}

bool OpenContainingFolder(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
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
