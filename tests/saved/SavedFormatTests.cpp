// Our format of a saved analysis: a scan written and read back is the same analysis node by node,
// hand-built trees keep every value (totals that are no sums, saturated sizes, verdicts), and a
// file that is not whole, not ours or of a newer version is refused with a reason.

#include "SavedTestSupport.h"

#include "saved/ByteCoding.h"
#include "saved/SavedFormat.h"

#include <zlib.h>

#include <cstring>
#include <functional>

using namespace savedtest;
using testtree::TempDir;

namespace {

std::string saveToBytes(const TAnalysisTree& tree, const analysis::TAnalysisSummary& summary) {
    TempDir dir;
    TempFile file(dir);
    QString error;
    saved::TSavedHeader header = saved::HeaderForSaving(tree, summary);
    EXPECT_TRUE(saved::WriteSaved(file.fd, header, tree, &error)) << error.toStdString();
    return file.Contents();
}

bool loadFromBytes(const std::string& bytes, TAnalysisTree& tree, saved::TSavedHeader& header,
                   QString& error) {
    TempDir dir;
    TempFile file(dir);
    file.Replace(bytes);
    return saved::ReadSaved(file.fd, tree, &header, &error);
}

} // namespace

TEST(SavedFormat, AScanSavedAndLoadedIsTheSameAnalysisNodeByNode) {
    TempDir dir;
    makeAwkwardTree(dir);
    Scan scan(dir.path(), u'S');
    ASSERT_GT(scan.tree.NodeCount(), 100u);
    ASSERT_TRUE(scan.engine->ScanVerdict().IsComplete());
    const analysis::TAnalysisSummary summary = scan.engine->Summary();

    // What the fixture brings: names the tree trims, folder entries that are no nodes (the link
    // to a folder), identities.
    bool trimmed = false;
    for (PNode n = scan.tree.GetFirst(); n != PNode::None; n = scan.tree.GetNext(n))
        trimmed |= !scan.tree.ListedName(n).isEmpty();
    ASSERT_TRUE(trimmed);
    ASSERT_NE(scan.tree.Device(), 0u);
    ASSERT_NE(scan.tree.Inode(scan.tree.GetFirst()), 0u);

    const saved::TSavedHeader written = saved::HeaderForSaving(scan.tree, summary);
    EXPECT_EQ(written.Summary.Origin.Root, dir.path());
    EXPECT_EQ(written.Summary.Origin.FileSystem.device, scan.tree.Device());
    EXPECT_FALSE(written.Summary.Origin.FileSystem.mountPoint.empty());
    EXPECT_EQ(written.Summary.Origin.Source, "scan");

    TempDir out;
    TempFile file(out, "x.orbisca");
    QString error;
    ASSERT_TRUE(saved::WriteSaved(file.fd, written, scan.tree, &error)) << error.toStdString();

    TAnalysisTree loaded;
    saved::TSavedHeader read;
    ASSERT_TRUE(saved::ReadSaved(file.fd, loaded, &read, &error)) << error.toStdString();
    expectSameTree(scan.tree, loaded);
    expectSameSummary(summary, read.Summary);
    EXPECT_EQ(read.Summary.Origin.Started, summary.Origin.Started);
    EXPECT_EQ(read.Summary.Origin.Ended, summary.Origin.Ended);
    EXPECT_EQ(read.Summary.Origin.Root, dir.path());
    EXPECT_EQ(read.Summary.Origin.FileSystem, written.Summary.Origin.FileSystem);
    EXPECT_TRUE(read.Summary.Origin.Program.startsWith("Zelvano Orbisca 2024"));
    EXPECT_EQ(read.Entries, scan.tree.NodeCount());

    // The header alone says the same, for listing.
    saved::TSavedHeader headerOnly;
    ASSERT_TRUE(saved::ReadSavedHeader(file.fd, &headerOnly, &error));
    expectSameSummary(read.Summary, headerOnly.Summary);
    EXPECT_EQ(headerOnly.Entries, read.Entries);

    // An engine given the loaded tree holds what the scanning engine holds, without a service.
    platform::SetMessageBoxHandler([](const QString&, const QString&, unsigned) { return 1; });
    platform::SetProgramFolder(QStringLiteral("C:\\nonexistent-program-folder"));
    analysis::TOrbisca engine(&loaded);
    platform::SetMessageBoxHandler({});
    analysis::TAnalysisSummary adopted = read.Summary;
    adopted.Origin.Loaded = true;
    adopted.Origin.File = file.path;
    engine.AdoptAnalysis(adopted);
    expectSameSummary(engine.Summary(), summary);
    EXPECT_TRUE(engine.Origin().Loaded);
    EXPECT_EQ(engine.Origin().File, file.path);
    EXPECT_EQ(engine.RootNode(), loaded.GetFirst());
    const QString someFile = QStringLiteral("S:\\sub\\inner");
    const PNode a = scan.engine->FindNodeForThis(0, someFile);
    const PNode b = engine.FindNodeForThis(0, someFile);
    ASSERT_NE(b, PNode::None);
    EXPECT_EQ(loaded.Inode(b), scan.tree.Inode(a));
}

// Trees no scan of a quiet disk makes, with every value kept as it was.
TEST(SavedFormat, HandBuiltAnalysesKeepEveryValue) {
    struct Case {
        const char* what;
        std::function<void(TAnalysisTree&, analysis::TAnalysisSummary&)> build;
    };
    const auto drive = [](TAnalysisTree& t) { return t.AddTopFolder(u"Q:\\"); };
    const Case cases[] = {
        {"sizes that saturate and totals that are no sums",
         [&](TAnalysisTree& t, analysis::TAnalysisSummary& s) {
             const PNode top = drive(t);
             const PNode a = t.AddFolder(top, u"a");
             t.AddFile(a, u"huge1", INT64_MAX);
             t.AddFile(a, u"huge2", INT64_MAX);
             t.SetSize(a, INT64_MAX);
             t.SetFileCount(a, 2);
             const PNode m = t.AddFolder(top, u"with mount points");
             t.SetFolderCount(m, 3); // three folder entries, none of them nodes
             t.SetSize(top, -5);     // a tree changed by hand
             t.SetFolderCount(top, 4000000000u);
             t.SetFileCount(top, 1);
             s.TotalSize = 17;
             s.TotalFiles = 12;
             s.TotalFolders = 99;
         }},
        {"a verdict of every kind with names no UTF-8 can carry",
         [&](TAnalysisTree& t, analysis::TAnalysisSummary& s) {
             const PNode top = drive(t);
             t.AddFile(top, u"x", 1);
             t.SetFileCount(top, 1);
             t.SetSize(top, 1);
             s.Verdict.CutShort = true;
             s.Verdict.Stopped = true;
             s.Verdict.Reason = QStringLiteral("record memory used up after 12 entries");
             s.Verdict.UnreadableFolders = 7;
             s.Verdict.UnreadableSamples = {QStringLiteral("Q:\\locked"),
                                            QString::fromUtf16(u"Q:\\bad\xDCFF\xF05C") +
                                                QChar(0xD800)};
         }},
        {"wide and escaped names, identities in any order",
         [&](TAnalysisTree& t, analysis::TAnalysisSummary&) {
             t.SetDevice(0xFFFFFFFFFFFFFFF0ull);
             const PNode top = drive(t);
             t.SetInode(top, 2);
             const PNode f = t.AddFolder(top, u"\u65e5\u672c\u8a9e \xF05C\xDC80");
             t.SetInode(f, 0x8000000000000001ull);
             const PNode g = t.AddFile(f, u" \u00e9t\u00e9\t", 3);
             t.SetInode(g, 1);
             const PNode h = t.AddFile(f, u"\u00e9t\u00e9 suite", 4);
             t.SetInode(h, 0xFFFFFFFFFFFFFFFFull);
             t.AddFile(f, u"no identity", 5);
             for (const PNode n : {f, top}) {
                 t.SetSize(n, 12);
                 t.SetFileCount(n, 3);
             }
             t.SetFolderCount(top, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TAnalysisTree tree;
        analysis::TAnalysisSummary summary;
        summary.Drive = QStringLiteral("Q:\\");
        summary.Origin.Started = QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC);
        summary.Origin.Ended = QDateTime::fromMSecsSinceEpoch(1700000009456, Qt::UTC);
        c.build(tree, summary);
        const std::string bytes = saveToBytes(tree, summary);
        TAnalysisTree loaded;
        saved::TSavedHeader header;
        QString error;
        ASSERT_TRUE(loadFromBytes(bytes, loaded, header, error)) << error.toStdString();
        expectSameTree(tree, loaded);
        expectSameSummary(summary, header.Summary);
        EXPECT_EQ(header.Summary.Origin.Started, summary.Origin.Started);
        EXPECT_EQ(header.Summary.Origin.Ended, summary.Origin.Ended);
    }
}

namespace {

// A small saved analysis and its bytes, for damaging.
std::string smallSavedAnalysis() {
    TAnalysisTree tree;
    const PNode top = tree.AddTopFolder(u"D:\\");
    const PNode a = tree.AddFolder(top, u"folder");
    for (int i = 0; i < 20; ++i)
        tree.SetInode(tree.AddFile(a, u"file" + std::u16string(1, char16_t(u'a' + i)), i * 1000),
                      100 + i);
    tree.SetSize(a, 190000);
    tree.SetFileCount(a, 20);
    tree.SetSize(top, 190000);
    tree.SetFileCount(top, 20);
    tree.SetFolderCount(top, 1);
    analysis::TAnalysisSummary summary;
    summary.Drive = QStringLiteral("D:\\");
    summary.TotalSize = 190000;
    summary.TotalFiles = 20;
    summary.TotalFolders = 2;
    return saveToBytes(tree, summary);
}

// The header's checksum made right again after a change.
void fixHeaderCrc(std::string& bytes) {
    const uint32_t fields =
        saved::bytes::GetU32(reinterpret_cast<const unsigned char*>(bytes.data()) + 12);
    const size_t end = 16 + fields;
    const uint32_t crc = static_cast<uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(end)));
    std::string le;
    saved::bytes::PutU32(le, crc);
    bytes.replace(end, 4, le);
}

} // namespace

TEST(SavedFormat, FilesThatAreNotWholeOrNotOursAreRefusedWithAReason) {
    const std::string good = smallSavedAnalysis();
    {
        TAnalysisTree tree;
        saved::TSavedHeader header;
        QString error;
        ASSERT_TRUE(loadFromBytes(good, tree, header, error)) << error.toStdString();
    }
    std::string newer = good;
    newer[8] = 2; // major version 2
    fixHeaderCrc(newer);
    std::string headerDamaged = good;
    headerDamaged[20] ^= 0x40;
    std::string longer = good + "x";

    const struct {
        const char* what;
        std::string bytes;
        const char* says;
    } cases[] = {
        {"empty", "", "not a saved analysis"},
        {"text", "[1,2,{}]\n", "not a saved analysis"},
        {"a newer major version", newer, "newer version of the program (format 2.0)"},
        {"a damaged header", headerDamaged, "checksum"},
        {"data after the end", longer, "data after its end"},
        {"cut in the header", good.substr(0, 30), "cut off"},
        {"cut in the blocks", good.substr(0, good.size() - 20), "cut off"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TAnalysisTree tree;
        saved::TSavedHeader header;
        QString error;
        EXPECT_FALSE(loadFromBytes(c.bytes, tree, header, error));
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.says))) << error.toStdString();
        EXPECT_TRUE(tree.IsEmpty());
    }

    // Every shorter file and every single changed byte is refused, and nothing is half-read.
    TempDir dir;
    TempFile file(dir);
    for (size_t length = 0; length < good.size(); ++length) {
        file.Replace(good.substr(0, length));
        TAnalysisTree tree;
        saved::TSavedHeader header;
        QString error;
        ASSERT_FALSE(saved::ReadSaved(file.fd, tree, &header, &error)) << length;
        ASSERT_FALSE(error.isEmpty());
        ASSERT_TRUE(tree.IsEmpty());
    }
    for (size_t at = 0; at < good.size(); ++at) {
        std::string bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x5A);
        file.Replace(bad);
        TAnalysisTree tree;
        saved::TSavedHeader header;
        QString error;
        ASSERT_FALSE(saved::ReadSaved(file.fd, tree, &header, &error)) << "byte " << at;
        ASSERT_TRUE(tree.IsEmpty());
    }
}
