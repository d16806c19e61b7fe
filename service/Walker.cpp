#include "service/Walker.h"

#include "platform/NameCodec.h"

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <vector>

#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

namespace service {
namespace {

constexpr int32_t kProgressEnd = 1100;
constexpr size_t kMaxDebugLines = 1000;
constexpr auto kCallbackPeriod = std::chrono::milliseconds(20);
constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrSystem = 0x4;
constexpr uint32_t kAttrNormal = 0x80;
constexpr unsigned kStatxMask = STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_ATIME |
                                STATX_MTIME | STATX_CTIME | STATX_BTIME;
constexpr int kStatxFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC;
constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
// Descriptors left to the reopening of folders (a walk of two, and ".." of a child).
constexpr size_t kSpareDescriptors = 3;
// Folders kept open at least, whatever the limit seems to allow: with fewer, a deep tree costs a
// walk down from the root per folder. Too many only cost a retry (EMFILE closes one and retries).
constexpr size_t kLeastHeldDescriptors = 2;
// The smallest record arena worth a walk.
constexpr size_t kLeastArenaBytes = size_t{1} << 20;
// Workers call nothing deep; a small stack leaves address space to the records.
constexpr size_t kWorkerStackBytes = size_t{1} << 20;

// Each record's identity, the inode of its item, lives in the 8 bytes just before the record: the
// walk allocates them together (the root record too), so the record layouts stay as they are and
// an identity costs 8 bytes per entry. 0 where the item could not be examined.
constexpr size_t kIdBytes = sizeof(uint64_t);

void setInode(TFILE_RECORD* r, uint64_t inode) {
    std::memcpy(reinterpret_cast<char*>(r) - kIdBytes, &inode, kIdBytes);
}

std::atomic<EntryHook> g_entryHook{nullptr};
std::atomic<void*> g_entryHookContext{nullptr};

// One folder to be listed.
struct DirTask {
    DirTask* parent = nullptr;
    TFILE_RECORD* record = nullptr;
    const char16_t* name = nullptr; // display name inside the arena; empty for the root
    uint32_t nameLength = 0;
    uint32_t depth = 0;
    uint64_t inode = 0;
    // Guarded by Descriptors: the folder's descriptor while children queued still have to open
    // themselves through it (-1 when closed), the number of those children, and how many of
    // them are opening through it right now.
    int fd = -1;
    int pending = 0;
    int pins = 0;
};

struct Listed {
    uint32_t offset; // into the name buffer; names are zero-terminated there
    uint16_t length;
    uint8_t type; // DT_* of the folder listing
};

std::u16string ascii(const char* s) {
    return platform::DecodeNativeName(s ? s : "");
}

// A folder's name now leads to another folder than the one listed (not an errno value).
constexpr int kReplaced = -1;

// The descriptors of folders whose children are still queued. A child opens itself relative to
// its parent's descriptor, so a folder's descriptor stays open until its last child has done so.
// Their number stays within a budget taken from the process's limit of open files: beyond it the
// shallowest are closed first (the queue is last in, first out, so the deepest are needed
// soonest), and a folder whose descriptor was closed is reopened when a child needs it, through
// ".." of a child that is done with its own, or by name from the nearest folder still open. Every
// folder reopened is checked against the inode it had when it was listed, so a tree renamed or
// replaced meanwhile is never entered by mistake.
class Descriptors {
public:
    void Init(int rootFd, unsigned devMajor, unsigned devMinor, size_t budget) {
        rootFd_ = rootFd;
        devMajor_ = devMajor;
        devMinor_ = devMinor;
        budget_ = budget;
    }
    size_t Budget() const { return budget_; }
    uint64_t Reopened() const { return reopened_.load(std::memory_order_relaxed); }

    // The descriptor of the root folder for its own listing.
    int OpenRoot(int& err) {
        for (;;) {
            const int fd = ::openat(rootFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            err = fd < 0 ? errno : 0;
            if (fd >= 0 || !outOfDescriptors(err) || !evictOne(nullptr, nullptr))
                return fd;
        }
    }

    // Opens the folder t by its name in its parent; the parent then has one child fewer to wait
    // for. -1 with err set when it cannot be opened.
    int OpenChild(const DirTask* t, const char* nativeName, int& err) {
        DirTask* parent = t->parent;
        int fd = -1;
        for (;;) {
            int base;
            {
                std::lock_guard lock(mutex_);
                base = acquire(parent, err);
                if (base < 0) {
                    dropChild(parent);
                    return -1;
                }
                ++parent->pins;
            }
            fd = ::openat(base, nativeName, kOpenFolder);
            err = fd < 0 ? errno : 0;
            // What has the name now must be the folder listed: one renamed away and another (or
            // a file system mounted there) put in its place is not it.
            if (fd >= 0 && !sameFolder(fd, t)) {
                ::close(fd);
                fd = -1;
                err = kReplaced;
            }
            std::lock_guard lock(mutex_);
            --parent->pins;
            if (fd < 0 && outOfDescriptors(err) && evictOne(parent, nullptr))
                continue;
            dropChild(parent);
            return fd;
        }
    }

    // A queued child that will not open itself (the walk was stopped).
    void Forget(DirTask* parent) {
        std::lock_guard lock(mutex_);
        dropChild(parent);
    }

    // The listing of t is done with fd: it stays open for t's queued children, else it closes.
    // Called before the children are queued.
    void Keep(DirTask* t, int fd, int children) {
        std::lock_guard lock(mutex_);
        t->pending = children;
        if (children == 0 || !t->parent) { // the root's children open through rootFd_
            ::close(fd);
            return;
        }
        if (hold(t, fd)) // else the children reopen t by its name
            while (held_.size() > budget_ && evictOne(nullptr, nullptr)) {
            }
    }

    // Closes whatever is still open (a walk that ended early leaves folders behind).
    void CloseAll() {
        std::lock_guard lock(mutex_);
        for (const auto& [depth, t] : held_) {
            ::close(t->fd);
            t->fd = -1;
        }
        held_.clear();
    }

private:
    static bool outOfDescriptors(int err) { return err == EMFILE || err == ENFILE; }

    // Is fd the folder t was when it was listed?
    bool sameFolder(int fd, const DirTask* t) const {
        struct statx st {};
        return ::statx(fd, "", AT_EMPTY_PATH, STATX_INO, &st) == 0 && st.stx_ino == t->inode &&
               st.stx_dev_major == devMajor_ && st.stx_dev_minor == devMinor_;
    }

    // Keeps fd as t's descriptor; false (and fd closed) when there is no memory to track it.
    bool hold(DirTask* t, int fd) {
        try {
            held_.insert({t->depth, t});
        } catch (const std::bad_alloc&) {
            ::close(fd);
            return false;
        }
        t->fd = fd;
        return true;
    }
    void close(DirTask* t) {
        held_.erase({t->depth, t});
        ::close(t->fd);
        t->fd = -1;
    }

    // Closes the shallowest descriptor that no child is opening through and that is neither a
    // nor b. False when there is none.
    bool evictOne(const DirTask* a, const DirTask* b) {
        for (const auto& [depth, t] : held_) {
            if (t->pins == 0 && t != a && t != b) {
                close(t);
                return true;
            }
        }
        return false;
    }

    // One child of p has opened (or given up); the last one releases p's descriptor. When p's
    // parent lost its descriptor and still has children queued, ".." of p gets it back at the
    // price of one open instead of a walk down from an ancestor.
    void dropChild(DirTask* p) {
        if (--p->pending > 0 || p->fd < 0)
            return;
        DirTask* up = p->parent;
        if (up && up->parent && up->fd < 0 && up->pending > 0) {
            const int fd = ::openat(p->fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd >= 0 && sameFolder(fd, up)) {
                if (hold(up, fd))
                    reopened_.fetch_add(1, std::memory_order_relaxed);
            } else if (fd >= 0) {
                ::close(fd);
            }
        }
        close(p);
    }

    // The descriptor of p for opening a child, reopening p when it was closed. Mutex held.
    int acquire(DirTask* p, int& err) {
        if (!p->parent)
            return rootFd_;
        if (p->fd >= 0)
            return p->fd;
        // Either down from the nearest ancestor still open (the root always is), name by name,
        // or up from an open folder below p through "..", whichever takes fewer steps.
        std::vector<DirTask*> down; // p, its parent, ... up to below the open ancestor
        DirTask* above = p;
        for (; above->parent && above->fd < 0; above = above->parent)
            down.push_back(above);
        DirTask* below = nullptr;
        for (auto it = held_.lower_bound({p->depth + 1, nullptr});
             it != held_.end() && it->first - p->depth < down.size(); ++it) {
            DirTask* a = it->second;
            while (a->depth > p->depth)
                a = a->parent;
            if (a == p) {
                below = it->second;
                break;
            }
        }
        DirTask* anchor = below ? below : above;
        int at = anchor->parent ? anchor->fd : rootFd_;
        DirTask* atTask = anchor;
        bool own = false; // at was opened by this walk, not held by a task
        std::string native;
        // One step from at to target; folders passed that still have children queued keep their
        // descriptor while the budget allows.
        const auto step = [&](const char* component, DirTask* target) {
            int next;
            for (;;) {
                next = ::openat(at, component,
                                component[0] == '.' && component[1] == '.' && !component[2]
                                    ? O_RDONLY | O_DIRECTORY | O_CLOEXEC
                                    : kOpenFolder);
                err = next < 0 ? errno : 0;
                if (next >= 0 || !outOfDescriptors(err) || !evictOne(anchor, p))
                    break;
            }
            if (next >= 0 && !sameFolder(next, target)) {
                ::close(next);
                next = -1;
                err = ENOENT; // renamed or replaced since it was listed: the folder listed is gone
            }
            if (own && !(atTask->pending > 0 && atTask->fd < 0 && held_.size() < budget_ &&
                         hold(atTask, at)))
                ::close(at);
            if (next < 0)
                return false;
            at = next;
            atTask = target;
            own = true;
            return true;
        };
        if (below) {
            for (DirTask* t = below->parent; t; t = t->parent) {
                if (!step("..", t))
                    return -1;
                if (t == p)
                    break;
            }
        } else {
            for (auto it = down.rbegin(); it != down.rend(); ++it) {
                native.clear();
                platform::EncodeNativeName({(*it)->name, (*it)->nameLength}, native);
                if (!step(native.c_str(), *it))
                    return -1;
            }
        }
        if (!hold(p, at)) {
            err = ENOMEM;
            return -1;
        }
        reopened_.fetch_add(1, std::memory_order_relaxed);
        while (held_.size() > budget_ && evictOne(p, nullptr)) {
        }
        return at;
    }

    std::mutex mutex_;
    std::set<std::pair<uint32_t, DirTask*>> held_; // open descriptors by depth
    size_t budget_ = 0;
    int rootFd_ = -1;
    unsigned devMajor_ = 0, devMinor_ = 0;
    std::atomic<uint64_t> reopened_{0};
};

// What the walk of one snapshot shares between the workers and the calling thread.
struct Shared {
    int rootFd = -1;
    unsigned devMajor = 0, devMinor = 0;
    char16_t letter = u'C';
    Arena* arena = nullptr;
    Descriptors descriptors;

    std::mutex mutex;
    std::condition_variable workAvailable;
    std::condition_variable finished;
    std::vector<DirTask*> stack; // LIFO keeps the number of open descriptors near the depth
    int idle = 0;
    int workers = 0;
    bool done = false;

    std::atomic<bool> stop{false};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> arenaFull{false};
    std::atomic<bool> outOfMemory{false};
    std::atomic<uint64_t> outOfDescriptors{0}; // folders that could not be opened for want of one
    std::atomic<uint64_t> unreadable{0};
    std::atomic<uint64_t> entries{0};
    std::atomic<uint64_t> dirsQueued{0};
    std::atomic<uint64_t> dirsDone{0};

    std::mutex linesMutex;
    std::vector<std::u16string> lines;
    size_t linesDropped = 0;

    void push(DirTask* const* tasks, size_t n) {
        if (n == 0)
            return;
        dirsQueued.fetch_add(n, std::memory_order_relaxed);
        {
            std::lock_guard lock(mutex);
            stack.insert(stack.end(), tasks, tasks + n);
        }
        if (n == 1)
            workAvailable.notify_one();
        else
            workAvailable.notify_all();
    }

    DirTask* pop() {
        std::unique_lock lock(mutex);
        while (stack.empty()) {
            if (done)
                return nullptr;
            if (++idle == workers) {
                done = true;
                lock.unlock();
                workAvailable.notify_all();
                finished.notify_all();
                return nullptr;
            }
            workAvailable.wait(lock);
            --idle;
        }
        DirTask* t = stack.back();
        stack.pop_back();
        return t;
    }

    // Fewer workers than planned (threads that could not be started).
    void setWorkers(int n) {
        {
            std::lock_guard lock(mutex);
            workers = n;
            if (idle >= workers && stack.empty()) {
                done = true;
                finished.notify_all();
            }
        }
        workAvailable.notify_all();
    }

    void debug(std::u16string line) {
        std::lock_guard lock(linesMutex);
        if (lines.size() < kMaxDebugLines)
            lines.push_back(std::move(line));
        else
            ++linesDropped;
    }
};

// "X:\a\b" of a folder task, for diagnostics.
std::u16string windowsPath(const Shared& sh, const DirTask* t) {
    std::vector<const DirTask*> chain;
    for (; t && t->parent; t = t->parent)
        chain.push_back(t);
    std::u16string path;
    path += sh.letter;
    path += u":\\";
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin())
            path += u'\\';
        path.append((*it)->name, (*it)->nameLength);
    }
    return path;
}

void setTimes(TFILE_RECORD* r, const struct statx& st) {
    const auto ft = [](const statx_timestamp& t) { return WindowsFileTime(t.tv_sec, t.tv_nsec); };
    r->TimeLastAccess = ft(st.stx_atime);
    r->TimeLastWrite = ft(st.stx_mtime);
    r->TimeCreation = (st.stx_mask & STATX_BTIME) ? ft(st.stx_btime) : ft(st.stx_ctime);
}

class Worker {
public:
    explicit Worker(Shared& sh) : sh_(sh), cursor_(*sh.arena) { buffer_.resize(128 * 1024); }

    void Run() {
        while (DirTask* t = sh_.pop()) {
            try {
                List(t);
            } catch (const std::bad_alloc&) {
                // The task's own descriptor (if any) closes with CloseAll at the end.
                sh_.outOfMemory.store(true, std::memory_order_relaxed);
                sh_.stop.store(true, std::memory_order_relaxed);
            }
            sh_.dirsDone.fetch_add(1, std::memory_order_relaxed);
        }
    }

    // The root task; created by the first worker's owner before the threads start.
    DirTask* NewTask() { return &tasks_.emplace_back(); }

private:
    void List(DirTask* t) {
        if (sh_.stop.load(std::memory_order_relaxed)) {
            if (t->parent)
                sh_.descriptors.Forget(t->parent);
            return;
        }
        int err = 0;
        int fd;
        if (!t->parent) {
            fd = sh_.descriptors.OpenRoot(err);
        } else {
            native_.clear();
            platform::EncodeNativeName({t->name, t->nameLength}, native_);
            fd = sh_.descriptors.OpenChild(t, native_.c_str(), err);
        }
        if (fd < 0) {
            // Gone or replaced since it was listed. It was renamed or moved as likely as it was
            // deleted, and what it holds may then be nowhere in the snapshot: the folder counts
            // as unreadable, so the result does not pass for complete.
            if (err == ENOENT || err == ENOTDIR || err == ELOOP || err == kReplaced) {
                vanished(windowsPath(sh_, t), t->record);
                return;
            }
            if (err == EMFILE || err == ENFILE)
                sh_.outOfDescriptors.fetch_add(1, std::memory_order_relaxed);
            unreadable(t, err);
            return;
        }
        children_.clear();
        try {
            if (ReadNames(t, fd))
                Examine(t, fd);
        } catch (...) {
            sh_.descriptors.Keep(t, fd, 0); // closes it
            throw;
        }
        sh_.descriptors.Keep(t, fd, static_cast<int>(children_.size()));
        if (!children_.empty()) {
            std::reverse(children_.begin(), children_.end()); // LIFO: listed order first
            sh_.push(children_.data(), children_.size());
        }
    }

    // A folder listed that was moved, replaced or deleted before it could be read.
    void vanished(const std::u16string& path, TFILE_RECORD* rec) {
        rec->IsDir = kBool32True;
        rec->Attr |= FILE_ATTRIBUTE_DIRECTORY;
        if (!(rec->Flags & UNDEL_FLAG_UNREADABLE))
            sh_.unreadable.fetch_add(1, std::memory_order_relaxed);
        rec->Flags |= UNDEL_FLAG_UNREADABLE;
        sh_.debug(u"UpdateSnapshot: folder moved, replaced or deleted before it could be read: " +
                  path);
    }

    void unreadable(DirTask* t, int err) {
        if (!(t->record->Flags & UNDEL_FLAG_UNREADABLE))
            sh_.unreadable.fetch_add(1, std::memory_order_relaxed);
        t->record->Flags |= UNDEL_FLAG_UNREADABLE;
        sh_.debug(u"UpdateSnapshot: folder cannot be read: " + windowsPath(sh_, t) + u" (" +
                  ascii(::strerrordesc_np(err)) + u")");
    }

    // All names of the folder into names_/listed_. False when nothing can be listed.
    bool ReadNames(DirTask* t, int fd) {
        names_.clear();
        listed_.clear();
        for (;;) {
            const long n = ::syscall(SYS_getdents64, fd, buffer_.data(), buffer_.size());
            if (n == 0)
                return true;
            if (n < 0) {
                const int err = errno;
                if (err == ENOENT) { // removed while listed: emptied first, or moved elsewhere
                    vanished(windowsPath(sh_, t), t->record);
                    return !listed_.empty();
                }
                unreadable(t, err);
                return !listed_.empty();
            }
            for (long pos = 0; pos < n;) {
                // struct linux_dirent64: ino 8, off 8, reclen 2, type 1, name
                const char* d = buffer_.data() + pos;
                uint16_t reclen;
                std::memcpy(&reclen, d + 16, 2);
                pos += reclen;
                const char* name = d + 19;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                    continue;
                const size_t len = std::strlen(name);
                listed_.push_back({static_cast<uint32_t>(names_.size()), static_cast<uint16_t>(len),
                                   static_cast<uint8_t>(d[18])});
                names_.insert(names_.end(), name, name + len + 1);
            }
        }
    }

    bool allocFailed() {
        sh_.arenaFull.store(true, std::memory_order_relaxed);
        sh_.stop.store(true, std::memory_order_relaxed);
        return false;
    }

    // An entry that statx cannot examine (its folder may be listed but not searched): the type
    // comes from the listing, the size stays unknown, and a folder's contents cannot be reached.
    static bool describeUnexamined(TFILE_RECORD* rec, uint8_t type) {
        switch (type) {
        case DT_DIR:
            rec->IsDir = kBool32True;
            rec->Attr = FILE_ATTRIBUTE_DIRECTORY;
            rec->Flags |= UNDEL_FLAG_UNREADABLE;
            return true;
        case DT_LNK:
            rec->Attr = FILE_ATTRIBUTE_REPARSE_POINT;
            return false;
        case DT_REG:
            rec->Attr = kAttrNormal;
            return false;
        default:
            rec->Attr = kAttrSystem;
            return false;
        }
    }

    void Examine(DirTask* t, int fd) {
        const size_t count = listed_.size();
        auto* items = reinterpret_cast<TDIR_ITEM*>(cursor_.Alloc(count * sizeof(TDIR_ITEM)));
        if (!items && count) {
            allocFailed();
            return;
        }
        t->record->DirItems.set(items);
        int32_t filled = 0;
        size_t unexamined = 0;
        int unexaminedErr = 0;
        const EntryHook hook = g_entryHook.load(std::memory_order_relaxed);
        for (size_t i = 0; i < count; ++i) {
            if (sh_.stop.load(std::memory_order_relaxed))
                break;
            const char* name = names_.data() + listed_[i].offset;
            const size_t len = listed_[i].length;
            if (hook)
                hook(fd, name, g_entryHookContext.load(std::memory_order_relaxed));
            struct statx st {};
            const bool statted = ::statx(fd, name, kStatxFlags, kStatxMask, &st) == 0;
            const int statErr = statted ? 0 : errno;

            // name record, identity, file record, stream, then the name text
            constexpr size_t kRecordAt = sizeof(TFILE_NAME) + kIdBytes;
            constexpr size_t kStreamAt = kRecordAt + sizeof(TFILE_RECORD);
            char* room = cursor_.Room(kStreamAt + sizeof(TDATA_STREAM) + (len + 1) * 2);
            if (!room) {
                allocFailed();
                break;
            }
            auto* fileName = reinterpret_cast<TFILE_NAME*>(room);
            auto* rec = reinterpret_cast<TFILE_RECORD*>(room + kRecordAt);
            auto* stream = reinterpret_cast<TDATA_STREAM*>(room + kStreamAt);
            bool hasStream = false;
            setInode(rec, statted ? st.stx_ino : 0);
            fileName->ParentRecord = t->inode;
            rec->FileNames.set(fileName);
            items[filled].FileName.set(fileName);
            items[filled].aRecord.set(rec);

            if (!statted) {
                if (statErr == ENOENT && listed_[i].type == DT_DIR) {
                    // A folder gone since the listing: as when it vanishes before it is read.
                    std::u16string path = windowsPath(sh_, t);
                    if (t->parent)
                        path += u'\\';
                    path += platform::DecodeNativeName({name, len});
                    vanished(path, rec);
                } else if (statErr == ENOENT) {
                    // A file deleted since the folder was listed is left out. Its loss is one
                    // entry, the same as that of a file created after the listing, which no walk
                    // short of an atomic picture of the volume can see either; a file moved to a
                    // folder read already is missed the same way whether or not the move fell
                    // between the listing and this look. A folder differs: what it holds would
                    // drop out with it, however much that is. An entry of unknown type may have
                    // been a folder, so its own folder counts as not wholly read.
                    rec->Flags = UNDEL_FLAG_GONE;
                    if (listed_[i].type == DT_UNKNOWN) {
                        ++unexamined;
                        unexaminedErr = statErr;
                    }
                } else {
                    ++unexamined;
                    unexaminedErr = statErr;
                    if (describeUnexamined(rec, listed_[i].type))
                        sh_.unreadable.fetch_add(1, std::memory_order_relaxed);
                }
            } else {
                setTimes(rec, st);
                const mode_t type = st.stx_mode & S_IFMT;
                uint32_t attr = (st.stx_mode & 0222) ? 0 : kAttrReadOnly;
                if (type == S_IFDIR) {
                    rec->IsDir = kBool32True;
                    attr |= FILE_ATTRIBUTE_DIRECTORY;
                    const bool otherFs = st.stx_dev_major != sh_.devMajor ||
                                         st.stx_dev_minor != sh_.devMinor ||
                                         ((st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                                          (st.stx_attributes & STATX_ATTR_MOUNT_ROOT));
                    if (otherFs)
                        attr |= FILE_ATTRIBUTE_REPARSE_POINT; // a mount point: never walked
                } else if (type == S_IFLNK) {
                    // A link is never followed; a link to a folder is a folder record.
                    struct statx target {};
                    if (::statx(fd, name, AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, STATX_TYPE,
                                &target) == 0 &&
                        (target.stx_mode & S_IFMT) == S_IFDIR) {
                        rec->IsDir = kBool32True;
                        attr |= FILE_ATTRIBUTE_DIRECTORY;
                    }
                    attr |= FILE_ATTRIBUTE_REPARSE_POINT;
                } else {
                    hasStream = true;
                    stream->Size = st.stx_size;
                    stream->ValidSize = st.stx_size;
                    rec->Streams.set(stream);
                    if (type != S_IFREG)
                        attr |= kAttrSystem; // fifos, sockets, devices
                    else if (attr == 0)
                        attr = kAttrNormal;
                }
                rec->Attr = attr;
                if (type == S_IFDIR && !(attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    DirTask* child = &tasks_.emplace_back();
                    child->parent = t;
                    child->record = rec;
                    child->inode = st.stx_ino;
                    child->depth = t->depth + 1;
                    children_.push_back(child);
                }
            }
            // The name text goes where the stream would be when there is none.
            char* text = room + kStreamAt + (hasStream ? sizeof(TDATA_STREAM) : 0);
            auto* text16 = reinterpret_cast<char16_t*>(text);
            const size_t units = platform::DecodeNativeName({name, len}, text16);
            text16[units] = 0;
            fileName->Name.set(text16);
            if (!children_.empty() && children_.back()->record == rec) {
                children_.back()->name = text16;
                children_.back()->nameLength = static_cast<uint32_t>(units);
            }
            cursor_.Commit(static_cast<size_t>(text - room) + (units + 1) * 2);
            ++filled;
        }
        t->record->NumDirItems = filled;
        sh_.entries.fetch_add(static_cast<uint64_t>(filled), std::memory_order_relaxed);
        if (unexamined) {
            // Their sizes are missing from this folder.
            if (!(t->record->Flags & UNDEL_FLAG_UNREADABLE))
                sh_.unreadable.fetch_add(1, std::memory_order_relaxed);
            t->record->Flags |= UNDEL_FLAG_UNREADABLE;
            sh_.debug(u"UpdateSnapshot: entries cannot be examined: " + windowsPath(sh_, t) +
                      u" (" + ascii(std::to_string(unexamined).c_str()) + u" of " +
                      ascii(std::to_string(count).c_str()) + u": " +
                      ascii(::strerrordesc_np(unexaminedErr)) + u")");
        }
    }

    Shared& sh_;
    ArenaCursor cursor_;
    std::vector<char> buffer_;
    std::vector<char> names_;
    std::vector<Listed> listed_;
    std::vector<DirTask*> children_;
    std::deque<DirTask> tasks_; // stable addresses; kept until the walk ends
    std::string native_;
};

// Workers for a walk served from the cache: four per processor keep the processors busy while
// workers wait for the queue or for a folder being opened (on two processors 8 workers took
// 0.48 x du, 4 took 0.52 and 32 took 0.54; bench/run_threads.sh, BENCHMARKS.md).
int processorWorkers() {
    const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<int>(std::clamp(hw * 4, 4u, 16u));
}

// Workers once the walk has to read the disk: each waits for its own read, and a disk (or the
// host of a virtual one) serves several at once. With a cold cache 16 workers took 0.52 x du,
// 8 took 0.53, 4 took 0.57 and 32 took 0.54 (same measurements); a warm walk gains nothing from
// them, so they start only when the walk reads the disk.
constexpr int kDiskWorkers = 16;
// Bytes read from the disk before the walk takes the cache to be cold (a walk of a warm cache
// may still read a megabyte of metadata written meanwhile; a cold one reads hundreds).
constexpr uint64_t kColdCacheBytes = uint64_t{4} << 20;

// ORBISCA_SERVICE_THREADS: a fixed number of workers (0 when not set).
int workersFromEnvironment() {
    if (const char* env = std::getenv("ORBISCA_SERVICE_THREADS")) {
        const int n = std::atoi(env);
        if (n > 0)
            return std::min(n, 64);
    }
    return 0;
}

// Bytes this process has read from the disk (the file system's own reads of folders and inodes
// count, reads served from the cache do not).
uint64_t processDiskReads() {
    rusage ru{};
    if (::getrusage(RUSAGE_SELF, &ru) != 0)
        return 0;
    return static_cast<uint64_t>(ru.ru_inblock) * 512;
}
std::atomic<uint64_t (*)()> g_diskReads{&processDiskReads};

// Descriptors this process has open now.
size_t openDescriptors(size_t limit) {
    if (DIR* d = ::opendir("/proc/self/fd")) {
        size_t n = 0;
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        ::closedir(d);
        return n > 0 ? n - 1 : 0; // less the one reading the folder
    }
    size_t n = 0;
    for (size_t fd = 0; fd < std::min<size_t>(limit, 65536); ++fd)
        if (::fcntl(static_cast<int>(fd), F_GETFD) != -1)
            ++n;
    return n;
}

// Descriptors a walk may open: the soft limit less those open now.
size_t freeDescriptors() {
    rlimit lim{};
    size_t limit = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &lim) == 0)
        limit = lim.rlim_cur == RLIM_INFINITY
                    ? (size_t{1} << 20)
                    : static_cast<size_t>(std::min<rlim_t>(lim.rlim_cur, rlim_t{1} << 20));
    const size_t open = openDescriptors(limit);
    return limit > open ? limit - open : 0;
}

std::u16string mebibytes(size_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return ascii(text);
}

std::u16string number(uint64_t n) {
    return ascii(std::to_string(n).c_str());
}

} // namespace

void SetEntryHookForTesting(EntryHook hook, void* context) {
    g_entryHookContext.store(context);
    g_entryHook.store(hook);
}

void SetDiskReadsForTesting(uint64_t (*diskReads)()) {
    g_diskReads.store(diskReads ? diskReads : &processDiskReads);
}

bool Snapshot::RecordId(const TFILE_RECORD* record, uint64_t& device, uint64_t& inode) const {
    device = inode = 0;
    const auto at = reinterpret_cast<uintptr_t>(record);
    if (!root_ || at < kIdBytes ||
        !arena_.Holds(reinterpret_cast<const char*>(at - kIdBytes), kIdBytes + sizeof(TFILE_RECORD)))
        return false;
    std::memcpy(&inode, reinterpret_cast<const char*>(at - kIdBytes), kIdBytes);
    device = device_;
    return true;
}

void Snapshot::Clear() {
    root_ = nullptr;
    device_ = 0;
    entries_ = 0;
    stopped_ = false;
    cutShortReason_.clear();
    unreadableFolders_ = 0;
    reopenedFolders_ = 0;
    arena_.Release();
}

bool Snapshot::Build(int rootFd, const WalkOptions& options, const WalkEvents& events) {
    Clear();
    struct statx rootSt {};
    if (::statx(rootFd, "", AT_EMPTY_PATH | AT_NO_AUTOMOUNT,
                STATX_TYPE | STATX_MODE | STATX_INO | STATX_ATIME | STATX_MTIME | STATX_CTIME |
                    STATX_BTIME,
                &rootSt) != 0 ||
        (rootSt.stx_mode & S_IFMT) != S_IFDIR) {
        cutShortReason_ = u"the root folder cannot be examined";
        return false;
    }
    const size_t wanted =
        options.arenaBytes ? std::min(options.arenaBytes, Arena::kMaxBytes) : Arena::kMaxBytes;
    if (arena_.ReserveAtMost(wanted, kLeastArenaBytes) == 0) {
        cutShortReason_ = u"no address space could be reserved for the snapshot's records (" +
                          ascii(::strerrordesc_np(errno)) + u")";
        return false;
    }

    if (arena_.ReservedBytes() < wanted && events.debugLine)
        events.debugLine(u"UpdateSnapshot: only " + mebibytes(arena_.ReservedBytes()) +
                         u" of the " + mebibytes(wanted) +
                         u" wanted could be reserved for records");

    Shared sh;
    sh.rootFd = rootFd;
    sh.devMajor = rootSt.stx_dev_major;
    sh.devMinor = rootSt.stx_dev_minor;
    device_ = makedev(rootSt.stx_dev_major, rootSt.stx_dev_minor);
    sh.letter = options.driveLetter;
    sh.arena = &arena_;
    // Each worker lists through one descriptor of its own; the rest of what the limit of open
    // files leaves is the budget for folders kept open for their queued children.
    const size_t freeFds = freeDescriptors();
    const size_t spare = freeFds > kSpareDescriptors ? freeFds - kSpareDescriptors : 0;
    // The walk starts with workers for the processors; should it read the disk, more join it
    // (up to maxThreads). A number given by the caller or the environment is kept throughout.
    int threads = options.threads > 0 ? options.threads : workersFromEnvironment();
    int maxThreads = threads;
    if (threads == 0) {
        threads = processorWorkers();
        maxThreads = std::max(threads, kDiskWorkers);
    }
    maxThreads =
        static_cast<int>(std::clamp<size_t>(spare / 2, 1, static_cast<size_t>(maxThreads)));
    threads = std::min(threads, maxThreads);
    sh.descriptors.Init(
        rootFd, sh.devMajor, sh.devMinor,
        std::max(kLeastHeldDescriptors, spare > static_cast<size_t>(maxThreads)
                                            ? spare - static_cast<size_t>(maxThreads)
                                            : 0));
    sh.workers = threads;

    // Progress is estimated from the used inodes when the root is a file system's own root;
    // below it, from the folders still queued and the entries per folder so far.
    uint64_t inodeEstimate = 0;
    const bool mountRoot = (rootSt.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
                               ? (rootSt.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0
                               : false;
    struct statvfs vfs {};
    if (mountRoot && ::fstatvfs(rootFd, &vfs) == 0 && vfs.f_files > vfs.f_ffree)
        inodeEstimate = vfs.f_files - vfs.f_ffree;

    std::vector<std::unique_ptr<Worker>> workers;
    workers.reserve(static_cast<size_t>(maxThreads));
    for (int i = 0; i < threads; ++i)
        workers.push_back(std::make_unique<Worker>(sh));

    ArenaCursor rootCursor(arena_);
    char* rootRoom = rootCursor.Alloc(kIdBytes + sizeof(TFILE_RECORD));
    root_ = rootRoom ? reinterpret_cast<TFILE_RECORD*>(rootRoom + kIdBytes) : nullptr;
    if (!root_) {
        cutShortReason_ = u"the snapshot's record memory of " + mebibytes(arena_.ReservedBytes()) +
                          u" is too small";
        return false;
    }
    root_->IsDir = kBool32True;
    root_->Attr = FILE_ATTRIBUTE_DIRECTORY;
    setTimes(root_, rootSt);
    setInode(root_, rootSt.stx_ino);
    DirTask* rootTask = workers[0]->NewTask();
    rootTask->record = root_;
    rootTask->inode = rootSt.stx_ino;
    sh.push(&rootTask, 1);

    // Threads are joined however this function is left.
    std::vector<pthread_t> pool;
    pool.reserve(static_cast<size_t>(maxThreads));
    struct Joiner {
        Shared& sh;
        std::vector<pthread_t>& pool;
        ~Joiner() {
            sh.stop.store(true, std::memory_order_relaxed);
            for (pthread_t th : pool)
                ::pthread_join(th, nullptr);
            pool.clear();
            sh.descriptors.CloseAll();
        }
    } joiner{sh, pool};
    // Starts the threads of workers [from, end); false when not all could be started (address
    // space, process limits): the others do the walk.
    const auto startWorkers = [&](size_t from) {
        pthread_attr_t attr;
        ::pthread_attr_init(&attr);
        ::pthread_attr_setstacksize(&attr, kWorkerStackBytes);
        bool all = true;
        for (size_t i = from; i < workers.size(); ++i) {
            pthread_t th;
            const auto run = [](void* worker) -> void* {
                static_cast<Worker*>(worker)->Run();
                return nullptr;
            };
            if (::pthread_create(&th, &attr, run, workers[i].get()) != 0) {
                all = false;
                break;
            }
            pool.push_back(th);
        }
        ::pthread_attr_destroy(&attr);
        if (!all)
            sh.setWorkers(static_cast<int>(pool.size()));
        return all;
    };
    uint64_t (*const diskReads)() = g_diskReads.load();
    const uint64_t readBefore = diskReads();
    const bool allStarted = startWorkers(0);
    bool mayGrow = allStarted && maxThreads > threads;
    if (pool.empty()) {
        cutShortReason_ = u"no worker thread could be started";
        return false;
    }

    int32_t shown = 0;
    const auto flushLines = [&] {
        std::vector<std::u16string> lines;
        {
            std::lock_guard lock(sh.linesMutex);
            lines.swap(sh.lines);
        }
        if (events.debugLine)
            for (const auto& l : lines)
                events.debugLine(l);
    };
    if (events.progress)
        events.progress(0);
    for (;;) {
        bool finished;
        {
            std::unique_lock lock(sh.mutex);
            finished = sh.finished.wait_for(lock, kCallbackPeriod, [&] { return sh.done; });
        }
        flushLines();
        if (finished)
            break;
        if (events.keepAlive && events.keepAlive()) {
            sh.stopRequested.store(true, std::memory_order_relaxed);
            sh.stop.store(true, std::memory_order_relaxed);
            continue; // the workers drain the queue quickly once stopped
        }
        if (mayGrow && diskReads() - readBefore > kColdCacheBytes) {
            // The cache is cold: the workers for the disk join those for the processors.
            mayGrow = false;
            const size_t from = workers.size();
            try {
                while (workers.size() < static_cast<size_t>(maxThreads))
                    workers.push_back(std::make_unique<Worker>(sh));
            } catch (const std::bad_alloc&) {
                // as many as there is memory for
            }
            bool joining = false;
            {
                std::lock_guard lock(sh.mutex);
                if (!sh.done && workers.size() > from) {
                    sh.workers += static_cast<int>(workers.size() - from);
                    joining = true;
                }
            }
            if (joining)
                startWorkers(from);
        }
        const uint64_t seen = sh.entries.load(std::memory_order_relaxed);
        const uint64_t queued = sh.dirsQueued.load(std::memory_order_relaxed);
        const uint64_t doneDirs = sh.dirsDone.load(std::memory_order_relaxed);
        const uint64_t perDir = doneDirs ? std::max<uint64_t>(1, seen / doneDirs) : 1;
        const uint64_t dynamic = seen + (queued > doneDirs ? queued - doneDirs : 0) * perDir;
        const uint64_t estimate = std::max(inodeEstimate, dynamic);
        const auto p = static_cast<int32_t>(
            std::min<uint64_t>(kProgressEnd - 1, estimate ? seen * kProgressEnd / estimate : 0));
        if (p > shown && events.progress) {
            shown = p;
            events.progress(p);
        }
    }
    const size_t joinedWorkers = pool.size();
    for (pthread_t th : pool)
        ::pthread_join(th, nullptr);
    pool.clear();
    sh.descriptors.CloseAll();
    flushLines();

    entries_ = sh.entries.load();
    // What the workers held (folder tasks, listings) goes back to the system now: the program
    // turns the records into its own tree next, the moment it needs the most memory.
    workers.clear();
    ::malloc_trim(0);
    const size_t reserved = arena_.ReservedBytes();
    // The program turns the records into its own tree next: the address space no record uses
    // is better left to it.
    arena_.Trim();
    unreadableFolders_ = sh.unreadable.load();
    reopenedFolders_ = sh.descriptors.Reopened();
    stopped_ = sh.stopRequested.load();
    if (sh.arenaFull.load()) {
        cutShortReason_ =
            reserved < wanted
                ? u"the snapshot's record memory was used up after " + number(entries_) +
                      u" entries: only " + mebibytes(reserved) + u" of the " + mebibytes(wanted) +
                      u" wanted could be reserved (the process's address space is limited)"
                : u"the snapshot's record memory of " + mebibytes(reserved) +
                      (options.arenaBytesSource ? u" (" + ascii(options.arenaBytesSource) + u")"
                                                : u"") +
                      u" was used up after " + number(entries_) + u" entries";
    } else if (sh.outOfMemory.load()) {
        cutShortReason_ = u"the service ran out of memory after " + number(entries_) + u" entries";
    } else if (const uint64_t n = sh.outOfDescriptors.load()) {
        cutShortReason_ =
            number(n) + u" folders could not be opened: the process may not open enough files";
    }
    if (events.debugLine) {
        // What one snapshot can hold follows from the bytes its records take per entry.
        char text[160];
        std::snprintf(
            text, sizeof text, "%llu entries in %.1f MiB of records (%.1f bytes each), %d workers",
            static_cast<unsigned long long>(entries_),
            static_cast<double>(arena_.UsedBytes()) / (1024.0 * 1024.0),
            entries_ ? static_cast<double>(arena_.UsedBytes()) / static_cast<double>(entries_)
                     : 0.0,
            static_cast<int>(joinedWorkers));
        events.debugLine(u"UpdateSnapshot: " + ascii(text));
        if (!cutShortReason_.empty())
            events.debugLine(u"UpdateSnapshot: the snapshot is incomplete: " + cutShortReason_);
        if (unreadableFolders_)
            events.debugLine(u"UpdateSnapshot: " + number(unreadableFolders_) +
                             u" folders could not be read wholly");
        if (reopenedFolders_)
            events.debugLine(u"UpdateSnapshot: " + number(reopenedFolders_) +
                             u" folders reopened to stay within " +
                             number(sh.descriptors.Budget()) + u" open folders");
        if (sh.linesDropped)
            events.debugLine(u"UpdateSnapshot: " + number(sh.linesDropped) +
                             u" further diagnostics suppressed");
    }
    if (events.progress)
        events.progress(kProgressEnd);
    return cutShortReason_.empty() && !stopped_;
}

} // namespace service
