// The analyser window's rules that need no window: extensions, extension lists and typed
// filters, the filter and formats walks over a tree, the status summary, the incomplete-result
// sentences, the drives offered and the start-up request.

#include "analysis/Progress.h"
#include "i18n/ProjectMessages.h"
#include "platform/DriveTable.h"
#include "views/AnalyserStart.h"
#include "views/FileFormats.h"
#include "views/FilterRules.h"
#include "views/StatusText.h"

#include <gtest/gtest.h>

#include <limits>

using analysis::PNode;
using analysis::TNodeData;
using namespace views;

namespace {

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

const analysis::NumberFormat kGerman{u',', u'.'};
const analysis::NumberFormat kEnglish{u'.', u','};

TEST(AnalyserRules, ExtensionOfAPath) {
    const std::pair<QString, QString> cases[] = {
        {"C:\\a\\b.txt", "TXT"},
        {"C:\\a\\archive.tar.gz", "GZ"},
        {"C:\\a\\.profile", "PROFILE"}, // a name that begins with a dot
        {"C:\\a\\noext", ""},
        {"C:\\dir.x\\file", ""}, // a dot in a folder is not the file's
        {"C:\\a\\b.", ""},       // a dot in the last place does not count ...
        {"C:\\a\\x.b.", "B."},   // ... so the one before it does
        {"C:\\a\\Mix.Mp3", "MP3"},
        {QString::fromUtf8("C:\\a\\x.\xC3\xA4"
                           "b"),
         QString::fromUtf8("\xC3\xA4"
                           "B")}, // a-z only
        {"name.zip", "ZIP"},      // no backslash: the whole text is the name
        {"", ""},
    };
    for (const auto& [path, ext] : cases)
        EXPECT_EQ(FileExtension(path), ext) << path.toStdString();
}

TEST(AnalyserRules, ExtensionListsAndTypedFilters) {
    const std::pair<QString, QStringList> lists[] = {
        {"MP3 ; OGG ;;WAV ", {"MP3", "OGG", "WAV"}},
        {"  zip;rar;zip", {"ZIP", "RAR", "ZIP"}},    // duplicates stay
        {"*.mp3; 7z", {"*.MP3", "7Z"}},              // "*." is not removed here
        {QStringLiteral("\tdoc\x01;\x02"), {"DOC"}}, // control characters are trimmed
        {" ; ; ", {}},
        {"", {}},
    };
    for (const auto& [text, expected] : lists) {
        QStringList parsed{"stale"};
        Read_Filter_From_Edit(parsed, text);
        EXPECT_EQ(parsed, expected) << text.toStdString();
    }
    EXPECT_EQ(TypedFilterEntry("*.mp3"), "MP3");
    EXPECT_EQ(TypedFilterEntry("mp3;wav"), "MP3;WAV"); // one extension, never split
    EXPECT_EQ(TypedFilterEntry(" mp3 "), " MP3 ");     // nor trimmed
    EXPECT_EQ(TypedFilterEntry(""), "");
    EXPECT_EQ(FilterText({"MP3", ""}), "MP3\r\n\r\n");
    EXPECT_EQ(FilterText({}), "");
}

class Recorder : public analysis::TProgressBar {
public:
    void SetMax(int m) override { max = m; }
    void SetPosition(int p) override {
        last = p;
        ++calls;
    }
    int max = 0, last = -1, calls = 0;
};

// C:\ with files in several groups, a folder whose name looks like a file and a deeper level.
class TreeRules : public ::testing::Test {
protected:
    void SetUp() override {
        root = add(PNode::None, "C:\\", 0, true);
        add(root, "C:\\a.mp4", 1000);
        add(root, "C:\\b.MP3", 500);
        add(root, "C:\\noext", 7);
        add(root, "C:\\.profile", 5);
        const PNode sub = add(root, "C:\\music.mp3", 0, true); // a folder, never a file
        add(sub, "C:\\music.mp3\\c.wav", 250);
        add(sub, "C:\\music.mp3\\both.doc", 40);
    }
    PNode add(PNode parent, const char* path, int64_t size, bool folder = false) {
        TNodeData d;
        d.Path = QString::fromUtf8(path);
        d.Size = size;
        d.IsFolder = folder ? 1 : 0;
        return tree.AddChild(parent, d);
    }
    QStringList visiblePaths() const {
        QStringList out;
        for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n))
            if (tree.IsVisible(n))
                out << tree.Path(n);
        return out;
    }
    analysis::TAnalysisTree tree;
    PNode root = PNode::None;
};

TEST_F(TreeRules, FilterKeepsMatchingFilesOnly) {
    Recorder progress;
    EXPECT_EQ(ApplyExtensionFilter(tree, {"MP3", "WAV"}, &progress), 750);
    EXPECT_EQ(visiblePaths(), QStringList({"C:\\b.MP3", "C:\\music.mp3\\c.wav"}));
    EXPECT_EQ(progress.last, 8); // one step per node, the root included
    // One empty entry keeps exactly the files without an extension.
    EXPECT_EQ(ApplyExtensionFilter(tree, {""}, nullptr), 7);
    EXPECT_EQ(visiblePaths(), QStringList({"C:\\noext"}));
    // No entries: everything visible again, nothing summed.
    EXPECT_EQ(ApplyExtensionFilter(tree, {}, nullptr), 0);
    EXPECT_EQ(visiblePaths().size(), 8);
}

TEST_F(TreeRules, FormatsCountEachFileInItsFirstGroup) {
    std::array<QStringList, kGroupCount> lists;
    lists[GroupIndex(settings::FormatGroupId::Video)] = {"MP4"};
    lists[GroupIndex(settings::FormatGroupId::Audio)] = {"MP3", "WAV"};
    lists[GroupIndex(settings::FormatGroupId::Documents)] = {"DOC"};
    lists[GroupIndex(settings::FormatGroupId::Own)] = {"DOC",
                                                       "PROFILE"}; // DOC is the documents' already
    Recorder progress;
    const TFormatTotals t = AggregateFormats(tree, lists, &progress);
    EXPECT_EQ(t.Count[GroupIndex(settings::FormatGroupId::Video)], 1u);
    EXPECT_EQ(t.Size[GroupIndex(settings::FormatGroupId::Video)], 1000);
    EXPECT_EQ(t.Count[GroupIndex(settings::FormatGroupId::Audio)], 2u);
    EXPECT_EQ(t.Size[GroupIndex(settings::FormatGroupId::Audio)], 750);
    EXPECT_EQ(t.Count[GroupIndex(settings::FormatGroupId::Documents)], 1u);
    EXPECT_EQ(t.Count[GroupIndex(settings::FormatGroupId::Own)], 1u);
    EXPECT_EQ(t.Size[GroupIndex(settings::FormatGroupId::Own)], 5);
    EXPECT_EQ(t.Count[GroupIndex(settings::FormatGroupId::Pictures)], 0u);
    EXPECT_EQ(t.GrandTotal, 1000 + 750 + 40 + 5); // noext counts nowhere
    EXPECT_EQ(progress.last, 8);
    // The walk needs no marks and leaves them alone.
    ApplyExtensionFilter(tree, {"MP4"}, nullptr);
    AggregateFormats(tree, lists, nullptr);
    EXPECT_EQ(visiblePaths(), QStringList({"C:\\a.mp4"}));
}

TEST(AnalyserRules, SumsSaturateInsteadOfWrapping) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(analysis::AddSizes(kMax, 1), kMax);
    EXPECT_EQ(analysis::AddSizes(kMax - 5, 5), kMax);
    EXPECT_EQ(analysis::AddSizes(40, 2), 42);
}

TEST(AnalyserRules, StatusSizeTexts) {
    struct Case {
        int64_t size;
        const char* german;
        const char* english;
    };
    const Case cases[] = {
        {0, "0 Byte", "0 Byte"},
        {1023, "1023 Byte", "1023 Byte"},
        {1024, "1,0 KB", "1.0 KB"},
        {524595, "512,3 KB", "512.3 KB"},
        {1048576, "1,00 MB", "1.00 MB"},            // megabytes with two decimals here
        {1073741823, "1.024,00 MB", "1,024.00 MB"}, // rounds up to four digits
        {1073741824, "1,00 GB", "1.00 GB"},
        {int64_t(3) << 40, "3.072,00 GB", "3,072.00 GB"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StatusSizeText(c.size, kGerman), QString::fromUtf8(c.german)) << c.size;
        EXPECT_EQ(StatusSizeText(c.size, kEnglish), QString::fromUtf8(c.english)) << c.size;
    }
}

TEST(AnalyserRules, SummaryReplacesEachPlaceholderOnceAtItsFirstPlace) {
    EXPECT_EQ(StatusSummary("%1 von %2, %3", 12, 34, 2048, kGerman), "12 von 34, 2,0 KB");
    // Twice: only the first is replaced; a missing %1 leaves the others working.
    EXPECT_EQ(StatusSummary("%2 %2 %3", 1, 2, 0, kGerman), "2 %2 0 Byte");
    EXPECT_EQ(StatusSummary("no counts: %3", 1, 2, 1023, kEnglish), "no counts: 1023 Byte");
    EXPECT_EQ(ReplaceFirstIgnoreCase("x%Ay%a", "%a", "-"), "x-y%a");
}

TEST(AnalyserRules, IncompleteResultsSayWhy) {
    i18n::ResetMessageCatalogue();
    analysis::TScanVerdict v;
    EXPECT_TRUE(IncompleteReasons(v).isEmpty());
    v.Stopped = true;
    EXPECT_EQ(IncompleteReasons(v), i18n::Message(i18n::Msg::MESSAGE_ORB_INCOMPLETE_STOPPED));
    v = {};
    v.CutShort = true;
    v.Reason = "the arena is full <1 GiB>";
    EXPECT_TRUE(IncompleteReasons(v).endsWith("the arena is full &lt;1 GiB&gt;"));
    v = {};
    v.UnreadableFolders = 3;
    v.UnreadableSamples = {"C:\\a&b", "C:\\c"};
    const QString text = IncompleteReasons(v);
    EXPECT_TRUE(text.contains(QStringLiteral(": 3 "))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("C:\\a&amp;b"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("C:\\c")));
    // A deep path is shortened in its middle, keeping where it starts and ends.
    v.UnreadableSamples = {"C:\\" + QString(200, u'x') + "\\last folder"};
    const QString deep = IncompleteReasons(v);
    EXPECT_LT(deep.size(), text.size() + 80);
    EXPECT_TRUE(deep.contains(QChar(0x2026)));
    EXPECT_TRUE(deep.contains("\\last folder"));
}

TEST(AnalyserRules, OfferedDrives) {
    using namespace platform;
    struct Case {
        char16_t letter;
        unsigned type;
        bool sizeRead;
        uint64_t total;
        bool offered;
    };
    const Case cases[] = {
        {u'C', DRIVE_FIXED, true, 100, true},    {u'D', DRIVE_REMOVABLE, true, 1, true},
        {u'A', DRIVE_FIXED, true, 100, false},   {u'a', DRIVE_REMOVABLE, true, 100, false},
        {u'E', DRIVE_REMOTE, true, 100, false},  {u'F', DRIVE_CDROM, true, 100, false},
        {u'G', DRIVE_RAMDISK, true, 100, false}, {u'H', DRIVE_REMOVABLE, true, 0, false},
        {u'I', DRIVE_FIXED, false, 100, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsOfferedDrive(c.letter, c.type, c.sizeRead, c.total), c.offered)
            << char(c.letter);
}

TEST(AnalyserRules, StartRequests) {
    struct Case {
        QStringList args;
        bool analyse;
        QChar drive;
    };
    const Case cases[] = {
        {{}, true, {}},
        {{"-contextdl", "d:\\Fotos"}, true, u'D'},
        {{"-CONTEXTDL", "E:"}, true, u'E'},
        {{"-CONTEXTDL"}, false, {}},
        {{"-CONTEXTDL", ""}, false, {}},
        {{"-NOVERSION"}, false, {}},
        {{"D:\\"}, false, {}},
    };
    for (const Case& c : cases) {
        const TStartRequest r = StartRequestFor(c.args);
        EXPECT_EQ(r.Analyse, c.analyse) << c.args.join(u' ').toStdString();
        EXPECT_EQ(r.Drive, c.drive) << c.args.join(u' ').toStdString();
    }
}

} // namespace
