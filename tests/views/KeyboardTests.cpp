// The analyser window from the keyboard: keys pressed through the real window (its shortcuts
// and the list's own keys), on the sample drive M:.

#include "ItemActionsSupport.h"

#include "views/DirectoryListBox.h"
#include "views/ItemActions.h"

#include <QLineEdit>
#include <QTest>

namespace {

using namespace item_actions_test;
using views::RowId;

class Keyboard : public ItemActions {
protected:
    TForm_ORB& start() {
        TForm_ORB& w = openAndAnalyse();
        QApplication::setActiveWindow(&w);
        w.activateWindow();
        list().setFocus(Qt::OtherFocusReason);
        return w;
    }
    // A key through the widget with the focus, as the keyboard sends it (shortcuts first).
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_TRUE(target);
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }
    // Letters typed into the list, each a key with its text (umlauts included).
    void type(const QString& letters) {
        for (const QChar c : letters) {
            QKeyEvent down(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(&list(), &down);
        }
    }
    QString current() const {
        const RowId row = list().CurrentRow();
        return row == RowId::None ? QString() : list().RowPath(row);
    }
    QString folder() const {
        return Find<views::TDirectoryListBox>(window.get(), "JvDirectoryListBox1")->Directory();
    }
    bool focusIn(const char* name) const {
        QWidget* w = Find<QWidget>(window.get(), name);
        QWidget* focus = QApplication::focusWidget();
        return focus && (focus == w || w->isAncestorOf(focus));
    }
};

TEST_F(Keyboard, EnterBackspaceAndHistoryWalkTheFolders) {
    TForm_ORB& w = start();
    type("mu");
    EXPECT_EQ(current(), "M:\\music");
    press(Qt::Key_Return);
    EXPECT_EQ(folder(), "M:\\music");
    EXPECT_EQ(rows(), QStringList({"M:\\music\\s.mp3", "M:\\music\\t.Ogg", "M:\\music\\deep"}));
    EXPECT_EQ(current(), "M:\\music\\s.mp3"); // the first row, for the arrow keys
    EXPECT_TRUE(list().hasFocus());
    type("d");
    press(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(folder(), "M:\\music\\deep");

    // Up again: the folder left behind is the current row.
    press(Qt::Key_Backspace);
    EXPECT_EQ(folder(), "M:\\music");
    EXPECT_EQ(current(), "M:\\music\\deep");
    EXPECT_EQ(list().SelectedRows().size(), 1u);
    press(Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(folder(), "M:\\");
    EXPECT_EQ(current(), "M:\\music");
    press(Qt::Key_Backspace); // the root has no parent
    EXPECT_EQ(folder(), "M:\\");

    // Back and forward through the folders shown: root, music, deep, music, root.
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(folder(), "M:\\music");
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(folder(), "M:\\music\\deep");
    press(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(folder(), "M:\\music");
    EXPECT_EQ(current(), "M:\\music\\deep");
    press(Qt::Key_Left, Qt::AltModifier);
    press(Qt::Key_Left, Qt::AltModifier);
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(folder(), "M:\\");
    press(Qt::Key_Left, Qt::AltModifier); // nothing before the first
    EXPECT_EQ(folder(), "M:\\");
    // A new folder drops the folders ahead.
    type("v");
    press(Qt::Key_Return);
    press(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(folder(), "M:\\video");

    // Enter on a file opens it, in the structure and the files view.
    type("b");
    shellRequests.clear();
    press(Qt::Key_Return);
    ASSERT_EQ(shellRequests.size(), 1u);
    EXPECT_EQ(shellRequests[0].kind, platform::ShellRequest::Kind::OpenPath);
    EXPECT_EQ(shellRequests[0].nativePath, native("video/b.MKV"));
    press(Qt::Key_2, Qt::ControlModifier);
    ASSERT_EQ(w.ListState.View, views::TListView::Files);
    type("pic");
    press(Qt::Key_Return);
    ASSERT_EQ(shellRequests.size(), 2u);
    EXPECT_EQ(shellRequests[1].nativePath, native("pic.JPG"));
    // The folder keys belong to the structure view.
    press(Qt::Key_Backspace);
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(w.ListState.View, views::TListView::Files);
    EXPECT_EQ(rows().size(), int(kFiles));
}

TEST_F(Keyboard, WindowShortcutsChooseViewsFilterAndAnalyseAgain) {
    TForm_ORB& w = start();
    press(Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(w.ListState.View, views::TListView::Files);
    press(Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(w.ListState.View, views::TListView::Formats);
    EXPECT_TRUE(list().hasFocus());
    press(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(w.ListState.View, views::TListView::Structure);

    // Ctrl+F: into the filter box, its text selected to be typed over; Escape: all files again.
    press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(focusIn("ComboBox_ORB_Filter"));
    auto* filter = Find<QComboBox>(&w, "ComboBox_ORB_Filter");
    EXPECT_EQ(filter->lineEdit()->selectedText(), filter->itemText(0));
    QTest::keyClicks(QApplication::focusWidget(), "*.mp3");
    press(Qt::Key_Return);
    QStringList filtered = rows();
    filtered.sort();
    EXPECT_EQ(filtered, QStringList({"M:\\music\\deep\\z.mp3", "M:\\music\\s.mp3"}));
    EXPECT_TRUE(focusIn("ComboBox_ORB_Filter")); // the box keeps the focus
    press(Qt::Key_Escape);
    EXPECT_EQ(filter->currentText(), filter->itemText(0));
    EXPECT_TRUE(w.ListState.CURRENT_FILTER.isEmpty());
    EXPECT_EQ(rows().size(), 7);
    EXPECT_EQ(status(), summary(kFiles, kFiles, kBytes));

    // F5 analyses the drive again, without asking for it.
    writeRaw(native("new.bin"), std::string(1000, 'x'));
    list().setFocus(Qt::OtherFocusReason);
    press(Qt::Key_F5);
    EXPECT_EQ(w.Orbisca->TotalFiles(), kFiles + 1);
    EXPECT_EQ(w.Orbisca->TotalSize(), kBytes + 1000);
    EXPECT_TRUE(rows().contains("M:\\new.bin"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(Keyboard, DeleteKeysAskAndTheMenuKeysOpenTheMenuAtTheRow) {
    TForm_ORB& w = start();
    type("pic");
    ASSERT_EQ(current(), "M:\\pic.JPG");
    answer = platform::IDNO;
    press(Qt::Key_Delete);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, Message(Msg::MESSAGE_ORB_DELETE_ASK_SURE));
    press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, views::PermanentDeleteQuestion({"M:\\pic.JPG"}, 300));
    EXPECT_EQ(messages[1].type,
              platform::MB_YESNO | platform::MB_ICONWARNING | platform::MB_DEFBUTTON2);
    EXPECT_TRUE(trashCalls.empty());
    EXPECT_TRUE(exists(native("pic.JPG")));

    // The menu key and Shift+F10: the menu at the current row, its keys beside the items.
    auto* menu = Find<QMenu>(&w, "AdvPopupMenu_ORB");
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        press(key, modifiers);
        ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
        const QRect row = list().visualRect(list().currentIndex());
        const QPoint at = list().viewport()->mapFromGlobal(menu->pos());
        EXPECT_TRUE(at.y() >= row.top() && at.y() <= row.bottom() + 2)
            << at.y() << " " << row.top();
        menu->hide();
    }
    const QString del = Find<QAction>(&w, "PopUp_Delete")->text();
    EXPECT_TRUE(del.endsWith(u'\t' + Message(Msg::MESSAGE_ORB_KEY_DELETE))) << del.toStdString();
    EXPECT_EQ(del.count(u'\t'), 1); // shown twice, added once
    EXPECT_TRUE(Find<QAction>(&w, "PopUp_DeletePermanently")
                    ->text()
                    .endsWith(u'\t' + Message(Msg::MESSAGE_ORB_KEY_SHIFT_DELETE)));
    EXPECT_TRUE(Find<QAction>(&w, "PopUp_OpenFile")
                    ->text()
                    .endsWith(u'\t' + Message(Msg::MESSAGE_ORB_KEY_ENTER)));
}

TEST_F(Keyboard, TypeAheadJumpsToNamesAndKnowsUmlauts) {
    writeRaw(native("\xC3\x84pfel.txt"), std::string(900, 'a')); // Äpfel
    writeRaw(native("\xC3\xA4rger.txt"), std::string(800, 'a')); // ärger
    writeRaw(native("\xC3\x96l.txt"), std::string(700, 'a'));    // Öl
    writeRaw(native("Ofen"), std::string(600, 'a'));
    start();
    type(QString::fromUtf8("ä"));
    EXPECT_EQ(current(), QString::fromUtf8("M:\\Äpfel.txt"));
    type(QString::fromUtf8("ä")); // the same letter again: the next name with it
    EXPECT_EQ(current(), QString::fromUtf8("M:\\ärger.txt"));
    type(QString::fromUtf8("ä"));
    EXPECT_EQ(current(), QString::fromUtf8("M:\\Äpfel.txt"));
    QTest::qWait(QApplication::keyboardInputInterval() + 100);
    type(QString::fromUtf8("ÄR")); // a word, in either case
    EXPECT_EQ(current(), QString::fromUtf8("M:\\ärger.txt"));
    QTest::qWait(QApplication::keyboardInputInterval() + 100);
    type(QString::fromUtf8("ö"));
    EXPECT_EQ(current(), QString::fromUtf8("M:\\Öl.txt"));
    QTest::qWait(QApplication::keyboardInputInterval() + 100);
    type("q"); // nothing starts with it: the row stays
    EXPECT_EQ(current(), QString::fromUtf8("M:\\Öl.txt"));
    EXPECT_EQ(list().SelectedRows().size(), 1u);
}

TEST_F(Keyboard, TabRunsThroughTheControlsAndShowsWhereItIs) {
    TForm_ORB& w = start();
    Find<QWidget>(&w, "LumoButton_Files")->setFocus(Qt::TabFocusReason);
    // The structure view is shown: its button is disabled and skipped.
    for (const char* next :
         {"LumoButton_Formats", "CheckBox_ORB_Map", "ComboBox_ORB_NameBalken",
          "ComboBox_ORB_Filter", "JvDirectoryListBox1", "VirtualDrawTree_ORB_QO16",
          "LumoButton_Options", "LumoButton_Analyse"}) {
        press(Qt::Key_Tab);
        EXPECT_TRUE(focusIn(next))
            << next << " (focus on " << QApplication::focusWidget()->objectName().toStdString()
            << ")";
    }
    // Space on a view button chooses the view.
    Find<QWidget>(&w, "LumoButton_Files")->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    EXPECT_EQ(w.ListState.View, views::TListView::Files);

    // The focus shows: on a button as a ring, in the list as a frame around its row.
    auto* options = Find<QWidget>(&w, "LumoButton_Options");
    options->setFocus(Qt::TabFocusReason);
    const QImage focused = options->grab().toImage();
    list().setFocus(Qt::TabFocusReason);
    EXPECT_NE(options->grab().toImage(), focused);
    list().MakeCurrent(list().VisibleRow(2));
    const QRect row = list().visualRect(list().currentIndex());
    const QImage withFrame = list().viewport()->grab(row).toImage();
    options->setFocus(Qt::TabFocusReason);
    EXPECT_NE(list().viewport()->grab(row).toImage(), withFrame);
}

} // namespace
