#pragma once

// A program folder of its own for every test: drive T: is mapped to a temporary folder, the
// program folder is T:\prog, the machine hive is a temporary file, and the localisation state is
// that of a fresh process.

#include "i18n/nLang3.h"
#include "platform/Hive.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

#include <ostream>

// Readable QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace i18n_test {

inline QString fixturePath(const QString& name) {
    return QStringLiteral(ORBISCA_SOURCE_DIR "/tests/fixtures/i18n/") + name;
}

inline QByteArray fixture(const QString& name) {
    QFile f(fixturePath(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
    return f.readAll();
}

// UTF-8 with a byte-order mark and CR LF line ends.
inline QByteArray utf8File(const QStringList& lines) {
    return QByteArray("\xEF\xBB\xBF") + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        root_ = tmp_.path();
        ASSERT_TRUE(QDir(root_).mkpath(QStringLiteral("prog")));
        platform::SetDriveRoot(u'T', root_.toStdString());
        platform::SetProgramFolder(QStringLiteral("T:\\prog"));
        hivePath_ = (root_ + QStringLiteral("/machine.hive")).toStdString();
        setenv(platform::kHiveEnvironmentVariable, hivePath_.c_str(), 1);
        platform::CloseMachineHive();
        i18n::ResetLocalisationState();
    }

    void TearDown() override {
        i18n::ResetLocalisationState();
        platform::CloseMachineHive();
        unsetenv(platform::kHiveEnvironmentVariable);
        platform::SetDriveRoot(u'T', std::string());
    }

    // Writes a file below the program folder ("translation/x.nlang3"), making its folders.
    void writeFile(const QString& relative, const QByteArray& bytes) {
        const QString path = root_ + QStringLiteral("/prog/") + relative;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QString nativeProgramPath(const QString& relative) const {
        return root_ + QStringLiteral("/prog/") + relative;
    }

    QTemporaryDir tmp_;
    QString root_;
    std::string hivePath_;
};

} // namespace i18n_test
