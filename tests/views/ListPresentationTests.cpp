// Cells painted by the analysis painter into images, the compare rule and the display-name rules.

#include "analysis/SizeText.h"
#include "analysis/nogui_Orbisca.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/gui/ShellIcons.h"
#include "skin/PngImage.h"
#include "views/ListState.h"
#include "views/OrbiscaPainter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

using analysis::PNode;
using analysis::TNodeData;
using analysis::TOrbisca;
using views::TOrbiscaPainter;
using views::TPaintInfo;

namespace {

const QRgb kBackground = qRgb(255, 255, 255);
const QRgb kBar = qRgb(96, 224, 96);

TNodeData record(const QString& path, int64_t size, uint8_t folder = 0, int32_t image = 0) {
    TNodeData d;
    d.Path = path;
    d.Size = size;
    d.IsFolder = folder;
    d.ImageIndex = image;
    return d;
}

class CellPaint : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetMessageBoxHandler([](const QString&, const QString&, unsigned) { return 1; });
        platform::SetProgramFolder("C:\\no-service-here");
        platform::SetIconLookup([](const QString&, bool) { return QIcon(); });
        engine = std::make_unique<TOrbisca>(&tree);
        root = tree.AddChild(PNode::None, record("C:\\", 0, 1));
        folder = tree.AddChild(root, record("C:\\Data", 400, 1));
    }
    void TearDown() override {
        platform::SetIconLookup({});
        platform::SetMessageBoxHandler({});
    }

    // Paints one cell of width w and height 18 at (10, 4) into a white image.
    QImage paint(const TNodeData& d, int column, int w) {
        QImage img(w + 20, 26, QImage::Format_RGB32);
        img.fill(kBackground);
        QPainter p(&img);
        p.setPen(Qt::black);
        TPaintInfo info;
        info.Canvas = &p;
        info.Node = &d;
        info.Column = column;
        info.Left = 10;
        info.Top = 4;
        info.Right = 10 + w;
        info.Bottom = 4 + 18;
        TOrbiscaPainter(*engine, state).DrawNode(info);
        return img;
    }

    // Width of the bar along the middle row of the cell (0 when there is none).
    static int barWidth(const QImage& img) {
        int w = 0;
        while (10 + w < img.width() && img.pixel(10 + w, 13) == kBar)
            ++w;
        return w;
    }
    static bool blank(const QImage& img) {
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != kBackground)
                    return false;
        return true;
    }
    // Leftmost column with a dark (text) pixel, or -1.
    static int firstInk(const QImage& img) {
        for (int x = 0; x < img.width(); ++x)
            for (int y = 0; y < img.height(); ++y)
                if (qGray(img.pixel(x, y)) < 128)
                    return x;
        return -1;
    }

    analysis::TAnalysisTree tree;
    std::unique_ptr<TOrbisca> engine;
    views::TListState state;
    PNode root = PNode::None, folder = PNode::None;
};

TEST_F(CellPaint, NameBarFollowsTheModeAndRoundsHalfToEven) {
    engine->SetTotals(1000, 0, 0);
    state.Current_RootNode = folder; // folder size 400
    struct Case {
        int mode;
        int64_t size;
        int width;
        int expectedBar;
    };
    const Case cases[] = {
        {0, 500, 236, 0},   // no bar
        {1, 250, 236, 59},  // 25 % of the drive
        {1, 25, 100, 2},    // 2.5 px rounds to the even 2
        {1, 35, 100, 4},    // 3.5 px rounds to the even 4
        {2, 100, 236, 59},  // 25 % of the folder
        {2, 400, 100, 100}, // the whole folder
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " size " << c.size);
        state.FLAG_NAMEBALKEN = c.mode;
        // A drive root has no name to draw, so only the bar shows.
        const QImage img = paint(record("C:\\", c.size, 1), analysis::kColName, c.width);
        EXPECT_EQ(barWidth(img), c.expectedBar);
        if (c.expectedBar > 0) {
            const int x = 10 + c.expectedBar - 1;
            EXPECT_EQ(img.pixel(x, 4 + 1), kBackground); // the bar spans Top + 2 ...
            EXPECT_EQ(img.pixel(x, 4 + 2), kBar);
            EXPECT_EQ(img.pixel(x, 4 + 18 - 3), kBar); // ... to Bottom - 2, exclusive
            EXPECT_EQ(img.pixel(x, 4 + 18 - 2), kBackground);
        } else {
            EXPECT_TRUE(blank(img));
        }
    }
}

TEST_F(CellPaint, NoTotalsMeanNoBarsAndNoPercentages) {
    state.Current_RootNode = folder;
    for (int mode : {1, 2}) {
        state.FLAG_NAMEBALKEN = mode;
        EXPECT_TRUE(blank(paint(record("C:\\", 300, 1), analysis::kColName, 236))) << mode;
    }
    EXPECT_TRUE(blank(paint(record("C:\\x", 300), analysis::kColSharePercent, 92)));
    EXPECT_TRUE(blank(paint(record("C:\\x", 300), analysis::kColFolderPercent, 120)));

    engine->SetTotals(1000, 0, 0);
    state.Current_RootNode = PNode::None; // no current folder: no relative share
    EXPECT_TRUE(blank(paint(record("C:\\x", 300), analysis::kColFolderPercent, 120)));
    state.FLAG_NAMEBALKEN = 2;
    EXPECT_TRUE(blank(paint(record("C:\\", 300, 1), analysis::kColName, 236)));
}

TEST_F(CellPaint, PercentageColumnsDrawBarAndCentredText) {
    engine->SetTotals(1000, 0, 0);
    state.Current_RootNode = folder;
    const QImage share = paint(record("C:\\x", 250), analysis::kColSharePercent, 92);
    EXPECT_EQ(barWidth(share), 23); // 92 * 25 % = 23
    const QImage rel = paint(record("C:\\x", 100), analysis::kColFolderPercent, 120);
    EXPECT_EQ(barWidth(rel), 30); // 25 % of the folder

    // The text is centred: x = Left + W div 2 - width div 2 (ink starts at or just after it).
    engine->SetTotals(3, 0, 0);
    const QImage text = paint(record("C:\\x", 1), analysis::kColSharePercent, 92);
    const QFontMetrics fm(QApplication::font()); // a painter on an image starts with it
    const QString shown = analysis::FormatNumber(100.0 / 3, 3);
    const int expected = 10 + 92 / 2 - fm.horizontalAdvance(shown) / 2;
    EXPECT_GE(firstInk(text), expected);
    EXPECT_LE(firstInk(text), expected + 3);

    // Too narrow: shortened and left-aligned.
    const QImage narrow = paint(record("C:\\x", 1), analysis::kColSharePercent, 22);
    EXPECT_GE(firstInk(narrow), 10);
    EXPECT_LE(firstInk(narrow), 12);
}

TEST_F(CellPaint, ZeroSizesAndAnEmptyFolder) {
    engine->SetTotals(1000, 0, 0);
    state.Current_RootNode = folder;
    tree.SetSize(folder, 0);
    // Size 0: a zero text in both share columns, never a bar.
    const QImage share = paint(record("C:\\x", 0), analysis::kColSharePercent, 92);
    EXPECT_EQ(barWidth(share), 0);
    EXPECT_FALSE(blank(share));
    // A current folder of size 0: the relative share reads zero and has no bar.
    const QImage rel = paint(record("C:\\x", 50), analysis::kColFolderPercent, 120);
    EXPECT_EQ(barWidth(rel), 0);
    EXPECT_FALSE(blank(rel));
    state.FLAG_NAMEBALKEN = 2;
    EXPECT_TRUE(blank(paint(record("C:\\", 50, 1), analysis::kColName, 236)));
}

TEST_F(CellPaint, TextsAreShortenedWithAnEllipsis) {
    const QString path = "C:\\" + QString(60, u'W');
    const QImage wide = paint(record(path, 1), analysis::kColName, 2000);
    const QImage narrow = paint(record(path, 1), analysis::kColName, 120);
    // The short cell keeps its text inside the room after the 20-pixel icon place.
    const auto lastInk = [](const QImage& img) {
        for (int x = img.width() - 1; x >= 0; --x)
            for (int y = 0; y < img.height(); ++y)
                if (qGray(img.pixel(x, y)) < 128)
                    return x;
        return -1;
    };
    EXPECT_GT(lastInk(wide), 400);
    EXPECT_LE(lastInk(narrow), 10 + 120);
    EXPECT_GE(firstInk(narrow), 10 + 20);
    // No room even for the ellipsis: nothing.
    EXPECT_TRUE(blank(paint(record("C:\\x", 123456), analysis::kColSize, 3)));
}

TEST_F(CellPaint, ImageIndexDrawsFromTheImageListOrNothing) {
    // Without an image list, a row with a picture number shows no icon; the shell icon is not
    // asked either.
    int lookups = 0;
    platform::SetIconLookup([&](const QString&, bool) {
        ++lookups;
        return QIcon();
    });
    paint(record("Video", 10, 0, 3), analysis::kColName, 236);
    EXPECT_EQ(lookups, 0);
    paint(record("C:\\a.txt", 10), analysis::kColName, 236);
    EXPECT_EQ(lookups, 1);
}

TEST_F(CellPaint, ImageIndexPictureComesFromTheImageList) {
    skin::TPngImageList images(16, 16);
    images.AddItem(); // picture 0
    skin::TPngImage& red = images.AddItem();
    red = skin::TPngImage(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            red.SetPixel(x, y, 255, 0, 0, 255);
    engine->PNGImageList = &images;
    const QImage img = paint(record("Video", 10, 0, 1), analysis::kColName, 236);
    EXPECT_EQ(img.pixel(10, 4 + 1), qRgb(255, 0, 0));  // at (Left, Top + 1)
    EXPECT_EQ(img.pixel(25, 4 + 16), qRgb(255, 0, 0)); // 16 x 16
    EXPECT_EQ(img.pixel(26, 4 + 8), kBackground);
    EXPECT_EQ(img.pixel(10, 4), kBackground);
}

TEST(DisplayName, FollowsPathFilterAndFlags) {
    struct Case {
        const char* path;
        int32_t image;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\", 0, ""},     // a drive root has no segment
        {"C:\\", 2, "C:\\"}, // unless it is a picture row
        {"C:\\Windows", 0, "Windows"},
        {"C:\\Windows\\notepad.exe", 0, "notepad.exe"},
        {"C:\\odd\\", 0, "odd\\"}, // a final backslash is no separator
        {"Video", 3, "Video"},     // a group row without backslash
        {"Video", 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TOrbisca::DisplayName(record(c.path, 0, 0, c.image), false),
                  QString::fromUtf8(c.name))
            << c.path;
    // Whole paths in the files view and in filtered lists.
    views::TListState state;
    state.CURRENT_FILTER = "*.txt\r\n";
    EXPECT_TRUE(state.WholePaths());
    EXPECT_EQ(TOrbisca::DisplayName(record("C:\\a\\b.txt", 0), state.WholePaths()), "C:\\a\\b.txt");
    state.CURRENT_FILTER.clear();
    EXPECT_FALSE(state.WholePaths());
    state.FLAG_SHOW_FULLPATH = true;
    EXPECT_TRUE(state.WholePaths());
    EXPECT_EQ(TOrbisca::DisplayName(record("C:\\a\\b.txt", 0), true), "C:\\a\\b.txt");
    EXPECT_EQ(TOrbisca::DisplayName(record("C:\\", 0), true), "C:\\");
}

TEST(CompareNodes, NamesAToZCountsAndSizesLargestFirst) {
    TNodeData a = record("C:\\apple", 100), b = record("C:\\Banana", 50);
    a.FolderCount = 5, b.FolderCount = 7;
    a.FileCount = 0xFFFFFFFFu, b.FileCount = 1; // unsigned: the large count is the larger
    EXPECT_EQ(TOrbiscaPainter::CompareNodes(a, b, 0), -1); // APPLE < BANANA regardless of case
    EXPECT_EQ(TOrbiscaPainter::CompareNodes(b, a, 0), 1);
    EXPECT_EQ(TOrbiscaPainter::CompareNodes(a, record("C:\\APPLE", 1), 0), 0);
    EXPECT_EQ(TOrbiscaPainter::CompareNodes(a, b, 1), 1);  // fewer folders comes later
    EXPECT_EQ(TOrbiscaPainter::CompareNodes(a, b, 2), -1); // more files comes first
    for (int column : {3, 4, 5}) {
        EXPECT_EQ(TOrbiscaPainter::CompareNodes(a, b, column), -1);
        EXPECT_EQ(TOrbiscaPainter::CompareNodes(b, a, column), 1);
        EXPECT_EQ(TOrbiscaPainter::CompareNodes(a, a, column), 0);
    }
    EXPECT_EQ(TOrbiscaPainter::CompareNodes(record("C:\\x", -1), record("C:\\y", 1), 3), 1);
    EXPECT_EQ(TOrbiscaPainter::CompareNodes(a, b, 6), 0);
}

} // namespace
