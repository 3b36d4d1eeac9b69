// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kolvex::ui {

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
        if (!czech->load(QStringLiteral("qtbase_cs"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
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
