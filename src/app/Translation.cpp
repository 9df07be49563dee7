#include "app/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zvek {

bool LoadQtJapanese() {
    static bool loaded = false;
    if (loaded) return true;
    // Sizes, dates and file kinds in the file dialogs follow the locale.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    // The application owns it: a translator must outlive every text it gives.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator))
        return loaded = true;
    delete translator;
    return false;
}

}  // namespace zvek
