// SPDX-License-Identifier: GPL-3.0-or-later
// The about box, the system information, the help pages and the common
// error display.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <stdexcept>

#include "base/Errors.h"
#include "base/Language.h"
#include "app/SystemInfo.h"
#include "base/ui/ErrorDisplay.h"
#include "base/ui/Help.h"
#include "base/ui/ModalRunner.h"
#include "app/ui/TFAbout02.h"

using namespace kolvex;
using namespace kolvex::ui;

namespace {
template <class T>
T* Child(QObject& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("no child %s", name);
    return c;
}
QString Text(QObject& w, const char* name) { return Child<QLabel>(w, name)->text(); }
}  // namespace

class AppDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void aboutBoxTexts() {
        SetLanguage(1);
        {
            TFAbout02 about;
            QCOMPARE(about.windowTitle(), QStringLiteral("Information"));
            QCOMPARE(Text(about, "Label2"), QStringLiteral("KOLVEX12"));
            QCOMPARE(Text(about, "Comments"), QStringLiteral("Quendal"));
            QCOMPARE(Text(about, "Label1"), QStringLiteral("2.0.10.01"));
            QCOMPARE(Text(about, "LDatum"), QStringLiteral("06.12.2006"));
            QCOMPARE(Text(about, "Label3"), QStringLiteral("Windows 95 / 98 / ME / 2000 / XP"));
            QCOMPARE(Text(about, "Manuf_L"), QStringLiteral("Marvenik"));
            QCOMPARE(Text(about, "Version_L"), QStringLiteral("Version"));
            QCOMPARE(Child<QPushButton>(about, "Close_BB")->text(), QStringLiteral("&Close"));
            QCOMPARE(Child<QPushButton>(about, "System_BB")->text(), QStringLiteral("&System"));
            QVERIFY(!Child<QLabel>(about, "Image1")->pixmap().isNull());
            QVERIFY(Text(about, "License_L").contains(QStringLiteral("GPL-3.0-or-later")));

            // System opens the system information modally.
            QString opened;
            SetModalHook([&](QDialog& d) {
                opened = d.objectName();
                return 0;
            });
            QTest::mouseClick(Child<QPushButton>(about, "System_BB"), Qt::LeftButton);
            SetModalHook(nullptr);
            QCOMPARE(opened, QStringLiteral("TFInfoSystem"));
        }
        SetLanguage(5);  // above 1: taken as Czech
        TFAbout02 cz;
        QCOMPARE(LanguageValue(), 0);
        QCOMPARE(cz.windowTitle(), QStringLiteral("Informace o aplikaci"));
        QCOMPARE(Text(cz, "Version_L"), QStringLiteral("Verze"));
        QCOMPARE(Child<QPushButton>(cz, "Close_BB")->text(), QStringLiteral("&Zavřít"));
        QCOMPARE(Text(cz, "Label2"), QStringLiteral("KOLVEX12"));
        QVERIFY(Text(cz, "License_L").startsWith(QStringLiteral("Licence: GNU GPL verze 3")));
        SetLanguage(1);
    }

    void systemInformation() {
        SetLanguage(1);
        const SystemInfo expected = QuerySystemInfo();
        TFInfoSystem info;
        QCOMPARE(info.windowTitle(), QStringLiteral("System information"));
        QCOMPARE(Text(info, "OS_L"), QStringLiteral("Operation system"));
        QCOMPARE(Text(info, "Platform_L"), QStringLiteral("Platform"));
        QCOMPARE(Text(info, "Verze_L"), QStringLiteral("Version"));
        QCOMPARE(Text(info, "STOS"), QString::fromStdString(expected.OS));
        QVERIFY(Text(info, "STPlatform").startsWith(QStringLiteral("Linux ")));
        QCOMPARE(Text(info, "STVerze"), QString::fromStdString(expected.Version));
        QVERIFY(Text(info, "STVerze") != QStringLiteral("unknown"));
        SetLanguage(0);
        TFInfoSystem cz;
        QCOMPARE(cz.windowTitle(), QStringLiteral("Systémové inforamce"));
        QCOMPARE(Text(cz, "OS_L"), QStringLiteral("Operační systém"));
        QCOMPARE(Text(cz, "Platform_L"), QStringLiteral("Platforma"));
        SetLanguage(1);
    }

    void helpPagesForEveryContext() {
        const int contexts[] = {1110, 1115, 1120, 1130, 1200, 1210, 1220, 1301,
                                1308, 1310, 1321, 1322, 1323, 1324, 1350};
        QTextBrowser browser;
        for (int lang : {0, 1}) {
            SetLanguage(lang);
            const QString folder = lang == 1 ? QStringLiteral("en") : QStringLiteral("cs");
            QCOMPARE(CurrentHelpFile(), lang == 1 ? QStringLiteral("kolvex12_EN.hlp") : QStringLiteral("kolvex12.hlp"));
            const QUrl contents = HelpPageUrl(0);
            QCOMPARE(contents, QUrl(QStringLiteral("qrc:/help/%1/index.html").arg(folder)));
            QCOMPARE(HelpPageUrl(4242), contents);  // unknown topic: the contents
            browser.setSource(contents);
            QVERIFY(!browser.documentTitle().isEmpty());
            for (int c : contexts) {
                const QUrl url = HelpPageUrl(c);
                QCOMPARE(url, QUrl(QStringLiteral("qrc:/help/%1/%2.html").arg(folder).arg(c)));
                browser.setSource(url);
                QVERIFY2(!browser.documentTitle().isEmpty(), qPrintable(url.toString()));
                QVERIFY(browser.toPlainText().size() > 40);
                // Every topic is listed on the contents page.
                browser.setSource(contents);
                QVERIFY(browser.toHtml().contains(QStringLiteral("%1.html").arg(c)));
            }
        }
        // The help window shows the topic asked for.
        SetLanguage(1);
        ShowHelpTopic(nullptr, 1220);
        QVERIFY(HelpBrowser());
        QCOMPARE(HelpBrowser()->source(), QUrl(QStringLiteral("qrc:/help/en/1220.html")));
        QCOMPARE(HelpBrowser()->window()->windowTitle(), QStringLiteral("Diagnostics"));
        ShowHelpContents(nullptr);
        QCOMPARE(HelpBrowser()->source(), QUrl(QStringLiteral("qrc:/help/en/index.html")));
        HelpBrowser()->window()->close();
    }

    void installedHelpBesideTheProgram() {
        // An installed program reads its pages from <prefix>/share/kolvex12/help.
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        QCOMPARE(InstalledHelpFolder(bin), QString());
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/kolvex12/help/en")));
        QCOMPARE(InstalledHelpFolder(bin), QString());  // no pages yet
        QFile page(prefix.filePath(QStringLiteral("share/kolvex12/help/en/index.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();
        QCOMPARE(InstalledHelpFolder(bin), prefix.filePath(QStringLiteral("share/kolvex12/help")));

        // A named pipe as a page is refused at once and named, not waited on.
        const QString pipe = prefix.filePath(QStringLiteral("share/kolvex12/help/en/77.html"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        ShowHelpContents(nullptr);
        HelpBrowser()->setSource(QUrl::fromLocalFile(pipe));
        QVERIFY2(HelpBrowser()->toPlainText().contains(pipe), qPrintable(HelpBrowser()->toPlainText()));
        HelpBrowser()->window()->close();
        QVERIFY(page.remove());
        QCOMPARE(::mkfifo(QFile::encodeName(page.fileName()).constData(), 0600), 0);
        QCOMPARE(InstalledHelpFolder(bin), QString());
    }

    void commonErrorDisplay() {
        QStringList texts;
        QList<int> icons;
        QStringList titles;
        int answer = QMessageBox::No;
        SetModalHook([&](QDialog& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            if (!box) return 0;
            texts << box->text();
            icons << static_cast<int>(box->icon());
            titles << box->windowTitle();
            return answer;
        });
        ShowError(nullptr, EComm("Communication error"));
        ShowError(nullptr, QStringLiteral("Soubor \"a.dbf\""));  // ends at or below '.'
        ShowError(nullptr, QStringLiteral("Chyba čtení: ř"));     // a multi-byte last character
        ShowError(nullptr, std::runtime_error("done."));
        QVERIFY(!AskYesNo(nullptr, QStringLiteral("Delete?")));
        answer = QMessageBox::Yes;
        QVERIFY(AskYesNo(nullptr, QStringLiteral("Delete?")));
        SetModalHook(nullptr);
        QCOMPARE(texts, (QStringList{QStringLiteral("Communication error."), QStringLiteral("Soubor \"a.dbf\""),
                                     QStringLiteral("Chyba čtení: ř."), QStringLiteral("done."),
                                     QStringLiteral("Delete?"), QStringLiteral("Delete?")}));
        QCOMPARE(icons[0], static_cast<int>(QMessageBox::Critical));
        QCOMPARE(icons[4], static_cast<int>(QMessageBox::Question));
        for (const QString& t : titles) QCOMPARE(t, QStringLiteral("kolvex12"));
    }
};

QTEST_MAIN(AppDialogsTest)
#include "AppDialogsTest.moc"
