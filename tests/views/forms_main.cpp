#include "platform/Hive.h"
#include "skin/Fonts.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Nothing in this process may reach the machine-wide hive, not even a test that forgets its
    // own temporary one.
    QTemporaryDir guard;
    const std::string hive = guard.filePath(QStringLiteral("guard.hive")).toStdString();
    ::setenv(platform::kHiveEnvironmentVariable, hive.c_str(), 1);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    skin::InstallProgramFonts();
    return RUN_ALL_TESTS();
}
