#include "saved/AnalysisStore.h"

#include "platform/Hive.h"
#include "platform/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

namespace saved {
namespace {

constexpr char kSuffix[] = ".orbisca";
constexpr char kTempPrefix[] = ".keep-";
// A temporary file this old is left over from a run that ended while keeping.
constexpr int64_t kStaleTempSeconds = 3600;

QString reason(int err) {
    return QString::fromLocal8Bit(std::strerror(err ? err : EIO));
}

QString shownPath(const std::string& native) {
    return QString::fromLocal8Bit(native.data(), static_cast<qsizetype>(native.size()));
}

bool endsWith(const std::string& s, std::string_view end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::string randomText(size_t n) {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string bytes(n, '\0');
    if (::getrandom(bytes.data(), n, GRND_NONBLOCK) != static_cast<ssize_t>(n)) {
        // No entropy yet: the clock differs between attempts; O_EXCL keeps it safe anyway.
        const auto t =
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<char>((t >> (i % 8 * 8)) ^ (i * 37));
    }
    std::string out;
    for (const char b : bytes)
        out += kChars[static_cast<unsigned char>(b) % (sizeof kChars - 1)];
    return out;
}

// Creates the folders of path that are missing (0755; the last one, the store, 0700).
bool makeFolders(const std::string& path, int* err) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        const bool last = slash == std::string::npos;
        if (::mkdir(part.c_str(), last ? 0700 : 0755) != 0 && errno != EEXIST) {
            *err = errno;
            return false;
        }
        if (last)
            return true;
    }
}

// The store's folder, opened without following a link and checked: a folder of this process's
// user that no one else may enter (narrowed to 0700 when it is wider). -1 with the reason in
// error; *missing when it does not exist and create was not asked for.
int openStore(bool create, QString* error, bool* missing = nullptr) {
    const std::string folder = StoreFolder();
    int err = 0;
    if (create && !makeFolders(folder, &err)) {
        *error = QStringLiteral("cannot create %1: %2").arg(shownPath(folder), reason(err));
        return -1;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT && missing) {
            *missing = true;
            return -1;
        }
        *error =
            errno == ELOOP || errno == ENOTDIR
                ? QStringLiteral("%1 is not a folder of the program's own").arg(shownPath(folder))
                : QStringLiteral("cannot open %1: %2").arg(shownPath(folder), reason(errno));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(fd);
        *error = QStringLiteral("%1 belongs to another user").arg(shownPath(folder));
        return -1;
    }
    if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        err = errno;
        ::close(fd);
        *error = QStringLiteral("cannot protect %1: %2").arg(shownPath(folder), reason(err));
        return -1;
    }
    return fd;
}

struct StoredFile {
    std::string name;
    uint64_t bytes = 0;
    QDateTime FileTime;
    bool readable = false;
    TSavedHeader header;

    QDateTime made() const {
        const analysis::TAnalysisOrigin& o = header.Summary.Origin;
        if (readable && o.Ended.isValid())
            return o.Ended;
        if (readable && o.Started.isValid())
            return o.Started;
        return FileTime;
    }
};

// The store's analyses (and files named as one that cannot be read as one); temporary files of
// keeping are left out, and removed when stale.
std::vector<StoredFile> storedFiles(int storeFd, bool removeStaleTemps) {
    std::vector<StoredFile> out;
    // A description of its own: a dup would share the reading position with earlier listings.
    const int listFd = ::openat(storeFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return out;
    }
    const auto now = QDateTime::currentSecsSinceEpoch();
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.rfind(kTempPrefix, 0) == 0) {
            struct stat st {};
            if (removeStaleTemps &&
                ::fstatat(storeFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                now - st.st_mtim.tv_sec > kStaleTempSeconds)
                ::unlinkat(storeFd, name.c_str(), 0);
            continue;
        }
        if (name.size() <= std::strlen(kSuffix) || name[0] == '.' || !endsWith(name, kSuffix))
            continue;
        const platform::UniqueFd fd(
            ::openat(storeFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        StoredFile f;
        f.name = name;
        f.bytes = static_cast<uint64_t>(st.st_size);
        f.FileTime = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::UTC);
        QString ignored;
        f.readable = ReadSavedHeader(fd.get(), &f.header, &ignored);
        out.push_back(std::move(f));
    }
    ::closedir(dir);
    return out;
}

bool newerFirst(const StoredFile& a, const StoredFile& b) {
    const QDateTime ma = a.made(), mb = b.made();
    return ma != mb ? ma > mb : a.name > b.name;
}

// Removes what the retention does not keep; never the file just kept.
void applyRetention(int storeFd, const TRetention& retention, const std::string& keep) {
    std::vector<StoredFile> files = storedFiles(storeFd, false);
    std::sort(files.begin(), files.end(), newerFirst);
    const size_t perDrive = static_cast<size_t>(std::max(1, retention.KeepPerDrive));
    std::map<std::string, size_t> seen; // analyses met per drive, newest first
    std::vector<const StoredFile*> remaining;
    bool removed = false;
    for (const StoredFile& f : files) {
        if (f.readable && f.name != keep &&
            ++seen[f.header.Summary.Origin.FileSystem.Key()] > perDrive) {
            removed |= ::unlinkat(storeFd, f.name.c_str(), 0) == 0;
            continue;
        }
        if (f.readable && f.name == keep)
            ++seen[f.header.Summary.Origin.FileSystem.Key()];
        remaining.push_back(&f);
    }
    uint64_t total = 0;
    for (const StoredFile* f : remaining)
        total += f->bytes;
    // Oldest first until the store fits; files that cannot be read count by their own time.
    for (auto it = remaining.rbegin(); it != remaining.rend() && total > retention.MaxTotalBytes;
         ++it) {
        if ((*it)->name == keep)
            continue;
        if (::unlinkat(storeFd, (*it)->name.c_str(), 0) == 0) {
            total -= (*it)->bytes;
            removed = true;
        }
    }
    if (removed)
        ::fsync(storeFd);
}

} // namespace

QDateTime TKeptAnalysis::MadeAt() const {
    const analysis::TAnalysisOrigin& o = Header.Summary.Origin;
    return o.Ended.isValid() ? o.Ended : o.Started.isValid() ? o.Started : FileTime;
}

std::string StoreFolder() {
    const char* hive = std::getenv(platform::kHiveEnvironmentVariable);
    std::string base = hive && *hive ? std::string(hive) : std::string(platform::kDefaultHivePath);
    const size_t slash = base.rfind('/');
    base = slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("")
                                      : base.substr(0, slash);
    return base + "/analyses";
}

bool KeepAnalysis(const analysis::TAnalysisTree& tree, const analysis::TAnalysisSummary& summary,
                  const TRetention& retention, TKeptAnalysis* kept, QString* error,
                  const TProgress& progress) {
    const std::string folder = StoreFolder();
    const auto failed = [&](const QString& why) {
        *error = QStringLiteral("cannot keep the analysis in %1: %2").arg(shownPath(folder), why);
        return false;
    };
    QString why;
    const platform::UniqueFd store(openStore(true, &why));
    if (!store)
        return failed(why);
    storedFiles(store.get(), true); // removes stale temporary files

    const TSavedHeader header = HeaderForSaving(tree, summary);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = kTempPrefix + randomText(12) + ".tmp";
        fd = ::openat(store.get(), temp.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && (errno != EEXIST || attempt == 100))
            return failed(reason(errno));
    }
    const auto discard = [&](const QString& why) {
        if (fd >= 0)
            ::close(fd);
        ::unlinkat(store.get(), temp.c_str(), 0);
        return failed(why);
    };
    if (!WriteSaved(fd, header, tree, &why, progress))
        return discard(why);
    if (::fsync(fd) != 0)
        return discard(reason(errno));
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return discard(reason(errno));

    const QDateTime made = header.Summary.Origin.Ended.isValid() ? header.Summary.Origin.Ended
                                                                 : QDateTime::currentDateTimeUtc();
    const QString letter = header.Summary.Drive.left(1);
    std::string name;
    for (int attempt = 0;; ++attempt) {
        name = made.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString() + "-" +
               letter.toStdString() + "-" + randomText(6) + kSuffix;
        if (::renameat2(store.get(), temp.c_str(), store.get(), name.c_str(), RENAME_NOREPLACE) ==
            0)
            break;
        if (errno != EEXIST || attempt == 100)
            return discard(reason(errno));
    }
    if (::fsync(store.get()) != 0)
        return failed(reason(errno)); // in place, but perhaps not durable: said, not undone
    applyRetention(store.get(), retention, name);

    if (kept) {
        *kept = TKeptAnalysis{};
        kept->File = folder + "/" + name;
        kept->Header = header;
        struct stat st {};
        if (::fstatat(store.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            kept->FileBytes = static_cast<uint64_t>(st.st_size);
            kept->FileTime = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::UTC);
        }
    }
    return true;
}

std::vector<TKeptAnalysis> ListKeptAnalyses(QString* error) {
    std::vector<TKeptAnalysis> out;
    bool missing = false;
    const platform::UniqueFd store(openStore(false, error, &missing));
    if (!store)
        return out;
    std::vector<StoredFile> files = storedFiles(store.get(), false);
    std::sort(files.begin(), files.end(), newerFirst);
    const std::string folder = StoreFolder();
    for (StoredFile& f : files) {
        if (!f.readable)
            continue;
        TKeptAnalysis k;
        k.File = folder + "/" + f.name;
        k.FileBytes = f.bytes;
        k.FileTime = f.FileTime;
        k.Header = std::move(f.header);
        out.push_back(std::move(k));
    }
    return out;
}

bool ForgetKeptAnalysis(const std::string& file, QString* error) {
    const std::string folder = StoreFolder();
    const std::string name = file.rfind(folder + "/", 0) == 0 ? file.substr(folder.size() + 1) : "";
    if (name.empty() || name.find('/') != std::string::npos || name[0] == '.' ||
        !endsWith(name, kSuffix)) {
        *error = QStringLiteral("%1 is not a kept analysis").arg(shownPath(file));
        return false;
    }
    const platform::UniqueFd store(openStore(false, error));
    if (!store)
        return false;
    if (::unlinkat(store.get(), name.c_str(), 0) != 0) {
        *error = QStringLiteral("cannot remove %1: %2").arg(shownPath(file), reason(errno));
        return false;
    }
    ::fsync(store.get());
    return true;
}

} // namespace saved
