// The entry point of every widget test program: one QApplication, offscreen unless a display is
// asked for, with the bundled resources registered as the program registers them, and the user's
// cache and settings folders in a temporary folder of the run.
#include <gtest/gtest.h>

#include <QApplication>

#include "TestSupport.h"
#include "app/Resources.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // What the windows keep for the user (settings, indexes of bases) goes to folders of the run.
    const NorikTest::TempDir userFolders;
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(userFolders.file("cache")));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(userFolders.file("config")));
    QApplication app(argc, argv);
    Norik::InitResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
