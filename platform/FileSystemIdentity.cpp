#include "platform/FileSystemIdentity.h"

#include "platform/DriveTable.h"
#include "platform/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

bool under(const std::string& path, const std::string& folder) {
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

std::string readMountInfo() {
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The UUID whose link in /dev/disk/by-uuid leads to the block device of the file system.
std::string uuidOfDevice(dev_t device) {
    DIR* dir = ::opendir("/dev/disk/by-uuid");
    if (!dir)
        return {};
    std::string found;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISBLK(st.st_mode) &&
            st.st_rdev == device) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::string hex(uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, v);
    return text;
}

} // namespace

std::string FileSystemIdentity::Key() const {
    std::string key;
    if (!uuid.empty())
        key = "uuid:" + uuid;
    else if (fsid != 0)
        key = "fsid:" + hex(fsid);
    else
        key = "dev:" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + ":" +
              mountPoint;
    return key + "|" + rootInMount;
}

bool FileSystemIdentity::SameFileSystem(const FileSystemIdentity& other) const {
    if (!uuid.empty() && !other.uuid.empty())
        return uuid == other.uuid;
    if (fsid != 0 && other.fsid != 0)
        return fsid == other.fsid;
    return device == other.device && mountPoint == other.mountPoint;
}

bool IdentifyFileSystem(const std::string& root, FileSystemIdentity* out) {
    *out = {};
    const UniqueFd fd(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return false;
    struct stat st {};
    struct statfs fs {};
    if (::fstat(fd.get(), &st) != 0 || ::fstatfs(fd.get(), &fs) != 0)
        return false;
    out->device = static_cast<uint64_t>(st.st_dev);
    int words[2];
    static_assert(sizeof words == sizeof fs.f_fsid);
    std::memcpy(words, &fs.f_fsid, sizeof words);
    out->fsid = static_cast<uint32_t>(words[0]) | uint64_t{static_cast<uint32_t>(words[1])} << 32;
    out->uuid = uuidOfDevice(st.st_dev);

    // The mount of this device with the longest mount point above the root.
    const MountEntry* best = nullptr;
    const std::vector<MountEntry> mounts = ParseMountInfo(readMountInfo());
    for (const MountEntry& m : mounts)
        if (makedev(m.devMajor, m.devMinor) == st.st_dev && under(root, m.mountPoint) &&
            (!best || m.mountPoint.size() >= best->mountPoint.size()))
            best = &m;
    if (best) {
        out->mountPoint = best->mountPoint;
        out->fsType = best->fsType;
        std::string rest = root.substr(best->mountPoint == "/" ? 1 : best->mountPoint.size());
        while (!rest.empty() && rest.front() == '/')
            rest.erase(rest.begin());
        while (!rest.empty() && rest.back() == '/')
            rest.pop_back();
        out->rootInMount = rest;
    }
    return true;
}

} // namespace platform
