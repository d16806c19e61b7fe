// The machine hive under stress: processes killed in the middle of writes, processes writing at
// the same time, and files that are damaged or are not hives.

#include "platform/Debug.h"
#include "platform/Hive.h"
#include "settings/Registry.h"
#include "TempHive.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace settings;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\Zelvano\\Stress");

// 16 KiB of text that names its number in every line, so a torn write would show.
QString payload(int n) {
    QString line = QStringLiteral("value %1;").arg(n, 8, 10, QLatin1Char('0'));
    return line.repeated(16384 / line.size());
}

int waitExitCode(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class HiveStressTest : public ::testing::Test {
protected:
    // Children open their own connection: nothing of SQLite may cross fork().
    void SetUp() override { platform::CloseMachineHive(); }
    TempHive hive;
};

TEST_F(HiveStressTest, KilledWriterLeavesOldOrNewValueOfEachWrite) {
    ASSERT_TRUE(RegWriteInteger(HKEY_LOCAL_MACHINE, kKey, "Counter", 0));
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kKey, "Payload", payload(0)));
    int lastSeen = 0;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        platform::CloseMachineHive();
        int acks[2];
        ASSERT_EQ(pipe(acks), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(acks[0]);
            // Each number is written twice, counter first; the pipe hears of every pair done.
            for (int n = lastSeen + 1;; ++n) {
                if (!RegWriteInteger(HKEY_LOCAL_MACHINE, kKey, "Counter", n) ||
                    !RegWriteString(HKEY_LOCAL_MACHINE, kKey, "Payload", payload(n)))
                    _exit(3);
                if (write(acks[1], &n, sizeof n) != sizeof n)
                    _exit(4);
            }
        }
        close(acks[1]);
        // Kill at a different point of the write loop in every round.
        int acked = 0;
        for (int i = 0; i < 5 + round * 3; ++i)
            ASSERT_EQ(read(acks[0], &acked, sizeof acked), static_cast<ssize_t>(sizeof acked));
        usleep(static_cast<useconds_t>(round) * 700);
        kill(child, SIGKILL);
        EXPECT_EQ(waitExitCode(child), 128 + SIGKILL);
        close(acks[0]);

        platform::CloseMachineHive();
        platform::DebugCapture capture;
        const int counter = RegReadInteger(HKEY_LOCAL_MACHINE, kKey, "Counter");
        EXPECT_FALSE(capture.contains("damaged")) << capture.lines().join('\n').toStdString();
        EXPECT_GE(counter, acked); // every acknowledged write is there
        const QString text = RegReadString(HKEY_LOCAL_MACHINE, kKey, "Payload");
        // The payload is the counter's pair or, when the kill fell between the two, the one
        // before; never a mixture.
        EXPECT_TRUE(text == payload(counter) || text == payload(counter - 1))
            << "counter " << counter << ", payload starts " << text.left(20).toStdString();
        lastSeen = counter;
        // The hive takes new writes after the crash.
        ASSERT_TRUE(RegWriteInteger(HKEY_LOCAL_MACHINE, kKey, "AfterCrash", round));
    }
    EXPECT_GT(lastSeen, 0);
}

TEST_F(HiveStressTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 120;
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            close(start[1]);
            char go = 0;
            if (read(start[0], &go, 1) != 1) // both start together
                _exit(2);
            const QString prefix = c == 0 ? QStringLiteral("A") : QStringLiteral("B");
            for (int i = 0; i < kWrites; ++i) {
                // Both create and fill the same keys, and each keeps values of its own.
                const QString key = kKey + QStringLiteral("\\Shared%1").arg(i % 7);
                if (!RegWriteInteger(HKEY_LOCAL_MACHINE, key, prefix + QString::number(i), i) ||
                    !RegWriteString(HKEY_LOCAL_MACHINE, kKey, "Last" + prefix, QString::number(i)))
                    _exit(3);
            }
            _exit(0);
        }
    }
    close(start[0]);
    const char go[2] = {1, 1};
    ASSERT_EQ(write(start[1], go, 2), 2);
    close(start[1]);
    EXPECT_EQ(waitExitCode(children[0]), 0);
    EXPECT_EQ(waitExitCode(children[1]), 0);

    platform::CloseMachineHive();
    int missing = 0;
    for (const char* prefix : {"A", "B"}) {
        for (int i = 0; i < kWrites; ++i) {
            const QString key = kKey + QStringLiteral("\\Shared%1").arg(i % 7);
            const QString name = QLatin1String(prefix) + QString::number(i);
            missing += RegReadInteger(HKEY_LOCAL_MACHINE, key, name) != i ||
                       !RegValueExists(HKEY_LOCAL_MACHINE, key, name);
        }
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("Last") + prefix),
                  QString::number(kWrites - 1));
    }
    EXPECT_EQ(missing, 0);
    // Seven shared keys, each created once however the two raced.
    using namespace platform;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    QString name;
    DWORD count = 0;
    while (RegEnumKeyExW(key, count, &name) == ERROR_SUCCESS)
        ++count;
    RegCloseKey(key);
    EXPECT_EQ(count, 7u);
}

// A valid hive cut in half, a database of some other program, and plain garbage.
TEST_F(HiveStressTest, DamagedFileIsKeptAsideAndANewHiveStarts) {
    const QString hivePath = QString::fromStdString(hive.path());
    // A real hive of several pages, to cut in half below.
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, kKey, QString::number(i), payload(i)));
    platform::CloseMachineHive();
    QByteArray validHive;
    {
        QFile f(hivePath);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        validHive = f.readAll();
    }
    ASSERT_GT(validHive.size(), 100000);

    // A stranger's database: an SQLite file, but not a hive.
    QByteArray foreignDb;
    {
        const QString other = hive.folder() + "/other.db";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(other.toLocal8Bit().constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        foreignDb = f.readAll();
    }

    struct Case {
        const char* what;
        QByteArray content;
    };
    const Case cases[] = {
        {"another program's database", foreignDb},
        {"garbage", QByteArray("this is not a database at all\n").repeated(100)},
        {"truncated hive", validHive.left(validHive.size() / 2)},
        {"hive with its header overwritten",
         QByteArray(100, '\x5A') + validHive.mid(100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::CloseMachineHive();
        QDir dir(hive.folder());
        for (const QString& f : dir.entryList({"machine.hive*"}, QDir::Files))
            dir.remove(f);
        {
            QFile f(hivePath);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.content);
        }

        platform::DebugCapture capture;
        // The helpers still answer: missing means the default.
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kKey, "1"), QString());
        EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, kKey, "1"), 0);
        const std::string aside = platform::MachineHive()->movedAsidePath();
        ASSERT_FALSE(aside.empty());
        EXPECT_TRUE(capture.contains(QString::fromStdString(aside)));
        QFile kept(QString::fromStdString(aside));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), c.content); // kept as it was, not overwritten

        // The new hive works and survives a reopen.
        EXPECT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin", "Blue"));
        platform::CloseMachineHive();
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin"), "Blue");
        EXPECT_TRUE(platform::MachineHive()->movedAsidePath().empty());
    }
}

// HKEY_CLASSES_ROOT is a root of its own, beside HKEY_LOCAL_MACHINE, also in a hive made when
// the first key under the local machine took the classes root's place.
TEST(HiveRoots, ClassesRootIsApartFromTheLocalMachine) {
    platform::CloseMachineHive();
    TempHive hive;
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvano", "Owner", "machine"));
    ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, "CLSID\\{X}", "", "class"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "Zelvano"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "SOFTWARE"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\CLSID"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "CLSID"));
    EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, "CLSID\\{X}", ""), "class");

    // Put the hive into the old layout: no classes root, and SOFTWARE holding its id.
    platform::CloseMachineHive();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(hive.path().c_str(), &db), SQLITE_OK);
    const char* old = "DELETE FROM hive_values WHERE key IN (SELECT id FROM hive_keys WHERE id = 2"
                      " OR parent = 2 OR parent IN (SELECT id FROM hive_keys WHERE parent = 2));"
                      "DELETE FROM hive_keys WHERE parent IN (SELECT id FROM hive_keys WHERE"
                      " parent = 2);"
                      "DELETE FROM hive_keys WHERE parent = 2 OR id = 2;"
                      "UPDATE hive_values SET key = 2 WHERE key = (SELECT id FROM hive_keys WHERE"
                      " parent = 1);"
                      "UPDATE hive_keys SET parent = 2 WHERE parent = (SELECT id FROM hive_keys"
                      " WHERE parent = 1);"
                      "UPDATE hive_keys SET id = 2 WHERE parent = 1;";
    ASSERT_EQ(sqlite3_exec(db, old, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvano", "Owner"), "machine");
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "Zelvano"));
    ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, "CLSID\\{Y}", "", "class"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\CLSID"));
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zelvano", "Owner"), "machine");
    platform::CloseMachineHive();
}

} // namespace
