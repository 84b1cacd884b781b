// The entry point of every widget test program: one QApplication, offscreen unless a display is
// asked for, with the bundled resources registered as the program registers them.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/Resources.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Norik::InitResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
