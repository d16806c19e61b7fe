#include "i18n/FileAccess.h"

#include "platform/Paths.h"

#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace i18n {
namespace {

bool nativeExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Native names of the entries of a folder.
std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    return names;
}

std::string joinNative(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + '/' + name;
}

} // namespace

std::string ResolveNativePath(const QString& windowsPath) {
    if (windowsPath.size() < 2 || windowsPath[1] != u':')
        return {};
    std::string native = platform::DriveRoot(windowsPath[0].unicode());
    if (native.empty())
        return {};
    const QStringView rest = QStringView(windowsPath).mid(2);
    for (const QStringView part : rest.tokenize(u'\\', Qt::SkipEmptyParts)) {
        const std::string spelt = joinNative(native, platform::NativeName(part));
        if (nativeExists(spelt)) {
            native = spelt;
            continue;
        }
        // Of several names that differ only in case, the smallest is taken, so the choice does
        // not depend on the order of the folder.
        std::string found;
        for (const std::string& entry : folderEntries(native)) {
            if (platform::DisplayName(entry).compare(part, Qt::CaseInsensitive) == 0 &&
                (found.empty() || entry < found))
                found = entry;
        }
        native = found.empty() ? spelt : joinNative(native, found);
    }
    return native;
}

bool FileExists(const QString& windowsPath) {
    const std::string native = ResolveNativePath(windowsPath);
    struct stat st;
    return !native.empty() && ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

QStringList ListFiles(const QString& windowsFolder, const QString& pattern) {
    const std::string folder = ResolveNativePath(windowsFolder);
    if (folder.empty())
        return {};
    const QRegularExpression wildcard(QRegularExpression::wildcardToRegularExpression(pattern),
                                      QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    for (const std::string& entry : folderEntries(folder)) {
        struct stat st;
        if (::stat(joinNative(folder, entry).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const QString name = platform::DisplayName(entry);
        if (wildcard.match(name).hasMatch())
            names.append(name);
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.toUpper() < b.toUpper();
    });
    return names;
}

bool ReadWholeFile(const QString& windowsPath, QByteArray* bytes, QString* error) {
    const std::string native = ResolveNativePath(windowsPath);
    const int fd = native.empty() ? -1 : ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(native.empty() ? ENOENT : errno));
        return false;
    }
    bytes->clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            return false;
        }
        bytes->append(buf, n);
    }
    ::close(fd);
    return true;
}

} // namespace i18n
