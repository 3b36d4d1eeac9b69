#include "app/ui/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kolvex::ui {

namespace {

QString& TranslationDir() {
    static QString dir;
    return dir;
}

}  // namespace

void SetQtTranslationDir(const QString& dir) { TranslationDir() = dir; }

bool ApplyQtTranslation(kolvex::Lang language) {
    static QTranslator* czech = nullptr;
    auto* app = QCoreApplication::instance();
    if (!app) return false;
    if (language != kolvex::Lang::Czech) {
        if (czech) QCoreApplication::removeTranslator(czech);
        return true;
    }
    if (!czech) {
        czech = new QTranslator(app);
        const QString dir =
            TranslationDir().isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : TranslationDir();
        if (!czech->load(QStringLiteral("qtbase_cs"), dir)) {
            delete czech;
            czech = nullptr;
            return false;
        }
    }
    // Installing again moves it to the front; installing twice is harmless.
    QCoreApplication::installTranslator(czech);
    return true;
}

}  // namespace kolvex::ui
