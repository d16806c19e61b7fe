#include "platform/Hive.h"

#include "platform/Debug.h"

#include <QDateTime>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// "ORBH" in the SQLite header's application id marks a file as one of our hives.
constexpr int kApplicationId = 0x4F524248;
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 15000;

QByteArray utf16Bytes(const QString& s) {
    QByteArray out;
    out.reserve(s.size() * 2);
    for (const QChar c : s) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

QString fromUtf16Bytes(const void* data, int size) {
    const auto* b = static_cast<const unsigned char*>(data);
    QString s;
    s.reserve(size / 2);
    for (int i = 0; i + 1 < size; i += 2)
        s.append(QChar(static_cast<char16_t>(b[i] | (b[i + 1] << 8))));
    return s;
}

// Names compare by their units upper-cased one at a time (simple case mapping, as the
// registry does), so the folded form never changes length.
QByteArray foldedBytes(const QString& s) {
    QString folded(s.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < s.size(); ++i)
        folded[i] = s[i].isSurrogate() ? s[i] : s[i].toUpper();
    return utf16Bytes(folded);
}

void report(const QString& line) {
    OutputDebugStringW(line);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

// A prepared statement that finalises itself.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Stmt() { sqlite3_finalize(stmt_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool ok() const { return rc_ == SQLITE_OK; }
    int prepareResult() const { return rc_; }
    Stmt& bind(int i, int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    // Zero-length blobs are bound from a non-null pointer so they stay blobs, not NULL.
    Stmt& bind(int i, const QByteArray& v) {
        sqlite3_bind_blob(stmt_, i, v.isEmpty() ? "" : v.constData(), static_cast<int>(v.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return sqlite3_step(stmt_); }
    int64_t int64(int col) const { return sqlite3_column_int64(stmt_, col); }
    QByteArray blob(int col) const {
        const void* p = sqlite3_column_blob(stmt_, col);
        const int n = sqlite3_column_bytes(stmt_, col);
        return p ? QByteArray(static_cast<const char*>(p), n) : QByteArray();
    }
    QString utf16(int col) const {
        return fromUtf16Bytes(sqlite3_column_blob(stmt_, col), sqlite3_column_bytes(stmt_, col));
    }
    QString text(int col) const {
        const auto* p = sqlite3_column_text(stmt_, col);
        return p ? QString::fromUtf8(reinterpret_cast<const char*>(p)) : QString();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_ERROR;
};

// BEGIN IMMEDIATE .. COMMIT; rolls back unless committed.
class WriteTransaction {
public:
    explicit WriteTransaction(sqlite3* db) : db_(db) {
        rc_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    }
    ~WriteTransaction() {
        if (rc_ == SQLITE_OK && !done_)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    int beginResult() const { return rc_; }
    int commit() {
        const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        done_ = rc == SQLITE_OK;
        return rc;
    }

private:
    sqlite3* db_;
    int rc_;
    bool done_ = false;
};

void makeParentFolders(const std::string& path) {
    for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1))
        ::mkdir(path.substr(0, pos).c_str(), 0755); // failures show when the file is opened
}

// Hives written before the classes root had a row of its own lack it, and the first key made
// under the local machine root took its id, so that HKEY_CLASSES_ROOT and that key were one.
// Gives that key a new id and puts the classes root in its place. What was written through the
// classes root in such a hive stays under that key, where it always was for the local machine.
int repairClassesRoot(sqlite3* db) {
    bool taken = false;
    {
        Stmt root(db, "SELECT parent FROM hive_keys WHERE id = 2");
        const int rc = root.step();
        if (rc == SQLITE_ROW && root.int64(0) == 0)
            return SQLITE_OK;
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return rc;
        taken = rc == SQLITE_ROW;
    }
    WriteTransaction tx(db);
    if (tx.beginResult() != SQLITE_OK)
        return tx.beginResult();
    if (taken) {
        int64_t moved = 0;
        {
            Stmt next(db, "SELECT max(id) + 1 FROM hive_keys");
            if (next.step() != SQLITE_ROW)
                return SQLITE_ERROR;
            moved = next.int64(0);
        }
        for (const char* sql : {"UPDATE hive_values SET key = ? WHERE key = 2",
                                "UPDATE hive_keys SET parent = ? WHERE parent = 2",
                                "UPDATE hive_keys SET id = ? WHERE id = 2"}) {
            Stmt update(db, sql);
            if (const int rc = update.bind(1, moved).step(); rc != SQLITE_DONE)
                return rc;
        }
    }
    {
        Stmt insert(db, "INSERT INTO hive_keys(id, parent, name, fold) VALUES (2, 0, x'', x'01')");
        if (const int rc = insert.step(); rc != SQLITE_DONE)
            return rc;
    }
    return tx.commit();
}

} // namespace

std::string HiveWriteRefusal(const std::string& path) {
    if (path.empty())
        return std::strerror(ENOENT);
    // Opening for writing changes nothing in the file; O_NONBLOCK keeps a FIFO from blocking.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    else if (errno != ENOENT)
        return std::strerror(errno);
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : path.substr(0, slash);
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return std::strerror(errno);
    return {};
}

std::string MachineHivePath() {
    const char* v = std::getenv(kHiveEnvironmentVariable);
    return v && *v ? std::string(v) : std::string(kDefaultHivePath);
}

Hive::Hive(std::string path) : path_(std::move(path)) {
    Check check = openAndCheck();
    if (check == Check::Damaged) {
        closeDb();
        check = moveAside() ? openAndCheck() : Check::Unopenable;
    }
    if (check != Check::Ok) {
        if (check == Check::Damaged)
            report(QStringLiteral("Machine hive %1 is damaged again after a new start; "
                                  "settings are not available")
                       .arg(QString::fromLocal8Bit(path_.c_str())));
        closeDb();
    }
}

Hive::~Hive() { closeDb(); }

void Hive::closeDb() {
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
    readOnly_ = false;
}

Hive::Check Hive::openAndCheck() {
    if (path_.empty())
        return Check::Unopenable;
    makeParentFolders(path_);
    int rc = sqlite3_open_v2(path_.c_str(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        closeDb();
        rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    }
    if (rc != SQLITE_OK) {
        lastError_ = sqlite3_errstr(rc);
        OutputDebugStringW(QStringLiteral("Machine hive %1 cannot be opened: %2")
                               .arg(QString::fromLocal8Bit(path_.c_str()),
                                    QString::fromUtf8(sqlite3_errstr(rc))));
        closeDb();
        return Check::Unopenable;
    }
    readOnly_ = sqlite3_db_readonly(db_, "main") == 1;
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        checkedDev_ = st.st_dev;
        checkedIno_ = st.st_ino;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 0);

    // quick_check reads every page of the file: garbage, a truncated or a damaged database
    // shows here rather than in the middle of some later read.
    {
        Stmt check(db_, "PRAGMA quick_check(1)");
        rc = check.ok() ? check.step() : check.prepareResult();
        if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT)
            return Check::Damaged;
        if (rc != SQLITE_ROW) {
            fail(rc, "check");
            return Check::Unopenable;
        }
        if (check.text(0) != QLatin1String("ok"))
            return Check::Damaged;
    }
    const auto scalar = [this](const char* sql) -> int64_t {
        Stmt s(db_, sql);
        return s.ok() && s.step() == SQLITE_ROW ? s.int64(0) : -1;
    };
    const int64_t appId = scalar("PRAGMA application_id");
    const int64_t objects = scalar("SELECT count(*) FROM sqlite_master");
    const int64_t ours = scalar("SELECT count(*) FROM sqlite_master WHERE type='table' AND "
                                "name IN ('hive_keys','hive_values')");
    if (appId == 0 && objects == 0) { // a new or an empty file
        if (readOnly_ || !createSchema())
            return Check::Unopenable;
        return Check::Ok;
    }
    if (appId != kApplicationId || ours != 2)
        return Check::Damaged;
    if (!readOnly_) {
        if (const int repair = repairClassesRoot(db_); repair != SQLITE_OK)
            fail(repair, "repair");
    }
    return Check::Ok;
}

bool Hive::createSchema() {
    WriteTransaction tx(db_);
    if (tx.beginResult() != SQLITE_OK)
        return fail(tx.beginResult(), "create"), false;
    const std::string sql = "PRAGMA application_id = " + std::to_string(kApplicationId) + ";" +
                      "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";" +
                      "CREATE TABLE IF NOT EXISTS hive_keys("
                      " id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
                      " name BLOB NOT NULL, fold BLOB NOT NULL, UNIQUE(parent, fold));"
                      "CREATE TABLE IF NOT EXISTS hive_values("
                      " key INTEGER NOT NULL, name BLOB NOT NULL, fold BLOB NOT NULL,"
                      " type INTEGER NOT NULL, data BLOB NOT NULL,"
                      " PRIMARY KEY(key, fold)) WITHOUT ROWID;"
                      // (parent, fold) is unique: the two roots differ in their fold.
                      "INSERT OR IGNORE INTO hive_keys(id, parent, name, fold) VALUES"
                      " (1, 0, x'', x''), (2, 0, x'', x'01');";
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return fail(rc, "create"), false;
    const int crc = tx.commit();
    if (crc != SQLITE_OK)
        return fail(crc, "create"), false;
    return true;
}

bool Hive::moveAside() {
    const QString shown = QString::fromLocal8Bit(path_.c_str());
    struct stat now {};
    // Another process may have moved the damaged file and started a new hive meanwhile; that
    // hive is not ours to move.
    if (::stat(path_.c_str(), &now) != 0 || now.st_dev != checkedDev_ ||
        now.st_ino != checkedIno_)
        return true;
    const std::string stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    std::string aside = path_ + ".corrupt-" + stamp;
    struct stat st {};
    for (int n = 2; ::lstat(aside.c_str(), &st) == 0; ++n)
        aside = path_ + ".corrupt-" + stamp + "-" + std::to_string(n);
    if (std::rename(path_.c_str(), aside.c_str()) != 0) {
        report(QStringLiteral("Machine hive %1 is damaged or is not a hive and cannot be moved "
                              "aside (%2); settings are not available")
                   .arg(shown, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    // A journal left beside the damaged file belongs to it, never to the new hive.
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        const std::string side = path_ + suffix;
        if (::lstat(side.c_str(), &st) == 0)
            std::rename(side.c_str(), (aside + suffix).c_str());
    }
    movedAside_ = aside;
    report(QStringLiteral("Machine hive %1 is damaged or is not a hive; it was kept as %2 and a "
                          "new hive was started")
               .arg(shown, QString::fromLocal8Bit(aside.c_str())));
    return true;
}

std::string Hive::lastError() {
    std::lock_guard lock(mutex_);
    return lastError_;
}

LSTATUS Hive::fail(int rc, const char* what) {
    const int systemError = db_ ? sqlite3_system_errno(db_) : 0;
    lastError_ = systemError != 0 ? std::strerror(systemError) : sqlite3_errstr(rc);
    OutputDebugStringW(QStringLiteral("Machine hive %1: %2 failed: %3")
                           .arg(QString::fromLocal8Bit(path_.c_str()), QLatin1String(what),
                                QString::fromUtf8(sqlite3_errstr(rc))));
    switch (rc) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

LSTATUS Hive::keyExists(KeyId id) {
    std::lock_guard lock(mutex_);
    if (!db_)
        return ERROR_FILE_NOT_FOUND;
    Stmt s(db_, "SELECT 1 FROM hive_keys WHERE id = ?");
    if (!s.ok())
        return fail(s.prepareResult(), "read");
    const int rc = s.bind(1, id).step();
    if (rc == SQLITE_ROW)
        return ERROR_SUCCESS;
    return rc == SQLITE_DONE ? ERROR_KEY_DELETED : fail(rc, "read");
}

LSTATUS Hive::lookup(KeyId parent, const QStringList& path, KeyId* id) {
    if (const LSTATUS e = keyExists(parent); e != ERROR_SUCCESS)
        return e;
    KeyId current = parent;
    for (const QString& part : path) {
        Stmt q(db_, "SELECT id FROM hive_keys WHERE parent = ? AND fold = ?");
        const int rc = q.bind(1, current).bind(2, foldedBytes(part)).step();
        if (rc == SQLITE_DONE)
            return ERROR_FILE_NOT_FOUND;
        if (rc != SQLITE_ROW)
            return fail(rc, "read");
        current = q.int64(0);
    }
    *id = current;
    return ERROR_SUCCESS;
}

LSTATUS Hive::openKey(KeyId parent, const QStringList& path, KeyId* id) {
    std::lock_guard lock(mutex_);
    if (!db_)
        return ERROR_FILE_NOT_FOUND;
    return lookup(parent, path, id);
}

LSTATUS Hive::createKey(KeyId parent, const QStringList& path, KeyId* id, bool* created) {
    std::lock_guard lock(mutex_);
    if (!db_)
        return ERROR_ACCESS_DENIED;
    if (readOnly_)
        return ERROR_ACCESS_DENIED;
    WriteTransaction tx(db_);
    if (tx.beginResult() != SQLITE_OK)
        return fail(tx.beginResult(), "write");
    if (const LSTATUS e = keyExists(parent); e != ERROR_SUCCESS)
        return e;
    KeyId current = parent;
    bool madeLast = false;
    for (const QString& part : path) {
        const QByteArray fold = foldedBytes(part);
        Stmt q(db_, "SELECT id FROM hive_keys WHERE parent = ? AND fold = ?");
        int rc = q.bind(1, current).bind(2, fold).step();
        if (rc == SQLITE_ROW) {
            current = q.int64(0);
            madeLast = false;
            continue;
        }
        if (rc != SQLITE_DONE)
            return fail(rc, "write");
        Stmt ins(db_, "INSERT INTO hive_keys(parent, name, fold) VALUES(?, ?, ?)");
        rc = ins.bind(1, current).bind(2, utf16Bytes(part)).bind(3, fold).step();
        if (rc != SQLITE_DONE)
            return fail(rc, "write");
        current = sqlite3_last_insert_rowid(db_);
        madeLast = true;
    }
    if (const int rc = tx.commit(); rc != SQLITE_OK)
        return fail(rc, "write");
    *id = current;
    if (created)
        *created = madeLast;
    return ERROR_SUCCESS;
}

LSTATUS Hive::deleteLeafKey(KeyId parent, const QStringList& path) {
    std::lock_guard lock(mutex_);
    if (!db_)
        return ERROR_FILE_NOT_FOUND;
    if (readOnly_)
        return ERROR_ACCESS_DENIED;
    WriteTransaction tx(db_);
    if (tx.beginResult() != SQLITE_OK)
        return fail(tx.beginResult(), "write");
    KeyId id = 0;
    if (const LSTATUS e = lookup(parent, path, &id); e != ERROR_SUCCESS)
        return e;
    if (id == kLocalMachine || id == kClassesRoot)
        return ERROR_ACCESS_DENIED;
    Stmt children(db_, "SELECT 1 FROM hive_keys WHERE parent = ? LIMIT 1");
    int rc = children.bind(1, id).step();
    if (rc == SQLITE_ROW)
        return ERROR_ACCESS_DENIED;
    if (rc != SQLITE_DONE)
        return fail(rc, "write");
    Stmt values(db_, "DELETE FROM hive_values WHERE key = ?");
    if ((rc = values.bind(1, id).step()) != SQLITE_DONE)
        return fail(rc, "write");
    Stmt key(db_, "DELETE FROM hive_keys WHERE id = ?");
    if ((rc = key.bind(1, id).step()) != SQLITE_DONE)
        return fail(rc, "write");
    if ((rc = tx.commit()) != SQLITE_OK)
        return fail(rc, "write");
    return ERROR_SUCCESS;
}

LSTATUS Hive::enumKey(KeyId key, uint32_t index, QString* name) {
    std::lock_guard lock(mutex_);
    if (!db_)
        return ERROR_NO_MORE_ITEMS;
    if (const LSTATUS e = keyExists(key); e != ERROR_SUCCESS)
        return e;
    Stmt s(db_, "SELECT name FROM hive_keys WHERE parent = ? ORDER BY fold LIMIT 1 OFFSET ?");
    const int rc = s.bind(1, key).bind(2, static_cast<int64_t>(index)).step();
    if (rc == SQLITE_DONE)
        return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW)
        return fail(rc, "read");
    *name = s.utf16(0);
    return ERROR_SUCCESS;
}

LSTATUS Hive::enumValue(KeyId key, uint32_t index, QString* name, uint32_t* type) {
    std::lock_guard lock(mutex_);
    if (!db_)
        return ERROR_NO_MORE_ITEMS;
    if (const LSTATUS e = keyExists(key); e != ERROR_SUCCESS)
        return e;
    Stmt s(db_, "SELECT name, type FROM hive_values WHERE key = ? ORDER BY fold LIMIT 1 OFFSET ?");
    const int rc = s.bind(1, key).bind(2, static_cast<int64_t>(index)).step();
    if (rc == SQLITE_DONE)
        return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW)
        return fail(rc, "read");
    *name = s.utf16(0);
    if (type)
        *type = static_cast<uint32_t>(s.int64(1));
    return ERROR_SUCCESS;
}

LSTATUS Hive::queryValue(KeyId key, const QString& name, uint32_t* type, QByteArray* data) {
    std::lock_guard lock(mutex_);
    if (!db_)
        return ERROR_FILE_NOT_FOUND;
    if (const LSTATUS e = keyExists(key); e != ERROR_SUCCESS)
        return e;
    Stmt s(db_, "SELECT type, data FROM hive_values WHERE key = ? AND fold = ?");
    const int rc = s.bind(1, key).bind(2, foldedBytes(name)).step();
    if (rc == SQLITE_DONE)
        return ERROR_FILE_NOT_FOUND;
    if (rc != SQLITE_ROW)
        return fail(rc, "read");
    *type = static_cast<uint32_t>(s.int64(0));
    *data = s.blob(1);
    return ERROR_SUCCESS;
}

LSTATUS Hive::setValue(KeyId key, const QString& name, uint32_t type, const QByteArray& data) {
    std::lock_guard lock(mutex_);
    if (!db_ || readOnly_)
        return ERROR_ACCESS_DENIED;
    WriteTransaction tx(db_);
    if (tx.beginResult() != SQLITE_OK)
        return fail(tx.beginResult(), "write");
    if (const LSTATUS e = keyExists(key); e != ERROR_SUCCESS)
        return e;
    Stmt s(db_, "INSERT INTO hive_values(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?) "
                "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    int rc = s.bind(1, key)
                 .bind(2, utf16Bytes(name))
                 .bind(3, foldedBytes(name))
                 .bind(4, static_cast<int64_t>(type))
                 .bind(5, data)
                 .step();
    if (rc != SQLITE_DONE)
        return fail(rc, "write");
    if ((rc = tx.commit()) != SQLITE_OK)
        return fail(rc, "write");
    return ERROR_SUCCESS;
}

LSTATUS Hive::deleteValue(KeyId key, const QString& name) {
    std::lock_guard lock(mutex_);
    if (!db_ || readOnly_)
        return ERROR_ACCESS_DENIED;
    WriteTransaction tx(db_);
    if (tx.beginResult() != SQLITE_OK)
        return fail(tx.beginResult(), "write");
    if (const LSTATUS e = keyExists(key); e != ERROR_SUCCESS)
        return e;
    Stmt s(db_, "DELETE FROM hive_values WHERE key = ? AND fold = ?");
    int rc = s.bind(1, key).bind(2, foldedBytes(name)).step();
    if (rc != SQLITE_DONE)
        return fail(rc, "write");
    if (sqlite3_changes(db_) == 0)
        return ERROR_FILE_NOT_FOUND;
    if ((rc = tx.commit()) != SQLITE_OK)
        return fail(rc, "write");
    return ERROR_SUCCESS;
}

namespace {
std::mutex g_machineMutex;
std::shared_ptr<Hive> g_machine;
} // namespace

std::shared_ptr<Hive> MachineHive() {
    std::lock_guard lock(g_machineMutex);
    if (!g_machine)
        g_machine = std::make_shared<Hive>(MachineHivePath());
    return g_machine;
}

void CloseMachineHive() {
    std::lock_guard lock(g_machineMutex);
    g_machine.reset();
}

} // namespace platform
