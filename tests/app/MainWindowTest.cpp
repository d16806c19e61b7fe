// The main window: hosting modules and switching them through the switcher thread, kept forms,
// maximise and the grips, the options loop, the internet menu, closing, dragging by the header,
// the request of a second start, and the translatable controls of the shell's windows.

#include "AppTestSupport.h"

#include "analysis/nogui_Orbisca.h"
#include "app/FormYesNo.h"
#include "app/MainMenuSwitcherThread.h"
#include "app/ModuleHost.h"
#include "app/ModuleRegistry.h"
#include "app/Unit1.h"
#include "dialogs/options/FormOptions.h"
#include "i18n/LanguageSelection.h"
#include "i18n/ProjectMessages.h"
#include "i18n/TranslatableComponents.h"
#include "inet/zel_inet2.h"
#include "platform/CommandLine.h"
#include "platform/Debug.h"
#include "platform/Shell.h"
#include "settings/Environment.h"
#include "settings/Registry.h"
#include "skin/HTMLabel.h"
#include "skin/Image.h"
#include "skin/Panel.h"
#include "skin/PngImage.h"
#include "skin/SkinApply.h"
#include "skin/TarviMouseImage3State.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QShortcut>

using namespace app;

namespace {

// A module of our own: a bottom bar with a copy of the host's size grip, as the analyser has.
class TestModule : public QWidget {
public:
    TestModule(QWidget* parent, skin::TMainHost& host) : QWidget(parent) {
        setObjectName(QStringLiteral("Form_Test"));
        bar = new QWidget(this);
        bar->setGeometry(0, 0, 400, 58);
        grip = skin::AddSizeGripCopy(bar, host.SizeGrip());
        ++created;
    }
    ~TestModule() override { ++destroyed; }
    static inline int created = 0;
    static inline int closed = 0;
    static inline int destroyed = 0;
    QWidget* bar = nullptr;
    skin::TImage* grip = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override {
        ++closed;
        QWidget::closeEvent(event);
    }
};

const QString kTestModule = QStringLiteral("TForm_TestModule");

class MainWindowTest : public apptest::ShippedProgram {
protected:
    void SetUp() override {
        ShippedProgram::SetUp();
        TestModule::created = TestModule::closed = TestModule::destroyed = 0;
        RegisterModuleClass(kTestModule, [](QWidget* parent, skin::TMainHost& host) {
            return new TestModule(parent, host);
        });
        form_ = std::make_unique<TForm_QO7>();
        form_->SetMainModuleClass(kTestModule);
        form_->Perform_EveryThingAfterOnCreate();
    }
    void TearDown() override {
        form_.reset();
        delete settings::Form_Options();
        settings::SetForm_Options(nullptr);
        UnregisterModuleClass(kTestModule);
        analysis::ProgramClosing = false;
        platform::SetProgramArguments({});
        ResetAskerBackground();
        ShippedProgram::TearDown();
    }
    int countLines(const platform::DebugCapture& capture, const QString& start) const {
        int n = 0;
        for (const QString& line : capture.lines())
            n += line.startsWith(start) ? 1 : 0;
        return n;
    }
    template <class Control> Control* control(const char* name) const {
        return apptest::Find<Control>(form_.get(), name);
    }
    skin::TTarviMouseImage3State* headerButton(const char* name) const {
        return control<skin::TTarviMouseImage3State>(name);
    }
    std::unique_ptr<TForm_QO7> form_;
};

// The menus' colours: an item that is disabled is drawn in grey, an enabled one in black (the
// darkest pixel of each item's text, in the real menu style).
TEST_F(MainWindowTest, DisabledMenuItemsLookDisabled) {
    QMenu menu;
    QAction* enabled = menu.addAction(QStringLiteral("Enabled item"));
    QAction* disabled = menu.addAction(QStringLiteral("Disabled item"));
    disabled->setEnabled(false);
    menu.popup(QPoint(0, 0));
    QApplication::processEvents();
    const QImage shot = menu.grab().toImage();
    menu.hide();
    const auto darkest = [&](QAction* action) {
        int least = 255;
        const QRect r = menu.actionGeometry(action);
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                least = std::min(least, qGray(shot.pixel(x, y)));
        return least;
    };
    EXPECT_LT(darkest(enabled), 60);
    EXPECT_GT(darkest(disabled), 110);
}

TEST_F(MainWindowTest, ModuleFillsTheHostAndASwitchClosesAndFreesTheOldOne) {
    platform::DebugCapture capture;
    form_->show();
    form_->ShowMainmenu_Real();
    QPointer<QWidget> first = form_->CurrentModuleForm();
    ASSERT_TRUE(first);
    EXPECT_EQ(form_->CurrentModuleClassName(), kTestModule);
    EXPECT_TRUE(capture.contains("Created: TForm_TestModule ; FormName=Form_Test"));
    EXPECT_EQ(countLines(capture, "ms for Creating new Module = "), 1);
    EXPECT_EQ(form_->minimumSize(), QSize(1122, 737));
    EXPECT_EQ(control<skin::TPanel>("Panel1")->geometry(),
              QRect(0, 57, form_->width(), form_->height() - 57));
    EXPECT_EQ(first->geometry(), control<skin::TPanel>("Panel1")->rect());
    EXPECT_TRUE(first->isVisible());

    form_->resize(1300, 780);
    EXPECT_EQ(control<skin::TPanel>("Panel1")->geometry(), QRect(0, 57, 1300, 780 - 57));
    EXPECT_EQ(first->size(), QSize(1300, 780 - 57));
    // At most one pixel less than the screen is high.
    form_->resize(1300, form_->screen()->geometry().height() + 50);
    EXPECT_EQ(form_->height(), form_->screen()->geometry().height() - 1);
    EXPECT_EQ(headerButton("TarviMouseImage3State_Close")->x(), 1300 - 36);

    bool handlerCalled = false;
    form_->SetCurrentModuleForm_OnOptionsChanged([&] { handlerCalled = true; });
    form_->ShowMainmenu_Real();
    EXPECT_TRUE(capture.contains("Close: TForm_TestModule"));
    EXPECT_EQ(TestModule::closed, 1);
    EXPECT_FALSE(form_->Modules().OnOptionsChanged());
    EXPECT_NE(form_->CurrentModuleForm(), first.data());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(TestModule::created, 2);
    EXPECT_FALSE(handlerCalled);
}

TEST_F(MainWindowTest, SwitcherRunsOneSwitchPerRequestAndHoldsItWhileLocked) {
    platform::DebugCapture capture;
    form_->ChangeModule(kTestModule);
    form_->ChangeModule(kTestModule);
    form_->ShowMainmenu();
    form_->ShowMainmenu();
    // Not before the poll: the caller's handler returns first.
    EXPECT_EQ(TestModule::created, 0);
    ASSERT_TRUE(apptest::WaitUntil([&] { return TestModule::created == 2; }));
    apptest::PumpFor(200);
    EXPECT_EQ(TestModule::created, 2);
    EXPECT_EQ(countLines(capture, "Created: "), 2);
    EXPECT_FALSE(form_->SwitcherThread()->Pending());

    // While an analysis runs, module changes wait.
    form_->EnableDisable_Modulwechsel(false);
    form_->ChangeModule(kTestModule);
    apptest::PumpFor(250);
    EXPECT_EQ(TestModule::created, 2);
    EXPECT_TRUE(form_->SwitcherThread()->Pending());
    form_->EnableDisable_Modulwechsel(true);
    ASSERT_TRUE(apptest::WaitUntil([&] { return TestModule::created == 3; }));
}

TEST_F(MainWindowTest, KeptFormsSurviveSwitchesUntilClearAll) {
    platform::DebugCapture capture;
    form_->ShowMainmenu_Real();
    QPointer<QWidget> kept = form_->CurrentModuleForm();
    TModuleHost& host = form_->Modules();
    host.KeepFormLoaded(kTestModule, kept);
    EXPECT_EQ(host.KeepFormLoaded_isKeepForm(kept), 0);
    EXPECT_EQ(host.KeepFormLoaded_isKeepFormClass(kTestModule), 0);
    EXPECT_EQ(host.KeepFormLoaded_isKeepFormClass("TForm_Other"), -1);

    form_->ShowMainmenu_Real();
    EXPECT_TRUE(capture.contains("DO NOT Close: TForm_TestModule"));
    EXPECT_TRUE(capture.contains("KeepForm found: TForm_TestModule ; FormName=Form_Test"));
    EXPECT_EQ(form_->CurrentModuleForm(), kept.data());
    EXPECT_EQ(TestModule::created, 1);
    EXPECT_EQ(TestModule::closed, 0);

    host.KeepFormLoaded_ClearAll();
    EXPECT_TRUE(capture.contains("KeepFormLoaded_ClearAll ; Close=Form_Test"));
    EXPECT_TRUE(capture.contains(
        "KeepFormLoaded_ClearAll ; this is the current MainForm ; clear currentmainform"));
    EXPECT_EQ(form_->CurrentModuleForm(), nullptr);
    EXPECT_EQ(host.KeptFormCount(), 0);
    EXPECT_EQ(TestModule::closed, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(kept.isNull());
}

TEST_F(MainWindowTest, MaximisedWindowHidesBothGripsAndOffersRestore) {
    form_->show();
    form_->ShowMainmenu_Real();
    auto* module = static_cast<TestModule*>(form_->CurrentModuleForm());
    ASSERT_NE(module->grip, nullptr);
    const auto normalPicture = [&] {
        return headerButton("TarviMouseImage3State_Maximize")->Picture_Normal();
    };
    const QImage unmax = HeaderButtonPicture("but_unmax_normal.png");
    const QImage maximize = HeaderButtonPicture("but_maximize.png");
    EXPECT_EQ(maximize.size(), QSize(32, 32));
    ASSERT_NE(unmax, maximize);
    EXPECT_EQ(normalPicture(), maximize);
    EXPECT_TRUE(control<skin::TImage>("Image_SizeGrip")->isVisible());
    EXPECT_TRUE(module->grip->isVisible());
    EXPECT_EQ(control<skin::TImage>("Image_SizeGrip")->geometry().bottomRight(),
              QPoint(form_->width() - 3, form_->height() - 3));

    headerButton("TarviMouseImage3State_Maximize")->Click();
    ASSERT_TRUE(apptest::WaitUntil([&] { return form_->isMaximized(); }));
    EXPECT_FALSE(control<skin::TImage>("Image_SizeGrip")->isVisible());
    EXPECT_FALSE(module->grip->isVisible());
    EXPECT_FALSE(control<QWidget>("Frame_Top")->isVisible());
    EXPECT_EQ(normalPicture(), unmax);

    headerButton("TarviMouseImage3State_Maximize")->Click();
    ASSERT_TRUE(apptest::WaitUntil([&] { return !form_->isMaximized(); }));
    EXPECT_TRUE(control<skin::TImage>("Image_SizeGrip")->isVisible());
    EXPECT_TRUE(module->grip->isVisible());
    EXPECT_TRUE(control<QWidget>("Frame_Top")->isVisible());
    EXPECT_EQ(normalPicture(), maximize);
}

// Answers the options dialog: notes who opened it, optionally asks for a new one, closes it.
void answerOptions(QStringList* log, bool recreate, std::function<void()> next) {
    apptest::WhenModalOpens([=](QWidget* modal) {
        auto* options = qobject_cast<settings::TForm_Options*>(modal);
        ASSERT_NE(options, nullptr);
        *log << (options->Current_Sender() ? options->Current_Sender()->objectName() : "none");
        options->SIGNAL_RECREATE_FORM = recreate;
        if (next)
            next();
        options->reject();
    });
}

TEST_F(MainWindowTest, OptionsLoopShowsAgainWhenAskedHintsAtAChangedSkinThenCallsTheModule) {
    using namespace settings;
    int handlerCalls = 0;
    form_->SetCurrentModuleForm_OnOptionsChanged([&] { ++handlerCalls; });
    QStringList log;
    const auto answerHint = [&log] {
        apptest::WhenModalOpens([&log](QWidget* modal) {
            auto* dialog = qobject_cast<TForm_YesNo*>(modal);
            ASSERT_NE(dialog, nullptr);
            log << apptest::Find<skin::THTMLabel>(dialog, "HTMLabel1")->text();
            apptest::Find<QPushButton>(dialog, "Button_Ok")->click();
        });
    };
    // The first dialog asks to be made anew (a reset); a skin is chosen in the second.
    answerOptions(&log, true, [&] {
        answerOptions(&log, false, [&] {
            RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin", "Dark");
            answerHint();
        });
    });
    form_->ClickOptionsMenuItem();
    ASSERT_EQ(log.size(), 3);
    EXPECT_EQ(log[0], "MenuItem_Options");
    EXPECT_EQ(log[1], "MenuItem_Options");
    EXPECT_TRUE(log[2].contains(i18n::Message(i18n::Msg::MESSAGEHTML_OPTIONS_SKINORLANG_CHANGED)));
    EXPECT_EQ(handlerCalls, 1);
    ASSERT_NE(Form_Options(), nullptr);
    EXPECT_EQ(Form_Options()->Current_Sender(), nullptr);

    // The skin in use chosen again gives no hint; the header button opens it too.
    RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin", "default");
    log.clear();
    answerOptions(&log, false, nullptr);
    headerButton("TarviMouseImage3State_options")->Click();
    apptest::PumpFor(100);
    EXPECT_EQ(log, QStringList({"TarviMouseImage3State_options"}));
    EXPECT_EQ(handlerCalls, 2);
}

TEST_F(MainWindowTest, HelpItemAndF1OpenTheManualAndAboutShowsTheBoxWithTheItemsCaption) {
    platform::DebugCapture capture;
    std::vector<platform::ShellRequest> opened;
    const platform::ShellHandler previous =
        platform::SetShellHandler([&](const platform::ShellRequest& r) {
            opened.push_back(r);
            return true;
        });
    form_->show();
    control<QAction>("MenuItem_help_Help")->trigger();
    auto* f1 = form_->findChild<QShortcut*>();
    ASSERT_NE(f1, nullptr);
    EXPECT_EQ(f1->key(), QKeySequence(Qt::Key_F1));
    emit f1->activated();
    headerButton("TarviMouseImage3State_Feedback")->Click();
    platform::SetShellHandler(previous);
    EXPECT_EQ(countLines(capture, "Call Online Help ; URL="), 2);
    ASSERT_EQ(opened.size(), 3u);
    for (const platform::ShellRequest& r : opened)
        EXPECT_TRUE(r.url.endsWith("/index.html")) << r.url;
    EXPECT_TRUE(capture.contains("target=feedback"));

    QString caption;
    apptest::WhenModalOpens([&](QWidget* modal) {
        caption = modal->windowTitle();
        EXPECT_EQ(modal->objectName(), "Form_About");
        static_cast<QDialog*>(modal)->reject();
    });
    control<QAction>("MenuItem_help_About")->setText("&Über diese &Software");
    control<QAction>("MenuItem_help_About")->trigger();
    EXPECT_EQ(caption, "Über diese Software");
}

TEST_F(MainWindowTest, InternetMenuComesFromTheServicesExceptUnderSave) {
    platform::SetProgramArguments({"-Save"});
    form_->INIT_INTERNETMENU();
    ASSERT_EQ(control<QMenu>("AdvPopupMenu_IM")->actions().size(), 1);
    EXPECT_EQ(control<QMenu>("AdvPopupMenu_IM")->actions()[0]->text(), "dummy");

    platform::SetProgramArguments({});
    form_->INIT_INTERNETMENU();
    const QList<QAction*> items = control<QMenu>("AdvPopupMenu_IM")->actions();
    const int count = inet::zinet_GetMenuItemsCount(inet::kInternetMenu);
    ASSERT_EQ(items.size(), count);
    for (int i = 0; i < count; ++i) {
        const QString text = inet::zinet_GetMenuItemsText(inet::kInternetMenu, i);
        EXPECT_EQ(items[i]->isSeparator(), text.isEmpty());
        if (!text.isEmpty()) {
            EXPECT_EQ(items[i]->text(), text);
            EXPECT_EQ(items[i]->property("HelpContext").toInt(),
                      inet::zinet_GetMenuItemsID(inet::kInternetMenu, i));
        }
    }

    // A click that does not ask to close rebuilds the menu and leaves the window open.
    platform::DebugCapture capture;
    std::vector<platform::ShellRequest> opened;
    const platform::ShellHandler previous =
        platform::SetShellHandler([&](const platform::ShellRequest& r) {
            opened.push_back(r);
            return true;
        });
    form_->show();
    items[0]->trigger();
    platform::SetShellHandler(previous);
    EXPECT_TRUE(capture.contains("zinet_ProcessMenuItem RETURNED = 0"));
    EXPECT_TRUE(form_->isVisible());
}

TEST_F(MainWindowTest, CloseSetsTheFlagsFreesKeptFormsAndWritesItsLines) {
    form_->show();
    form_->ShowMainmenu_Real();
    platform::DebugCapture capture;
    headerButton("TarviMouseImage3State_Close")->Click();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_TRUE(analysis::ProgramClosing);
    // The module shown is closed first: that is how an analysis under way learns to stop.
    EXPECT_EQ(TestModule::closed, 1);
    QStringList expected = {"QO16: FormCloseQuery", "KeepFormLoaded_ClearAll",
                            "QO16: FormCloseQuery DONE", "QO16: FormClose", "QO16: FormClose DONE"};
    QStringList seen;
    for (const QString& line : capture.lines())
        if (expected.contains(line))
            seen << line;
    EXPECT_EQ(seen, expected);
}

TEST_F(MainWindowTest, HeaderAndLogoMoveTheWindowAndTheGripResizesIt) {
    form_->ShowMainmenu_Real();
    form_->setGeometry(100, 20, 1200, 740);
    form_->show();
    const auto drag = [&](QWidget* source, QPoint from, QPoint by) {
        QCursor::setPos(from);
        QMouseEvent press(QEvent::MouseButtonPress, source->mapFromGlobal(QPointF(from)),
                          QPointF(from), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(source, &press);
        const QPointF to = QPointF(from + by);
        QMouseEvent move(QEvent::MouseMove, form_->mapFromGlobal(to), to, Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form_.get(), &move);
        QMouseEvent release(QEvent::MouseButtonRelease, form_->mapFromGlobal(to), to,
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form_.get(), &release);
    };
    const QPoint start = form_->pos();
    drag(control<skin::TPanel>("Shape_Header"), form_->mapToGlobal(QPoint(400, 30)),
         QPoint(40, 25));
    EXPECT_EQ(form_->pos(), start + QPoint(40, 25));
    drag(control<skin::TImage>("Image_Logo"), form_->mapToGlobal(QPoint(10, 10)), QPoint(-20, 5));
    EXPECT_EQ(form_->pos(), start + QPoint(20, 30));

    const QSize size = form_->size();
    const QPoint grip = control<skin::TImage>("Image_SizeGrip")->mapToGlobal(QPoint(5, 5));
    drag(control<skin::TImage>("Image_SizeGrip"), grip, QPoint(60, 30));
    EXPECT_EQ(form_->size(), size + QSize(60, 30));
    // Never below the hosted minimum.
    drag(control<skin::TImage>("Image_SizeGrip"),
         control<skin::TImage>("Image_SizeGrip")->mapToGlobal(QPoint(5, 5)), QPoint(-900, -900));
    EXPECT_EQ(form_->size(), QSize(1122, 737));
}

TEST_F(MainWindowTest, SecondStartRestoresAMinimisedWindow) {
    form_->show();
    form_->showMinimized();
    ASSERT_TRUE(apptest::WaitUntil([&] { return form_->isMinimized(); }));
    platform::DebugCapture capture;
    form_->RestoreFromSecondStart();
    EXPECT_TRUE(apptest::WaitUntil([&] { return !form_->isMinimized(); }));
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(capture.contains("Second start: restoring the minimised window"));
}

// Every control of the shell's windows that carries Tag 1 is listed, and every listed one
// exists with Tag 1.
TEST_F(MainWindowTest, TranslatableControlsAreExactlyTheListedOnes) {
    TForm_YesNo yesNo;
    for (QWidget* window : {static_cast<QWidget*>(form_.get()), static_cast<QWidget*>(&yesNo)}) {
        const QString windowClass = i18n::ComponentClassName(window);
        QSet<QString> tagged;
        if (window->property("Tag").toInt() == 1)
            tagged.insert(window->objectName());
        for (QObject* child : window->findChildren<QObject*>())
            if (child->property("Tag").toInt() == 1)
                tagged.insert(child->objectName());
        QSet<QString> listed;
        for (const i18n::TranslatableComponent& c : i18n::TranslatableComponents())
            if (windowClass == QLatin1String(c.windowClass))
                listed.insert(QString::fromUtf8(c.component));
        EXPECT_EQ(tagged, listed) << windowClass;
    }
}

// The border edges a window has, in the order top, left, right, bottom.
std::vector<QWidget*> frameEdges(const TForm_QO7& form) {
    std::vector<QWidget*> edges;
    for (const char* name : {"Frame_Top", "Frame_Left", "Frame_Right", "Frame_Bottom"})
        if (auto* edge = form.findChild<QWidget*>(QLatin1String(name)))
            edges.push_back(edge);
    return edges;
}

TEST_F(MainWindowTest, FrameBordersAlongTheTopOrAllAroundBeforeWindows10) {
    ASSERT_EQ(frameEdges(*form_).size(), settings::IsWindows10OrLater ? 1u : 4u);
    const bool saved = settings::IsWindows10OrLater;
    settings::IsWindows10OrLater = false;
    TForm_QO7 older;
    settings::IsWindows10OrLater = saved;
    older.Perform_EveryThingAfterOnCreate();
    older.resize(1000, 700);
    older.show();
    QStringList geometries;
    for (QWidget* edge : frameEdges(older)) {
        const QRect g = edge->geometry();
        geometries << QStringLiteral("%1 %2,%3 %4x%5")
                          .arg(edge->objectName())
                          .arg(g.x())
                          .arg(g.y())
                          .arg(g.width())
                          .arg(g.height());
    }
    EXPECT_EQ(geometries, QStringList({"Frame_Top 0,0 1000x2", "Frame_Left 0,0 2x700",
                                       "Frame_Right 999,0 1x700", "Frame_Bottom 0,699 1000x1"}));
    older.showMaximized();
    ASSERT_TRUE(apptest::WaitUntil([&] { return older.isMaximized(); }));
    for (QWidget* edge : frameEdges(older))
        EXPECT_FALSE(edge->isVisible()) << edge->objectName();
}

TEST_F(MainWindowTest, EnglishTranslationReachesTheMenus) {
    i18n::ResetLocalisationState();
    settings::RegWriteString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey,
                             "ForceLanguage_LCID", "orb2024_en-us");
    i18n::DetectLanguage();
    TForm_QO7 english;
    english.Perform_EveryThingAfterOnCreate();
    EXPECT_EQ(apptest::Find<QAction>(&english, "MenuItem_help_Help")->text(), "Help");
    EXPECT_EQ(apptest::Find<QAction>(&english, "MenuItem_Options")->text(), "Settings");
    EXPECT_EQ(english.windowTitle(), "Zelvano Orbisca 2024 (Version 01.00.00)");
}

} // namespace
