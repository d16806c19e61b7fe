#pragma once

// The main window's menus: the popup menus of the help and options buttons with their items,
// the internet menu that the online services fill each time it opens, F1 for help, and the
// look every menu of the program shares.

#include "skin/PngImage.h"

#include <QIcon>
#include <QObject>

#include <functional>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace skin {
class TStripeSkinner;
}

namespace app {

class TMainMenus : public QObject {
public:
    // Builds the menus as the window's own, with their design texts.
    explicit TMainMenus(QWidget* window);

    // White, with a light selection and the window font.
    static void ApplyMenuStyle();
    // The items' pictures from the skin's stripe.
    void LoadIcons(const skin::TStripeSkinner& stripe);

    void PopupHelp(const QWidget* button) { popupBelow(AdvPopupMenu_Help, button); }
    void PopupInternet(const QWidget* button) { popupBelow(AdvPopupMenu_IM, button); }
    QAction* OptionsItem() const { return MenuItem_Options; }

    // The internet menu anew from the online services (nothing under "-SAVE").
    void INIT_INTERNETMENU();

    // The options item was chosen (the item is the sender).
    std::function<void(QObject* sender)> OnOptions;
    // An internet item asked the program to close.
    std::function<void()> OnCloseProgram;

private:
    void popupBelow(QMenu* menu, const QWidget* button);
    void MenuItem_IM_DummyClick(QAction* item);
    void MenuItem_help_AboutClick();

    QWidget* window_;
    QMenu* AdvPopupMenu_Help = nullptr;
    QAction* MenuItem_help_Help = nullptr;
    QAction* MenuItem_help_About = nullptr;
    QMenu* AdvPopupMenu_Options = nullptr;
    QAction* MenuItem_Options = nullptr;
    QMenu* AdvPopupMenu_IM = nullptr;
    skin::TPngImageList ImageList16{16, 16};
    // The internet menu's pictures, kept as long as its items.
    std::vector<QIcon> ImageList_IM;
};

} // namespace app
