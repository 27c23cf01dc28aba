#pragma once

#include <QLocale>

// The program's texts in the user's language. The English texts in the sources are the keys
// (docs/translations.md); the translations are embedded in the program.
namespace Translations {

// Installs, on the running application, the translations for `locale`'s languages in their
// order of preference: Quotamind's own, over the English plural forms that every language falls
// back to, and Qt's (standard buttons, --help) where the system has them. A language without a
// translation keeps the English texts. Call it once, after the application object is made and
// before any text is built.
void install(const QLocale& locale = QLocale::system());

}  // namespace Translations
