// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ui/Help.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QShortcut>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

#include "base/Language.h"
#include "base/ReadFile.h"

// The help pages are compiled into the static library; their initialiser
// must be referenced from code that is linked.
static void InitHelpResources() { Q_INIT_RESOURCE(help); }

namespace kolvex::ui {

namespace {

QPointer<QDialog> g_window;
QPointer<QTextBrowser> g_browser;

// A page or picture from the installed folder is read only when it is a
// regular file: a named pipe in its place would block the reader for ever.
class HelpTextBrowser final : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl& name) override {
        const QUrl url = source().resolved(name);
        if (url.isLocalFile() && !IsReadableRegularFile(url.toLocalFile().toStdString())) {
            if (type == QTextDocument::HtmlResource)
                return QStringLiteral("<p>%1</p>").arg(QString::fromStdString(
                                                           NotRegularFileMessage(url.toLocalFile().toStdString()))
                                                           .toHtmlEscaped());
            return {};
        }
        return QTextBrowser::loadResource(type, name);
    }
};

QString LanguageFolder() { return CurrentLanguage() == Lang::English ? QStringLiteral("en") : QStringLiteral("cs"); }

// The help window belongs to the active modal dialog when there is one, so
// that the dialog does not block it; otherwise to the given window.
QWidget* HelpOwner(QWidget* parent) {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return parent ? parent->window() : nullptr;
}

void Show(QWidget* parent, const QUrl& url) {
    InitHelpResources();
    QWidget* owner = HelpOwner(parent);
    if (g_window && g_window->parentWidget() != owner) {
        g_window->deleteLater();
        g_window = nullptr;
    }
    if (!g_window) {
        g_window = new QDialog(owner, Qt::Window);
        g_window->setObjectName(QStringLiteral("HelpWindow"));
        g_window->setAttribute(Qt::WA_DeleteOnClose);
        g_window->resize(620, 520);
        g_browser = new HelpTextBrowser(g_window);
        g_browser->setObjectName(QStringLiteral("HelpBrowser"));
        g_browser->setOpenExternalLinks(false);
        auto* layout = new QVBoxLayout(g_window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(g_browser);
        QObject::connect(g_browser.data(), &QTextBrowser::sourceChanged, g_window.data(),
                         [] { g_window->setWindowTitle(g_browser->documentTitle()); });
    }
    g_browser->setSource(url);
    g_window->setWindowTitle(g_browser->documentTitle());
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
}

}  // namespace

QString CurrentHelpFile() {
    return CurrentLanguage() == Lang::English ? QStringLiteral("kolvex12_EN.hlp") : QStringLiteral("kolvex12.hlp");
}

QString InstalledHelpFolder(const QString& programFolder) {
    if (programFolder.isEmpty()) return {};
    const QString folder = QDir::cleanPath(programFolder + QStringLiteral("/../share/kolvex12/help"));
    if (!IsReadableRegularFile((folder + QStringLiteral("/en/index.html")).toStdString())) return {};
    return folder;
}

QUrl HelpPageUrl(int context) {
    InitHelpResources();
    const QString installed = InstalledHelpFolder(QCoreApplication::applicationDirPath());
    const QString folder = (installed.isEmpty() ? QStringLiteral(":/help") : installed) + QLatin1Char('/') +
                           LanguageFolder() + QLatin1Char('/');
    auto url = [&](const QString& path) {
        return installed.isEmpty() ? QUrl(QStringLiteral("qrc") + path) : QUrl::fromLocalFile(path);
    };
    const QString topic = folder + QString::number(context) + QStringLiteral(".html");
    const bool present = installed.isEmpty() ? QFile::exists(topic) : IsReadableRegularFile(topic.toStdString());
    if (context != 0 && present) return url(topic);
    return url(folder + QStringLiteral("index.html"));
}

void ShowHelpContents(QWidget* parent) { Show(parent, HelpPageUrl(0)); }

void ShowHelpTopic(QWidget* parent, int context) { Show(parent, HelpPageUrl(context)); }

QTextBrowser* HelpBrowser() { return g_browser.data(); }

}  // namespace kolvex::ui
