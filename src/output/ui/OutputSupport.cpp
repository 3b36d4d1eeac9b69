// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ui/OutputSupport.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
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

namespace {

// Whether the desktop names a default application for the file's type; true
// when it cannot be asked (the opening itself then tells).
bool HasRegisteredApplication(const QString& path) {
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (query.isEmpty()) return true;
    QProcess p;
    p.start(query, {QStringLiteral("query"), QStringLiteral("default"), QMimeDatabase().mimeTypeForFile(path).name()});
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(1000);
        return true;
    }
    return p.exitStatus() != QProcess::NormalExit || !p.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

bool OpenInRegisteredApplication(const QString& path) {
    return HasRegisteredApplication(path) && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString NoApplicationText(const QString& path, bool folderOpened) {
    QString text = Tx("Pro soubor %1 není zaregistrována žádná aplikace, která by jej otevřela.",
                      "No application is registered to open the file %1.")
                       .arg(QDir::toNativeSeparators(path));
    if (folderOpened) text += QLatin1Char('\n') + Tx("Otevřena je složka se souborem.", "Its folder was opened instead.");
    return text;
}

bool OpenWrittenFile(const QString& path, const std::function<bool(const QString&)>& openFile,
                     const std::function<bool(const QString&)>& openFolder, const DialogHooks& hooks,
                     const QString& title, const QString& text) {
    if (openFile && openFile(path)) return true;
    const bool folder = openFolder && openFolder(path);
    const QString why = NoApplicationText(path, folder);
    if (hooks.Warn) hooks.Warn(title, text.isEmpty() ? why : text + QStringLiteral("\n\n") + why);
    return false;
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
