#include <gtest/gtest.h>

#include <QApplication>

// The main() of test programs that build widgets: a QApplication instead of a QCoreApplication.
// List this file in the program's sources; the support library's main() is then left out.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
