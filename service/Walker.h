#pragma once

// The Linux backend of the snapshot service: reads one file system below a root folder into the
// record graph of UndelDLL.h. Worker threads list folders with getdents64 and statx relative to
// directory descriptors (so depth is limited by memory, not PATH_MAX, and the number of open
// descriptors stays within the process's limit whatever the depth); the calling thread only
// waits, relays progress and keep-alive callbacks, and writes the workers' diagnostics.

#include "analysis/UndelDLL.h"
#include "service/Arena.h"

#include <cstdint>
#include <functional>
#include <string>

namespace service {

struct WalkOptions {
    int threads = 0;       // 0: for the processors, and more once the walk reads the disk
    size_t arenaBytes = 0; // 0: the largest reservation (2 GiB)
    const char* arenaBytesSource = nullptr; // who capped arenaBytes, named when it runs out
    char16_t driveLetter = u'C';            // names the folders in diagnostics
};

// Everything is called on the thread that runs Snapshot::Build.
struct WalkEvents {
    std::function<bool()> keepAlive;       // at least every 50 ms; true stops the walk
    std::function<void(int32_t)> progress; // 0..1100, never going back, ending at 1100
    std::function<void(const std::u16string&)> debugLine;
};

class Snapshot {
public:
    Snapshot() = default;
    ~Snapshot() = default;
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    // Builds the graph of everything below rootFd (a folder descriptor, which stays the
    // caller's); replaces an earlier graph. True when the walk went through the whole tree
    // (folders that could not be read are flagged UNDEL_FLAG_UNREADABLE and counted). False
    // when it was stopped or cut short: the graph then holds what was read until then, and
    // CutShortReason() says why unless it was stopped on request.
    bool Build(int rootFd, const WalkOptions& options, const WalkEvents& events);
    void Clear();

    TFILE_RECORD* Root() const { return root_; }
    // The device of the volume walked (a dev_t value) and the inode the walk saw for a record's
    // item (0 when it is not known). False, with zeros, for a pointer outside this graph.
    bool RecordId(const TFILE_RECORD* record, uint64_t& device, uint64_t& inode) const;
    uint64_t Entries() const { return entries_; }
    size_t ArenaBytes() const { return arena_.UsedBytes(); }
    size_t ArenaReservedBytes() const { return arena_.ReservedBytes(); }

    bool Stopped() const { return stopped_; }
    const std::u16string& CutShortReason() const { return cutShortReason_; }
    uint64_t UnreadableFolders() const { return unreadableFolders_; }
    // Folder descriptors closed to stay within the limit of open files, and reopened.
    uint64_t ReopenedFolders() const { return reopenedFolders_; }

private:
    Arena arena_;
    TFILE_RECORD* root_ = nullptr;
    uint64_t device_ = 0;
    uint64_t entries_ = 0;
    bool stopped_ = false;
    std::u16string cutShortReason_;
    uint64_t unreadableFolders_ = 0;
    uint64_t reopenedFolders_ = 0;
};

// Tests: called by the workers just before an entry is examined (dirFd is its folder).
using EntryHook = void (*)(int dirFd, const char* name, void* context);
void SetEntryHookForTesting(EntryHook hook, void* context);
// Tests: what the walk takes for the bytes the process has read from the disk (nullptr: the
// real count).
void SetDiskReadsForTesting(uint64_t (*diskReads)());

// Windows file time (100 ns since 1601) of a Unix time.
constexpr uint64_t WindowsFileTime(int64_t seconds, uint32_t nanoseconds) {
    return static_cast<uint64_t>((seconds + 11644473600LL) * 10000000LL + nanoseconds / 100);
}

} // namespace service
