#include <gtest/gtest.h>

#include <QCoreApplication>

#include "l10n/translations.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    // Tests compare English texts: their plural forms come from the English translation.
    Translations::install(QLocale(QLocale::English));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
