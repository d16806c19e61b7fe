#include "skin/SkinFiles.h"

#include "platform/Paths.h"
#include "skin/stripeskins.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace skin {
namespace {

bool statPath(const QString& windowsPath, struct stat& st) {
    const std::string native = platform::NativePath(windowsPath);
    return !native.empty() && ::stat(native.c_str(), &st) == 0;
}

bool diskDirectoryExists(const QString& windowsPath) {
    struct stat st;
    return statPath(windowsPath, st) && S_ISDIR(st.st_mode);
}

// The built-in file standing for a path inside a missing skins folder; empty for any other path
// and for one that would climb out of the folder.
QString builtInPath(const QString& windowsPath) {
    const QString folder = SkinsFolder(); // ends with a backslash
    QString rest;
    if (windowsPath.startsWith(folder, Qt::CaseInsensitive))
        rest = windowsPath.mid(folder.size());
    else if (windowsPath.compare(folder.chopped(1), Qt::CaseInsensitive) != 0)
        return {};
    if (!SkinsFolderMissing())
        return {};
    const QStringList parts = rest.split(u'\\', Qt::SkipEmptyParts);
    for (const QString& part : parts)
        if (part == u"." || part == u"..")
            return {};
    return QStringLiteral(":/orbisca/skins") + (parts.isEmpty() ? QString() : u'/' + parts.join(u'/'));
}

} // namespace

bool SkinsFolderMissing() { return !diskDirectoryExists(SkinsFolder()); }

bool FileExists(const QString& windowsPath) {
    if (const QString builtIn = builtInPath(windowsPath); !builtIn.isEmpty())
        return QFileInfo(builtIn).isFile();
    struct stat st;
    return statPath(windowsPath, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const QString& windowsPath) {
    if (const QString builtIn = builtInPath(windowsPath); !builtIn.isEmpty())
        return QFileInfo(builtIn).isDir();
    return diskDirectoryExists(windowsPath);
}

bool ReadFileBytes(const QString& windowsPath, QByteArray& data, qint64 maxBytes) {
    data.clear();
    if (const QString builtIn = builtInPath(windowsPath); !builtIn.isEmpty()) {
        QFile file(builtIn);
        if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes)
            return false;
        data = file.readAll();
        return true;
    }
    const std::string native = platform::NativePath(windowsPath);
    if (native.empty())
        return false;
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes) {
        ::close(fd);
        return false;
    }
    QByteArray buffer;
    buffer.resize(qsizetype(st.st_size));
    qsizetype done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + done, size_t(buffer.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    buffer.resize(done); // a file that shrank while being read keeps what was there
    data = std::move(buffer);
    return true;
}

QStringList ListSubfolders(const QString& windowsFolder, void (*visit)()) {
    QStringList names;
    if (const QString builtIn = builtInPath(windowsFolder); !builtIn.isEmpty()) {
        const QDir dir(builtIn);
        for (const QFileInfo& entry : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            if (entry.isDir())
                names.append(entry.fileName());
            if (visit)
                visit();
        }
        return names;
    }
    const std::string native = platform::NativePath(windowsFolder);
    if (native.empty())
        return names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.c_str()), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        bool isDir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st;
            isDir = ::fstatat(::dirfd(dir.get()), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir)
            names.append(platform::DisplayName(name));
        if (visit)
            visit();
    }
    return names;
}

} // namespace skin
