// The item actions' window tests run in a mount namespace of their own, so that they may mount a
// tmpfs as a second volume without touching the machine's mounts, and with a data folder of
// their own, so that nothing can reach a real trash.

#include "platform/Hive.h"
#include "skin/Fonts.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

#include <cstdlib>

bool g_privateMounts = false;

int main(int argc, char** argv) {
    // Before anything starts a thread: a multi-threaded process cannot leave its mount namespace.
    g_privateMounts = ::unshare(CLONE_NEWNS) == 0 &&
                      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

    QTemporaryDir guard;
    const std::string hive = guard.filePath(QStringLiteral("guard.hive")).toStdString();
    ::setenv(platform::kHiveEnvironmentVariable, hive.c_str(), 1);
    const std::string data = guard.filePath(QStringLiteral("data")).toStdString();
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);

    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    skin::InstallProgramFonts();
    return RUN_ALL_TESTS();
}
