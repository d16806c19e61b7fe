#include "app/MainMenus.h"

#include "app/FormAbout.h"
#include "inet/OnlineHelp.h"
#include "inet/zel_inet2.h"
#include "platform/CommandLine.h"
#include "platform/Debug.h"
#include "skin/ControlBuilder.h"
#include "skin/stripeskins.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QShortcut>

namespace app {
namespace {

// Positions of the 16-pixel image list: stripe cells, in list order.
constexpr int kImageListCells[] = {26, 23, 24, 57, 2, 3, 55, 37, 76};
constexpr int kImageOptions = 1;
constexpr int kImageHelp = 4;
constexpr int kImageAbout = 5;

} // namespace

TMainMenus::TMainMenus(QWidget* window) : window_(window) {
    using skin::Translated;
    const skin::TControlBuilder build(window);
    AdvPopupMenu_Help = build.AddMenu("AdvPopupMenu_Help");
    MenuItem_help_Help = build.AddAction(AdvPopupMenu_Help, "MenuItem_help_Help",
                                         QStringLiteral("Hilfe"), Translated);
    AdvPopupMenu_Help->addSeparator();
    MenuItem_help_About = build.AddAction(AdvPopupMenu_Help, "MenuItem_help_About",
                                          QStringLiteral("Über diese Software"), Translated);

    AdvPopupMenu_Options = build.AddMenu("AdvPopupMenu_Options");
    MenuItem_Options = build.AddAction(AdvPopupMenu_Options, "MenuItem_Options",
                                       QStringLiteral("Einstellungen"), Translated);

    // Built anew each time it opens; the design holds one placeholder item.
    AdvPopupMenu_IM = build.AddMenu("AdvPopupMenu_IM");
    build.AddAction(AdvPopupMenu_IM, "MenuItem_IM_Dummy", QStringLiteral("dummy"));

    connect(MenuItem_Options, &QAction::triggered, this, [this] {
        if (OnOptions)
            OnOptions(MenuItem_Options);
    });
    // The shell's own topic: no module names one of its own.
    connect(MenuItem_help_Help, &QAction::triggered, this,
            [] { inet::OpenOnlineHelp(QStringLiteral("main")); });
    connect(MenuItem_help_About, &QAction::triggered, this, [this] { MenuItem_help_AboutClick(); });
    connect(AdvPopupMenu_IM, &QMenu::aboutToShow, this, [this] { INIT_INTERNETMENU(); });
    connect(AdvPopupMenu_IM, &QMenu::triggered, this, [this](QAction* item) {
        if (item->property("HelpContext").isValid())
            MenuItem_IM_DummyClick(item);
    });

    // F1 anywhere in the window asks for help, as the help item does.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), window);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, MenuItem_help_Help, &QAction::trigger);
}

void TMainMenus::ApplyMenuStyle() {
    QPalette palette = QApplication::palette("QMenu");
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0xCC, 0xE4, 0xF7));
    palette.setColor(QPalette::HighlightedText, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    // Items that do nothing now must look so.
    const QColor disabled(0x9A, 0x9A, 0x9A);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        palette.setColor(QPalette::Disabled, role, disabled);
    QApplication::setPalette(palette, "QMenu");
    QFont font(QStringLiteral("Segoe UI"));
    font.setPointSize(9);
    QApplication::setFont(font, "QMenu");
}

void TMainMenus::LoadIcons(const skin::TStripeSkinner& stripe) {
    ImageList16.BeginUpdate();
    for (int cell : kImageListCells)
        stripe.AddOneToImageList(ImageList16, cell, false, 1.0f);
    ImageList16.EndUpdate();
    const auto icon = [this](int index) {
        if (index < 0 || index >= ImageList16.Count())
            return QIcon();
        return QIcon(QPixmap::fromImage(ImageList16.Image(index).ToQImage()));
    };
    MenuItem_help_Help->setIcon(icon(kImageHelp));
    MenuItem_help_About->setIcon(icon(kImageAbout));
    MenuItem_Options->setIcon(icon(kImageOptions));
}

void TMainMenus::popupBelow(QMenu* menu, const QWidget* button) {
    menu->popup(window_->mapToGlobal(QPoint(button->x(), button->y() + 32)));
}

void TMainMenus::MenuItem_help_AboutClick() {
    TForm_About about(window_);
    about.setWindowTitle(MenuItem_help_About->text().remove(u'&'));
    about.exec();
}

void TMainMenus::INIT_INTERNETMENU() {
    if (platform::FirstArgumentUpper() == u"-SAVE")
        return;
    AdvPopupMenu_IM->clear();
    ImageList_IM.clear();
    const int count = inet::zinet_GetMenuItemsCount(inet::kInternetMenu);
    for (int i = 0; i < count; ++i) {
        const QString text = inet::zinet_GetMenuItemsText(inet::kInternetMenu, i);
        if (text.isEmpty()) {
            AdvPopupMenu_IM->addSeparator();
            continue;
        }
        auto* item = new QAction(text, AdvPopupMenu_IM);
        const QIcon icon = inet::zinet_GetMenuItemsImage(inet::kInternetMenu, i);
        if (!icon.isNull()) {
            ImageList_IM.push_back(icon);
            item->setIcon(icon);
        }
        item->setProperty("HelpContext", inet::zinet_GetMenuItemsID(inet::kInternetMenu, i));
        AdvPopupMenu_IM->addAction(item);
    }
}

void TMainMenus::MenuItem_IM_DummyClick(QAction* item) {
    const int result = inet::zinet_ProcessMenuItem(window_, item->property("HelpContext").toInt());
    platform::OutputDebugStringW(QStringLiteral("zinet_ProcessMenuItem RETURNED = ") +
                                 QString::number(result));
    if (result == inet::kResultCloseProgram || result == inet::kResultCloseProgramAfterUpdate) {
        if (OnCloseProgram)
            OnCloseProgram();
        return;
    }
    // Rebuilt once the menu has closed: the item that was clicked belongs to it.
    QMetaObject::invokeMethod(
        this, [this] { INIT_INTERNETMENU(); }, Qt::QueuedConnection);
}

} // namespace app
