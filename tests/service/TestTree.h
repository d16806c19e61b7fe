#pragma once

// Trees on disk for the service tests: a temporary folder removed with everything in it (also
// trees nested far beyond PATH_MAX), and small helpers to create entries with any name bytes.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

namespace testtree {

// Removes everything below the folder dirFd (closed here), relative to descriptors.
inline void removeContents(int dirFd) {
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (::unlinkat(dirFd, name.c_str(), 0) == 0)
            continue;
        const int sub = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (sub >= 0) {
            ::fchmod(sub, 0755);
            removeContents(sub);
        }
        ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
    }
    ::closedir(dir);
}

class TempDir {
public:
    // In TMPDIR (default /tmp), or below base when given.
    explicit TempDir(const char* base = nullptr) {
        if (!base)
            base = std::getenv("TMPDIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/orbisca-test-XXXXXX";
        if (!::mkdtemp(templ.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = templ;
        ::chmod(path_.c_str(), 0755);
    }
    ~TempDir() {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd >= 0)
            removeContents(fd);
        ::rmdir(path_.c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

inline void writeFileAt(int dirFd, const std::string& name, size_t size) {
    const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + name);
    if (size && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot size " + name);
    }
    ::close(fd);
}

inline void writeFile(const std::string& path, size_t size) { writeFileAt(AT_FDCWD, path, size); }

// Open descriptors of this process.
inline int openDescriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

// Entries in a folder.
inline int countEntries(const std::string& folder) {
    int n = 0;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string_view(e->d_name) != "." && std::string_view(e->d_name) != "..")
                ++n;
        ::closedir(d);
    }
    return n;
}

// Removes a tree nested deeper than this process may hold descriptors open for.
inline void removeDeepTree(const std::string& path) {
    const std::string command = "rm -rf -- '" + path + "'";
    if (path.find('\'') == std::string::npos && std::system(command.c_str()) != 0)
        throw std::runtime_error("cannot remove " + path);
}

inline void makeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0)
        throw std::runtime_error("cannot create folder " + path);
}

} // namespace testtree
