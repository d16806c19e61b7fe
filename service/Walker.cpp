#include "service/Walker.h"

#include "platform/NameCodec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
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

std::atomic<EntryHook> g_entryHook{nullptr};
std::atomic<void*> g_entryHookContext{nullptr};

// One folder to be listed. Its descriptor stays open while children that still have to open
// themselves through it are queued (refs counts them plus the folder's own listing).
struct DirTask {
    DirTask* parent = nullptr;
    TFILE_RECORD* record = nullptr;
    const char16_t* name = nullptr; // display name inside the arena; empty for the root
    uint32_t nameLength = 0;
    uint64_t inode = 0;
    int fd = -1;
    std::atomic<int> refs{0};
};

struct Listed {
    uint32_t offset; // into the name buffer; names are zero-terminated there
    uint16_t length;
};

// What the walk of one snapshot shares between the workers and the calling thread.
struct Shared {
    int rootFd = -1;
    unsigned devMajor = 0, devMinor = 0;
    char16_t letter = u'C';
    Arena* arena = nullptr;

    std::mutex mutex;
    std::condition_variable workAvailable;
    std::condition_variable finished;
    std::vector<DirTask*> stack; // LIFO keeps the number of open descriptors near the depth
    int idle = 0;
    int workers = 0;
    bool done = false;

    std::atomic<bool> stop{false};
    std::atomic<bool> arenaFull{false};
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

    void debug(std::u16string line) {
        std::lock_guard lock(linesMutex);
        if (lines.size() < kMaxDebugLines)
            lines.push_back(std::move(line));
        else
            ++linesDropped;
    }
};

void release(DirTask* t) {
    if (t && t->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        ::close(t->fd);
        t->fd = -1;
    }
}

std::u16string ascii(const char* s) { return platform::DecodeNativeName(s ? s : ""); }

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
            List(t);
            sh_.dirsDone.fetch_add(1, std::memory_order_relaxed);
        }
    }

    // The root task; created by the first worker's owner before the threads start.
    DirTask* NewTask() { return &tasks_.emplace_back(); }

private:
    void List(DirTask* t) {
        if (sh_.stop.load(std::memory_order_relaxed)) {
            release(t->parent);
            return;
        }
        int fd;
        if (!t->parent) {
            fd = ::openat(sh_.rootFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        } else {
            native_.clear();
            platform::EncodeNativeName({t->name, t->nameLength}, native_);
            fd = ::openat(t->parent->fd, native_.c_str(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
            release(t->parent);
        }
        if (fd < 0) {
            const int err = errno;
            if (err == ENOENT || err == ENOTDIR || err == ELOOP) // gone or replaced meanwhile
                t->record->Flags |= UNDEL_FLAG_GONE;
            else
                sh_.debug(u"UpdateSnapshot: folder cannot be read: " + windowsPath(sh_, t) +
                          u" (" + ascii(::strerrordesc_np(err)) + u")");
            return;
        }
        t->fd = fd;
        t->refs.store(1, std::memory_order_relaxed);
        if (!ReadNames(t)) {
            release(t);
            return;
        }
        Examine(t);
        release(t);
    }

    // All names of the folder into names_/listed_. False when nothing can be listed.
    bool ReadNames(DirTask* t) {
        names_.clear();
        listed_.clear();
        for (;;) {
            const long n = ::syscall(SYS_getdents64, t->fd, buffer_.data(), buffer_.size());
            if (n == 0)
                return true;
            if (n < 0) {
                const int err = errno;
                if (err == ENOENT) { // the folder was deleted while being listed
                    t->record->Flags |= UNDEL_FLAG_GONE;
                    return false;
                }
                sh_.debug(u"UpdateSnapshot: folder cannot be read: " + windowsPath(sh_, t) +
                          u" (" + ascii(::strerrordesc_np(err)) + u")");
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
                listed_.push_back({static_cast<uint32_t>(names_.size()), static_cast<uint16_t>(len)});
                names_.insert(names_.end(), name, name + len + 1);
            }
        }
    }

    bool allocFailed() {
        sh_.arenaFull.store(true, std::memory_order_relaxed);
        sh_.stop.store(true, std::memory_order_relaxed);
        return false;
    }

    void Examine(DirTask* t) {
        const size_t count = listed_.size();
        auto* items = reinterpret_cast<TDIR_ITEM*>(cursor_.Alloc(count * sizeof(TDIR_ITEM)));
        if (!items && count) {
            allocFailed();
            return;
        }
        t->record->DirItems.set(items);
        children_.clear();
        int32_t filled = 0;
        const EntryHook hook = g_entryHook.load(std::memory_order_relaxed);
        for (size_t i = 0; i < count; ++i) {
            if (sh_.stop.load(std::memory_order_relaxed))
                break;
            const char* name = names_.data() + listed_[i].offset;
            const size_t len = listed_[i].length;
            if (hook)
                hook(t->fd, name, g_entryHookContext.load(std::memory_order_relaxed));
            struct statx st{};
            const bool statted = ::statx(t->fd, name, kStatxFlags, kStatxMask, &st) == 0;
            const int statErr = statted ? 0 : errno;

            // name record, file record, stream, then the name text
            const size_t fixed = sizeof(TFILE_NAME) + sizeof(TFILE_RECORD) + sizeof(TDATA_STREAM);
            char* room = cursor_.Room(fixed + (len + 1) * 2);
            if (!room) {
                allocFailed();
                break;
            }
            auto* fileName = reinterpret_cast<TFILE_NAME*>(room);
            auto* rec = reinterpret_cast<TFILE_RECORD*>(room + sizeof(TFILE_NAME));
            auto* stream = reinterpret_cast<TDATA_STREAM*>(room + sizeof(TFILE_NAME) + sizeof(TFILE_RECORD));
            bool hasStream = false;
            fileName->ParentRecord = t->inode;
            rec->FileNames.set(fileName);
            items[filled].FileName.set(fileName);
            items[filled].aRecord.set(rec);

            if (!statted) {
                if (statErr == ENOENT) {
                    rec->Flags = UNDEL_FLAG_GONE; // deleted since the folder was listed
                } else {
                    rec->Attr = kAttrSystem;
                    sh_.debug(u"UpdateSnapshot: entry cannot be examined: " + windowsPath(sh_, t) +
                              u"\\" + platform::DecodeNativeName({name, len}) + u" (" +
                              ascii(::strerrordesc_np(statErr)) + u")");
                }
            } else {
                setTimes(rec, st);
                const mode_t type = st.stx_mode & S_IFMT;
                uint32_t attr = (st.stx_mode & 0222) ? 0 : kAttrReadOnly;
                if (type == S_IFDIR) {
                    rec->IsDir = kBool32True;
                    attr |= FILE_ATTRIBUTE_DIRECTORY;
                    const bool otherFs = st.stx_dev_major != sh_.devMajor || st.stx_dev_minor != sh_.devMinor ||
                                         ((st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                                          (st.stx_attributes & STATX_ATTR_MOUNT_ROOT));
                    if (otherFs)
                        attr |= FILE_ATTRIBUTE_REPARSE_POINT; // a mount point: never walked
                } else if (type == S_IFLNK) {
                    // A link is never followed; a link to a folder is a folder record.
                    struct statx target{};
                    if (::statx(t->fd, name, AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, STATX_TYPE, &target) == 0 &&
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
                    children_.push_back(child);
                }
            }
            // The name text goes where the stream would be when there is none.
            char* text = room + sizeof(TFILE_NAME) + sizeof(TFILE_RECORD) + (hasStream ? sizeof(TDATA_STREAM) : 0);
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
        if (!children_.empty()) {
            t->refs.fetch_add(static_cast<int>(children_.size()), std::memory_order_relaxed);
            std::reverse(children_.begin(), children_.end()); // LIFO: listed order first
            sh_.push(children_.data(), children_.size());
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

int defaultThreads() {
    if (const char* env = std::getenv("ORBISCA_SERVICE_THREADS")) {
        const int n = std::atoi(env);
        if (n > 0)
            return std::min(n, 64);
    }
    const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    // More workers than processors keep the disk busy when the cache is cold.
    return static_cast<int>(std::clamp(hw * 2, 4u, 16u));
}

} // namespace

void SetEntryHookForTesting(EntryHook hook, void* context) {
    g_entryHookContext.store(context);
    g_entryHook.store(hook);
}

void Snapshot::Clear() {
    root_ = nullptr;
    entries_ = 0;
    arena_.Release();
}

bool Snapshot::Build(int rootFd, const WalkOptions& options, const WalkEvents& events) {
    Clear();
    struct statx rootSt{};
    if (::statx(rootFd, "", AT_EMPTY_PATH | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MODE | STATX_INO |
                                                                 STATX_ATIME | STATX_MTIME |
                                                                 STATX_CTIME | STATX_BTIME,
                &rootSt) != 0 ||
        (rootSt.stx_mode & S_IFMT) != S_IFDIR)
        return false;
    if (!arena_.Reserve(options.arenaBytes ? options.arenaBytes : Arena::kMaxBytes))
        return false;

    Shared sh;
    sh.rootFd = rootFd;
    sh.devMajor = rootSt.stx_dev_major;
    sh.devMinor = rootSt.stx_dev_minor;
    sh.letter = options.driveLetter;
    sh.arena = &arena_;
    const int threads = options.threads > 0 ? options.threads : defaultThreads();
    sh.workers = threads;

    // Progress is estimated from the used inodes when the root is a file system's own root;
    // below it, from the folders still queued and the entries per folder so far.
    uint64_t inodeEstimate = 0;
    const bool mountRoot = (rootSt.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
                               ? (rootSt.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0
                               : false;
    struct statvfs vfs{};
    if (mountRoot && ::fstatvfs(rootFd, &vfs) == 0 && vfs.f_files > vfs.f_ffree)
        inodeEstimate = vfs.f_files - vfs.f_ffree;

    std::vector<std::unique_ptr<Worker>> workers;
    for (int i = 0; i < threads; ++i)
        workers.push_back(std::make_unique<Worker>(sh));

    ArenaCursor rootCursor(arena_);
    root_ = reinterpret_cast<TFILE_RECORD*>(rootCursor.Alloc(sizeof(TFILE_RECORD)));
    if (!root_)
        return false;
    root_->IsDir = kBool32True;
    root_->Attr = FILE_ATTRIBUTE_DIRECTORY;
    setTimes(root_, rootSt);
    DirTask* rootTask = workers[0]->NewTask();
    rootTask->record = root_;
    rootTask->inode = rootSt.stx_ino;
    sh.push(&rootTask, 1);

    std::vector<std::thread> pool;
    pool.reserve(static_cast<size_t>(threads));
    for (auto& w : workers)
        pool.emplace_back([&w] { w->Run(); });

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
            sh.stop.store(true, std::memory_order_relaxed);
            continue; // the workers drain the queue quickly once stopped
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
    for (auto& th : pool)
        th.join();
    flushLines();
    if (sh.arenaFull.load() && events.debugLine)
        events.debugLine(u"UpdateSnapshot: the snapshot is incomplete: its record memory is used up");
    if (sh.linesDropped && events.debugLine)
        events.debugLine(u"UpdateSnapshot: " + ascii(std::to_string(sh.linesDropped).c_str()) +
                         u" further diagnostics suppressed");
    entries_ = sh.entries.load();
    if (events.progress)
        events.progress(kProgressEnd);
    return !sh.stop.load();
}

} // namespace service
