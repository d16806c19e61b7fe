#pragma once

// The machine hive: our stand-in for the machine-wide part of the registry, one SQLite file.
//
// Location: $ORBISCA_HIVE when that variable is set and not empty (tests, portable use),
// otherwise kDefaultHivePath, a machine-wide file that only root may write. A process that may
// not write the file opens it read-only: reads work, every write is refused.
//
// Keys form one tree per root; names of keys and values compare without regard to case (each
// UTF-16 unit upper-cased) and keep their case. Names are stored as raw UTF-16, so every name
// comes back exactly. Values are bytes with their type. Every write is one transaction, so a
// process killed in the middle leaves each write either done or not done, and writers in
// several processes queue on SQLite's lock (busy timeout) instead of losing updates.
//
// A file that is damaged or is not a hive is never overwritten: it is renamed aside to
// "<file>.corrupt-<time>" (debug channel and stderr name the new place) and a new empty hive
// takes its place. When that is impossible the hive stays closed: reads find nothing, writes
// fail.

#include "platform/WinReg.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct sqlite3;

namespace platform {

inline constexpr const char* kDefaultHivePath = "/var/lib/zelvano/orbisca-2024/machine.hive";
inline constexpr const char* kHiveEnvironmentVariable = "ORBISCA_HIVE";

// The path the process-wide hive opens: $ORBISCA_HIVE or kDefaultHivePath.
std::string MachineHivePath();

class Hive {
public:
    using KeyId = int64_t;
    static constexpr KeyId kLocalMachine = 1;
    static constexpr KeyId kClassesRoot = 2;

    explicit Hive(std::string path);
    ~Hive();
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;

    const std::string& path() const { return path_; }
    bool isOpen() const { return db_ != nullptr; }
    bool isWritable() const { return db_ != nullptr && !readOnly_; }
    // Where a damaged file was moved when this hive was opened; empty when nothing was moved.
    const std::string& movedAsidePath() const { return movedAside_; }
    // Why the last operation that failed did: the system's words when a system call failed
    // ("Read-only file system"), else SQLite's ("database is locked"); empty when none failed.
    std::string lastError();

    // Each call is one statement or one transaction; results are Windows error codes.
    LSTATUS openKey(KeyId parent, const QStringList& path, KeyId* id);
    LSTATUS createKey(KeyId parent, const QStringList& path, KeyId* id, bool* created);
    LSTATUS deleteLeafKey(KeyId parent, const QStringList& path);
    LSTATUS keyExists(KeyId id);
    LSTATUS enumKey(KeyId key, uint32_t index, QString* name);
    LSTATUS enumValue(KeyId key, uint32_t index, QString* name, uint32_t* type);
    LSTATUS queryValue(KeyId key, const QString& name, uint32_t* type, QByteArray* data);
    LSTATUS setValue(KeyId key, const QString& name, uint32_t type, const QByteArray& data);
    LSTATUS deleteValue(KeyId key, const QString& name);

private:
    enum class Check { Ok, Damaged, Unopenable };
    Check openAndCheck();
    bool moveAside();
    bool createSchema();
    void closeDb();
    LSTATUS lookup(KeyId parent, const QStringList& path, KeyId* id);
    LSTATUS fail(int sqliteCode, const char* what);

    std::string path_;
    std::string movedAside_;
    std::string lastError_;
    sqlite3* db_ = nullptr;
    bool readOnly_ = false;
    uint64_t checkedDev_ = 0; // the file that was checked, to recognise a replaced one
    uint64_t checkedIno_ = 0;
    std::recursive_mutex mutex_;
};

// Why a hive file at `path` cannot be written, in the system's words ("Read-only file system",
// "Permission denied", "No such file or directory"): the answer of the system when asked for
// write access to the file, then to its folder, where the file is made and SQLite keeps its
// journal. Empty when both allow writing.
std::string HiveWriteRefusal(const std::string& path);

// The process-wide hive, opened at MachineHivePath() on first use.
std::shared_ptr<Hive> MachineHive();
// Closes the process-wide hive; the next MachineHive() opens MachineHivePath() afresh. Open key
// handles keep the hive they were opened in.
void CloseMachineHive();

} // namespace platform
