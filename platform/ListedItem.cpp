#include "platform/ListedItem.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace platform {
namespace {

bool isMountRoot(int dirFd, const char* name) {
    struct statx sx {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (*name ? 0 : AT_EMPTY_PATH);
    if (::statx(dirFd, name, flags, STATX_TYPE, &sx) != 0)
        return false;
    return (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
           (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

ReachResult failed(ReachFailure kind, std::string reason) {
    return ReachResult{kind, std::move(reason)};
}

ReachResult failedWith(int error, const std::string& what) {
    switch (error) {
    case ENOENT:
        return failed(ReachFailure::Vanished, what + " no longer exists");
    case ENOTDIR:
    case ELOOP:
        return failed(ReachFailure::Changed,
                      what + " is no longer a folder (a link or a file took its place)");
    case EACCES:
    case EPERM:
        return failed(ReachFailure::Denied, what + ": " + std::strerror(error));
    default:
        return failed(ReachFailure::Other, what + ": " + std::strerror(error));
    }
}

uint64_t recordedInode(const ListedItem& item, size_t step) {
    return step < item.inodes.size() ? item.inodes[step] : 0;
}

} // namespace

std::string FolderPathOf(int fd) {
    char link[PATH_MAX + 1];
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(proc.c_str(), link, PATH_MAX);
    return length > 0 ? std::string(link, static_cast<size_t>(length)) : std::string();
}

std::string ListedItem::Path() const {
    std::string path = root == "/" ? std::string() : root;
    for (const std::string& name : names)
        path += "/" + name;
    return path.empty() ? "/" : path;
}

bool ListedItem::FromPath(const std::string& absolutePath, ListedItem* out) {
    if (!absolutePath.starts_with('/'))
        return false;
    ListedItem item;
    item.root = "/";
    size_t start = 1;
    while (start <= absolutePath.size()) {
        size_t end = absolutePath.find('/', start);
        if (end == std::string::npos)
            end = absolutePath.size();
        std::string name = absolutePath.substr(start, end - start);
        if (name == "." || name == "..")
            return false;
        if (!name.empty())
            item.names.push_back(std::move(name));
        start = end + 1;
    }
    *out = std::move(item);
    return true;
}

bool IsRecordedItem(const ListedItem& item, const struct stat& st) {
    const uint64_t inode = recordedInode(item, item.names.size());
    return (item.device == 0 || static_cast<uint64_t>(st.st_dev) == item.device) &&
           (inode == 0 || static_cast<uint64_t>(st.st_ino) == inode);
}

ReachResult ReachListedItem(const ListedItem& item, ReachedItem* out) {
    out->path = item.Path();
    if (!item.root.starts_with('/'))
        return failed(ReachFailure::Other, "the drive has no folder");
    if (!item.inodes.empty() && item.inodes.size() != item.names.size() + 1)
        return failed(ReachFailure::Other, "the recorded way does not match the item");
    for (const std::string& name : item.names) {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            return failed(ReachFailure::Other, "the item's names are not plain names");
    }

    // The drive's root, by the path the drive table gives.
    UniqueFd folder(::open(item.root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return failedWith(errno, "the drive's folder " + item.root);
    struct stat st {};
    if (::fstat(folder.get(), &st) != 0)
        return failedWith(errno, "the drive's folder " + item.root);
    const dev_t volume = st.st_dev;
    dev_t folderDevice = st.st_dev;
    const auto sameAsRecorded = [&item](const struct stat& s, size_t step) {
        const uint64_t inode = recordedInode(item, step);
        return (item.device == 0 || static_cast<uint64_t>(s.st_dev) == item.device) &&
               (inode == 0 || static_cast<uint64_t>(s.st_ino) == inode);
    };
    if (!sameAsRecorded(st, 0))
        return failed(ReachFailure::Changed,
                      "the drive's folder " + item.root + " is not the one analysed");
    std::string real = FolderPathOf(folder.get());
    if (!real.starts_with('/'))
        return failed(ReachFailure::Other, "the drive's folder cannot be resolved");

    if (item.names.empty()) {
        out->folder = std::move(folder);
        out->name.clear();
        out->st = st;
        out->realFolder = real;
        out->mountRoot = isMountRoot(out->folder.get(), "");
        return {};
    }

    std::string shown = item.root == "/" ? std::string() : item.root;
    for (size_t i = 0; i + 1 < item.names.size(); ++i) {
        const std::string& name = item.names[i];
        shown += "/" + name;
        // O_NOFOLLOW with O_PATH would open a link itself; O_DIRECTORY then refuses it.
        UniqueFd next(
            ::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next)
            return failedWith(errno, "the folder " + shown);
        if (::fstat(next.get(), &st) != 0)
            return failedWith(errno, "the folder " + shown);
        if (item.device != 0 && (st.st_dev != volume || isMountRoot(next.get(), "")))
            return failed(ReachFailure::Changed,
                          "the folder " + shown + " is on another volume than the analysed one");
        if (!sameAsRecorded(st, i + 1))
            return failed(ReachFailure::Changed,
                          "the folder " + shown + " is not the one analysed");
        folder = std::move(next);
        folderDevice = st.st_dev;
        real = (real == "/" ? std::string() : real) + "/" + name;
    }

    const std::string& name = item.names.back();
    if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return failedWith(errno == ENOTDIR ? ENOENT : errno, "the item");
    // A mount point lists the root of the volume mounted there, with that volume's device.
    const bool mountRoot = st.st_dev != folderDevice || isMountRoot(folder.get(), name.c_str());
    struct stat asRecorded = st;
    if (mountRoot)
        asRecorded.st_dev = volume;
    if (!sameAsRecorded(asRecorded, item.names.size()))
        return failed(ReachFailure::Changed, "the item is not the one analysed");
    out->folder = std::move(folder);
    out->name = name;
    out->st = st;
    out->realFolder = real;
    out->mountRoot = mountRoot;
    return {};
}

int OpenListedFolder(const ListedItem& item) {
    ReachedItem reached;
    if (!ReachListedItem(item, &reached))
        return -1;
    const char* name = reached.name.empty() ? "." : reached.name.c_str();
    return ::openat(reached.folder.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace platform
