#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Where lrelease's files are embedded (src/l10n/CMakeLists.txt).
const QString kFolder = QStringLiteral(":/i18n");

// Loads the first of `name`'s files that matches one of `locale`'s languages from `folder` into
// a translator the application owns; nothing when none does.
void installFirstMatch(const QLocale& locale, const QString& name, const QString& folder) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(locale, name, QStringLiteral("_"), folder)) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

}  // namespace

namespace Translations {

void install(const QLocale& locale) {
    // The last installed translator is asked first. The sources hold texts with %n as the
    // English keys, whose singular and plural forms only the English file knows.
    installFirstMatch(QLocale(QLocale::English), QStringLiteral("quotamind"), kFolder);
    installFirstMatch(locale, QStringLiteral("quotamind"), kFolder);
    installFirstMatch(locale, QStringLiteral("qtbase"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

}  // namespace Translations
