#include "saved/SavedFormat.h"

#include "platform/DriveTable.h"
#include "platform/NameCodec.h"
#include "saved/ByteCoding.h"
#include "saved/FileIo.h"
#include "saved/NativeNames.h"

#include <zlib.h>
#include <zstd.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace saved {
namespace {

using analysis::PNode;
using analysis::TAnalysisTree;
namespace b = saved::bytes;

// ---- Layout constants (docs/saved-analysis-format.md) ----------------------------------------

enum Tag : uint16_t {
    kTagProgram = 1,
    kTagDrive = 2,
    kTagRoot = 3,
    kTagUuid = 4,
    kTagFsid = 5,
    kTagFsDevice = 6,
    kTagMountPoint = 7,
    kTagFsType = 8,
    kTagRootInMount = 9,
    kTagStarted = 10,
    kTagEnded = 11,
    kTagVerdictFlags = 12,
    kTagReason = 13,
    kTagUnreadableCount = 14,
    kTagUnreadableSample = 15,
    kTagTotals = 16,
    kTagEntries = 17,
    kTagSource = 18,
    kTagDevice = 19,
};

constexpr size_t kFixedHeader = 16;            // magic, major, minor, fields length
constexpr uint32_t kMaxFieldsBytes = 1u << 20; // a header is a few hundred bytes
constexpr size_t kMaxSamples = 1000;
constexpr size_t kBlockTarget = size_t{1} << 20; // raw bytes a writer puts in a block
constexpr uint32_t kMaxRawBlock = 4u << 20;      // what a reader accepts
constexpr size_t kMaxNameBytes = 4096;
// zstd's level 2: on a system disk a fifth faster than level 3 for 4 % more bytes (about 9 bytes
// an entry), so that saving stays well within a tenth of the analysis's time.
constexpr int kCompressionLevel = 2;
constexpr uint64_t kProgressEvery = 1 << 16;

// Entry tags: bit 0 set. End-of-folder tags: bit 0 clear.
enum : uint8_t {
    kEntry = 0x01,
    kFolder = 0x02,
    kHasInode = 0x04,
    kHasAllocated = 0x08,
    kHasMtime = 0x10,
    kHasDevice = 0x20,
    kReservedEntryBit = 0x40,
    kHasExtension = 0x80,

    kEndSize = 0x02,        // the folder's size follows (zigzag)
    kEndFolderDelta = 0x04, // folder entries beyond those listed below it follow
    kEndFileDelta = 0x08,   // file entries beyond those listed below it follow
    kEndKnownBits = kEndSize | kEndFolderDelta | kEndFileDelta,
};

QString tr(const char* text) {
    return QString::fromUtf8(text);
}

void putField(std::string& out, uint16_t tag, std::string_view value) {
    b::PutU16(out, tag);
    b::PutU32(out, static_cast<uint32_t>(value.size()));
    out += value;
}

std::string utf16le(const QString& s) {
    std::string out;
    out.reserve(static_cast<size_t>(s.size()) * 2);
    for (const QChar c : s)
        b::PutU16(out, c.unicode());
    return out;
}

QString fromUtf16le(std::string_view s) {
    QString out;
    out.reserve(static_cast<qsizetype>(s.size() / 2));
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        out.append(QChar(b::GetU16(reinterpret_cast<const unsigned char*>(s.data()) + i)));
    return out;
}

std::string u64(uint64_t v) {
    std::string s;
    b::PutU64(s, v);
    return s;
}

std::string u32(uint32_t v) {
    std::string s;
    b::PutU32(s, v);
    return s;
}

std::string utf8(const QString& s) {
    const QByteArray a = s.toUtf8();
    return {a.constData(), static_cast<size_t>(a.size())};
}

constexpr int64_t kUnknownTime = INT64_MIN;

int64_t msOf(const QDateTime& t) {
    return t.isValid() ? t.toMSecsSinceEpoch() : kUnknownTime;
}

QDateTime timeOf(int64_t ms) {
    return ms == kUnknownTime ? QDateTime() : QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

bool isDrive(const QString& d) {
    return d.size() == 3 && d[0] >= u'A' && d[0] <= u'Z' && d[1] == u':' && d[2] == u'\\';
}

std::string encodeHeader(const TSavedHeader& h) {
    const analysis::TAnalysisSummary& s = h.Summary;
    const analysis::TAnalysisOrigin& o = s.Origin;
    std::string f;
    putField(f, kTagProgram, utf8(o.Program));
    putField(f, kTagDrive, utf16le(s.Drive));
    putField(f, kTagSource, utf8(o.Source));
    if (!o.Root.empty())
        putField(f, kTagRoot, o.Root);
    if (!o.FileSystem.uuid.empty())
        putField(f, kTagUuid, o.FileSystem.uuid);
    if (o.FileSystem.fsid)
        putField(f, kTagFsid, u64(o.FileSystem.fsid));
    if (o.FileSystem.device)
        putField(f, kTagFsDevice, u64(o.FileSystem.device));
    if (!o.FileSystem.mountPoint.empty())
        putField(f, kTagMountPoint, o.FileSystem.mountPoint);
    if (!o.FileSystem.fsType.empty())
        putField(f, kTagFsType, o.FileSystem.fsType);
    if (!o.FileSystem.rootInMount.empty())
        putField(f, kTagRootInMount, o.FileSystem.rootInMount);
    if (o.Started.isValid())
        putField(f, kTagStarted, u64(static_cast<uint64_t>(msOf(o.Started))));
    if (o.Ended.isValid())
        putField(f, kTagEnded, u64(static_cast<uint64_t>(msOf(o.Ended))));
    const uint32_t flags = (s.Verdict.CutShort ? 1u : 0u) | (s.Verdict.Stopped ? 2u : 0u);
    if (flags)
        putField(f, kTagVerdictFlags, u32(flags));
    if (!s.Verdict.Reason.isEmpty())
        putField(f, kTagReason, utf16le(s.Verdict.Reason));
    if (s.Verdict.UnreadableFolders)
        putField(f, kTagUnreadableCount, u32(s.Verdict.UnreadableFolders));
    for (const QString& sample : s.Verdict.UnreadableSamples.mid(0, kMaxSamples))
        putField(f, kTagUnreadableSample, utf16le(sample));
    std::string totals;
    b::PutU64(totals, static_cast<uint64_t>(s.TotalSize));
    b::PutU32(totals, s.TotalFiles);
    b::PutU32(totals, s.TotalFolders);
    putField(f, kTagTotals, totals);
    putField(f, kTagEntries, u64(h.Entries));
    if (h.Device)
        putField(f, kTagDevice, u64(h.Device));

    std::string out(kMagic, sizeof kMagic);
    b::PutU16(out, h.Major);
    b::PutU16(out, h.Minor);
    b::PutU32(out, static_cast<uint32_t>(f.size()));
    out += f;
    b::PutU32(out, static_cast<uint32_t>(
                       ::crc32(0, reinterpret_cast<const Bytef*>(out.data()), uInt(out.size()))));
    return out;
}

// ---- Header reading --------------------------------------------------------------------------

// Parses the fields of a header whose magic, version and CRC were checked.
bool parseFields(std::string_view fields, TSavedHeader* h, QString* error) {
    const auto bad = [error](const QString& why) {
        *error = QStringLiteral("the header is damaged (%1)").arg(why);
        return false;
    };
    analysis::TAnalysisSummary& s = h->Summary;
    analysis::TAnalysisOrigin& o = s.Origin;
    o.Source.clear();
    bool haveDrive = false, haveTotals = false, haveEntries = false;
    uint32_t seen = 0; // tags met so far (1 to 19), to refuse repeats
    b::Reader r(fields);
    while (!r.AtEnd()) {
        std::string_view head, value;
        if (!r.Bytes(6, head))
            return bad(QStringLiteral("a field is cut off"));
        const auto* p = reinterpret_cast<const unsigned char*>(head.data());
        const uint16_t tag = b::GetU16(p);
        const uint32_t length = b::GetU32(p + 2);
        if (!r.Bytes(length, value))
            return bad(QStringLiteral("a field is cut off"));
        if (tag >= 1 && tag <= 19 && tag != kTagUnreadableSample) {
            if (seen & (1u << tag))
                return bad(QStringLiteral("field %1 is given twice").arg(tag));
            seen |= 1u << tag;
        }
        const auto* v = reinterpret_cast<const unsigned char*>(value.data());
        const auto need = [&](size_t n) { return value.size() == n; };
        switch (tag) {
        case kTagProgram:
            o.Program = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
            break;
        case kTagDrive:
            s.Drive = fromUtf16le(value);
            if (value.size() != 6 || !isDrive(s.Drive))
                return bad(QStringLiteral("the drive is not a drive letter"));
            haveDrive = true;
            break;
        case kTagRoot:
            o.Root = std::string(value);
            break;
        case kTagUuid:
            o.FileSystem.uuid = std::string(value);
            break;
        case kTagFsid:
            if (!need(8))
                return bad(QStringLiteral("field %1 has the wrong size").arg(tag));
            o.FileSystem.fsid = b::GetU64(v);
            break;
        case kTagFsDevice:
            if (!need(8))
                return bad(QStringLiteral("field %1 has the wrong size").arg(tag));
            o.FileSystem.device = b::GetU64(v);
            break;
        case kTagMountPoint:
            o.FileSystem.mountPoint = std::string(value);
            break;
        case kTagFsType:
            o.FileSystem.fsType = std::string(value);
            break;
        case kTagRootInMount:
            o.FileSystem.rootInMount = std::string(value);
            break;
        case kTagStarted:
        case kTagEnded: {
            if (!need(8))
                return bad(QStringLiteral("field %1 has the wrong size").arg(tag));
            const auto ms = static_cast<int64_t>(b::GetU64(v));
            // Beyond the years 1 to 9999 there is no date to show.
            if (ms != kUnknownTime && (ms < -62135596800000LL || ms > 253402300799999LL))
                return bad(QStringLiteral("a time is out of range"));
            (tag == kTagStarted ? o.Started : o.Ended) = timeOf(ms);
            break;
        }
        case kTagVerdictFlags: {
            if (!need(4))
                return bad(QStringLiteral("field %1 has the wrong size").arg(tag));
            const uint32_t flags = b::GetU32(v);
            s.Verdict.CutShort = flags & 1;
            s.Verdict.Stopped = flags & 2;
            break;
        }
        case kTagReason:
            s.Verdict.Reason = fromUtf16le(value);
            break;
        case kTagUnreadableCount:
            if (!need(4))
                return bad(QStringLiteral("field %1 has the wrong size").arg(tag));
            s.Verdict.UnreadableFolders = b::GetU32(v);
            break;
        case kTagUnreadableSample:
            if (static_cast<size_t>(s.Verdict.UnreadableSamples.size()) >= kMaxSamples)
                return bad(QStringLiteral("too many unreadable folders are named"));
            s.Verdict.UnreadableSamples.append(fromUtf16le(value));
            break;
        case kTagTotals:
            if (!need(16))
                return bad(QStringLiteral("field %1 has the wrong size").arg(tag));
            s.TotalSize = static_cast<int64_t>(b::GetU64(v));
            s.TotalFiles = b::GetU32(v + 8);
            s.TotalFolders = b::GetU32(v + 12);
            haveTotals = true;
            break;
        case kTagEntries:
            if (!need(8))
                return bad(QStringLiteral("field %1 has the wrong size").arg(tag));
            h->Entries = b::GetU64(v);
            haveEntries = true;
            break;
        case kTagSource:
            o.Source = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
            break;
        case kTagDevice:
            if (!need(8))
                return bad(QStringLiteral("field %1 has the wrong size").arg(tag));
            h->Device = b::GetU64(v);
            break;
        default:
            break; // a field of a later minor version: skipped
        }
    }
    if (!haveDrive || !haveTotals || !haveEntries)
        return bad(QStringLiteral("drive, totals or entries are missing"));
    if (h->Entries == 0)
        return bad(QStringLiteral("no entries"));
    if (h->Entries >= UINT32_MAX)
        return bad(QStringLiteral("more entries than an analysis can hold"));
    if (o.Source.isEmpty())
        o.Source = QStringLiteral("scan");
    return true;
}

// Reads and checks the header; *bodyOffset is where the blocks begin.
bool readHeader(int fd, TSavedHeader* h, uint64_t* bodyOffset, QString* error) {
    *h = TSavedHeader{};
    std::string fixed;
    if (io::ReadAt(fd, 0, kFixedHeader, fixed) < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (fixed.size() < sizeof kMagic || std::memcmp(fixed.data(), kMagic, sizeof kMagic) != 0) {
        *error = tr("it is not a saved analysis of this program");
        return false;
    }
    if (fixed.size() < kFixedHeader) {
        *error = tr("the file is cut off in its header");
        return false;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(fixed.data());
    h->Major = b::GetU16(p + 8);
    h->Minor = b::GetU16(p + 10);
    if (h->Major != kFormatMajor) {
        *error = h->Major > kFormatMajor
                     ? QStringLiteral("it was saved by a newer version of the program (format "
                                      "%1.%2); this version reads format %3.x")
                           .arg(h->Major)
                           .arg(h->Minor)
                           .arg(kFormatMajor)
                     : QStringLiteral("its format %1.%2 is not one this version reads")
                           .arg(h->Major)
                           .arg(h->Minor);
        return false;
    }
    const uint32_t fieldsLength = b::GetU32(p + 12);
    if (fieldsLength > kMaxFieldsBytes) {
        *error = tr("the header is damaged (it claims to be larger than any header)");
        return false;
    }
    std::string whole;
    const size_t wholeSize = kFixedHeader + fieldsLength + 4;
    if (io::ReadAt(fd, 0, wholeSize, whole) < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (whole.size() < wholeSize) {
        *error = tr("the file is cut off in its header");
        return false;
    }
    const uint32_t crc = b::GetU32(reinterpret_cast<const unsigned char*>(whole.data()) +
                                   kFixedHeader + fieldsLength);
    if (crc != static_cast<uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(whole.data()),
                                             uInt(kFixedHeader + fieldsLength)))) {
        *error = tr("the header is damaged (its checksum does not match)");
        return false;
    }
    if (!parseFields(std::string_view(whole).substr(kFixedHeader, fieldsLength), h, error))
        return false;
    *bodyOffset = wholeSize;
    return true;
}

// ---- Names ----------------------------------------------------------------------------------

size_t sharedPrefix(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// ---- Blocks ------------------------------------------------------------------------------------

struct ZstdContexts {
    ZSTD_CCtx* c = nullptr;
    ZSTD_DCtx* d = nullptr;
    ~ZstdContexts() {
        ZSTD_freeCCtx(c);
        ZSTD_freeDCtx(d);
    }
};

class BlockWriter {
public:
    explicit BlockWriter(int fd) : out_(fd) {
        zstd_.c = ZSTD_createCCtx();
        if (zstd_.c) {
            ZSTD_CCtx_setParameter(zstd_.c, ZSTD_c_compressionLevel, kCompressionLevel);
            ZSTD_CCtx_setParameter(zstd_.c, ZSTD_c_checksumFlag, 1);
        }
    }
    bool Ready() const { return zstd_.c != nullptr; }
    io::FdWriter& Out() { return out_; }
    std::string& Raw() { return raw_; }

    void MaybeFlush() {
        if (raw_.size() >= kBlockTarget)
            Flush();
    }
    bool Flush() {
        if (raw_.empty())
            return out_.Error() == 0;
        stored_.resize(ZSTD_compressBound(raw_.size()));
        const size_t n =
            ZSTD_compress2(zstd_.c, stored_.data(), stored_.size(), raw_.data(), raw_.size());
        if (ZSTD_isError(n)) {
            compressFailed_ = true;
            return false;
        }
        std::string head;
        b::PutU32(head, static_cast<uint32_t>(raw_.size()));
        b::PutU32(head, static_cast<uint32_t>(n));
        out_.Append(head);
        out_.Write(std::string_view(stored_.data(), n));
        raw_.clear();
        return out_.Error() == 0;
    }
    bool CompressFailed() const { return compressFailed_; }

private:
    io::FdWriter out_;
    ZstdContexts zstd_;
    std::string raw_;
    std::vector<char> stored_;
    bool compressFailed_ = false;
};

QString writeError(int err) {
    return QString::fromLocal8Bit(std::strerror(err ? err : EIO));
}

} // namespace

// ---- Writing
// -------------------------------------------------------------------------------------

TSavedHeader HeaderForSaving(const TAnalysisTree& tree, const analysis::TAnalysisSummary& summary) {
    TSavedHeader h;
    h.Summary = summary;
    analysis::TAnalysisOrigin& o = h.Summary.Origin;
    o.Loaded = false;
    o.File.clear();
    o.Program = QStringLiteral("Zelvano Orbisca 2024 " ORBISCA_PROGRAM_VERSION);
    h.Device = tree.Device();
    h.Entries = tree.NodeCount();
    if (!summary.Origin.Loaded && summary.Drive.size() >= 2) {
        if (o.Root.empty())
            o.Root = platform::DriveRoot(summary.Drive[0].unicode());
        platform::FileSystemIdentity identity;
        // The file system as it is now: only when it is still the volume the scan read.
        if (!o.Root.empty() && platform::IdentifyFileSystem(o.Root, &identity) &&
            (h.Device == 0 || identity.device == h.Device))
            o.FileSystem = identity;
        else
            o.FileSystem = platform::FileSystemIdentity{.device = h.Device};
    }
    return h;
}

bool WriteSaved(int fd, const TSavedHeader& header, const TAnalysisTree& tree, QString* error,
                const TProgress& progress) {
    const PNode top = tree.GetFirst();
    if (top == PNode::None || !tree.IsFolder(top)) {
        *error = tr("there is no analysis to save");
        return false;
    }
    if (tree.GetNextSibling(top) != PNode::None) {
        *error = tr("the tree has more than one top folder");
        return false;
    }
    if (!isDrive(header.Summary.Drive)) {
        *error = tr("the analysis has no drive letter");
        return false;
    }
    BlockWriter w(fd);
    if (!w.Ready()) {
        *error = tr("out of memory");
        return false;
    }
    w.Out().Append(encodeHeader(header));

    struct Frame {
        PNode folder;
        PNode next;
        std::string lastName;
        int64_t size = 0;
        uint32_t folders = 0;
        uint32_t files = 0;
    };
    std::vector<Frame> frames;
    std::string& raw = w.Raw();
    std::string name;
    std::u16string scratch;
    uint64_t previousInode = 0;
    uint64_t entries = 0;
    QString failure;

    const auto putEntry = [&](PNode n, Frame* parent) {
        const bool folder = tree.IsFolder(n);
        const uint64_t inode = tree.Inode(n);
        uint8_t tag = kEntry;
        if (folder)
            tag |= kFolder;
        if (inode)
            tag |= kHasInode;
        raw += static_cast<char>(tag);
        if (parent) {
            NativeNameOf(tree, n, parent->folder, name, scratch);
            const size_t shared = sharedPrefix(parent->lastName, name);
            b::PutVarint(raw, shared);
            b::PutVarint(raw, name.size() - shared);
            raw.append(name, shared, std::string::npos);
            parent->lastName = name;
        } else {
            b::PutVarint(raw, 0);
            b::PutVarint(raw, 0);
        }
        if (!folder) {
            const int64_t size = tree.Size(n);
            b::PutVarint(raw, static_cast<uint64_t>(size < 0 ? 0 : size));
        }
        if (inode) {
            b::PutVarint(raw, b::ZigZag(static_cast<int64_t>(inode - previousInode)));
            previousInode = inode;
        }
        ++entries;
    };

    putEntry(top, nullptr);
    frames.push_back({top, tree.GetFirstChild(top)});
    while (!frames.empty()) {
        Frame& f = frames.back();
        if (f.next == PNode::None) {
            // The folder's totals follow from what is listed below it unless the tree says
            // otherwise (folder entries that are no nodes, such as mount points).
            const int64_t size = tree.Size(f.folder);
            const uint32_t folders = tree.FolderCount(f.folder);
            const uint32_t files = tree.FileCount(f.folder);
            uint8_t tag = 0;
            if (size != f.size)
                tag |= kEndSize;
            if (folders != f.folders)
                tag |= kEndFolderDelta;
            if (files != f.files)
                tag |= kEndFileDelta;
            raw += static_cast<char>(tag);
            if (tag & kEndSize)
                b::PutVarint(raw, b::ZigZag(size));
            if (tag & kEndFolderDelta)
                b::PutVarint(raw, static_cast<uint32_t>(folders - f.folders));
            if (tag & kEndFileDelta)
                b::PutVarint(raw, static_cast<uint32_t>(files - f.files));
            frames.pop_back();
            if (!frames.empty()) {
                Frame& parent = frames.back();
                parent.size = analysis::AddSizes(parent.size, size);
                parent.folders += 1 + folders;
                parent.files += files;
            }
            w.MaybeFlush();
            continue;
        }
        const PNode c = f.next;
        f.next = tree.GetNextSibling(c);
        if (!tree.IsFolder(c) && tree.Size(c) < 0) {
            failure = tr("a file of the tree has a negative size");
            break;
        }
        putEntry(c, &f);
        if (tree.IsFolder(c)) {
            frames.push_back({c, tree.GetFirstChild(c)});
        } else {
            f.size = analysis::AddSizes(f.size, tree.Size(c));
            ++f.files;
        }
        if ((entries % kProgressEvery) == 0 && progress && !progress(entries)) {
            failure = tr("cancelled");
            break;
        }
        w.MaybeFlush();
    }
    if (failure.isEmpty() && entries != header.Entries)
        failure = tr("the tree changed while it was saved");
    if (!failure.isEmpty()) {
        *error = failure;
        return false;
    }
    w.Flush();
    std::string end;
    b::PutU32(end, 0);
    b::PutU32(end, 0);
    b::PutU64(end, entries);
    w.Out().Append(end);
    w.Out().Flush();
    if (w.CompressFailed()) {
        *error = tr("the compression failed");
        return false;
    }
    if (w.Out().Error()) {
        *error = writeError(w.Out().Error());
        return false;
    }
    return true;
}

// ---- Reading
// -------------------------------------------------------------------------------------

bool ReadSavedHeader(int fd, TSavedHeader* header, QString* error) {
    uint64_t body = 0;
    return readHeader(fd, header, &body, error);
}

namespace {

// Rebuilds the tree from the records of the blocks, as the scan builds it.
class TreeBuilder {
public:
    TreeBuilder(TAnalysisTree& tree, const TSavedHeader& header) : tree_(tree), header_(header) {}

    // Parses one block's records; false with the reason in error.
    bool Feed(std::string_view raw, QString* error) {
        b::Reader r(raw);
        while (!r.AtEnd()) {
            uint8_t tag = 0;
            r.Byte(tag);
            if (!(tag & kEntry)) {
                if (!endFolder(tag, r, error))
                    return false;
                continue;
            }
            if (!entry(tag, r, error))
                return false;
        }
        return true;
    }
    bool Finish(uint64_t trailerEntries, QString* error) {
        if (!frames_.empty() || !rootDone_)
            return fail(error, QStringLiteral("the tree ends before its last folder does"));
        if (entries_ != header_.Entries || trailerEntries != entries_)
            return fail(error, QStringLiteral("it holds %1 entries where its header says %2")
                                   .arg(entries_)
                                   .arg(header_.Entries));
        return true;
    }
    uint64_t Entries() const { return entries_; }

private:
    struct Frame {
        PNode node;
        std::string lastName;
        int64_t size = 0;
        uint32_t folders = 0;
        uint32_t files = 0;
    };

    static bool fail(QString* error, const QString& why) {
        *error = QStringLiteral("the analysis is damaged (%1)").arg(why);
        return false;
    }
    static bool cut(QString* error) { return fail(error, QStringLiteral("an entry is cut off")); }

    bool endFolder(uint8_t tag, b::Reader& r, QString* error) {
        if (tag & ~kEndKnownBits)
            return fail(error, QStringLiteral("unknown record %1").arg(tag));
        if (frames_.empty())
            return fail(error, QStringLiteral("a folder ends that was never begun"));
        Frame& f = frames_.back();
        int64_t size = f.size;
        uint32_t folders = f.folders, files = f.files;
        uint64_t v = 0;
        if (tag & kEndSize) {
            if (!r.Varint(v))
                return cut(error);
            size = b::UnZigZag(v);
        }
        if (tag & kEndFolderDelta) {
            if (!r.Varint(v) || v > UINT32_MAX)
                return cut(error);
            folders += static_cast<uint32_t>(v);
        }
        if (tag & kEndFileDelta) {
            if (!r.Varint(v) || v > UINT32_MAX)
                return cut(error);
            files += static_cast<uint32_t>(v);
        }
        tree_.SetSize(f.node, size);
        tree_.SetFolderCount(f.node, folders);
        tree_.SetFileCount(f.node, files);
        frames_.pop_back();
        if (frames_.empty()) {
            rootDone_ = true;
        } else {
            Frame& parent = frames_.back();
            parent.size = analysis::AddSizes(parent.size, size);
            parent.folders += 1 + folders;
            parent.files += files;
        }
        return true;
    }

    bool entry(uint8_t tag, b::Reader& r, QString* error) {
        if (tag & kReservedEntryBit)
            return fail(error, QStringLiteral("unknown record %1").arg(tag));
        if (rootDone_)
            return fail(error, QStringLiteral("an entry follows the end of the top folder"));
        if (++entries_ > header_.Entries)
            return fail(error, QStringLiteral("more entries than its header says"));
        uint64_t shared = 0, length = 0;
        if (!r.Varint(shared) || !r.Varint(length))
            return cut(error);
        std::string_view suffix;
        Frame* parent = frames_.empty() ? nullptr : &frames_.back();
        const size_t previous = parent ? parent->lastName.size() : 0;
        if (shared > previous || length > kMaxNameBytes || shared + length > kMaxNameBytes)
            return fail(error, QStringLiteral("a name is longer than any name"));
        if (!r.Bytes(static_cast<size_t>(length), suffix))
            return cut(error);
        const bool folder = tag & kFolder;
        uint64_t size = 0;
        if (!folder && !r.Varint(size))
            return cut(error);
        if (size > static_cast<uint64_t>(INT64_MAX))
            return fail(error, QStringLiteral("a size beyond the largest size"));
        uint64_t inode = 0, v = 0;
        if (tag & kHasInode) {
            if (!r.Varint(v))
                return cut(error);
            inode = previousInode_ + static_cast<uint64_t>(b::UnZigZag(v));
            previousInode_ = inode;
        }
        // Allocated size, modification time and an entry's own device: this program's tree
        // keeps none of them (one device per analysis), so they are read past.
        if ((tag & kHasAllocated) && !r.Varint(v))
            return cut(error);
        if ((tag & kHasMtime) && !r.Varint(v))
            return cut(error);
        if ((tag & kHasDevice) && !r.Varint(v))
            return cut(error);
        if (tag & kHasExtension) {
            if (!r.Varint(v) || !r.Skip(static_cast<size_t>(std::min<uint64_t>(v, SIZE_MAX))))
                return cut(error);
        }

        PNode node;
        if (!parent) {
            if (!folder || shared != 0 || length != 0)
                return fail(error, QStringLiteral("the top entry is no drive"));
            node = tree_.AddTopFolder(std::u16string_view(
                reinterpret_cast<const char16_t*>(header_.Summary.Drive.utf16()), 3));
        } else {
            std::string& name = parent->lastName;
            name.resize(static_cast<size_t>(shared));
            name.append(suffix);
            if (name.empty() || name == "." || name == ".." ||
                name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
                return fail(error, QStringLiteral("an entry has a name no file can have"));
            display_.resize(name.size());
            display_.resize(platform::DecodeNativeName(name, display_.data()));
            if (folder) {
                node = tree_.AddFolder(parent->node, display_);
            } else {
                ++parent->files;
                parent->size = analysis::AddSizes(parent->size, static_cast<int64_t>(size));
                node = tree_.AddFile(parent->node, display_, static_cast<int64_t>(size));
            }
        }
        if (inode)
            tree_.SetInode(node, inode);
        // A folder's own entry counts in its parent's totals when it ends, with all below it.
        if (folder)
            frames_.push_back({node});
        return true;
    }

    TAnalysisTree& tree_;
    const TSavedHeader& header_;
    std::vector<Frame> frames_;
    std::u16string display_;
    uint64_t entries_ = 0;
    uint64_t previousInode_ = 0;
    bool rootDone_ = false;
};

} // namespace

bool ReadSaved(int fd, TAnalysisTree& tree, TSavedHeader* header, QString* error,
               const TProgress& progress) {
    tree.Clear();
    uint64_t offset = 0;
    if (!readHeader(fd, header, &offset, error))
        return false;
    const auto failed = [&](const QString& why) {
        tree.Clear();
        *error = why;
        return false;
    };
    ZstdContexts zstd;
    zstd.d = ZSTD_createDCtx();
    if (!zstd.d)
        return failed(tr("out of memory"));
    TreeBuilder builder(tree, *header);
    std::string head, stored, raw;
    uint64_t nextProgress = kProgressEvery;
    tree.BeginUpdate();
    struct EndUpdate {
        TAnalysisTree& t;
        ~EndUpdate() { t.EndUpdate(); }
    } endUpdate{tree};
    try {
        for (;;) {
            if (io::ReadAt(fd, offset, 8, head) < 0)
                return failed(QString::fromLocal8Bit(std::strerror(errno)));
            if (head.size() < 8)
                return failed(tr("the file is cut off"));
            offset += 8;
            const auto* p = reinterpret_cast<const unsigned char*>(head.data());
            const uint32_t rawLength = b::GetU32(p);
            const uint32_t storedLength = b::GetU32(p + 4);
            if (rawLength == 0 && storedLength == 0)
                break;
            if (rawLength == 0 || rawLength > kMaxRawBlock ||
                storedLength > ZSTD_compressBound(kMaxRawBlock))
                return failed(tr("the analysis is damaged (a block of impossible size)"));
            if (io::ReadAt(fd, offset, storedLength, stored) < 0)
                return failed(QString::fromLocal8Bit(std::strerror(errno)));
            if (stored.size() < storedLength)
                return failed(tr("the file is cut off"));
            offset += storedLength;
            // Exactly one frame that says it holds exactly the block.
            if (ZSTD_findFrameCompressedSize(stored.data(), stored.size()) != storedLength ||
                ZSTD_getFrameContentSize(stored.data(), stored.size()) != rawLength)
                return failed(tr("the analysis is damaged (a block does not match its size)"));
            raw.resize(rawLength);
            const size_t n =
                ZSTD_decompressDCtx(zstd.d, raw.data(), raw.size(), stored.data(), stored.size());
            if (ZSTD_isError(n) || n != rawLength)
                return failed(tr("the analysis is damaged (a block cannot be unpacked)"));
            if (!builder.Feed(raw, error))
                return failed(*error);
            if (progress && builder.Entries() >= nextProgress) {
                nextProgress = builder.Entries() + kProgressEvery;
                if (!progress(builder.Entries()))
                    return failed(tr("cancelled"));
            }
        }
        std::string trailer;
        if (io::ReadAt(fd, offset, 9, trailer) < 0)
            return failed(QString::fromLocal8Bit(std::strerror(errno)));
        if (trailer.size() < 8)
            return failed(tr("the file is cut off"));
        if (trailer.size() > 8)
            return failed(tr("the analysis is damaged (data after its end)"));
        if (!builder.Finish(b::GetU64(reinterpret_cast<const unsigned char*>(trailer.data())),
                            error))
            return failed(*error);
    } catch (const std::bad_alloc&) {
        return failed(tr("there is not enough memory for the analysis"));
    }
    tree.SetDevice(header->Device);
    return true;
}

} // namespace saved
