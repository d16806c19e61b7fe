// The translation walk over real Qt object trees. Our own control classes of later layers are
// stood in for by small classes of the same names here; the walk recognises them by class name
// (without namespace) and by their properties.

#include "i18n/nLang3.h"

#include <QAction>
#include <QCoreApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace walk_test {

// The rich-text label: its HTML text is a list of lines.
class THTMLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QStringList HTMLText READ htmlText WRITE setHtmlText)
public:
    using QLabel::QLabel;
    QStringList htmlText() const { return lines_; }
    void setHtmlText(const QStringList& lines) {
        lines_ = lines;
        setText(lines.join(u' '));
    }

private:
    QStringList lines_;
};

// A subclass is not the class: it falls through to the generic rules.
class TDerivedHTMLabel : public THTMLabel {
    Q_OBJECT
public:
    using THTMLabel::THTMLabel;
};

class TAdvSmoothLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
};

class TVirtualDrawTree : public QTreeView {
    Q_OBJECT
public:
    using QTreeView::QTreeView;
};

class TNoRuleTabBar : public QTabBar {
    Q_OBJECT
public:
    using QTabBar::QTabBar;
};

// A painted button with a Caption, counting its paints.
class TLumoUnicodeSTButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
public:
    using QWidget::QWidget;
    QString caption() const { return caption_; }
    void setCaption(const QString& c) { caption_ = c; }
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }

private:
    QString caption_;
};

} // namespace walk_test

namespace {

using namespace i18n;
using namespace walk_test;

template <typename T, typename... Args> T* make(QObject* parent, const char* name, int tag, Args&&... args) {
    T* obj = new T(std::forward<Args>(args)...);
    if constexpr (std::is_base_of_v<QWidget, T>)
        obj->setParent(qobject_cast<QWidget*>(parent));
    else
        obj->setParent(parent);
    obj->setObjectName(QString::fromLatin1(name));
    obj->setProperty("Tag", tag);
    return obj;
}

class ComponentWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        form_.setObjectName("Form_Test");
        form_.setWindowTitle("Fenster");
        form_.setProperty("Tag", 1);
    }
    void translate(const QStringList& lines) {
        lang_.Translation.setLines(lines);
        lang_.Set_Components(form_.objectName(), &form_);
    }
    QWidget form_;
    TLang lang_;
};

TEST_F(ComponentWalkTest, QtControlsTakeTheirCaptions) {
    auto* label = make<QLabel>(&form_, "Label_A", 1, "Beschriftung");
    auto* button = make<QPushButton>(&form_, "Button_A", 1, "Knopf");
    auto* box = make<QCheckBox>(&form_, "CheckBox_A", 1, "Kasten");
    auto* group = make<QGroupBox>(&form_, "GroupBox_A", 1, "Gruppe");
    auto* nested = make<QLabel>(group, "Label_Nested", 1, "Innen");
    auto* edit = make<QLineEdit>(&form_, "Edit_A", 1, "MP3 ; OGG");
    auto* menu = make<QMenu>(&form_, "PopupMenu_A", 0);
    auto* action = make<QAction>(menu, "PopUp_Open", 1, "Öffnen");
    menu->addAction(action);
    auto* layoutHost = make<QWidget>(&form_, "Panel_A", 0);
    auto* inLayout = make<QLabel>(layoutHost, "Label_InLayout", 1, "Im Layout");
    (new QVBoxLayout(layoutHost))->addWidget(inLayout);

    translate({"Form_Test.Form_Test=Window",   "form_test.label_a=Caption",
               "Form_Test.Button_A=Button%CRLFsecond line", "Form_Test.CheckBox_A=Box",
               "Form_Test.GroupBox_A=Group",   "Form_Test.Label_Nested=Inside",
               "Form_Test.Edit_A=not a caption", "Form_Test.PopUp_Open=Open",
               "Form_Test.Label_InLayout=In layout"});

    EXPECT_EQ(form_.windowTitle(), "Window");
    EXPECT_EQ(label->text(), "Caption");
    EXPECT_EQ(button->text(), "Button\nsecond line");
    EXPECT_EQ(box->text(), "Box");
    EXPECT_EQ(group->title(), "Group");
    EXPECT_EQ(nested->text(), "Inside");
    EXPECT_EQ(edit->text(), "MP3 ; OGG");
    EXPECT_EQ(action->text(), "Open");
    EXPECT_EQ(inLayout->text(), "In layout");
}

TEST_F(ComponentWalkTest, TagZeroKeepsItsTextButItsChildrenAreTranslated) {
    auto* group = make<QGroupBox>(&form_, "GroupBox_A", 0, "Gruppe");
    auto* inner = make<QCheckBox>(group, "CheckBox_Inner", 1, "Innen");
    auto* untagged = make<QPushButton>(&form_, "Button_NoTag", 0, "Bleibt");
    auto* empty = make<QLabel>(&form_, "Label_Empty", 1, "Eingebaut");
    auto* missing = make<QLabel>(&form_, "Label_Missing", 1, "Fehlt");
    translate({"Form_Test.GroupBox_A=Group", "Form_Test.CheckBox_Inner=Inner",
               "Form_Test.Button_NoTag=Changed", "Form_Test.Label_Empty="});
    EXPECT_EQ(group->title(), "Gruppe");
    EXPECT_EQ(inner->text(), "Inner");
    EXPECT_EQ(untagged->text(), "Bleibt");
    EXPECT_EQ(empty->text(), "Eingebaut");
    EXPECT_EQ(missing->text(), "Fehlt");
}

TEST_F(ComponentWalkTest, MultiItemControlsTakeOneLinePerItem) {
    auto* tabs = make<QTabBar>(&form_, "AdvOfficeTabSet1", 1);
    for (const char* t : {"Eins", "Zwei", "Drei"})
        tabs->addTab(t);
    auto* list = make<QTreeWidget>(&form_, "ListView_Options_Language", 1);
    list->setHeaderLabels({"Sprache", "Übersetzer", "Index"});
    auto* emptyTabs = make<QTabBar>(&form_, "TabSet_Empty", 1);
    emptyTabs->setProperty("Caption", "kept"); // no tab: the tab rule does not apply
    auto* derived = make<TNoRuleTabBar>(&form_, "TabSet_Derived", 1);
    derived->addTab("Eins");

    translate({"Form_Test.AdvOfficeTabSet1=A%crlfB", "Form_Test.ListView_Options_Language=A%crlfB",
               "Form_Test.TabSet_Empty=Caption instead", "Form_Test.TabSet_Derived=One"});
    EXPECT_EQ(tabs->tabText(0), "A");
    EXPECT_EQ(tabs->tabText(1), "B");
    EXPECT_EQ(tabs->tabText(2), "B");
    EXPECT_EQ(list->headerItem()->text(0), "A");
    EXPECT_EQ(list->headerItem()->text(1), "B");
    EXPECT_EQ(list->headerItem()->text(2), "B");
    EXPECT_EQ(emptyTabs->property("Caption").toString(), "Caption instead");
    EXPECT_EQ(derived->tabText(0), "Eins");
}

TEST_F(ComponentWalkTest, OwnerDrawnListGetsTahomaHeaderThenColumnTexts) {
    auto* tree = make<TVirtualDrawTree>(&form_, "VirtualDrawTree_ORB_QO16", 1);
    auto* model = new QStandardItemModel(0, 6, tree);
    tree->setModel(model);
    tree->header()->setFont(QFont("DejaVu Sans", 9));
    auto* noColumns = make<TVirtualDrawTree>(&form_, "VirtualDrawTree1", 1);
    noColumns->header()->setFont(QFont("DejaVu Sans", 9));

    translate({"Form_Test.VirtualDrawTree_ORB_QO16=Name%CRLFFolders%CRLFFiles%CRLFSize",
               "Form_Test.VirtualDrawTree1=Ignored"});
    EXPECT_EQ(tree->header()->font().family(), "Tahoma");
    EXPECT_EQ(tree->header()->font().pointSize(), 9);
    const QStringList expected = {"Name", "Folders", "Files", "Size", "Size", "Size"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(model->headerData(i, Qt::Horizontal).toString(), expected[i]) << i;
    EXPECT_EQ(noColumns->header()->font().family(), "Tahoma");
}

TEST_F(ComponentWalkTest, OurLabelsAndPropertyRules) {
    auto* html = make<THTMLabel>(&form_, "HTMLabel_A", 1);
    auto* derived = make<TDerivedHTMLabel>(&form_, "HTMLabel_Derived", 1);
    auto* smooth = make<TAdvSmoothLabel>(&form_, "SmoothLabel_A", 1, "Alt");
    QObject plain;
    plain.setObjectName("Helper");
    plain.setParent(&form_);
    auto* withHtml = make<QObject>(&form_, "Thing_Html", 1);
    withHtml->setProperty("HTMLText", QString());
    withHtml->setProperty("Caption", QString("untouched"));
    auto* withCaption = make<QObject>(&form_, "Thing_Caption", 1);
    withCaption->setProperty("Caption", QString());
    auto* page = make<QWidget>(&form_, "TabSheet_LANG", 1);
    page->setProperty("Caption", "Sprache");

    translate({"Form_Test.HTMLabel_A=<b>Line 1</b>%CRLFLine 2",
               "Form_Test.HTMLabel_Derived=<b>A</b>%CRLFB", "Form_Test.SmoothLabel_A=Smooth",
               "Form_Test.Thing_Html=<i>html</i>", "Form_Test.Thing_Caption=Caption%CRLFtwo",
               "Form_Test.TabSheet_LANG=Language", "Form_Test.Helper=none"});
    EXPECT_EQ(html->htmlText(), QStringList({"<b>Line 1</b>", "Line 2"}));
    EXPECT_EQ(derived->htmlText(), QStringList({"<b>A</b>", "B"})); // by the HTMLText property
    EXPECT_EQ(smooth->text(), "Smooth");
    EXPECT_EQ(withHtml->property("HTMLText").toString(), "<i>html</i>");
    EXPECT_EQ(withHtml->property("Caption").toString(), "untouched");
    EXPECT_EQ(withCaption->property("Caption").toString(), "Caption\r\ntwo");
    EXPECT_EQ(page->property("Caption").toString(), "Language");
}

TEST_F(ComponentWalkTest, PageOfATabWidgetTakesItsTabText) {
    auto* tabs = make<QTabWidget>(&form_, "PageControl1", 0);
    auto* page = make<QWidget>(nullptr, "TabSheet_OTHER", 1);
    tabs->addTab(page, "Sonstiges");
    translate({"Form_Test.TabSheet_OTHER=Other"});
    EXPECT_EQ(tabs->tabText(0), "Other");
}

TEST_F(ComponentWalkTest, LinkButtonRepaintsAfterItsCaptionChanged) {
    form_.resize(200, 100);
    auto* translated = make<TLumoUnicodeSTButton>(&form_, "LumoUnicodeSTButton_EULA", 1);
    auto* untagged = make<TLumoUnicodeSTButton>(&form_, "LumoUnicodeSTButton_Privacy", 0);
    translated->setGeometry(0, 0, 80, 20);
    untagged->setGeometry(0, 30, 80, 20);
    form_.show();
    for (int i = 0; i < 10 && translated->paints == 0; ++i)
        QCoreApplication::processEvents();
    ASSERT_GT(translated->paints, 0) << "the window is exposed";
    const int before = translated->paints;
    const int untaggedBefore = untagged->paints;

    translate({"Form_Test.LumoUnicodeSTButton_EULA=License",
               "Form_Test.LumoUnicodeSTButton_Privacy=Privacy"});
    EXPECT_EQ(translated->caption(), "License");
    EXPECT_EQ(translated->paints, before + 1);
    EXPECT_EQ(untagged->paints, untaggedBefore);
}

TEST_F(ComponentWalkTest, TranslatingTwiceGivesTheSameResult) {
    auto* tabs = make<QTabBar>(&form_, "Tabs", 1);
    tabs->addTab("Eins");
    tabs->addTab("Zwei");
    auto* label = make<QLabel>(&form_, "Label_A", 1, "Alt");
    const QStringList lines = {"Form_Test.Tabs=One%CRLFTwo", "Form_Test.Label_A=New"};
    translate(lines);
    translate(lines);
    EXPECT_EQ(tabs->tabText(0), "One");
    EXPECT_EQ(tabs->tabText(1), "Two");
    EXPECT_EQ(label->text(), "New");
}

} // namespace

#include "ComponentWalkTest.moc"
