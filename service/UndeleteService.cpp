// The snapshot service library undelete.so: the export table of UndelDLL.h over the Linux
// backend. Only the entry function, the version function and the record identities are
// exported.

#include "analysis/UndelDLL.h"
#include "platform/DriveTable.h"
#include "service/Host.h"
#include "service/Walker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#define UNDEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kVersion = (24u << 16) | (0u << 8) | 1u; // 24.0.1

thread_local int32_t t_error = 0;    // our code of the last failure (0 none, 1 failed)
thread_local int32_t t_sysError = 0; // errno of the last failure

struct Volume {
    char16_t letter = 0;
    std::string root;
    int fd = -1;
};

struct Snapshot {
    Volume* volume = nullptr;
    service::Snapshot graph;
};

bool32 fail(int err) {
    t_error = 1;
    t_sysError = err;
    return 0;
}

void* UNDEL_CALL ListVolumes(int32_t* count) {
    if (count)
        *count = 0;
    return nullptr;
}
void UNDEL_CALL FreeVolumeList(void*) {}

TVolume UNDEL_CALL NewVolume() { return new (std::nothrow) Volume; }

void UNDEL_CALL CloseVolume(TVolume v) {
    auto* volume = static_cast<Volume*>(v);
    if (!volume)
        return;
    if (volume->fd >= 0)
        ::close(volume->fd);
    volume->fd = -1;
    volume->letter = 0;
    volume->root.clear();
}

void UNDEL_CALL FreeVolume(TVolume v) {
    CloseVolume(v);
    delete static_cast<Volume*>(v);
}

// Accepts exactly "X:\" with an upper-case letter that the drive table maps.
bool32 UNDEL_CALL OpenVolume(TVolume v, const char16_t* rootPath) {
    auto* volume = static_cast<Volume*>(v);
    if (!volume || !rootPath)
        return fail(EINVAL);
    const size_t n = UndelTextLength(rootPath);
    if (n != 3 || rootPath[0] < u'A' || rootPath[0] > u'Z' || rootPath[1] != u':' ||
        rootPath[2] != u'\\')
        return fail(EINVAL);
    const std::string root = service::HostDriveRoot(rootPath[0]);
    if (root.empty())
        return fail(ENODEV);
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    CloseVolume(volume);
    volume->letter = rootPath[0];
    volume->root = root;
    volume->fd = fd;
    t_error = 0;
    return kBool32True;
}

uint32_t UNDEL_CALL GetVolumeClusterSize(TVolume) { return 0; }
void* UNDEL_CALL GetDriveIcon(TVolume) { return nullptr; }
const char16_t* UNDEL_CALL GetVolumeName(TVolume) { return nullptr; }

TSnapshot UNDEL_CALL NewSnapshot(TVolume v) {
    auto* volume = static_cast<Volume*>(v);
    if (!volume || volume->fd < 0) {
        fail(EBADF);
        return nullptr;
    }
    auto* s = new (std::nothrow) Snapshot;
    if (s)
        s->volume = volume;
    return s;
}

// True when the snapshot holds the whole volume, as far as it could be read. False when it was
// stopped or cut short; a cut short snapshot first sends its reason as a cmd 1 message.
bool32 UNDEL_CALL UpdateSnapshot(TSnapshot snap, uint32_t /*flags*/, TFILE_RECORD** root,
                                 TUpdateProgressCallback callback, uintptr_t userdata,
                                 TCLUSTER_MAP** clusterMap) {
    if (clusterMap)
        *clusterMap = nullptr; // no cluster maps on this backend
    auto* s = static_cast<Snapshot*>(snap);
    if (!s || !s->volume || s->volume->fd < 0) {
        if (root)
            *root = nullptr;
        return fail(EBADF);
    }
    service::WalkOptions options;
    options.driveLetter = s->volume->letter;
    if (const char* bytes = std::getenv("ORBISCA_SERVICE_ARENA_BYTES")) {
        options.arenaBytes = std::strtoull(bytes, nullptr, 10);
        options.arenaBytesSource = "ORBISCA_SERVICE_ARENA_BYTES";
    }
    service::WalkEvents events;
    if (callback) {
        events.keepAlive = [&] { return callback(0, nullptr, 0, userdata) != 0; };
        events.progress = [&](int32_t p) { callback(2, nullptr, p, userdata); };
    }
    events.debugLine = [](const std::u16string& line) { service::HostDebugLine(line); };
    bool complete = false;
    std::u16string reason;
    try {
        complete = s->graph.Build(s->volume->fd, options, events);
        reason = s->graph.CutShortReason();
    } catch (const std::bad_alloc&) {
        reason = u"the service ran out of memory";
    }
    if (!complete && reason.empty() && !s->graph.Stopped())
        reason = u"the snapshot service failed";
    if (callback && !reason.empty())
        callback(1, reason.c_str(), 0, userdata);
    if (callback)
        callback(3, nullptr, 0, userdata);
    if (root)
        *root = s->graph.Root();
    if (!s->graph.Root())
        return fail(EIO);
    if (!complete)
        return fail(reason.empty() ? EINTR : EIO);
    t_error = 0;
    return kBool32True;
}

void UNDEL_CALL FreeSnapshot(TSnapshot snap) { delete static_cast<Snapshot*>(snap); }

void* UNDEL_CALL NewStreamReader(TSnapshot, TDATA_STREAM*) { return nullptr; }
bool32 UNDEL_CALL ReadStreamClusters(void*, void*, uint32_t) { return 0; }
void UNDEL_CALL FreeStreamReader(void*) {}
void* UNDEL_CALL NewImportContext(TSnapshot) { return nullptr; }
bool32 UNDEL_CALL EncryptedFileImportCallback(void*, void*, uint32_t) { return 0; }
void UNDEL_CALL FreeImportContext(void*) {}
int64_t UNDEL_CALL GetFirstCluster(TDATA_STREAM*) { return -1; }
int32_t UNDEL_CALL GetError() { return t_error; }
int32_t UNDEL_CALL GetSysError() { return t_sysError; }
void UNDEL_CALL FreeClusterMap(TCLUSTER_MAP*) {}
bool32 UNDEL_CALL ReadVolumeClusters(TVolume, int64_t, uint32_t, void*) { return 0; }

TUNDELETE_EXPORT_TABLE g_table = {
    ListVolumes,       FreeVolumeList,     NewVolume,         OpenVolume,
    GetVolumeClusterSize, CloseVolume,     FreeVolume,        GetDriveIcon,
    GetVolumeName,     NewSnapshot,        UpdateSnapshot,    FreeSnapshot,
    NewStreamReader,   ReadStreamClusters, FreeStreamReader,  NewImportContext,
    EncryptedFileImportCallback, FreeImportContext, GetFirstCluster, GetError,
    GetSysError,       FreeClusterMap,     ReadVolumeClusters,
};

} // namespace

UNDEL_EXPORT TUNDELETE_EXPORT_TABLE* UNDEL_CALL UndeleteDLLEntryW() { return &g_table; }
UNDEL_EXPORT uint32_t UNDEL_CALL UndeleteDLLGetVersion() { return kVersion; }

UNDEL_EXPORT bool32 UNDEL_CALL UndeleteDLLGetRecordId(TSnapshot snap, const TFILE_RECORD* record,
                                                      uint64_t* device, uint64_t* inode) {
    uint64_t dev = 0, ino = 0;
    const auto* s = static_cast<const Snapshot*>(snap);
    const bool known = s && s->graph.RecordId(record, dev, ino);
    if (device)
        *device = dev;
    if (inode)
        *inode = ino;
    return known ? kBool32True : 0;
}
