#include "analysis/nogui_Orbisca.h"

#include "platform/Debug.h"
#include "platform/DriveTable.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Pump.h"

#include <algorithm>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

namespace analysis {

bool ProgramClosing = false;

namespace {

constexpr int32_t kProgressMax = 1100;
constexpr uint32_t kUpdateFlags = 13;
// A stream chain longer than this is taken as a broken graph and cut off.
constexpr int kMaxStreamsPerFile = 1 << 16;
// Unreadable folders named in the verdict; the rest are only counted.
constexpr qsizetype kUnreadableSamples = 5;

int64_t sumValidSizes(const TFILE_RECORD* rec) {
    int64_t size = 0;
    int guard = 0;
    for (const TDATA_STREAM* s = rec->Streams.get(); s && guard < kMaxStreamsPerFile;
         s = s->Next.get(), ++guard)
        size = AddSizes(size, SizeOfBytes(s->ValidSize));
    return size;
}

// Sums of the post-order pass: sizes saturate, counts are 32-bit as stored.
inline void accumulate(int64_t& sum, int64_t v) {
    sum = AddSizes(sum, v);
}
inline void accumulate(uint32_t& sum, uint32_t v) {
    sum += v;
}

QString fromU16(const std::u16string& s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}

// Post-order pass over the folders below start: finish(folder, sum of the values its child
// folders returned, the node's file children) gives the folder's value. Iterative, so depth is
// limited by memory only.
template <class Value, class LeafValue, class Finish>
Value postOrder(TAnalysisTree& tree, PNode start, LeafValue leafValue, Finish finish) {
    struct Frame {
        PNode node;
        PNode cursor;
        Value sum;
    };
    std::vector<Frame> stack{{start, tree.GetFirstChild(start), Value{}}};
    Value result{};
    while (!stack.empty()) {
        const PNode c = stack.back().cursor;
        if (c != PNode::None) {
            stack.back().cursor = tree.GetNextSibling(c);
            if (tree.IsFolder(c))
                stack.push_back({c, tree.GetFirstChild(c), Value{}});
            else
                accumulate(stack.back().sum, leafValue(c));
            continue;
        }
        const Frame done = stack.back();
        stack.pop_back();
        result = finish(done.node, done.sum);
        if (!stack.empty())
            accumulate(stack.back().sum, result);
    }
    return result;
}

} // namespace

TOrbisca::TOrbisca(TAnalysisTree* tree) : FTree(tree) {
    if (FTree)
        FTree->SetNodeDataSize(sizeof(TNodeData));
    LoadService();
}

TOrbisca::~TOrbisca() {
    if (DLLHandle)
        platform::FreeLibrary(DLLHandle);
}

void TOrbisca::LoadService() {
    const QString file = platform::ProgramFolder() + QStringLiteral("\\undelete.dll");
    try {
        DLLHandle = platform::LoadLibraryW(file);
    } catch (...) {
        DLLHandle = nullptr;
    }
    if (!DLLHandle) {
        platform::ErrorBox(QStringLiteral("Error loading Undelete-DLL! Handle=0 ?"));
        return;
    }
    Undeleter = reinterpret_cast<TUndeleteDLLEntryW>(
        platform::GetProcAddress(DLLHandle, "UndeleteDLLEntryW"));
    if (!Undeleter) {
        platform::ErrorBox(QStringLiteral("Error in accessing Undelete.dll!"));
        return;
    }
    getRecordId_ = reinterpret_cast<TUndeleteDLLGetRecordId>(
        platform::GetProcAddress(DLLHandle, "UndeleteDLLGetRecordId"));
    const auto getVersion = reinterpret_cast<TUndeleteDLLGetVersion>(
        platform::GetProcAddress(DLLHandle, "UndeleteDLLGetVersion"));
    if (getVersion) {
        const uint32_t v = getVersion();
        const QString prefix = QStringLiteral("Undeleter.dll ; Version = ");
        platform::OutputDebugStringW(prefix + QString::number(v));
        platform::OutputDebugStringW(prefix + QString::number(v >> 16) + u'.' +
                                     QString::number((v >> 8) & 0xFF) + u'.' +
                                     QString::number(v & 0xFF));
    }
}

void TOrbisca::DO_Drive(const QString& drive) {
    scanVerdict_ = TScanVerdict{};
    origin_ = TAnalysisOrigin{};
    origin_.Started = QDateTime::currentDateTimeUtc();
    if (!drive.isEmpty())
        origin_.Root = platform::DriveRoot(drive[0].unicode());
    serviceMessages_.clear();
    stopAnswered_ = false;
    analysedDrive_ = drive;
    rootNode_ = PNode::None;
    totalFiles_ = 0;
    totalFolders_ = 0;
    ScanVolume(drive);
    // The walk has already turned each folder's direct counts into the totals below it, as the
    // three count passes would (they still serve callers that change the tree afterwards).
    const PNode top = FTree->GetFirst();
    if (top != PNode::None)
        totalSize_ = FTree->Size(top);
    origin_.Ended = QDateTime::currentDateTimeUtc();
}

TAnalysisSummary TOrbisca::Summary() const {
    return {analysedDrive_, totalSize_, totalFiles_, totalFolders_, scanVerdict_, origin_};
}

void TOrbisca::AdoptAnalysis(const TAnalysisSummary& summary) {
    analysedDrive_ = summary.Drive;
    rootNode_ = FTree ? FTree->GetFirst() : PNode::None;
    totalSize_ = summary.TotalSize;
    totalFiles_ = summary.TotalFiles;
    totalFolders_ = summary.TotalFolders;
    scanVerdict_ = summary.Verdict;
    origin_ = summary.Origin;
    serviceMessages_.clear();
    stopAnswered_ = false;
}

void TOrbisca::ScanVolume(const QString& drive) {
    totalSize_ = 0;
    totalFiles_ = 0;
    totalFolders_ = 0;
    FTree->Clear();
    // Every way out without a snapshot leaves an empty tree and says why in the verdict.
    const auto cutShort = [this](const QString& reason) {
        scanVerdict_.CutShort = true;
        scanVerdict_.Reason = reason;
    };
    // Without a service the load failure was shown at creation; the analysis ends with an
    // empty tree, as after the error boxes below.
    if (!Undeleter) {
        cutShort(QStringLiteral("the snapshot service is not loaded"));
        return;
    }

    TVolume volume = Undeleter()->NewVolume();
    if (!volume) {
        platform::ErrorBox(QStringLiteral("Error: Volume=nil"));
        cutShort(QStringLiteral("Error: Volume=nil"));
        return;
    }
    const std::u16string root16(reinterpret_cast<const char16_t*>(drive.utf16()),
                                static_cast<size_t>(drive.size()));
    if (!Undeleter()->OpenVolume(volume, root16.c_str())) {
        platform::ErrorBox(QStringLiteral("Error: OpenVolume failed"));
        cutShort(QStringLiteral("Error: OpenVolume failed"));
        Undeleter()->FreeVolume(volume);
        return;
    }
    TSnapshot snapshot = Undeleter()->NewSnapshot(volume);
    if (!snapshot) {
        platform::ErrorBox(QStringLiteral("Error: NewSnapShot failed"));
        cutShort(QStringLiteral("Error: NewSnapShot failed"));
        Undeleter()->CloseVolume(volume);
        Undeleter()->FreeVolume(volume);
        return;
    }
    if (ProgressBar) {
        ProgressBar->SetPosition(0);
        ProgressBar->SetMax(kProgressMax);
        platform::ProcessMessages();
    }
    TFILE_RECORD* root = nullptr;
    const bool32 complete =
        Undeleter()->UpdateSnapshot(snapshot, kUpdateFlags, &root, &TOrbisca::ScanProgressCallback,
                                    reinterpret_cast<uintptr_t>(this), nullptr);
    // A snapshot that is not the whole volume: the service said why (cmd 1), or it was stopped
    // on request, or it failed without a word.
    if (!serviceMessages_.isEmpty())
        cutShort(serviceMessages_.join(QStringLiteral("; ")));
    else if (!root && !stopAnswered_)
        cutShort(QStringLiteral("the snapshot service returned no root folder"));
    else if (!complete && !stopAnswered_)
        cutShort(QStringLiteral("the snapshot service reported a failure"));
    if (stopAnswered_)
        scanVerdict_.Stopped = true;
    rootNode_ = PNode::None;
    if (root && getRecordId_) {
        uint64_t device = 0, inode = 0;
        getRecordId_(snapshot, root, &device, &inode);
        FTree->SetDevice(device);
    }
    FTree->BeginUpdate();
    try {
        WalkFolder(snapshot, root, drive);
    } catch (const std::bad_alloc&) {
        // What was built stays; the rest of the snapshot is missing from the tree.
        cutShort(
            QStringLiteral("there was not enough memory for the analysis tree after %1 entries")
                .arg(FTree->NodeCount()));
    }
    FTree->EndUpdate();
    Undeleter()->FreeSnapshot(snapshot);
    Undeleter()->CloseVolume(volume);
    Undeleter()->FreeVolume(volume);
}

void TOrbisca::WalkFolder(TSnapshot snapshot, const TFILE_RECORD* record, const QString& path) {
    // The recursion of the folder walk runs on an explicit stack, so a volume nested tens of
    // thousands of folders deep cannot exhaust the thread's stack. Each frame is one folder
    // whose entry loop is under way, exactly as a recursive call would hold it.
    //
    // The walk also does the work of the three count passes: when a folder's entry loop ends,
    // everything below it is known, so its direct counts become the totals below it then, in
    // the same order of additions as the post-order passes, and go up to its parent. One pass
    // over the tree is saved per count, each a walk over every node.
    struct Frame {
        const TFILE_RECORD* record;
        PNode folder;
        int32_t nextItem;
        int32_t itemCount;
        uint32_t files;
        uint32_t dirs;
        size_t baseLength; // walk path length before this folder's name was appended
        // Totals of the subfolders walked so far, and the sizes of files and subfolders so far.
        uint32_t dirsBelow;
        uint32_t filesBelow;
        int64_t size;
    };
    std::vector<Frame> frames;
    // Folders being walked, to guard broken graphs against cycles: the frames themselves near the
    // top, a set only for what lies deeper (hashing every folder would cost more than the check).
    constexpr size_t kScannedFrames = 64;
    std::unordered_set<const TFILE_RECORD*> deepOnPath;
    const auto onPath = [&](const TFILE_RECORD* rec) {
        const size_t n = std::min(frames.size(), kScannedFrames);
        for (size_t i = 0; i < n; ++i)
            if (frames[i].record == rec)
                return true;
        return frames.size() > kScannedFrames && deepOnPath.count(rec) != 0;
    };
    std::u16string walkPath(reinterpret_cast<const char16_t*>(path.utf16()),
                            static_cast<size_t>(path.size()));
    // Each node keeps the identity of the item its record stands for.
    const TUndeleteDLLGetRecordId getRecordId = getRecordId_;
    const auto identify = [&](PNode n, const TFILE_RECORD* rec) {
        uint64_t device = 0, inode = 0;
        if (getRecordId && getRecordId(snapshot, rec, &device, &inode))
            FTree->SetInode(n, inode);
    };

    // A folder's totals go to its parent's frame (none for the top folder).
    const auto finish = [&](uint32_t dirs, uint32_t files) {
        const Frame& f = frames.back();
        const int64_t size = f.size;
        FTree->SetFolderCount(f.folder, dirs);
        FTree->SetFileCount(f.folder, files);
        FTree->SetSize(f.folder, size);
        if (frames.size() > kScannedFrames)
            deepOnPath.erase(f.record);
        frames.pop_back();
        if (!frames.empty()) {
            Frame& parent = frames.back();
            parent.dirsBelow += dirs;
            parent.filesBelow += files;
            parent.size = AddSizes(parent.size, size);
        }
    };

    // Steps of a folder walk up to its entry loop; true when a frame was pushed.
    auto enter = [&](const TFILE_RECORD* rec, size_t baseLength) -> bool {
        platform::PumpPoint();
        if (StopRequested()) {
            scanVerdict_.Stopped = true; // this folder and what lies below it stay out
            return false;
        }
        if (!rec)
            return false;
        ++totalFolders_;
        // The service's own folder of deleted files is no part of the volume; a real folder is
        // never hidden for its name.
        if ((rec->Flags & (UNDEL_FLAG_DELETED_FILES | UNDEL_FLAG_SKIP_FOLDER)) ||
            (rec->Attr & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
        if (onPath(rec)) {
            platform::OutputDebugStringW(
                QStringLiteral("WalkFolder: folder record repeats on its own path, skipped: ") +
                fromU16(walkPath));
            return false;
        }
        if (rec->Flags & UNDEL_FLAG_UNREADABLE) {
            ++scanVerdict_.UnreadableFolders;
            if (scanVerdict_.UnreadableSamples.size() < kUnreadableSamples) {
                QString folder = fromU16(walkPath);
                if (folder.size() > 3)
                    folder.chop(1);
                scanVerdict_.UnreadableSamples.append(folder);
            }
        }
        PNode folder;
        if (rootNode_ == PNode::None) {
            folder = FTree->AddTopFolder(walkPath);
        } else {
            std::u16string_view name(walkPath);
            name = name.substr(baseLength, walkPath.size() - baseLength - 1);
            folder = FTree->AddFolder(rootNode_, name);
        }
        identify(folder, rec);
        if (!rec->DirItems)
            return false; // a folder node with nothing below it: its zero counts are its totals
        if (frames.size() >= kScannedFrames)
            deepOnPath.insert(rec);
        try {
            frames.push_back({rec, folder, 0, rec->NumDirItems > 0 ? rec->NumDirItems : 0, 0, 0,
                              baseLength, 0, 0, 0});
        } catch (...) {
            deepOnPath.erase(rec);
            throw;
        }
        return true;
    };

    try {
        enter(record, 0);
        while (!frames.empty()) {
            Frame& f = frames.back();
            if (f.nextItem >= f.itemCount) {
                totalFiles_ += f.files;
                walkPath.resize(f.baseLength);
                finish(f.dirs + f.dirsBelow, f.files + f.filesBelow);
                continue;
            }
            const TDIR_ITEM& item = f.record->DirItems.get()[f.nextItem++];
            const TFILE_NAME* fileName = item.FileName.get();
            const TFILE_RECORD* child = item.aRecord.get();
            if (!fileName || !child)
                continue;
            if (child->Flags & UNDEL_FLAG_GONE)
                continue;
            platform::PumpPoint();
            const char16_t* name = fileName->Name.get();
            const std::u16string_view nameView(name ? name : u"", UndelTextLength(name));
            if (!child->IsDir) {
                ++f.files;
                const int64_t size = sumValidSizes(child);
                identify(FTree->AddFile(f.folder, nameView, size), child);
                f.size = AddSizes(f.size, size);
                continue;
            }
            ++f.dirs;
            rootNode_ = f.folder;
            const size_t base = walkPath.size();
            walkPath += nameView;
            walkPath += u'\\';
            if (!enter(child, base))
                walkPath.resize(base);
        }
    } catch (const std::bad_alloc&) {
        // Out of memory in the middle: the folders whose entry loops did not end get what the
        // count passes give them over the nodes built, the totals of their children alone.
        while (!frames.empty())
            finish(frames.back().dirsBelow, frames.back().filesBelow);
        throw;
    }
}

bool32 UNDEL_CALL TOrbisca::ScanProgressCallback(int32_t cmd, const char16_t* amessage,
                                                 int32_t progress, uintptr_t userdata) {
    auto* self = reinterpret_cast<TOrbisca*>(userdata);
    switch (cmd) {
    case 0:
        platform::ProcessMessages();
        if (!self || !self->StopRequested())
            return 0;
        self->stopAnswered_ = true;
        return kBool32True;
    case 1:
        // The service's word on the snapshot: why it was cut short.
        if (self && amessage && *amessage)
            self->serviceMessages_.append(
                QString::fromUtf16(amessage, static_cast<qsizetype>(UndelTextLength(amessage))));
        return kBool32True;
    case 2:
        if (self && self->ProgressBar) {
            self->ProgressBar->SetPosition(progress);
            platform::ProcessMessages();
        }
        return kBool32True;
    case 3:
        return kBool32True;
    default:
        return 0;
    }
}

PNode TOrbisca::FindRootNodeForDir(const QString& dir) const {
    return FTree->FindByPath(dir, true);
}

PNode TOrbisca::FindNodeForThis(uint8_t is_Dir, const QString& fullPath) const {
    if (is_Dir > 1)
        return PNode::None; // no node stores another value
    return FTree->FindByPath(fullPath, is_Dir == 1);
}

uint32_t TOrbisca::CountDirsInTree(TAnalysisTree* tree, PNode start) {
    if (!tree || start == PNode::None)
        return 0;
    return postOrder<uint32_t>(
        *tree, start, [](PNode) { return 0u; },
        [tree](PNode n, uint32_t sum) {
            const uint32_t v = tree->FolderCount(n) + sum;
            tree->SetFolderCount(n, v);
            return v;
        });
}

uint32_t TOrbisca::CountFilesInTree(TAnalysisTree* tree, PNode start) {
    if (!tree || start == PNode::None)
        return 0;
    return postOrder<uint32_t>(
        *tree, start, [](PNode) { return 0u; },
        [tree](PNode n, uint32_t sum) {
            const uint32_t v = tree->FileCount(n) + sum;
            tree->SetFileCount(n, v);
            return v;
        });
}

int64_t TOrbisca::CountSizeInTree(TAnalysisTree* tree, PNode start) {
    if (!tree || start == PNode::None)
        return 0;
    // A file has no children to sum: its own size is its total (and must not be zeroed).
    if (!tree->IsFolder(start))
        return tree->Size(start);
    return postOrder<int64_t>(
        *tree, start, [tree](PNode n) { return tree->Size(n); },
        [tree](PNode n, int64_t sum) {
            tree->SetSize(n, sum);
            return sum;
        });
}

} // namespace analysis
