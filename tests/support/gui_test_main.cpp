#include <gtest/gtest.h>

#include <QGuiApplication>

// For test programs that paint: fonts and images need a QGuiApplication. Tests never need a
// display, so the offscreen platform is the default (also while CMake lists the tests).
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
