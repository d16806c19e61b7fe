// The list control: rows, update brackets, automatic sorting, visibility, selection, the header
// click rule and the column fitting, the mouse hooks; one rendering of the real widget; the
// files view's rows.

#include "analysis/nogui_Orbisca.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/gui/ShellIcons.h"
#include "views/OrbiscaPainter.h"
#include "views/ListState.h"
#include "views/VTree_Kram.h"
#include "views/VirtualDrawTree.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QImage>
#include <QMouseEvent>

using analysis::PNode;
using analysis::TNodeData;
using views::RowId;
using views::SortDirection;
using views::TVirtualDrawTree;

namespace {

class ListTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetMessageBoxHandler([](const QString&, const QString&, unsigned) { return 1; });
        platform::SetProgramFolder("C:\\no-service-here");
        platform::SetIconLookup([](const QString&, bool) { return QIcon(); });
        engine = std::make_unique<analysis::TOrbisca>(&tree);
        root = tree.AddChild(PNode::None, folder("C:\\"));
        list.resize(800, 400);
        views::ConfigureAnalysisList(&list, engine.get(), &state);
    }
    void TearDown() override {
        platform::SetIconLookup({});
        platform::SetMessageBoxHandler({});
    }
    static TNodeData folder(const QString& p) {
        TNodeData d;
        d.Path = p;
        d.IsFolder = 1;
        return d;
    }
    PNode file(const QString& name, int64_t size) {
        TNodeData d;
        d.Path = "C:\\" + name;
        d.Size = size;
        return tree.AddChild(root, d);
    }
    QStringList shownNames() const {
        QStringList out;
        for (int i = 0; i < list.VisibleRowCount(); ++i)
            out << list.RowPath(list.VisibleRow(i)).mid(3);
        return out;
    }

    analysis::TAnalysisTree tree;
    std::unique_ptr<analysis::TOrbisca> engine;
    views::TListState state;
    PNode root = PNode::None;
    TVirtualDrawTree list;
};

TEST_F(ListTest, HeaderHasTheSixColumnsAndStartsOnTheShareColumn) {
    EXPECT_EQ(list.ColumnCount(), 6);
    EXPECT_EQ(list.ColumnCaption(4), QString::fromUtf8("Größe % "));
    EXPECT_EQ(list.ColumnCaption(5), QString::fromUtf8("Ordnergröße %"));
    EXPECT_EQ(list.ColumnWidth(0), 236);
    EXPECT_EQ(list.ColumnWidth(5), 120);
    EXPECT_EQ(list.header()->height(), 20);
    EXPECT_TRUE(list.header()->sectionsMovable());
    EXPECT_EQ(list.SortColumn(), 4);
    EXPECT_EQ(list.Direction(), SortDirection::Ascending);
    EXPECT_EQ(list.header()->sortIndicatorSection(), 4);
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
    // Captions can be replaced through the model, as the translation of a window does.
    EXPECT_TRUE(list.model()->setHeaderData(1, Qt::Horizontal, "Folders"));
    EXPECT_EQ(list.model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Folders");
    EXPECT_FALSE(list.model()->setHeaderData(9, Qt::Horizontal, "x"));
}

TEST_F(ListTest, UpdateBracketDefersTheSortAndInsertionSortsAtOnce) {
    list.BeginUpdate();
    list.AddNodeRow(file("small", 1));
    list.AddNodeRow(file("big", 100));
    EXPECT_EQ(shownNames(), QStringList{}); // nothing shown inside the bracket
    list.AddNodeRow(file("mid", 10));
    list.EndUpdate();
    EXPECT_EQ(shownNames(), (QStringList{"big", "mid", "small"}));
    // Outside a bracket a new row takes its sorted place, after rows that compare equal.
    list.AddNodeRow(file("mid2", 10));
    TNodeData own;
    own.Path = "C:\\own";
    own.Size = 50;
    own.ImageIndex = 9;
    const RowId ownRow = list.AddRow(own);
    EXPECT_EQ(shownNames(), (QStringList{"big", "own", "mid", "mid2", "small"}));
    EXPECT_EQ(list.RowData(ownRow).ImageIndex, 9);
    EXPECT_EQ(list.RowNode(ownRow), PNode::None);
    list.Clear();
    EXPECT_EQ(list.VisibleRowCount(), 0);
    EXPECT_EQ(list.TotalRowCount(), 0u);
}

TEST_F(ListTest, HiddenRowsKeepTheirPlace) {
    list.BeginUpdate();
    std::vector<RowId> rows;
    for (int i = 0; i < 5; ++i)
        rows.push_back(list.AddNodeRow(file(QString("f%1").arg(i), 10 - i)));
    list.EndUpdate();
    list.BeginUpdate();
    list.SetRowVisible(rows[1], false);
    list.SetRowVisible(rows[3], false);
    list.EndUpdate();
    EXPECT_EQ(shownNames(), (QStringList{"f0", "f2", "f4"}));
    EXPECT_FALSE(list.IsRowVisible(rows[1]));
    list.SetRowVisible(rows[3], true);
    EXPECT_EQ(shownNames(), (QStringList{"f0", "f2", "f3", "f4"}));
    EXPECT_EQ(list.PositionOf(rows[1]), -1);
    list.DeleteRow(rows[0]);
    EXPECT_EQ(shownNames(), (QStringList{"f2", "f3", "f4"}));
    EXPECT_EQ(list.TotalRowCount(), 4u);
}

TEST_F(ListTest, HeaderClickTogglesTheSortColumnAndStartsOthersAscending) {
    list.BeginUpdate();
    list.AddNodeRow(file("b", 2));
    const RowId c = list.AddNodeRow(file("C", 3));
    list.AddNodeRow(file("a", 1));
    list.EndUpdate();
    list.SelectRow(c, true);
    struct Step {
        int column;
        SortDirection direction;
        QStringList order;
    };
    const Step steps[] = {
        {4, SortDirection::Descending, {"a", "b", "C"}}, // same column: toggles
        {4, SortDirection::Ascending, {"C", "b", "a"}},  // and back
        {0, SortDirection::Ascending, {"a", "b", "C"}},  // another column: ascending, A to Z
        {0, SortDirection::Descending, {"C", "b", "a"}},
        {3, SortDirection::Ascending, {"C", "b", "a"}}, // sizes: largest first
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.column);
        list.OnHeaderClick(&list, s.column);
        EXPECT_EQ(list.SortColumn(), s.column);
        EXPECT_EQ(list.Direction(), s.direction);
        EXPECT_EQ(shownNames(), s.order);
        EXPECT_EQ(list.header()->sortIndicatorSection(), s.column);
        EXPECT_EQ(list.header()->sortIndicatorOrder(), s.direction == SortDirection::Ascending
                                                           ? Qt::AscendingOrder
                                                           : Qt::DescendingOrder);
        // The selection survives the sort.
        EXPECT_EQ(list.GetFirstSelected(), c);
        EXPECT_EQ(list.SelectedCount(), 1);
    }
}

TEST_F(ListTest, SeveralSelectedRowsSurviveASortAndAHiddenOneDrops) {
    list.BeginUpdate();
    std::vector<RowId> rows;
    for (int i = 0; i < 6; ++i)
        rows.push_back(list.AddNodeRow(file(QString("f%1").arg(i), 10 + i)));
    list.EndUpdate();
    for (int i : {0, 1, 4})
        list.SelectRow(rows[size_t(i)], true);
    list.SortTree(0, SortDirection::Ascending); // f0 ... f5: two runs of selected rows
    EXPECT_EQ(list.SelectedRows(), (std::vector<RowId>{rows[0], rows[1], rows[4]}));
    list.SetRowVisible(rows[1], false);
    EXPECT_EQ(list.SelectedRows(), (std::vector<RowId>{rows[0], rows[4]}));
}

TEST_F(ListTest, SelectedRowIsScrolledIntoTheMiddle) {
    list.BeginUpdate();
    std::vector<RowId> rows;
    for (int i = 0; i < 500; ++i)
        rows.push_back(list.AddNodeRow(file(QString("f%1").arg(i, 3, 10, QChar('0')), 1000 - i)));
    list.EndUpdate();
    list.show();
    list.SelectRow(rows[300], true);
    list.OnHeaderClick(&list, 0); // name order keeps f300 at position 300
    const QRect r = list.visualRect(list.model()->index(300, 0));
    const int middle = list.viewport()->height() / 2;
    EXPECT_LE(std::abs(r.center().y() - middle), r.height());
}

// The name order by the rule of the compare callback, worked out the slow way: every row's record
// compared with the painter's comparison, rows that compare equal in their previous order.
std::vector<RowId> nameOrderByTheRule(const TVirtualDrawTree& list, SortDirection direction) {
    std::vector<RowId> rows;
    std::vector<TNodeData> data;
    for (int i = 0; i < list.VisibleRowCount(); ++i) {
        rows.push_back(list.VisibleRow(i));
        data.push_back(list.RowData(rows.back()));
    }
    std::vector<size_t> at(rows.size());
    for (size_t i = 0; i < at.size(); ++i)
        at[i] = i;
    std::stable_sort(at.begin(), at.end(), [&](size_t a, size_t b) {
        const int r = views::TOrbiscaPainter::CompareNodes(data[a], data[b], analysis::kColName);
        return direction == SortDirection::Ascending ? r < 0 : r > 0;
    });
    std::vector<RowId> out;
    for (size_t i : at)
        out.push_back(rows[i]);
    return out;
}

std::vector<RowId> shownRows(const TVirtualDrawTree& list) {
    std::vector<RowId> out;
    for (int i = 0; i < list.VisibleRowCount(); ++i)
        out.push_back(list.VisibleRow(i));
    return out;
}

// Sorts by size, then by name both ways; each name order must be the callback's rule with equal
// paths in the order the size sort left them, and must come from the list's own keys (the
// callback is not asked).
void expectNameOrderByTheRule(TVirtualDrawTree& list) {
    size_t calls = 0;
    const auto rule = list.OnCompareNodes;
    list.OnCompareNodes = [&](const analysis::TCompareKey& a, const analysis::TCompareKey& b,
                              int c) {
        ++calls;
        return rule(a, b, c);
    };
    for (SortDirection d :
         {SortDirection::Ascending, SortDirection::Descending, SortDirection::Ascending}) {
        list.SortTree(analysis::kColSize, SortDirection::Ascending);
        const std::vector<RowId> expected = nameOrderByTheRule(list, d);
        calls = 0;
        list.SortTree(analysis::kColName, d);
        EXPECT_EQ(shownRows(list), expected)
            << (d == SortDirection::Ascending ? "ascending" : "descending");
        EXPECT_EQ(calls, 0u);
    }
    list.OnCompareNodes = rule;
}

TEST_F(ListTest, NameOrderOfTrickyNamesIsTheCallbacksRule) {
    // Rows of all three kinds: nodes of a scan's walk (a folder's path shared by its children),
    // nodes added with whole records, and rows that own their record.
    analysis::TAnalysisTree walked;
    const char16_t* const names[] = {
        u"abc",
        u"ABC",
        u"Abd",
        u"abC",
        u"a",
        u"A",
        u"a b",
        u"a-",
        u"a_",
        u"a.txt",
        u"ab",
        u"abcd",
        u"abcde",
        u"abcdefgh",
        u"abcdefgi",
        u"\u00ff",
        u"\u0178",
        u"\u0100",
        u"\u017e",
        u"\u00b5",
        u"\u039c",
        u"\u00df",
        u"\u00e9t\u00e9",
        u"\u00c9T\u00c9",
        u"\xdc80x",
        u"a\xdcff",
        u"a\uf05cb",
        u"a\uf05c",
        u"\U0001F600",
        u"\ufffd",
        u"\uff21",
        u"\ue000",
        u"zz",
        u" lead",
    };
    const PNode top = walked.AddTopFolder(u"C:\\");
    const PNode sub = walked.AddFolder(top, u"a"); // C:\a\... against C:\a b, C:\a-, C:\a_
    const PNode deep = walked.AddFolder(sub, u"\u00e9t\u00e9");
    const PNode upper = walked.AddFolder(top, u"A"); // the same upper-cased path as C:\a
    int64_t size = 1;
    for (const char16_t* n : names) {
        for (PNode f : {top, sub, deep, upper})
            walked.AddFile(f, n, size++ % 7); // sizes repeat: the size sort leaves mixed orders
        walked.AddFolder(deep, n);
    }
    list.SetSourceTree(&walked);
    list.BeginUpdate();
    for (PNode n = walked.GetFirst(); n != PNode::None; n = walked.GetNext(n))
        list.AddNodeRow(n);
    for (const char16_t* n : names) { // whole records in another tree, and owned records
        TNodeData d;
        d.Path = QStringLiteral("C:\\a\\") + QString::fromUtf16(n);
        d.Size = size++ % 5;
        list.AddRow(d);
    }
    list.EndUpdate();
    expectNameOrderByTheRule(list);
    list.Clear();
    list.SetSourceTree(&tree);

    list.BeginUpdate();
    for (const char16_t* n : names)
        list.AddNodeRow(file(QString::fromUtf16(n), size++ % 3));
    list.EndUpdate();
    expectNameOrderByTheRule(list);
}

TEST_F(ListTest, NameOrderOfManyRowsIsTheCallbacksRule) {
    // Enough rows for the radix passes and the two threads, drawn from units that upper-case
    // in every way: ASCII letters, letters whose capital lies elsewhere, escapes, a backslash
    // in a name, units with the high byte set, and names that begin one another.
    const char16_t units[] = {u'a',   u'B',   u'b',   u' ',   u'-',   u'_',   u'.',   0x00FF,
                              0x0178, 0x00E9, 0x00C9, 0xDC80, 0xF05C, 0xFF21, 0x0101, 0x0100};
    uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    analysis::TAnalysisTree walked;
    std::vector<PNode> folders{walked.AddTopFolder(u"C:\\")};
    for (int i = 0; i < 70000; ++i) {
        std::u16string name;
        const uint32_t length = 1 + next() % 7;
        for (uint32_t k = 0; k < length; ++k)
            name += units[next() % std::size(units)];
        const PNode parent = folders[next() % folders.size()];
        if (next() % 10 == 0)
            folders.push_back(walked.AddFolder(parent, name));
        else
            walked.AddFile(parent, name, next() % 100);
    }
    list.SetSourceTree(&walked);
    list.BeginUpdate();
    for (PNode n = walked.GetFirst(); n != PNode::None; n = walked.GetNext(n))
        list.AddNodeRow(n);
    list.EndUpdate();
    expectNameOrderByTheRule(list);
    list.Clear();
    list.SetSourceTree(&tree);
}

TEST_F(ListTest, AnotherNameRuleOfTheCallbackIsFollowed) {
    // A callback that orders names by their length first, and says nothing of the upper-cased
    // paths: the list sorts by asking it.
    list.NameOrderByUpperPaths = false;
    list.BeginUpdate();
    for (const char* n : {"bbb", "a", "cc", "B", "aaaa"})
        list.AddNodeRow(file(n, 1));
    list.EndUpdate();
    list.OnCompareNodes = [](const analysis::TCompareKey& a, const analysis::TCompareKey& b, int) {
        if (a.UpperPath.size() != b.UpperPath.size())
            return a.UpperPath.size() < b.UpperPath.size() ? -1 : 1;
        return a.UpperPath.compare(b.UpperPath);
    };
    list.SortTree(analysis::kColName, SortDirection::Ascending);
    EXPECT_EQ(shownNames(), (QStringList{"a", "B", "cc", "bbb", "aaaa"}));
    list.SortTree(analysis::kColName, SortDirection::Descending);
    EXPECT_EQ(shownNames(), (QStringList{"aaaa", "bbb", "cc", "B", "a"}));
}

TEST_F(ListTest, FitColumnsToWidthSharesTheFreeWidth) {
    list.resize(800, 300);
    views::FitColumnsToWidth(&list, {0});
    // 800 - 28 - (68 + 68 + 80 + 92 + 120)
    EXPECT_EQ(list.ColumnWidth(0), 344);
    list.SetColumnWidth(0, 236);
    views::FitColumnsToWidth(&list, {0, 5});
    // free 464 over 236 + 120: 307.6 and 156.4
    EXPECT_EQ(list.ColumnWidth(0), 308);
    EXPECT_EQ(list.ColumnWidth(5), 156);
    // Hidden columns take no room; an empty list of columns or no tree changes nothing.
    list.SetColumnWidth(0, 236);
    list.SetColumnWidth(5, 120);
    list.SetColumnVisible(1, false);
    views::FitColumnsToWidth(&list, {0});
    EXPECT_EQ(list.ColumnWidth(0), 344 + 68);
    views::FitColumnsToWidth(&list, {});
    views::FitColumnsToWidth(nullptr, {0});
    EXPECT_EQ(list.ColumnWidth(0), 344 + 68);
}

TEST_F(ListTest, FitRoundsHalfToEven) {
    // Two equal columns share an odd free width: x.5 each goes to the even neighbour.
    for (int c = 1; c <= 4; ++c)
        list.SetColumnVisible(c, false);
    list.SetColumnWidth(0, 100);
    list.SetColumnWidth(5, 100);
    list.resize(28 + 205, 100); // 102.5 each
    views::FitColumnsToWidth(&list, {0, 5});
    EXPECT_EQ(list.ColumnWidth(0), 102);
    EXPECT_EQ(list.ColumnWidth(5), 102);
    list.resize(28 + 207, 100); // 103.5 each
    views::FitColumnsToWidth(&list, {0, 5});
    EXPECT_EQ(list.ColumnWidth(0), 104);
}

TEST_F(ListTest, ShowAllNodesMarksTheWholeTreeVisible) {
    const PNode a = file("a", 1);
    tree.SetAllVisible(false);
    views::ShowAllNodes(&tree);
    EXPECT_TRUE(tree.IsVisible(a));
    EXPECT_TRUE(tree.IsVisible(root));
    analysis::TAnalysisTree empty;
    views::ShowAllNodes(&empty);
    views::ShowAllNodes(nullptr);
}

TEST_F(ListTest, WidgetPaintsTheBarsOfItsRows) {
    engine->SetTotals(100, 0, 0);
    list.BeginUpdate();
    list.AddNodeRow(file("tenth", 10));
    list.EndUpdate();
    list.show();
    const QImage img = list.viewport()->grab().toImage();
    // Column 4 starts after 236 + 68 + 68 + 80 = 452 and is 92 wide: a bar of round(9.2) = 9
    // pixels, left of the centred text.
    const QRect row = list.visualRect(list.model()->index(0, 0));
    const int y = row.center().y();
    const QRgb bar = qRgb(96, 224, 96);
    EXPECT_EQ(img.pixel(452 + 1, y), bar);
    EXPECT_EQ(img.pixel(452 + 8, y), bar);
    EXPECT_NE(img.pixel(452 + 9, y), bar);
    EXPECT_NE(img.pixel(451, y), bar);
}

TEST_F(ListTest, AllFilesInTreeOrderWhateverTheMarks) {
    file("a", 1);
    TNodeData d = folder("C:\\sub");
    const PNode sub = tree.AddChild(root, d);
    TNodeData b;
    b.Path = "C:\\sub\\b";
    b.Size = 2;
    tree.AddChild(sub, b);
    file("c", 3);
    tree.SetAllVisible(false);
    std::vector<PNode> files{PNode::None};
    engine->Copy_All_Files(&tree, files);
    QStringList paths;
    for (PNode n : files)
        paths << tree.Path(n);
    EXPECT_EQ(paths, QStringList({"C:\\a", "C:\\sub\\b", "C:\\c"}));
    engine->Copy_All_Files(nullptr, files);
    EXPECT_TRUE(files.empty());
}

TEST_F(ListTest, RightClickSelectsAndKeepsASelectionItLandsIn) {
    for (int i = 0; i < 4; ++i)
        list.AddNodeRow(file(QStringLiteral("f%1").arg(i), 100 - i));
    list.show();
    int popups = 0;
    list.OnContextPopup = [&](TVirtualDrawTree*, const QPoint&) { ++popups; };
    const auto rightClick = [&](int position) {
        const QRect r = list.visualRect(list.model()->index(position, 0));
        QMouseEvent press(QEvent::MouseButtonPress, r.center(),
                          list.viewport()->mapToGlobal(r.center()), Qt::RightButton,
                          Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &press);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, r.center(),
                               list.viewport()->mapToGlobal(r.center()));
        QApplication::sendEvent(list.viewport(), &menu);
    };
    rightClick(2);
    ASSERT_EQ(list.SelectedCount(), 1);
    EXPECT_EQ(list.PositionOf(list.GetFirstSelected()), 2);
    list.SelectRow(list.VisibleRow(0), true);
    rightClick(0); // inside the selection: it stays
    EXPECT_EQ(list.SelectedCount(), 2);
    EXPECT_EQ(popups, 2);

    int doubles = 0;
    list.OnDblClick = [&](TVirtualDrawTree*) { ++doubles; };
    const QRect r = list.visualRect(list.model()->index(1, 0));
    QMouseEvent dbl(QEvent::MouseButtonDblClick, r.center(),
                    list.viewport()->mapToGlobal(r.center()), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &dbl);
    EXPECT_EQ(doubles, 1);
}

} // namespace

namespace {

// Large sorts by counts and sizes compare numbers: those must order exactly as the engine's
// comparison, in both directions, ties keeping their order.
TEST_F(ListTest, SortNumbersOrderAsTheEnginesComparison) {
    const int64_t sizes[] = {0, 1, -1, 5, 5, INT64_MAX, INT64_MIN, 1LL << 40};
    const uint32_t counts[] = {0, 1, 7, 7, UINT32_MAX};
    for (int column = 1; column <= 5; ++column) {
        for (int64_t sa : sizes)
            for (int64_t sb : sizes)
                for (uint32_t ca : counts)
                    for (uint32_t cb : counts) {
                        const analysis::TCompareKey a{{}, sa, ca, ca}, b{{}, sb, cb, cb};
                        uint64_t na = 0, nb = 0;
                        ASSERT_TRUE(views::AnalysisSortNumber(column, a, na));
                        ASSERT_TRUE(views::AnalysisSortNumber(column, b, nb));
                        const int r = views::TOrbiscaPainter::CompareNodes(a, b, column);
                        const int n = na < nb ? -1 : (na == nb ? 0 : 1);
                        ASSERT_EQ(r, n)
                            << column << ' ' << sa << ' ' << sb << ' ' << ca << ' ' << cb;
                    }
    }
    uint64_t unused = 0;
    EXPECT_FALSE(views::AnalysisSortNumber(0, {}, unused));

    // The whole list in both ways, with ties, above the size where two threads sort.
    list.BeginUpdate();
    for (int i = 0; i < 60000; ++i)
        list.AddNodeRow(file(QStringLiteral("f%1").arg(i), (i * 7919) % 1000));
    list.EndUpdate();
    const auto order = [&] {
        std::vector<RowId> rows;
        for (int p = 0; p < list.VisibleRowCount(); ++p)
            rows.push_back(list.VisibleRow(p));
        return rows;
    };
    for (SortDirection d : {SortDirection::Ascending, SortDirection::Descending}) {
        list.SortTree(0, SortDirection::Ascending); // a known order to start from
        list.SortTree(3, d);
        const std::vector<RowId> byNumbers = order();
        list.SortTree(0, SortDirection::Ascending);
        const auto numbers = std::move(list.OnSortKey);
        list.OnSortKey = nullptr;
        list.SortTree(3, d);
        list.OnSortKey = numbers;
        EXPECT_EQ(order(), byNumbers);
    }
}

} // namespace
