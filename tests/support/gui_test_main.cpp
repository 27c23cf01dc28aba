#include <gtest/gtest.h>

#include <QApplication>

// The main of test programs that create widgets; the others use test_main.cpp.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
