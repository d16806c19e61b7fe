#include "platform/Removal.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

namespace platform {
namespace {

// Descriptors of folders kept open below the item's own while a folder is walked (see
// Removal.h). Deep enough that an ordinary tree never opens a folder twice.
constexpr size_t kOpenFolders = 32;

// What opening a folder found besides an errno value.
constexpr int kSwapped = -1;     // a link, a file or another folder took its place
constexpr int kOtherVolume = -2; // a volume is mounted on it now

std::string errorText(int error) {
    return std::strerror(error);
}

TrashFailure kindOf(int error) {
    switch (error) {
    case ENOENT:
        return TrashFailure::Vanished;
    case EROFS:
        return TrashFailure::ReadOnly;
    case EACCES:
    case EPERM:
        return TrashFailure::Denied;
    default:
        return TrashFailure::Other;
    }
}

// Names from the item down, for messages.
std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : "/") + name;
    return text;
}

std::string quoted(const std::vector<std::string>& names) {
    return "\"" + joined(names) + "\"";
}

// An entry of a folder as it was listed.
struct Entry {
    std::string name;
    dev_t device = 0;
    ino_t inode = 0;
    mode_t mode = 0;
    bool mountRoot = false;
    int error = 0; // errno when it could not be examined
};

// Examines the entry `name` of dirFd (dirFd itself for an empty name) without following a link
// and without mounting an automount point. 0 or an errno value.
int examine(int dirFd, const std::string& name, Entry* out) {
    struct statx sx {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (name.empty() ? AT_EMPTY_PATH : 0);
    if (::statx(dirFd, name.c_str(), flags, STATX_TYPE | STATX_INO, &sx) != 0)
        return errno;
    out->device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    out->inode = sx.stx_ino;
    out->mode = sx.stx_mode;
    out->mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                     (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    return 0;
}

// Opens the folder `entry` of dirFd for listing: never through a link, and only when it is the
// folder that was listed there. 0, an errno value, kSwapped or kOtherVolume.
int openFolder(int dirFd, const Entry& entry, UniqueFd* out) {
    UniqueFd fd(
        ::openat(dirFd, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return errno == ELOOP || errno == ENOTDIR ? kSwapped : errno;
    Entry opened;
    if (const int error = examine(fd.get(), {}, &opened))
        return error;
    if (opened.device != entry.device)
        return kOtherVolume;
    if (opened.inode != entry.inode)
        return kSwapped;
    *out = std::move(fd);
    return 0;
}

// The names in the folder fd, without "." and "..". Read through a copy of the descriptor, from
// the start. 0 or an errno value.
int readNames(int fd, std::vector<std::string>* names) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return errno;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        const int error = errno;
        ::close(copy);
        return error;
    }
    ::rewinddir(dir); // the copy shares its position with fd, which may have been read before
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        const char* n = entry->d_name;
        if (!(n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))))
            names->emplace_back(n);
    }
    ::closedir(dir);
    return error;
}

// Why no entry of the folder fd can be deleted (an errno value), or 0: a folder that is
// immutable, append-only or not writable for us keeps every entry, and emptying its subfolders
// would only leave them half removed. Such a folder stays whole.
int deletionBarred(int fd) {
    if (::faccessat(fd, "", W_OK | X_OK, AT_EMPTY_PATH | AT_EACCESS) != 0 &&
        (errno == EPERM || errno == EACCES || errno == EROFS))
        return errno;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)))
        return EPERM;
    return 0;
}

// The entries of the folder fd, each examined; entries that vanish meanwhile are left out.
int listFolder(int fd, std::vector<Entry>* entries) {
    std::vector<std::string> names;
    if (const int error = readNames(fd, &names))
        return error;
    entries->reserve(names.size());
    for (std::string& name : names) {
        Entry entry;
        entry.name = std::move(name);
        entry.error = examine(fd, entry.name, &entry);
        if (entry.error != ENOENT)
            entries->push_back(std::move(entry));
    }
    return 0;
}

// A folder on the way from the item down to the folder being worked on.
struct Frame {
    Entry folder; // as listed in the folder above it (the item: as reached)
    UniqueFd fd;  // closed while it is out of the window of open folders
    bool listed = false;
    std::vector<Entry> entries;
    size_t next = 0;            // the next entry to work on
    std::set<std::string> kept; // names in it that stayed, or hold something that stayed
};

// The folders from the item down to the one being worked on. The item's folder and the
// kOpenFolders deepest ones below it are open; the folders between them are closed and opened
// again, from the item down, when the walk comes back to them.
class FolderStack {
public:
    explicit FolderStack(int itemFolder) : itemFolder_(itemFolder) {}

    bool Empty() const { return frames_.empty(); }
    size_t Size() const { return frames_.size(); }
    Frame& Top() { return frames_.back(); }
    Frame& At(size_t depth) { return frames_[depth]; }

    // Names of the folders from the item down to depth (none for the item itself).
    std::vector<std::string> Names(size_t depth) const {
        std::vector<std::string> names;
        for (size_t i = 1; i <= depth && i < frames_.size(); ++i)
            names.push_back(frames_[i].folder.name);
        return names;
    }
    std::vector<std::string> Names() const { return Names(frames_.size() - 1); }

    // Opens `folder`, an entry of the top folder (of the item's folder when empty), and makes it
    // the top. The top must be open. 0 or what openFolder returned.
    int Push(Entry folder) {
        const int parent = frames_.empty() ? itemFolder_ : frames_.back().fd.get();
        UniqueFd fd;
        if (const int error = openFolder(parent, folder, &fd))
            return error;
        frames_.push_back(Frame{std::move(folder), std::move(fd)});
        if (frames_.size() - firstOpen_ > kOpenFolders)
            frames_[firstOpen_++].fd = UniqueFd();
        return 0;
    }

    // Takes the top folder off, with its descriptor.
    Frame Pop() {
        Frame frame = std::move(frames_.back());
        frames_.pop_back();
        firstOpen_ = std::max<size_t>(1, std::min(firstOpen_, frames_.size()));
        return frame;
    }
    // Takes folders off until `size` are left.
    void PopTo(size_t size) {
        while (frames_.size() > size)
            Pop();
    }

    struct Reopened {
        int error = 0;    // 0, or what openFolder returned
        size_t depth = 0; // of the folder that could not be opened again
    };
    // Makes sure the top folder is open: when it was closed, the folders from the item down to it
    // are opened again by name, each only when it is still the folder listed.
    Reopened OpenTop() {
        const size_t top = frames_.size() - 1;
        if (frames_[top].fd)
            return {};
        // Everything between the item and the top is closed (see Pop).
        const size_t keepFrom = top > kOpenFolders ? top - kOpenFolders + 1 : 1;
        UniqueFd passing;
        int at = frames_[0].fd.get();
        for (size_t depth = 1; depth <= top; ++depth) {
            UniqueFd fd;
            if (const int error = openFolder(at, frames_[depth].folder, &fd)) {
                firstOpen_ = std::min(keepFrom, depth);
                return {error, depth};
            }
            if (depth >= keepFrom) {
                frames_[depth].fd = std::move(fd);
                at = frames_[depth].fd.get();
            } else {
                passing = std::move(fd);
                at = passing.get();
            }
        }
        firstOpen_ = keepFrom;
        return {};
    }

private:
    int itemFolder_;
    std::vector<Frame> frames_;
    // Folders 1 .. firstOpen_ - 1 are closed, firstOpen_ .. top are open.
    size_t firstOpen_ = 1;
};

// The first entry in the folder `item` that is a mount point or a folder of another volume, as
// names from the item down; false when there is none. Folders that cannot be opened or read
// are passed over: the removing pass meets them again and leaves them.
bool findOtherVolume(int itemFolder, const Entry& item, std::vector<std::string>* found,
                     bool* mountPoint) {
    FolderStack stack(itemFolder);
    if (stack.Push(item) != 0)
        return false;
    while (!stack.Empty()) {
        if (const FolderStack::Reopened reopened = stack.OpenTop(); reopened.error) {
            stack.PopTo(reopened.depth);
            continue;
        }
        Frame& top = stack.Top();
        if (!top.listed) {
            listFolder(top.fd.get(), &top.entries);
            top.listed = true;
        }
        if (top.next == top.entries.size()) {
            stack.Pop();
            continue;
        }
        Entry entry = top.entries[top.next++];
        if (entry.error)
            continue;
        // Only folders are compared by device: on an overlay, files show the device of the
        // layer they come from.
        const bool folder = S_ISDIR(entry.mode);
        if (entry.mountRoot || (folder && entry.device != item.device)) {
            *found = stack.Names();
            found->push_back(entry.name);
            *mountPoint = entry.mountRoot;
            return true;
        }
        if (folder)
            stack.Push(std::move(entry));
    }
    return false;
}

RemovalListingHook& currentListingHook() {
    static RemovalListingHook hook;
    return hook;
}

RemovalHandler& currentRemovalHandler() {
    static RemovalHandler handler;
    return handler;
}

// One removal. The first entry that stays gives the reason; the walk goes on with the others.
class Remover {
public:
    explicit Remover(const ListedItem& item) : item_(item) {}

    RemovalResult run();

private:
    // The item stays as a whole.
    void fail(const std::string& reason, TrashFailure kind) {
        if (reason_.empty()) {
            reason_ = reason;
            failure_ = kind;
        }
    }
    // An entry in `holder` stays, with everything in it.
    void stays(Frame& holder, std::vector<std::string> names, const std::string& reason,
               TrashFailure kind) {
        holder.kept.insert(names.back());
        stayed_.push_back(std::move(names));
        fail(reason, kind);
    }
    bool reach();
    void removeFolder();
    bool openTop(FolderStack& stack);
    void leave(FolderStack& stack, size_t depth, const std::string& why, TrashFailure kind);
    void removeEntry(FolderStack& stack, const Entry& entry);
    void finishFolder(FolderStack& stack);
    static std::string whyNotOpened(int error);

    const ListedItem& item_;
    std::string path_;
    UniqueFd parent_; // the folder holding the item (O_PATH)
    Entry itemEntry_;
    std::string reason_;
    TrashFailure failure_ = TrashFailure::None;
    bool removedAny_ = false;
    bool readOnly_ = false; // the volume turned read-only: nothing more can go
    std::vector<std::vector<std::string>> stayed_;
};

bool Remover::reach() {
    ReachedItem reached;
    const ReachResult reach = ReachListedItem(item_, &reached);
    path_ = reached.path;
    if (!reach) {
        fail(ReachFailureReason(reach), TrashFailureOf(reach.failure));
        return false;
    }
    if (reached.name.empty()) {
        fail("the drive's root folder is never deleted", TrashFailure::Refused);
        return false;
    }
    if (reached.mountRoot) {
        fail("it is a mount point", TrashFailure::Refused);
        return false;
    }
    parent_ = std::move(reached.folder);
    itemEntry_.name = reached.name;
    itemEntry_.device = reached.st.st_dev;
    itemEntry_.inode = reached.st.st_ino;
    itemEntry_.mode = reached.st.st_mode;
    struct statvfs volume {};
    if (::fstatvfs(parent_.get(), &volume) == 0 && (volume.f_flag & ST_RDONLY)) {
        fail(errorText(EROFS), TrashFailure::ReadOnly);
        return false;
    }
    return true;
}

std::string Remover::whyNotOpened(int error) {
    if (error == kSwapped)
        return " changed while it was being deleted (a link or another folder took its place)";
    if (error == kOtherVolume)
        return " is a mount point now";
    return " could not be opened: " + errorText(error);
}

// Makes sure the top folder is open; when a folder on the way to it cannot be opened again, that
// one stays with what it still holds, and false.
bool Remover::openTop(FolderStack& stack) {
    const FolderStack::Reopened reopened = stack.OpenTop();
    if (!reopened.error)
        return true;
    leave(stack, reopened.depth, whyNotOpened(reopened.error),
          reopened.error < 0 ? TrashFailure::Changed : kindOf(reopened.error));
    return false;
}

// The folder at depth stays with what it holds: it is taken off the walk, and what was recorded
// as staying inside it is covered by it.
void Remover::leave(FolderStack& stack, size_t depth, const std::string& why, TrashFailure kind) {
    const std::vector<std::string> names = stack.Names(depth);
    stack.PopTo(depth);
    if (names.empty()) {
        fail("it" + why, kind);
        return;
    }
    std::erase_if(stayed_, [&names](const std::vector<std::string>& entry) {
        return entry.size() > names.size() && std::equal(names.begin(), names.end(), entry.begin());
    });
    stays(stack.Top(), names, quoted(names) + why, kind);
}

void Remover::removeEntry(FolderStack& stack, const Entry& entry) {
    Frame& top = stack.Top();
    // The names are put together only for an entry that stays.
    const auto stay = [&](const std::string& why, TrashFailure kind) {
        std::vector<std::string> names = stack.Names();
        names.push_back(entry.name);
        const std::string shown = quoted(names);
        stays(top, std::move(names), shown + why, kind);
    };
    if (entry.error) {
        stay(" could not be examined: " + errorText(entry.error), kindOf(entry.error));
        return;
    }
    // The first pass found no mount here; one may have come since. A mounted file is left too
    // (unlinking it would fail anyway).
    if (entry.mountRoot || (S_ISDIR(entry.mode) && entry.device != itemEntry_.device)) {
        stay(" is a mount point now", TrashFailure::Changed);
        return;
    }
    if (S_ISDIR(entry.mode)) {
        const int error = stack.Push(entry);
        if (error != 0 && error != ENOENT) // (a folder that vanished meanwhile is gone)
            stay(whyNotOpened(error), error < 0 ? TrashFailure::Changed : kindOf(error));
        return;
    }
    if (::unlinkat(top.fd.get(), entry.name.c_str(), 0) == 0) {
        removedAny_ = true;
        return;
    }
    const int error = errno;
    if (error == ENOENT)
        return;
    stay(" could not be deleted: " + errorText(error), kindOf(error));
    readOnly_ = error == EROFS;
}

// The top folder has been worked through: it goes when nothing in it stayed. What appeared in it
// meanwhile stays, and is listed.
void Remover::finishFolder(FolderStack& stack) {
    Frame done = stack.Pop();
    const bool isItem = stack.Empty();
    if (!isItem && !openTop(stack))
        return; // the folder above stays, and this one with it
    std::vector<std::string> names = isItem ? std::vector<std::string>() : stack.Names();
    if (!isItem)
        names.push_back(done.folder.name);
    const auto staysItself = [&](const std::string& why, TrashFailure kind) {
        if (isItem)
            fail("the folder itself" + why, kind);
        else
            stays(stack.Top(), names, quoted(names) + why, kind);
    };

    if (done.kept.empty()) {
        const int holder = isItem ? parent_.get() : stack.Top().fd.get();
        if (::unlinkat(holder, done.folder.name.c_str(), AT_REMOVEDIR) == 0) {
            removedAny_ = true;
            return;
        }
        const int error = errno;
        if (error == ENOENT)
            return;
        if (error != ENOTEMPTY && error != EEXIST) {
            staysItself(" could not be deleted: " + errorText(error), kindOf(error));
            readOnly_ = error == EROFS;
            return;
        }
    }
    std::vector<std::string> now;
    readNames(done.fd.get(), &now);
    bool appeared = false;
    for (const std::string& name : now) {
        if (done.kept.count(name))
            continue;
        std::vector<std::string> entry = names;
        entry.push_back(name);
        stays(done, entry, quoted(entry) + " appeared while its folder was being deleted",
              TrashFailure::Changed);
        appeared = true;
    }
    if (done.kept.empty() && !appeared) // not empty a moment ago, empty now: leave it be
        staysItself(" could not be deleted: " + errorText(ENOTEMPTY), TrashFailure::Changed);
    else if (!isItem)
        stack.Top().kept.insert(done.folder.name);
}

void Remover::removeFolder() {
    std::vector<std::string> found;
    bool mountPoint = false;
    if (findOtherVolume(parent_.get(), itemEntry_, &found, &mountPoint)) {
        const std::string where = "\"" + path_ + "/" + joined(found) + "\"";
        fail(mountPoint ? "it contains the mount point " + where
                        : "it contains " + where + ", a folder of another volume",
             TrashFailure::Refused);
        return;
    }

    FolderStack stack(parent_.get());
    if (const int error = stack.Push(itemEntry_)) {
        if (error == kSwapped)
            fail("it changed since the analysis (a link or another folder took its place)",
                 TrashFailure::Changed);
        else if (error == kOtherVolume)
            fail("it is a mount point", TrashFailure::Refused);
        else
            fail(error == ENOENT ? "it no longer exists" : errorText(error), kindOf(error));
        return;
    }
    while (!stack.Empty() && !readOnly_) {
        if (!openTop(stack))
            continue;
        Frame& top = stack.Top();
        if (!top.listed) {
            top.listed = true;
            if (const int error = deletionBarred(top.fd.get())) {
                leave(stack, stack.Size() - 1,
                      " does not let its entries be deleted: " + errorText(error), kindOf(error));
                continue;
            }
            if (const int error = listFolder(top.fd.get(), &top.entries)) {
                leave(stack, stack.Size() - 1, " could not be read: " + errorText(error),
                      kindOf(error));
                continue;
            }
            if (const RemovalListingHook& hook = currentListingHook())
                hook(stack.Names());
        }
        // (A copy: the entry's frame may move when a subfolder is pushed.)
        if (top.next < top.entries.size())
            removeEntry(stack, Entry(top.entries[top.next++]));
        else
            finishFolder(stack);
    }
    // A volume that turned read-only keeps everything not yet worked on.
    for (size_t depth = 0; depth < stack.Size(); ++depth) {
        const Frame& frame = stack.At(depth);
        for (size_t i = frame.next; i < frame.entries.size(); ++i) {
            std::vector<std::string> names = stack.Names(depth);
            names.push_back(frame.entries[i].name);
            stayed_.push_back(std::move(names));
        }
    }
}

RemovalResult Remover::run() {
    path_ = item_.Path();
    if (reach()) {
        if (S_ISDIR(itemEntry_.mode)) {
            removeFolder();
        } else if (::unlinkat(parent_.get(), itemEntry_.name.c_str(), 0) != 0) {
            const int error = errno;
            fail(error == ENOENT ? "it no longer exists" : errorText(error), kindOf(error));
        }
    }
    RemovalResult result;
    result.ok = reason_.empty();
    if (result.ok)
        return result;
    result.failure = failure_;
    result.reason = QString::fromUtf8(reason_);
    result.error =
        QStringLiteral("Could not delete \"%1\": %2.").arg(QString::fromUtf8(path_), result.reason);
    result.partly = removedAny_;
    if (removedAny_)
        result.stayed = std::move(stayed_);
    return result;
}

} // namespace

std::vector<RemovalResult> RemovePermanently(const std::vector<ListedItem>& items) {
    std::vector<RemovalResult> results;
    results.reserve(items.size());
    for (const ListedItem& item : items)
        results.push_back(Remover(item).run());
    return results;
}

std::vector<RemovalResult> ShellRemovePermanently(const std::vector<ListedItem>& items) {
    if (const RemovalHandler& handler = currentRemovalHandler())
        return handler(items);
    return RemovePermanently(items);
}

RemovalHandler SetRemovalHandler(RemovalHandler handler) {
    RemovalHandler previous = std::move(currentRemovalHandler());
    currentRemovalHandler() = std::move(handler);
    return previous;
}

RemovalListingHook SetRemovalListingHook(RemovalListingHook hook) {
    RemovalListingHook previous = std::move(currentListingHook());
    currentListingHook() = std::move(hook);
    return previous;
}

} // namespace platform
