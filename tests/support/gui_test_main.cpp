#include <gtest/gtest.h>

#include <QApplication>

// The main() of test programs that build widgets; the others keep test_main's QCoreApplication.
int main(int argc, char** argv) {
    // Widgets render offscreen, also when the tests are only being listed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
