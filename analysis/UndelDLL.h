#pragma once

// Contract with the volume snapshot service library (undelete.so in the program folder).
//
// The library exports C functions: UndeleteDLLEntryW returns the export table, the optional
// UndeleteDLLGetVersion returns the version as 0xMMMMmmpp, and the optional
// UndeleteDLLGetRecordId tells the item a record stands for (below). The record graph handed out
// by UpdateSnapshot uses packed little-endian records whose references are self-relative 32-bit
// offsets: the target is the address of the reference field plus its signed value, 0 is none.
// The graph therefore stays compact and position-independent inside one arena of the service.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define UNDEL_CALL __stdcall
#else
#define UNDEL_CALL
#endif

using bool32 = int32_t; // not 0 = true; the service answers true as all bits set
constexpr bool32 kBool32True = -1;

// A self-relative reference to a T. Lives only inside records, never copied out of them.
// Records are packed, so a reference may sit at any address: it has no alignment of its own.
template <class T> struct __attribute__((packed)) UndelRef {
    int32_t offset;

    T* get() const {
        if (offset == 0)
            return nullptr;
        return reinterpret_cast<T*>(const_cast<char*>(reinterpret_cast<const char*>(this)) +
                                    offset);
    }
    explicit operator bool() const { return offset != 0; }
    // Points this field at target (null = none); target must lie within +-2 GiB of the field.
    void set(const T* target) {
        offset = target ? static_cast<int32_t>(reinterpret_cast<const char*>(target) -
                                               reinterpret_cast<const char*>(this))
                        : 0;
    }
};

extern "C" {

#pragma pack(push, 1)

struct TFILE_NAME;
struct TDATA_STREAM;
struct TDIR_ITEM;

struct TFILE_RECORD {
    bool32 IsDir;                    // 0
    uint32_t Attr;                   // 4: Windows file attributes
    uint32_t Flags;                  // 8: service flags
    UndelRef<TFILE_NAME> FileNames;  // 12
    uint64_t TimeCreation;           // 16: Windows file times (100 ns since 1601)
    uint64_t TimeLastAccess;         // 24
    uint64_t TimeLastWrite;          // 32
    UndelRef<TDATA_STREAM> Streams;  // 40
    UndelRef<TDIR_ITEM> DirItems;    // 44: array of NumDirItems entries
    int32_t NumDirItems;             // 48
};

struct TDIR_ITEM {
    UndelRef<TFILE_NAME> FileName;   // 0
    UndelRef<TFILE_RECORD> aRecord;  // 4
};

struct TFILE_NAME {
    UndelRef<char16_t> Name;         // 0: zero-terminated UTF-16
    UndelRef<char16_t> DOSName;      // 4: zero-terminated UTF-16
    uint64_t ParentRecord;           // 8
    UndelRef<TFILE_NAME> Next;       // 16
};

struct TDATA_STREAM {
    UndelRef<char16_t> Name;         // 0: zero-terminated UTF-16
    UndelRef<uint8_t> ResidentData;  // 4
    UndelRef<void> Ptrs;             // 8
    uint64_t Size;                   // 12
    uint64_t ValidSize;              // 20
    UndelRef<TDATA_STREAM> Next;     // 28
};

struct TCLUSTER_MAP {
    uint8_t opaque[12];
};

#pragma pack(pop)

static_assert(sizeof(TFILE_RECORD) == 52);
static_assert(sizeof(TDIR_ITEM) == 8);
static_assert(sizeof(TFILE_NAME) == 20);
static_assert(sizeof(TDATA_STREAM) == 32);
static_assert(sizeof(TCLUSTER_MAP) == 12);
static_assert(alignof(TFILE_RECORD) == 1 && alignof(TDIR_ITEM) == 1);
static_assert(offsetof(TFILE_RECORD, Streams) == 40 && offsetof(TFILE_RECORD, NumDirItems) == 48);
static_assert(offsetof(TDATA_STREAM, ValidSize) == 20 && offsetof(TDATA_STREAM, Next) == 28);
static_assert(offsetof(TFILE_NAME, Next) == 16);

// Attribute and flag bits the engine tests.
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr uint32_t UNDEL_FLAG_SKIP_FOLDER = 0x10000000; // folder whose contents are not walked
constexpr uint32_t UNDEL_FLAG_GONE = 0x80000000;        // entry that is not listed at all
// A folder whose contents could not be read, wholly or in part: it could not be opened or
// listed, some of its entries could not be examined (their sizes are missing), or it was
// moved, replaced or deleted after its folder was listed, before it could be read (what it
// held may be nowhere in the snapshot). A file deleted in that time is flagged gone instead.
constexpr uint32_t UNDEL_FLAG_UNREADABLE = 0x20000000;
// The service's own pseudo-folder of deleted files. It is no real folder and never shown; a real
// folder is never hidden for its name alone. The Linux backend makes no such folder.
constexpr uint32_t UNDEL_FLAG_DELETED_FILES = 0x40000000;

using TVolume = void*;
using TSnapshot = void*;

// cmd 0: keep-alive (answer true to stop), 1: message, 2: progress 0..1100, 3: done.
//
// How a snapshot ends: UpdateSnapshot answers true when the snapshot holds the whole volume, or
// as much of it as could be read (folders that could not be read carry UNDEL_FLAG_UNREADABLE).
// It answers false when the snapshot was cut short: stopped on request through cmd 0, or ended
// early by a failure (out of record memory, of address space, of descriptors...). Before it
// answers false for a failure it sends one cmd 1 whose amessage says why in one English line; a
// stop on request sends none. The graph under root is then the part that was read.
using TUpdateProgressCallback = bool32(UNDEL_CALL*)(int32_t cmd, const char16_t* amessage,
                                                    int32_t progress, uintptr_t userdata);

// The 23 slots, in order. The engine calls only NewVolume, OpenVolume, CloseVolume, FreeVolume,
// NewSnapshot, UpdateSnapshot and FreeSnapshot; the other slots keep the table's shape.
struct TUNDELETE_EXPORT_TABLE {
    void*(UNDEL_CALL* ListVolumes)(int32_t* count);                                     // 0
    void(UNDEL_CALL* FreeVolumeList)(void* list);                                       // 1
    TVolume(UNDEL_CALL* NewVolume)();                                                   // 2
    bool32(UNDEL_CALL* OpenVolume)(TVolume volume, const char16_t* rootPath);           // 3
    uint32_t(UNDEL_CALL* GetVolumeClusterSize)(TVolume volume);                         // 4
    void(UNDEL_CALL* CloseVolume)(TVolume volume);                                      // 5
    void(UNDEL_CALL* FreeVolume)(TVolume volume);                                       // 6
    void*(UNDEL_CALL* GetDriveIcon)(TVolume volume);                                    // 7
    const char16_t*(UNDEL_CALL* GetVolumeName)(TVolume volume);                         // 8
    TSnapshot(UNDEL_CALL* NewSnapshot)(TVolume volume);                                 // 9
    bool32(UNDEL_CALL* UpdateSnapshot)(TSnapshot snapshot, uint32_t flags, TFILE_RECORD** root,
                                       TUpdateProgressCallback callback, uintptr_t userdata,
                                       TCLUSTER_MAP** clusterMap);                      // 10
    void(UNDEL_CALL* FreeSnapshot)(TSnapshot snapshot);                                 // 11
    void*(UNDEL_CALL* NewStreamReader)(TSnapshot snapshot, TDATA_STREAM* stream);       // 12
    bool32(UNDEL_CALL* ReadStreamClusters)(void* reader, void* buffer, uint32_t count); // 13
    void(UNDEL_CALL* FreeStreamReader)(void* reader);                                   // 14
    void*(UNDEL_CALL* NewImportContext)(TSnapshot snapshot);                            // 15
    bool32(UNDEL_CALL* EncryptedFileImportCallback)(void* data, void* context, uint32_t length); // 16
    void(UNDEL_CALL* FreeImportContext)(void* context);                                 // 17
    int64_t(UNDEL_CALL* GetFirstCluster)(TDATA_STREAM* stream);                         // 18
    int32_t(UNDEL_CALL* GetError)();                                                    // 19
    int32_t(UNDEL_CALL* GetSysError)();                                                 // 20
    void(UNDEL_CALL* FreeClusterMap)(TCLUSTER_MAP* map);                                // 21
    bool32(UNDEL_CALL* ReadVolumeClusters)(TVolume volume, int64_t first, uint32_t count,
                                           void* buffer);                               // 22
};

static_assert(sizeof(TUNDELETE_EXPORT_TABLE) == 23 * sizeof(void*));
static_assert(sizeof(uintptr_t) == sizeof(void*), "userdata is pointer-sized");

using TUndeleteDLLEntryW = TUNDELETE_EXPORT_TABLE*(UNDEL_CALL*)();
using TUndeleteDLLGetVersion = uint32_t(UNDEL_CALL*)();

// The optional export UndeleteDLLGetRecordId: which item a record of a snapshot stands for, so
// that an action on a listed item can first make sure the item is still the one analysed. For a
// record of snapshot's graph (between its UpdateSnapshot and its FreeSnapshot) it stores the
// device of the volume (st_dev, a dev_t value) in *device and the inode the walk saw for the
// record's item in *inode, and answers true. 0 stands for not known: an entry that could not be
// examined, or one gone before it was. A mount point's record carries the inode of the root
// mounted there, which lies on another device, so it never matches its item on the volume's.
// A pointer outside the snapshot's graph gets false and zeros. The record layouts stay as they
// are: the service keeps each identity beside its record in the same arena. A service without
// the export knows no identities.
using TUndeleteDLLGetRecordId = bool32(UNDEL_CALL*)(TSnapshot snapshot, const TFILE_RECORD* record,
                                                    uint64_t* device, uint64_t* inode);

} // extern "C"

// Length of a zero-terminated UTF-16 text in code units.
inline size_t UndelTextLength(const char16_t* s) {
    size_t n = 0;
    if (s)
        while (s[n])
            ++n;
    return n;
}
