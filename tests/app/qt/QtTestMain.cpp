// The entry point of the shell's widget tests: one QApplication, offscreen, with the bundled
// resources registered as the program registers them.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/Resources.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Norik::InitResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
