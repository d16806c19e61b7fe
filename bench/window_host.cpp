// A plain host for the analyser window, for looking at it: a 1122 x 737 window with a header
// band in the skin's colour and the analyser below it, brought into one state and held there
// until the process is ended. It does the program's start-up steps that the window relies on
// (language from the hive or the locale, skin, stripe, the holder of the format groups) and
// stands in for the main window (warnings in message boxes, the size grip).
//
//   orbisca_window_host [--state S] [--drive X] [--view structure|files|formats]
//                       [--filter TEXT] [--type TEXT] [--namebar 0|1|2] [--dir PATH]
//                       [--maximized] [--incomplete] [--language NAME] [--skin NAME]
//                       [--size WxH] [--select PATH|PATH...] [--action A] [--vanish]
//   S: nothing (default), picker, scanning, analysed, filtering
//   A (on the rows --select names): menu (the context menu, opened by a right click), ask (the
//   delete question), delete (the question answered Yes; with --vanish the first selected item
//   is removed from the disk first, so that the run leaves it and says so). Deleting moves items
//   into the trash of $XDG_DATA_HOME: point it at a folder of its own.
//
// It prints "READY" on stdout once the state is on screen. --language and --skin store the
// choice (ForceLanguage_LCID, UseSkin) in the hive that ORBISCA_HIVE names, as the options dialog
// would; ORBISCA_SUBST maps fixture drives. Under Xvfb, `import -window root` takes the picture
// once READY is printed (README: The analyser window).

#include "analysis/nogui_Orbisca.h"
#include "bench/WindowControls.h"
#include "dialogs/options/FormOptions.h"
#include "i18n/LanguageSelection.h"
#include "i18n/nLang3.h"
#include "platform/CommandLine.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "platform/Pump.h"
#include "settings/Registry.h"
#include "skin/Fonts.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/MainHost.h"
#include "skin/PngImage.h"
#include "skin/SkinColors.h"
#include "skin/stripeskins.h"
#include "views/DirectoryListBox.h"
#include "views/DriveComboBoxEx.h"
#include "views/FormORB.h"
#include "views/FormUNDELETE_Drive.h"
#include "views/GaugeBar.h"
#include "views/ItemActions.h"
#include "views/VirtualDrawTree.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

class HostWindow : public QWidget, public skin::TMainHost {
public:
    HostWindow() {
        setWindowTitle(QStringLiteral("Zelvano Orbisca 2024"));
        resize(1122, 737);
        header_ = skin::ToQColor(skin::ColorToRGB(
            skin::ReadSkinColor(skin::SkinFolder() + QStringLiteral("\\skin.ini"),
                                QStringLiteral("Header"), QStringLiteral("Color"))));
        grip_.SetPicture(skin::LoadSkinPicture(skin::SkinFolder() + QStringLiteral("\\grip.png")));
        grip_.resize(grip_.Picture().size());
        grip_.setCursor(Qt::SizeFDiagCursor);
        grip_.hide();
    }
    void Embed(QWidget* module) {
        module_ = module;
        module->setParent(this);
        module->setGeometry(0, kHeader, width(), height() - kHeader);
        module->show();
    }

    QWidget* MainWindow() override { return this; }
    void EnableDisable_Modulwechsel(bool) override {}
    void Show_Warning(const QString& text) override {
        QMessageBox::warning(this, windowTitle(), text);
    }
    void Show_Info(const QString& text) override {
        QMessageBox::information(this, windowTitle(), text);
    }
    int AskYesOrNo(const QString& text, int) override {
        return QMessageBox::question(this, windowTitle(), text) == QMessageBox::Yes ? 6 : 7;
    }
    void ClickOptionsMenuItem() override {
        settings::RunOptionsDialog(this, this);
        if (onOptions_)
            onOptions_();
    }
    void SetCurrentModuleForm_OnOptionsChanged(std::function<void()> handler) override {
        onOptions_ = std::move(handler);
    }
    void INIT_INTERNETMENU() override {}
    void BringToFront() override {
        raise();
        activateWindow();
    }
    const skin::TImage* SizeGrip() const override { return &grip_; }
    QString CurrentModuleClassName() const override { return QStringLiteral("TForm_ORB"); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(0, 0, width(), kHeader, header_);
        p.setPen(Qt::white);
        QFont f(QStringLiteral("Tahoma"));
        f.setPixelSize(15);
        p.setFont(f);
        p.drawText(QRect(16, 0, width(), kHeader), Qt::AlignVCenter, windowTitle());
    }
    void resizeEvent(QResizeEvent*) override {
        if (module_)
            module_->setGeometry(0, kHeader, width(), height() - kHeader);
    }
    void closeEvent(QCloseEvent*) override {
        analysis::ProgramClosing = true;
    }

private:
    static constexpr int kHeader = 57;
    QColor header_;
    skin::TImage grip_;
    QWidget* module_ = nullptr;
    std::function<void()> onOptions_;
};

void ready() {
    std::printf("READY\n");
    std::fflush(stdout);
}

// Keeps the window painted for a while from inside a long run.
void hold(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Confirms the next drive picker with the given drive.
void answerPicker(QChar drive) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, drive] {
        if (auto* d =
                qobject_cast<views::TForm_UNDELETE_Drive*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            if (!drive.isNull())
                d->DriveComboBoxEx1->SetDrive(drive);
            d->LumoButton_OkClick();
        }
    });
    poll->start();
}

// Holds the window on screen from inside a long run once it has passed `points` pump points.
int g_points = 0;
int g_holdAt = 0;
void holdAtPumpPoint(int points) {
    g_points = 0;
    g_holdAt = points;
    platform::SetPumpObserver(
        [](void*) {
            if (++g_points == g_holdAt) {
                ready();
                hold(600000);
            }
        },
        nullptr);
}

// Selects the rows of these paths.
void selectRows(views::TVirtualDrawTree* list, const QStringList& paths) {
    list->ClearSelection();
    for (int i = 0; i < list->VisibleRowCount(); ++i) {
        if (paths.contains(list->RowPath(list->VisibleRow(i))))
            list->SelectRow(list->VisibleRow(i), true);
    }
}

// Opens the context menu as a right click on the first selected row does.
void rightClickFirstSelected(views::TVirtualDrawTree* list) {
    const int position = list->PositionOf(list->GetFirstSelected());
    const QRect r = list->visualRect(list->model()->index(std::max(0, position), 0));
    QContextMenuEvent menu(QContextMenuEvent::Mouse, r.center(),
                           list->viewport()->mapToGlobal(r.center() + QPoint(40, 0)));
    QApplication::sendEvent(list->viewport(), &menu);
}

// Answers the delete question Yes and holds the message that follows on screen.
void answerYesThenHoldTheMessage() {
    auto* poll = new QTimer(qApp);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
            yes->click();
            return;
        }
        poll->stop();
        poll->deleteLater();
        QTimer::singleShot(300, ready);
    });
    poll->start();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption state(
        QStringLiteral("state"), "nothing, picker, scanning, analysed, filtering", "S", "nothing");
    const QCommandLineOption drive(QStringLiteral("drive"), "drive to analyse", "X");
    const QCommandLineOption view(QStringLiteral("view"), "structure, files, formats", "V",
                                  "structure");
    const QCommandLineOption filter(QStringLiteral("filter"), "filter box item to choose", "TEXT");
    const QCommandLineOption typed(QStringLiteral("type"), "filter to type and apply with Enter",
                                   "TEXT");
    const QCommandLineOption nameBar(QStringLiteral("namebar"), "name bar mode", "N", "0");
    const QCommandLineOption dir(QStringLiteral("dir"), "folder for the directory box", "PATH");
    const QCommandLineOption maximized(QStringLiteral("maximized"), "maximised window");
    const QCommandLineOption incomplete(QStringLiteral("incomplete"),
                                        "report an incomplete result");
    const QCommandLineOption language(QStringLiteral("language"),
                                      "store this translation as the choice", "NAME");
    const QCommandLineOption skinName(QStringLiteral("skin"), "store this skin as the choice",
                                      "NAME");
    const QCommandLineOption size(QStringLiteral("size"), "window size", "WxH", "1122x737");
    const QCommandLineOption select(QStringLiteral("select"), "rows to select, |-separated",
                                    "PATHS");
    const QCommandLineOption action(QStringLiteral("action"), "menu, ask, delete", "A");
    const QCommandLineOption vanish(QStringLiteral("vanish"),
                                    "remove the first selected item before deleting");
    parser.addOptions({state, drive, view, filter, typed, nameBar, dir, maximized, incomplete,
                       language, skinName, size, select, action, vanish});
    parser.process(app);

    skin::InstallProgramFonts();
    platform::SetProgramFolder(platform::WindowsPath(ORBISCA_BIN_DIR));
    if (parser.isSet(language))
        i18n::SaveForcedLanguage(parser.value(language));
    if (parser.isSet(skinName))
        settings::RegWriteString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey,
                                 QStringLiteral("UseSkin"), parser.value(skinName));
    i18n::DetectLanguage();
    i18n::LOAD_INTERNAL_ONLY(platform::ProgramFolder() + QStringLiteral("\\translation"),
                             i18n::CurrentTranslationName());
    skin::SelectSkinAtStart();
    const auto stripe = skin::CreateSkinStripe();
    skin::SetCurrentStripe(stripe.get());

    const QString wanted = parser.value(state);
    // The start-up timer opens the picker by itself only for the picker state.
    platform::SetProgramArguments(wanted == "picker" ? QStringList() : QStringList{"-NOVERSION"});

    HostWindow host;
    skin::SetMainHost(&host);
    settings::SetForm_Options(new settings::TForm_Options(&host)); // the host window owns it
    auto* orb = new views::TForm_ORB(nullptr, &host);
    const QStringList wh = parser.value(size).split(u'x');
    if (wh.size() == 2)
        host.resize(wh[0].toInt(), wh[1].toInt());
    host.Embed(orb);
    if (parser.isSet(maximized)) {
        // Without a window manager (Xvfb) maximising is taking the whole screen.
        host.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        host.showMaximized();
    } else
        host.show();

    const QChar letter =
        parser.value(drive).isEmpty() ? QChar() : parser.value(drive).front().toUpper();
    QTimer::singleShot(300, [&] {
        if (wanted == "nothing") {
            ready();
            return;
        }
        if (wanted == "picker") {
            QTimer::singleShot(600, ready);
            return;
        }
        if (wanted == "scanning")
            holdAtPumpPoint(3000);
        answerPicker(letter);
        bench::Find<skin::TLumoButton2>(orb, "LumoButton_Analyse")->Click();
        platform::SetPumpObserver(nullptr, nullptr);
        bench::Find<QComboBox>(orb, "ComboBox_ORB_NameBalken")
            ->setCurrentIndex(parser.value(nameBar).toInt());
        if (parser.isSet(dir))
            bench::Find<views::TDirectoryListBox>(orb, "JvDirectoryListBox1")
                ->SetDirectory(parser.value(dir));
        if (parser.value(view) == "files")
            bench::Find<skin::TLumoButton2>(orb, "LumoButton_Files")->Click();
        if (wanted == "filtering")
            holdAtPumpPoint(20000);
        if (parser.isSet(filter))
            bench::Find<QComboBox>(orb, "ComboBox_ORB_Filter")
                ->setCurrentText(parser.value(filter));
        if (parser.isSet(typed)) {
            bench::Find<QComboBox>(orb, "ComboBox_ORB_Filter")->setEditText(parser.value(typed));
            orb->ComboBox_ORB_FilterKeyPress(QChar(13));
        }
        if (parser.value(view) == "formats")
            bench::Find<skin::TLumoButton2>(orb, "LumoButton_Formats")->Click();
        views::TVirtualDrawTree* list =
            bench::Find<views::TVirtualDrawTree>(orb, "VirtualDrawTree_ORB_QO16");
        if (parser.isSet(select))
            selectRows(list, parser.value(select).split(u'|'));
        const QString act = parser.value(action);
        if (act == "menu") {
            rightClickFirstSelected(list);
            QTimer::singleShot(300, ready);
            return;
        }
        if (act == "ask") {
            QTimer::singleShot(300, ready);
            orb->PopUp_DeleteClick();
            return;
        }
        if (act == "delete") {
            if (parser.isSet(vanish) && list->GetFirstSelected() != views::RowId::None)
                ::unlink(views::NativePathOf(list->RowData(list->GetFirstSelected())).c_str());
            answerYesThenHoldTheMessage();
            orb->PopUp_DeleteClick(); // returns here when every item went
            ready();
            return;
        }
        if (parser.isSet(incomplete)) {
            analysis::TScanVerdict v;
            v.UnreadableFolders = 3;
            v.UnreadableSamples = {QStringLiteral("C:\\root\\secret")};
            QTimer::singleShot(300, ready);
            orb->ReportVerdict(v);
            return;
        }
        ready();
    });
    return app.exec();
}
