#pragma once

// A machine hive of its own for each test: ORBISCA_HIVE points into a temporary folder, and the
// process-wide hive is reopened there.

#include "platform/Hive.h"

#include <QTemporaryDir>

#include <cstdlib>
#include <string>

class TempHive {
public:
    TempHive() : path_(dir_.filePath(QStringLiteral("machine.hive")).toStdString()) {
        ::setenv(platform::kHiveEnvironmentVariable, path_.c_str(), 1);
        platform::CloseMachineHive();
    }
    ~TempHive() { platform::CloseMachineHive(); }
    TempHive(const TempHive&) = delete;
    TempHive& operator=(const TempHive&) = delete;

    const std::string& path() const { return path_; }
    QString folder() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    std::string path_;
};
