#include <gtest/gtest.h>

#include <QApplication>

#include "l10n/translations.h"

// The main() of test programs that draw widgets: a QApplication, on the offscreen platform
// unless the environment names another, so they run where there is no display.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    // Tests compare English texts: their plural forms come from the English translation.
    Translations::install(QLocale(QLocale::English));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
