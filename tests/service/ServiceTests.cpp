// The snapshot service undelete.so on trees the tests create: its contract, the record graph of
// hostile names and shapes, the callbacks, and the walk's answers to trees changing under it.

#include "TestTree.h"
#include "VanishHook.h"

#include "analysis/AnalysisTree.h"
#include "analysis/UndelDLL.h"
#include "analysis/nogui_Orbisca.h"
#include "platform/Debug.h"
#include "platform/DriveTable.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "service/Walker.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <set>
#include <thread>
#include <vector>

using testtree::TempDir;

namespace {

constexpr char16_t kLetter = u'S';

struct Entry {
    bool isDir = false;
    uint32_t attr = 0;
    uint32_t flags = 0;
    int64_t size = 0;
    bool hasStream = false;
    bool hasItems = false;
    int32_t items = 0;
    uint64_t writeTime = 0;
};

// Every entry below root by its path of display names joined with backslashes.
std::map<std::u16string, Entry> readGraph(const TFILE_RECORD* root) {
    std::map<std::u16string, Entry> out;
    std::vector<std::pair<const TFILE_RECORD*, std::u16string>> stack{{root, u""}};
    while (!stack.empty()) {
        auto [rec, prefix] = stack.back();
        stack.pop_back();
        const TDIR_ITEM* items = rec->DirItems.get();
        for (int32_t i = 0; items && i < rec->NumDirItems; ++i) {
            const TFILE_NAME* fn = items[i].FileName.get();
            const TFILE_RECORD* child = items[i].aRecord.get();
            if (!fn || !child)
                continue;
            const char16_t* name = fn->Name.get();
            std::u16string path = prefix + std::u16string(name, UndelTextLength(name));
            Entry e;
            e.isDir = child->IsDir != 0;
            e.attr = child->Attr;
            e.flags = child->Flags;
            e.hasStream = static_cast<bool>(child->Streams);
            for (const TDATA_STREAM* s = child->Streams.get(); s; s = s->Next.get())
                e.size += static_cast<int64_t>(s->ValidSize);
            e.hasItems = static_cast<bool>(child->DirItems);
            e.items = child->NumDirItems;
            e.writeTime = child->TimeLastWrite;
            out[path] = e;
            if (e.isDir && e.hasItems)
                stack.push_back({child, path + u'\\'});
        }
    }
    return out;
}

std::u16string u16(std::string_view native) {
    return platform::DecodeNativeName(native);
}

// The build's program folder: where undelete.so is.
std::string programFolderNative() {
    const std::string path = ORBISCA_SERVICE_LIBRARY;
    return path.substr(0, path.rfind('/'));
}

// The service library, loaded as the engine loads it.
class Service {
public:
    Service() {
        handle_ = ::dlopen(ORBISCA_SERVICE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (handle_)
            entry_ = reinterpret_cast<TUndeleteDLLEntryW>(::dlsym(handle_, "UndeleteDLLEntryW"));
    }
    ~Service() {
        if (handle_)
            ::dlclose(handle_);
    }
    TUNDELETE_EXPORT_TABLE* operator->() const { return entry_(); }
    void* handle() const { return handle_; }
    bool ok() const { return entry_ != nullptr; }

private:
    void* handle_ = nullptr;
    TUndeleteDLLEntryW entry_ = nullptr;
};

struct CallbackLog {
    std::thread::id caller = std::this_thread::get_id();
    bool otherThread = false;
    std::vector<int32_t> progress;
    std::vector<int32_t> cmds;
    std::chrono::steady_clock::time_point last0{};
    double maxGap0Ms = 0;
    int stopAfter = -1; // answer true to the n-th cmd 0
    int zeros = 0;
};

bool32 UNDEL_CALL recordCallback(int32_t cmd, const char16_t*, int32_t progress, uintptr_t user) {
    auto* log = reinterpret_cast<CallbackLog*>(user);
    if (std::this_thread::get_id() != log->caller)
        log->otherThread = true;
    log->cmds.push_back(cmd);
    if (cmd == 2)
        log->progress.push_back(progress);
    if (cmd == 0) {
        const auto now = std::chrono::steady_clock::now();
        if (log->zeros > 0)
            log->maxGap0Ms =
                std::max(log->maxGap0Ms,
                         std::chrono::duration<double, std::milli>(now - log->last0).count());
        log->last0 = now;
        ++log->zeros;
        return (log->stopAfter >= 0 && log->zeros > log->stopAfter) ? kBool32True : 0;
    }
    return kBool32True;
}

void expectSoundProgress(const CallbackLog& log) {
    EXPECT_FALSE(log.otherThread) << "a callback came from a worker thread";
    ASSERT_FALSE(log.progress.empty());
    for (size_t i = 0; i < log.progress.size(); ++i) {
        EXPECT_GE(log.progress[i], 0);
        EXPECT_LE(log.progress[i], 1100);
        if (i) {
            EXPECT_GE(log.progress[i], log.progress[i - 1]) << "progress went back";
        }
    }
    EXPECT_EQ(log.progress.back(), 1100);
}

// One snapshot of drive kLetter through the library's table.
std::map<std::u16string, Entry> snapshotOf(const Service& svc, CallbackLog& log,
                                           bool32* result = nullptr) {
    TVolume v = svc->NewVolume();
    EXPECT_NE(v, nullptr);
    const char16_t root[] = {kLetter, u':', u'\\', 0};
    EXPECT_TRUE(svc->OpenVolume(v, root));
    TSnapshot s = svc->NewSnapshot(v);
    EXPECT_NE(s, nullptr);
    TFILE_RECORD* rootRec = nullptr;
    const bool32 r = svc->UpdateSnapshot(s, 13, &rootRec, recordCallback,
                                         reinterpret_cast<uintptr_t>(&log), nullptr);
    if (result)
        *result = r;
    std::map<std::u16string, Entry> graph;
    EXPECT_NE(rootRec, nullptr);
    if (rootRec) {
        EXPECT_TRUE(rootRec->IsDir);
        EXPECT_EQ(rootRec->Attr & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
        graph = readGraph(rootRec);
    }
    svc->FreeSnapshot(s);
    svc->CloseVolume(v);
    svc->FreeVolume(v);
    return graph;
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(svc.ok()) << ::dlerror();
        platform::SetDriveRoot(kLetter, dir.path());
    }
    void TearDown() override { platform::SetDriveRoot(kLetter, ""); }

    Service svc;
    TempDir dir;
};

TEST_F(ServiceTest, ExportsOnlyTheEntryVersionAndIdentitiesAndEveryOtherSlotFailsSafely) {
    EXPECT_NE(::dlsym(svc.handle(), "UndeleteDLLGetVersion"), nullptr);
    const auto recordId =
        reinterpret_cast<TUndeleteDLLGetRecordId>(::dlsym(svc.handle(), "UndeleteDLLGetRecordId"));
    ASSERT_NE(recordId, nullptr);
    uint64_t device = 1, inode = 1;
    TFILE_RECORD stray{};
    EXPECT_FALSE(recordId(nullptr, &stray, &device, &inode));
    EXPECT_EQ(device, 0u);
    EXPECT_EQ(inode, 0u);
    for (const char* internal :
         {"OpenVolume", "UpdateSnapshot", "DriveRoot", "_ZN8platform9DriveRootEDs"})
        EXPECT_EQ(::dlsym(svc.handle(), internal), nullptr) << internal;
    const auto version =
        reinterpret_cast<TUndeleteDLLGetVersion>(::dlsym(svc.handle(), "UndeleteDLLGetVersion"));
    EXPECT_EQ(version() >> 16, 24u);

    void* const* table = reinterpret_cast<void* const*>(svc.operator->());
    for (int i = 0; i < 23; ++i)
        EXPECT_NE(table[i], nullptr) << "slot " << i;
    int32_t count = 7;
    EXPECT_EQ(svc->ListVolumes(&count), nullptr);
    EXPECT_EQ(count, 0);
    svc->FreeVolumeList(nullptr);
    EXPECT_EQ(svc->GetVolumeClusterSize(nullptr), 0u);
    EXPECT_EQ(svc->GetDriveIcon(nullptr), nullptr);
    EXPECT_EQ(svc->GetVolumeName(nullptr), nullptr);
    EXPECT_EQ(svc->NewStreamReader(nullptr, nullptr), nullptr);
    EXPECT_FALSE(svc->ReadStreamClusters(nullptr, nullptr, 1));
    svc->FreeStreamReader(nullptr);
    EXPECT_EQ(svc->NewImportContext(nullptr), nullptr);
    EXPECT_FALSE(svc->EncryptedFileImportCallback(nullptr, nullptr, 0));
    svc->FreeImportContext(nullptr);
    EXPECT_EQ(svc->GetFirstCluster(nullptr), -1);
    svc->FreeClusterMap(nullptr);
    EXPECT_FALSE(svc->ReadVolumeClusters(nullptr, 0, 1, nullptr));
    // Null handles everywhere else.
    EXPECT_FALSE(svc->OpenVolume(nullptr, u"S:\\"));
    EXPECT_EQ(svc->NewSnapshot(nullptr), nullptr);
    TFILE_RECORD* root = reinterpret_cast<TFILE_RECORD*>(1);
    EXPECT_FALSE(svc->UpdateSnapshot(nullptr, 13, &root, nullptr, 0, nullptr));
    EXPECT_EQ(root, nullptr);
    svc->FreeSnapshot(nullptr);
    svc->CloseVolume(nullptr);
    svc->FreeVolume(nullptr);
    EXPECT_NE(svc->GetError(), 0);
}

TEST_F(ServiceTest, OpenVolumeAcceptsOnlyTheUpperCaseRootOfAMappedDrive) {
    platform::SetDriveRoot(u'K', "");
    platform::SetDriveRoot(u'M', dir.path() + "/missing");
    const struct {
        const char16_t* root;
        bool accepted;
    } cases[] = {
        {u"S:\\", true}, {u"s:\\", false}, {u"S:", false},   {u"S:\\x", false},  {u"", false},
        {u"S:/", false}, {u"K:\\", false}, {u"M:\\", false}, {u"\\S:\\", false},
    };
    TVolume v = svc->NewVolume();
    for (const auto& c : cases)
        EXPECT_EQ(svc->OpenVolume(v, c.root) != 0, c.accepted)
            << std::string(c.root, c.root + UndelTextLength(c.root));
    // A volume that failed to open has no snapshot.
    TVolume closed = svc->NewVolume();
    EXPECT_FALSE(svc->OpenVolume(closed, u"K:\\"));
    EXPECT_EQ(svc->NewSnapshot(closed), nullptr);
    svc->FreeVolume(closed);
    svc->FreeVolume(v);
    platform::SetDriveRoot(u'M', "");
}

// The names a Linux file system allows and Windows would not, each mapping back to its bytes.
const std::vector<std::string>& hostileNames() {
    static const std::vector<std::string> names = {
        " leading blank",
        "trailing blank ",
        "  ",
        "tab\tinside",
        "line\nbreak",
        "\x01\x1f"
        "ctl",
        "back\\slash",
        "\\",
        "bad\xff"
        "byte",
        "lone\xc3",
        "overlong\xc0\xaf",
        "surrogate\xed\xa0\x80",
        "real\xef\x81\x9c"
        "f05c",
        "caf\xc3\xa9",
        "emoji\xf0\x9f\x98\x80",
        std::string(255, 'n'),
        "Foo",
        "FOO",
        "comma,\"quote\"",
        "{All Deleted Files}x",
    };
    return names;
}

TEST_F(ServiceTest, HostileNamesAndShapesMapBackToExactlyTheirNativeEntries) {
    std::map<std::string, size_t> files; // native name -> size
    size_t size = 1;
    for (const std::string& name : hostileNames()) {
        testtree::writeFile(dir / name, size);
        files[name] = size++;
    }
    testtree::makeDir(dir / "sub");
    testtree::writeFile(dir / "sub/inner", 4000);
    ASSERT_EQ(::link((dir / "sub/inner").c_str(), (dir / "hardlink").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (dir / "link-to-folder").c_str()), 0);
    ASSERT_EQ(::symlink("sub/inner", (dir / "link-to-file").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
    ASSERT_EQ(::symlink("loop-b", (dir / "loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", (dir / "loop-b").c_str()), 0);
    ASSERT_EQ(::symlink("..", (dir / "sub/up").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = dir / "socket";
    ASSERT_LT(sockPath.size(), sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, sockPath.c_str(), sockPath.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);

    CallbackLog log;
    const auto graph = snapshotOf(svc, log);
    ::close(sock);
    expectSoundProgress(log);

    for (const auto& [name, bytes] : files) {
        const std::u16string display = u16(name);
        // The service's own name codec gives exactly the platform layer's display names.
        EXPECT_EQ(QString::fromStdU16String(display), platform::DisplayName(name));
        const auto it = graph.find(display);
        ASSERT_NE(it, graph.end()) << name;
        EXPECT_FALSE(it->second.isDir);
        EXPECT_EQ(it->second.size, static_cast<int64_t>(bytes)) << name;
        EXPECT_EQ(it->second.attr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), 0u);
        // Back from the name the program shows to the very file.
        const QString win =
            QString(QChar(kLetter)) + QStringLiteral(":\\") + QString::fromStdU16String(display);
        const std::string native = platform::NativePath(win);
        EXPECT_EQ(native, dir / name);
        struct stat st {};
        ASSERT_EQ(::lstat(native.c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_size, static_cast<off_t>(bytes));
        EXPECT_EQ(
            it->second.writeTime,
            service::WindowsFileTime(st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec)));
    }
    EXPECT_NE(graph.count(u"Foo"), 0u);
    EXPECT_NE(graph.count(u"FOO"), 0u);

    const struct {
        const char16_t* path;
        bool isDir;
        uint32_t attr;
        bool hasStream;
        int64_t size;
        bool walked;
    } shapes[] = {
        {u"sub", true, FILE_ATTRIBUTE_DIRECTORY, false, 0, true},
        {u"sub\\inner", false, 0, true, 4000, false},
        {u"hardlink", false, 0, true, 4000, false}, // hard links: listed under every name
        {u"link-to-folder", true, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, false, 0,
         false},
        {u"link-to-file", false, FILE_ATTRIBUTE_REPARSE_POINT, false, 0, false},
        {u"dangling", false, FILE_ATTRIBUTE_REPARSE_POINT, false, 0, false},
        {u"loop-a", false, FILE_ATTRIBUTE_REPARSE_POINT, false, 0, false},
        {u"sub\\up", true, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, false, 0,
         false},
        {u"fifo", false, 0, true, 0, false},
        {u"socket", false, 0, true, 0, false},
    };
    for (const auto& s : shapes) {
        const auto it = graph.find(s.path);
        ASSERT_NE(it, graph.end()) << QString::fromUtf16(s.path).toStdString();
        const Entry& e = it->second;
        EXPECT_EQ(e.isDir, s.isDir);
        EXPECT_EQ(e.attr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), s.attr);
        EXPECT_EQ(e.hasStream, s.hasStream);
        EXPECT_EQ(e.size, s.size);
        EXPECT_EQ(e.hasItems, s.walked) << "links and mount points are never followed";
        EXPECT_EQ(e.flags, 0u);
    }
    EXPECT_EQ(graph.size(), files.size() + 11); // nothing more: no entry was reached twice
}

TEST_F(ServiceTest, NestingFarBeyondPathMaxIsWalkedAndEveryPathLeadsBack) {
    const std::string segment(60, 'd');
    const int depth = 2 * PATH_MAX / 61; // about 8,000 bytes of path
    int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdirat(fd, segment.c_str(), 0755), 0);
        const int next = ::openat(fd, segment.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    testtree::writeFileAt(fd, "deepest", 77);
    ::close(fd);

    // Through the engine, as the program analyses it.
    platform::SetProgramFolder(platform::WindowsPath(programFolderNative()));
    analysis::TAnalysisTree tree;
    analysis::TOrbisca engine(&tree);
    ASSERT_NE(engine.Undeleter, nullptr);
    engine.DO_Drive(QStringLiteral("S:\\"));
    EXPECT_EQ(engine.TotalSize(), 77);
    EXPECT_EQ(engine.TotalFiles(), 1u);
    EXPECT_EQ(tree.FolderCount(tree.GetFirst()), static_cast<uint32_t>(depth));
    analysis::PNode file = analysis::PNode::None;
    for (auto n = tree.GetFirst(); n != analysis::PNode::None; n = tree.GetNext(n))
        if (!tree.IsFolder(n))
            file = n;
    ASSERT_NE(file, analysis::PNode::None);
    const std::string native = platform::NativePath(tree.Path(file));
    EXPECT_GT(native.size(), static_cast<size_t>(PATH_MAX));
    // Follow the native path component by component: it reaches the file of 77 bytes.
    int at = AT_FDCWD;
    std::string rest = native;
    struct stat st {};
    for (size_t slash; (slash = rest.find('/', 1)) != std::string::npos;) {
        const std::string part = rest.substr(0, slash);
        const int next = ::openat(at, part.empty() ? "/" : part.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(next, 0) << part;
        if (at != AT_FDCWD)
            ::close(at);
        at = next;
        rest = rest.substr(slash + 1);
    }
    ASSERT_EQ(::fstatat(at, rest.c_str(), &st, AT_SYMLINK_NOFOLLOW), 0);
    EXPECT_EQ(st.st_size, 77);
    ::close(at);
}

TEST_F(ServiceTest, AFolderOfOneHundredThousandEntries) {
    // In memory where there is a tmpfs: creating the files is the slow part of this test.
    struct stat shm {};
    TempDir big(::stat("/dev/shm", &shm) == 0 && ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                                                 : nullptr);
    platform::SetDriveRoot(kLetter, big.path());
    const int fd = ::open(big.path().c_str(), O_RDONLY | O_DIRECTORY);
    constexpr int kCount = 100000;
    char name[16];
    for (int i = 0; i < kCount; ++i) {
        std::snprintf(name, sizeof name, "f%06d", i);
        testtree::writeFileAt(fd, name, static_cast<size_t>(i % 3));
    }
    ::close(fd);
    CallbackLog log;
    const auto graph = snapshotOf(svc, log);
    expectSoundProgress(log);
    ASSERT_EQ(graph.size(), static_cast<size_t>(kCount));
    int64_t sum = 0;
    for (const auto& [path, e] : graph)
        sum += e.size;
    EXPECT_EQ(sum, static_cast<int64_t>(kCount / 3) * 3); // 0+1+2 per three files
    EXPECT_EQ(graph.begin()->first, u"f000000");
    EXPECT_EQ(graph.rbegin()->first, u"f099999");
}

// The identity of every item analysed through the service: each node's inode is what lstat
// gives for its entry (a hard link's under both names, a link's own, the root's), the tree's
// device the volume's, and nodes keep theirs when others leave the tree. The records handed
// out are checked as well: an address inside the snapshot but not of a record gets no answer
// that could be mistaken for one, an address outside it none at all.
TEST_F(ServiceTest, EveryNodeKeepsTheIdentityOfItsItem) {
    testtree::makeDir(dir / "a");
    testtree::writeFile(dir / "a/f1", 10);
    testtree::makeDir(dir / "a/b");
    testtree::writeFile(dir / "a/b/f2", 20);
    testtree::writeFile(dir / "top", 1);
    ASSERT_EQ(::link((dir / "top").c_str(), (dir / "a/hard").c_str()), 0);
    ASSERT_EQ(::symlink("a", (dir / "dirlink").c_str()), 0);
    ASSERT_EQ(::symlink("top", (dir / "filelink").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    testtree::makeDir(dir / "empty");
    platform::SetProgramFolder(platform::WindowsPath(programFolderNative()));
    analysis::TAnalysisTree tree;
    analysis::TOrbisca engine(&tree);
    ASSERT_NE(engine.Undeleter, nullptr);
    engine.DO_Drive(QStringLiteral("S:\\"));
    ASSERT_TRUE(engine.ScanVerdict().IsComplete());
    struct stat volume {};
    ASSERT_EQ(::lstat(dir.path().c_str(), &volume), 0);
    EXPECT_EQ(tree.Device(), static_cast<uint64_t>(volume.st_dev));

    // Checks every node against its entry; returns how many there are.
    const auto checkAll = [&] {
        size_t nodes = 0;
        for (analysis::PNode n = tree.GetFirst(); n != analysis::PNode::None; n = tree.GetNext(n)) {
            const std::string rel = tree.Path(n).mid(3).replace(u'\\', u'/').toStdString();
            const std::string native = rel.empty() ? dir.path() : dir / rel;
            struct stat st {};
            EXPECT_EQ(::lstat(native.c_str(), &st), 0) << native;
            EXPECT_EQ(tree.Inode(n), static_cast<uint64_t>(st.st_ino)) << native;
            ++nodes;
        }
        return nodes;
    };
    EXPECT_EQ(checkAll(), 10u); // all but the link to a folder, which counts without a node
    const auto node = [&](bool folder, const char* path) {
        return engine.FindNodeForThis(folder ? 1 : 0, QString::fromUtf8(path));
    };
    EXPECT_EQ(tree.Inode(node(false, "S:\\a\\hard")), tree.Inode(node(false, "S:\\top")));
    ASSERT_TRUE(tree.DeleteNode(node(false, "S:\\filelink")));
    EXPECT_EQ(tree.DeleteNodes({node(true, "S:\\a\\b"), node(false, "S:\\fifo")}), 2u);
    EXPECT_EQ(checkAll(), 6u);
    EXPECT_EQ(tree.Device(), static_cast<uint64_t>(volume.st_dev));

    // The export itself, on a snapshot of the same drive.
    const auto recordId =
        reinterpret_cast<TUndeleteDLLGetRecordId>(::dlsym(svc.handle(), "UndeleteDLLGetRecordId"));
    TVolume v = svc->NewVolume();
    ASSERT_TRUE(svc->OpenVolume(v, u"S:\\"));
    TSnapshot snap = svc->NewSnapshot(v);
    TFILE_RECORD* root = nullptr;
    ASSERT_TRUE(svc->UpdateSnapshot(snap, 13, &root, nullptr, 0, nullptr));
    uint64_t device = 0, inode = 0;
    EXPECT_TRUE(recordId(snap, root, &device, &inode));
    EXPECT_EQ(device, static_cast<uint64_t>(volume.st_dev));
    EXPECT_EQ(inode, static_cast<uint64_t>(volume.st_ino));
    TFILE_RECORD outside{};
    EXPECT_FALSE(recordId(snap, &outside, &device, &inode));
    EXPECT_EQ(device, 0u);
    EXPECT_EQ(inode, 0u);
    EXPECT_FALSE(recordId(snap, reinterpret_cast<TFILE_RECORD*>(8), &device, &inode));
    svc->FreeSnapshot(snap);
    svc->CloseVolume(v);
    svc->FreeVolume(v);
}

// --- The walker itself (linked in), with a hook that changes the tree under it --------------

struct HookActions {
    int sleepMicros = 0;
};

void hook(int, const char*, void* context) {
    auto* a = static_cast<HookActions*>(context);
    if (a->sleepMicros)
        std::this_thread::sleep_for(std::chrono::microseconds(a->sleepMicros));
}

struct HookScope {
    explicit HookScope(HookActions& a) { service::SetEntryHookForTesting(hook, &a); }
    ~HookScope() { service::SetEntryHookForTesting(nullptr, nullptr); }
};

// What a walk sees of a folder that vanishes: "victim" among a file and two other folders.
void makeVanishTree(const TempDir& dir, int victimFiles) {
    testtree::writeFile(dir / "file", 5);
    testtree::makeDir(dir / "victim");
    for (int i = 0; i < victimFiles; ++i)
        testtree::writeFile(dir / ("victim/in" + std::to_string(i)), 1);
    for (const char* other : {"other1", "other2"}) {
        testtree::makeDir(dir / other);
        testtree::writeFile(dir / other + "/x", 1);
    }
}

// Entries changed between the listing of their folder and their reading. A file deleted before
// it is examined is left out (flagged gone). A folder moved, replaced or deleted before it is
// read — by name before it is examined, or after, before it is opened, or in its place a file,
// a link or another folder — stays a folder without contents, flagged unreadable, counted and
// named: what it held may be nowhere else in the snapshot. The rest of the walk is untouched.
TEST(Walker, EntriesChangedDuringTheWalk) {
    using vanish::How;
    using vanish::When;
    struct Case {
        const char* label;
        const char* entry;
        When when;
        How how;
        uint32_t flags;
        bool isDir;
    };
    const Case cases[] = {
        {"file deleted before examined", "file", When::BeforeExamined, How::Remove,
         UNDEL_FLAG_GONE, false},
        {"folder renamed before examined", "victim", When::BeforeExamined, How::Rename,
         UNDEL_FLAG_UNREADABLE, true},
        {"folder renamed before read", "victim", When::AfterExamined, How::Rename,
         UNDEL_FLAG_UNREADABLE, true},
        {"folder replaced by a file", "victim", When::AfterExamined, How::ReplaceByFile,
         UNDEL_FLAG_UNREADABLE, true},
        {"folder replaced by a link", "victim", When::AfterExamined, How::ReplaceByLink,
         UNDEL_FLAG_UNREADABLE, true},
        {"folder swapped with another", "victim", When::AfterExamined, How::Swap,
         UNDEL_FLAG_UNREADABLE, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        makeVanishTree(dir, 3);
        TempDir elsewhere; // beyond the walk, on the same file system
        testtree::makeDir(elsewhere / "x");
        testtree::writeFile(elsewhere / "x/in0", 1);
        vanish::Plan plan;
        plan.name = c.entry;
        plan.when = c.when;
        plan.how = c.how;
        plan.outside = elsewhere / "x";
        service::SetEntryHookForTesting(&vanish::hook, &plan);
        std::vector<std::u16string> lines;
        service::WalkEvents events;
        events.debugLine = [&](const std::u16string& l) { lines.push_back(l); };
        service::WalkOptions options;
        options.threads = 1;
        const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
        service::Snapshot snap;
        EXPECT_TRUE(snap.Build(fd, options, events));
        ::close(fd);
        service::SetEntryHookForTesting(nullptr, nullptr);
        EXPECT_TRUE(plan.done);

        const auto graph = readGraph(snap.Root());
        const std::u16string entry = u16(c.entry);
        ASSERT_EQ(graph.count(entry), 1u);
        const Entry& e = graph.at(entry);
        EXPECT_EQ(e.flags, c.flags);
        EXPECT_EQ(e.isDir, c.isDir);
        EXPECT_FALSE(e.hasItems);
        const bool folder = c.flags & UNDEL_FLAG_UNREADABLE;
        EXPECT_EQ(snap.UnreadableFolders(), folder ? 1u : 0u);
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             u"UpdateSnapshot: folder moved, replaced or deleted before it could "
                             u"be read: C:\\victim"),
                  folder ? 1 : 0);
        for (const std::u16string kept : {u"other1\\x", u"other2\\x", u"file", u"victim"}) {
            if (entry == kept)
                continue;
            ASSERT_EQ(graph.count(kept), 1u);
            EXPECT_EQ(graph.at(kept).flags, 0u);
        }
        EXPECT_EQ(graph.size(), 9u - (folder ? 3u : 0u)); // the folder's three files are missing
    }
}

// The same through the service and the engine: a folder renamed after it was listed, before it
// was read, makes the analysis incomplete, counted and named in the verdict, where it was
// dropped from the totals without a word before.
TEST_F(ServiceTest, AFolderMovedBeforeItIsReadMakesTheAnalysisIncomplete) {
    makeVanishTree(dir, 50);
    const char* const saved = std::getenv("ORBISCA_SERVICE_THREADS");
    const std::string savedValue = saved ? saved : "";
    ::setenv("ORBISCA_SERVICE_THREADS", "1", 1);
    ::setenv("ORBISCA_TEST_VANISH", "after:rename:victim", 1);
    platform::SetProgramFolder(platform::WindowsPath(HOOKED_SERVICE_DIR));
    {
        platform::DebugCapture capture;
        analysis::TAnalysisTree tree;
        analysis::TOrbisca engine(&tree);
        ASSERT_NE(engine.Undeleter, nullptr);
        engine.DO_Drive(QStringLiteral("S:\\"));
        const analysis::TScanVerdict& v = engine.ScanVerdict();
        EXPECT_FALSE(v.IsComplete());
        EXPECT_FALSE(v.CutShort);
        EXPECT_FALSE(v.Stopped);
        EXPECT_EQ(v.UnreadableFolders, 1u);
        EXPECT_EQ(v.UnreadableSamples, QStringList{"S:\\victim"});
        EXPECT_EQ(engine.TotalFiles(), 3u);
        EXPECT_TRUE(capture.contains(QStringLiteral(
            "folder moved, replaced or deleted before it could be read: S:\\victim")));
    }
    ::unsetenv("ORBISCA_TEST_VANISH");
    if (saved)
        ::setenv("ORBISCA_SERVICE_THREADS", savedValue.c_str(), 1);
    else
        ::unsetenv("ORBISCA_SERVICE_THREADS");
    EXPECT_EQ(testtree::countEntries(dir / "victim.moved"), 50);
}

void makeWideTree(const TempDir& dir, int folders, int filesEach) {
    for (int d = 0; d < folders; ++d) {
        const std::string folder = dir / ("d" + std::to_string(d));
        testtree::makeDir(folder);
        for (int f = 0; f < filesEach; ++f)
            testtree::writeFile(folder + "/f" + std::to_string(f), 1);
    }
}

TEST(Walker, KeepAliveProgressAndStopOnTheCallingThread) {
    TempDir dir;
    makeWideTree(dir, 40, 50); // 2,040 entries, each made slow to examine
    HookActions actions;
    actions.sleepMicros = 1000;
    HookScope scope(actions);
    const int descriptors = testtree::openDescriptors();
    const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    const auto caller = std::this_thread::get_id();

    // A full walk: keep-alive at least every 50 ms, progress monotone up to 1100.
    CallbackLog log;
    service::WalkEvents events;
    events.keepAlive = [&] {
        return recordCallback(0, nullptr, 0, reinterpret_cast<uintptr_t>(&log)) != 0;
    };
    events.progress = [&](int32_t p) {
        recordCallback(2, nullptr, p, reinterpret_cast<uintptr_t>(&log));
    };
    service::WalkOptions options;
    options.threads = 4;
    service::Snapshot snap;
    EXPECT_TRUE(snap.Build(fd, options, events));
    expectSoundProgress(log);
    EXPECT_GT(log.zeros, 5);
    EXPECT_LE(log.maxGap0Ms, 50.0);
    EXPECT_EQ(readGraph(snap.Root()).size(), 2040u);
    EXPECT_GT(std::set<int32_t>(log.progress.begin(), log.progress.end()).size(), 3u)
        << "progress should move during the walk, not jump at its end";

    // Stop at the third keep-alive: the walk ends within 100 ms and leaves a partial graph.
    CallbackLog stopLog;
    stopLog.stopAfter = 2;
    std::chrono::steady_clock::time_point answered{};
    events.keepAlive = [&] {
        const bool stop = recordCallback(0, nullptr, 0, reinterpret_cast<uintptr_t>(&stopLog)) != 0;
        if (stop && answered == std::chrono::steady_clock::time_point{})
            answered = std::chrono::steady_clock::now();
        return stop;
    };
    events.progress = [&](int32_t p) {
        recordCallback(2, nullptr, p, reinterpret_cast<uintptr_t>(&stopLog));
    };
    EXPECT_FALSE(snap.Build(fd, options, events));
    const double stopMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - answered)
            .count();
    EXPECT_LT(stopMs, 100.0);
    const size_t partial = readGraph(snap.Root()).size();
    EXPECT_LT(partial, 2040u);
    EXPECT_EQ(stopLog.progress.back(), 1100);
    EXPECT_EQ(std::this_thread::get_id(), caller);
    ::close(fd);
    EXPECT_EQ(testtree::openDescriptors(), descriptors) << "a folder descriptor was left open";
}

// The workers for the disk join only once the walk reads it. The count of bytes read is faked:
// "cold" reads grow at every look, "warm" ones never do. The first entry waits until the walk
// has looked twice (at its start and on its first round), so the decision is made while the walk
// is still under way; a walk with a number of workers given does not look at all.
namespace diskreads {
std::atomic<int> looks{0};
std::atomic<bool> cold{false};
uint64_t fake() {
    const int n = ++looks;
    return cold ? uint64_t(n) * (64u << 20) : 0;
}
void waitForTwoLooks(int, const char*, void* first) {
    if (static_cast<std::atomic<bool>*>(first)->exchange(false)) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (looks < 2 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Slow entries: the walk goes on for rounds after the decision, time for workers to join.
    std::this_thread::sleep_for(std::chrono::microseconds(500));
}
} // namespace diskreads

TEST(Walker, WorkersForTheDiskJoinOnlyWhenTheWalkReadsIt) {
    TempDir dir;
    makeWideTree(dir, 20, 20);
    const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    const char* const saved = std::getenv("ORBISCA_SERVICE_THREADS");
    const std::string savedValue = saved ? saved : "";
    service::SetDiskReadsForTesting(&diskreads::fake);
    // The number of workers the walk ran, from its closing debug line.
    const auto workersOfAWalk = [&](bool cold, const char* environment) {
        const bool looks = environment == nullptr;
        if (environment)
            ::setenv("ORBISCA_SERVICE_THREADS", environment, 1);
        else
            ::unsetenv("ORBISCA_SERVICE_THREADS");
        diskreads::looks = 0;
        diskreads::cold = cold;
        std::atomic<bool> first{looks};
        service::SetEntryHookForTesting(&diskreads::waitForTwoLooks, &first);
        int workers = -1;
        service::WalkEvents events;
        events.debugLine = [&](const std::u16string& line) {
            const std::string text = QString::fromStdU16String(line).toStdString();
            const size_t at = text.find(" workers");
            if (at != std::string::npos)
                workers = std::atoi(text.c_str() + text.rfind(' ', at - 1) + 1);
        };
        service::Snapshot snap;
        EXPECT_TRUE(snap.Build(fd, {}, events));
        EXPECT_EQ(readGraph(snap.Root()).size(), 420u);
        service::SetEntryHookForTesting(nullptr, nullptr);
        return workers;
    };
    const int warm = workersOfAWalk(false, nullptr);
    const int cold = workersOfAWalk(true, nullptr);
    EXPECT_GE(warm, 4);
    EXPECT_EQ(cold, std::max(warm, 16));
    EXPECT_EQ(workersOfAWalk(true, "3"), 3); // a number given is kept
    service::SetDiskReadsForTesting(nullptr);
    if (saved)
        ::setenv("ORBISCA_SERVICE_THREADS", savedValue.c_str(), 1);
    else
        ::unsetenv("ORBISCA_SERVICE_THREADS");
    ::close(fd);
}

TEST(Walker, UsedUpRecordMemoryEndsWithAPartialGraphAndADiagnostic) {
    TempDir dir;
    // About 300 KiB of records (long names) for an arena of two chunks: the root record takes
    // one, the first worker the other.
    for (int d = 0; d < 6; ++d) {
        const std::string folder = dir / ("d" + std::to_string(d));
        testtree::makeDir(folder);
        for (int f = 0; f < 100; ++f)
            testtree::writeFile(folder + "/" + std::string(195, 'x') + std::to_string(f), 1);
    }
    const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    std::vector<std::u16string> lines;
    service::WalkEvents events;
    events.debugLine = [&](const std::u16string& l) { lines.push_back(l); };
    service::WalkOptions options;
    options.arenaBytes = 2 * service::ArenaCursor::kChunkBytes;
    service::Snapshot snap;
    EXPECT_FALSE(snap.Build(fd, options, events));
    ::close(fd);
    ASSERT_NE(snap.Root(), nullptr);
    const size_t listed = readGraph(snap.Root()).size();
    EXPECT_GT(listed, 0u);
    EXPECT_LT(listed, 606u);
    EXPECT_FALSE(snap.Stopped());
    EXPECT_NE(snap.CutShortReason().find(u"the snapshot's record memory of 0.5 MiB was used up"),
              std::u16string::npos)
        << QString::fromStdU16String(snap.CutShortReason()).toStdString();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        u"UpdateSnapshot: the snapshot is incomplete: " + snap.CutShortReason()),
              lines.end());
}

// Folders that cannot be read: empty or partial folder records, flagged, counted in the verdict
// and named in a debug line. A folder listed but not searchable (0644) keeps its entries with the
// types the listing gives. Permission checks do not apply to root, so the walk runs in a child
// process with the rights of nobody.
TEST_F(ServiceTest, FoldersThatCannotBeReadAreFlaggedCountedAndNamed) {
    testtree::makeDir(dir / "locked");
    testtree::writeFile(dir / "locked/secret", 5);
    testtree::makeDir(dir / "listed");
    testtree::writeFile(dir / "listed/file", 7);
    testtree::makeDir(dir / "listed/sub");
    testtree::writeFile(dir / "listed/sub/deeper", 9);
    testtree::writeFile(dir / "open", 3);
    ASSERT_EQ(::chmod((dir / "locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod((dir / "listed").c_str(), 0644), 0);
    platform::SetProgramFolder(platform::WindowsPath(programFolderNative()));

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The service is loaded first: the build folder need not be readable for nobody.
        platform::DebugCapture capture;
        analysis::TAnalysisTree tree;
        analysis::TOrbisca engine(&tree);
        if (!engine.Undeleter)
            ::_exit(11);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        engine.DO_Drive(QStringLiteral("S:\\"));
        const auto locked = engine.FindNodeForThis(1, QStringLiteral("S:\\locked"));
        const auto sub = engine.FindNodeForThis(1, QStringLiteral("S:\\listed\\sub"));
        const auto file = engine.FindNodeForThis(0, QStringLiteral("S:\\listed\\file"));
        if (locked == analysis::PNode::None || sub == analysis::PNode::None ||
            file == analysis::PNode::None)
            ::_exit(12);
        if (tree.GetFirstChild(locked) != analysis::PNode::None ||
            tree.GetFirstChild(sub) != analysis::PNode::None || tree.Size(file) != 0)
            ::_exit(13);
        if (engine.TotalSize() != 3 || engine.TotalFiles() != 2)
            ::_exit(14);
        if (!capture.contains(QStringLiteral("folder cannot be read: S:\\locked")) ||
            !capture.contains(QStringLiteral(
                "entries cannot be examined: S:\\listed (2 of 2: Permission denied)")))
            ::_exit(15);
        const analysis::TScanVerdict& v = engine.ScanVerdict();
        QStringList samples = v.UnreadableSamples;
        samples.sort();
        if (v.CutShort || v.Stopped || v.UnreadableFolders != 3 ||
            samples != QStringList{"S:\\listed", "S:\\listed\\sub", "S:\\locked"})
            ::_exit(16);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10 no rights change, 11 no service, 12 missing node, "
                                         "13 contents or size where none can be known, 14 wrong "
                                         "totals, 15 no debug line, 16 wrong verdict";
    ::chmod((dir / "locked").c_str(), 0755);
    ::chmod((dir / "listed").c_str(), 0755);
}

// A walk within a limit of open files far below the depth of the tree: every folder is read,
// folders are reopened as needed, and no descriptor is left open. In a child process, whose
// limit the test may lower.
TEST(Walker, ATreeDeeperThanTheLimitOfOpenFilesIsReadWhole) {
    struct stat shm {};
    TempDir dir(::stat("/dev/shm", &shm) == 0 && ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                                                 : nullptr);
    constexpr int kDepth = 2000;
    int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < kDepth; ++level) {
        ASSERT_EQ(::mkdirat(fd, "empty", 0755), 0);
        testtree::writeFileAt(fd, "f", 1);
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ::close(fd);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int root = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
        const int before = testtree::openDescriptors();
        const rlimit lim{static_cast<rlim_t>(before + 24), static_cast<rlim_t>(before + 24)};
        if (::setrlimit(RLIMIT_NOFILE, &lim) != 0)
            ::_exit(10);
        service::WalkOptions options;
        options.threads = 4;
        service::Snapshot snap;
        if (!snap.Build(root, options, {}))
            ::_exit(11);
        const auto graph = readGraph(snap.Root());
        size_t files = 0, folders = 0;
        for (const auto& [path, e] : graph)
            (e.isDir ? folders : files) += 1;
        if (files != kDepth || folders != 2 * kDepth || snap.UnreadableFolders() != 0)
            ::_exit(12);
        if (snap.ReopenedFolders() == 0)
            ::_exit(13);
        if (testtree::openDescriptors() != before)
            ::_exit(14);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    testtree::removeDeepTree(dir / "d");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10 no limit, 11 incomplete, 12 entries missing, "
                                         "13 the limit never bit, 14 a descriptor was left open";
}

// Under a limit of the address space the records get a smaller reservation, and a snapshot that
// outgrows even that says so.
TEST(Walker, ASmallerReservationUnderAnAddressSpaceLimitAndItsReason) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than any such limit";
#else
    struct stat shm {};
    TempDir dir(::stat("/dev/shm", &shm) == 0 && ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                                                 : nullptr);
    // About 12 MiB of records: long names.
    for (int d = 0; d < 30; ++d) {
        const std::string folder = dir / ("d" + std::to_string(d));
        testtree::makeDir(folder);
        for (int f = 0; f < 1000; ++f)
            testtree::writeFile(folder + "/" + std::string(150, 'x') + std::to_string(f), 1);
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int root = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
        size_t pages = 0;
        if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%zu", &pages) != 1)
                pages = 0;
            std::fclose(f);
        }
        const rlim_t mapped =
            static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
        const rlimit space{mapped + (16 << 20), mapped + (16 << 20)};
        if (pages == 0 || ::setrlimit(RLIMIT_AS, &space) != 0)
            ::_exit(10);
        service::WalkOptions options;
        options.threads = 1;
        service::Snapshot snap;
        if (snap.Build(root, options, {}))
            ::_exit(11);
        const std::u16string& reason = snap.CutShortReason();
        if (reason.find(u"the snapshot's record memory was used up after ") != 0 ||
            reason.find(u" of the 2048.0 MiB wanted could be reserved (the process's address space "
                        u"is limited)") == std::u16string::npos)
            ::_exit(12);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "10 no limit, 11 the snapshot did not run out, 12 another reason";
#endif
}

} // namespace

int main(int argc, char** argv) {
    // Only the letters the tests set: no user configuration.
    ::setenv("ORBISCA_SUBST_FILE", "/nonexistent", 1);
    ::unsetenv("ORBISCA_SUBST");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
