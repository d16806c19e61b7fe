#pragma once

// Reaching an item of an analysis again, safely, while other local users may change the tree.
//
// The program runs as root among other users' files. Between the analysis and an action on one
// of its items (trash, open, show), anyone who may write a folder on the way can rename it and
// put a symbolic link in its place, so that the same path now leads somewhere else. A path is
// therefore never resolved: the item is reached from its drive's root folder, one name at a time,
// with openat(O_NOFOLLOW) on the folder reached so far; a link, a mount point or a folder of
// another volume on the way refuses the item; and every folder and the item itself must still be
// what the analysis recorded (device and inode). The caller then acts through the descriptor of
// the item's folder (renameat2, fstatat, ...), never through the path. Depth is not limited by
// PATH_MAX.

#include "platform/UniqueFd.h"

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// An item as the analysis found it.
struct ListedItem {
    // Native path of the drive's root folder, as the drive table maps it. It is the one part of
    // the way that is opened by path: the drive table is the administrator's configuration.
    std::string root;
    // Native names from the root down to the item; empty for the root itself.
    std::vector<std::string> names;
    // Recorded inode of the root and of every name on the way (names.size() + 1 values), or
    // empty when the analysis recorded none. A 0 stands for a folder or item not recorded.
    std::vector<uint64_t> inodes;
    // Recorded device of the volume (st_dev); 0 when not recorded. When it is recorded, the way
    // must stay on that volume and cross no mount point.
    uint64_t device = 0;

    // root + "/" + names (for records and messages; the path is never opened).
    std::string Path() const;
    // The item for an absolute native path: walked from "/" without recorded identities (the
    // way may cross mounts, but still never a symbolic link). False for a relative path or one
    // with "." or ".." in it.
    static bool FromPath(const std::string& absolutePath, ListedItem* out);
};

enum class ReachFailure {
    None,
    Vanished, // the item or a folder on its way no longer exists
    Changed,  // something on the way is no longer what the analysis recorded (or is a link)
    Denied,   // no permission to pass a folder on the way
    Other,
};

struct ReachedItem {
    UniqueFd folder;        // the folder holding the item (an O_PATH descriptor)
    std::string name;       // the item's name in it; empty when the item is the root itself
    struct stat st {};      // the item (not followed when it is a link)
    std::string path;       // ListedItem::Path()
    std::string realFolder; // the folder's path with every link resolved (links only in root)
    bool mountRoot = false; // the item is the root of a mount
};

struct ReachResult {
    ReachFailure failure = ReachFailure::None;
    std::string reason; // English, when failed
    explicit operator bool() const { return failure == ReachFailure::None; }
};

// Walks from the root to the item as described above.
ReachResult ReachListedItem(const ListedItem& item, ReachedItem* out);

// Opens the folder an item is, for listing (O_RDONLY|O_DIRECTORY), after the same walk; -1 when
// it cannot be reached or is no folder (a link in its place included).
int OpenListedFolder(const ListedItem& item);

// The path of an open folder with every link resolved, as the kernel knows it; empty when it
// cannot tell (a path beyond PATH_MAX).
std::string FolderPathOf(int fd);

// True when st is the item the analysis recorded (device and inode, where recorded).
bool IsRecordedItem(const ListedItem& item, const struct stat& st);

} // namespace platform
