#pragma once

// Our stand-in for the maker's online-services library. It sends nothing anywhere and collects
// nothing: its menu offers the pages that ship with the program (the manual and the legal
// texts), link targets open those local pages in the user's browser, analytics calls are
// accepted and dropped, and the news-channel configuration says that this build has none.
//
// Pages live in ProgramFolder\help\<language>\<page>.html with <language> "de" or "en"; a
// language without pages falls back to "en".

#include <QIcon>
#include <QString>

class QWidget;

namespace inet {

// Menu 1 is the main window's internet menu.
constexpr int kInternetMenu = 1;
// zinet_ProcessMenuItem results that ask the program to close.
constexpr int kResultCloseProgram = 1;
constexpr int kResultCloseProgramAfterUpdate = 7;

// Initialisation with the main window and the language code of the interface ("de-de").
void zinet_Initialize(QWidget* mainWindow, const QString& languageCode);

int zinet_GetMenuItemsCount(int menu);
int zinet_GetMenuItemsID(int menu, int index);
// Empty text: a separator.
QString zinet_GetMenuItemsText(int menu, int index);
// A null icon when the item has none.
QIcon zinet_GetMenuItemsImage(int menu, int index);
// Runs a menu item; 0 when done, 1 or 7 when the program is to close (never here).
int zinet_ProcessMenuItem(QWidget* window, int id);

void zinet_AnalyticsManagerAddFeature(const QString& feature, int count);

// Opens the local page of a link target ("eula", "privacypolicy", "translation", "help") for
// the given language code; false when no page could be handed to the browser.
bool zinet_OpenLinkTargetInBrowser(const QString& target, const QString& productNumber,
                                   const QString& version, int reserved,
                                   const QString& languageCode, const QString& extra);

// The news-channel configuration: this build has no channels and says so.
void zinet_StartInfoChannelsConfig(QWidget* window);

void zinet_Shutdown(QWidget* desktop);
void zinet_Destroy();

// Windows path of a shipped page ("index", "eula", "privacy", "translation") in the language of
// a code ("de-de" -> de), falling back to English; empty when neither exists.
QString LocalPagePath(const QString& page, const QString& languageCode);
// The page a link target leads to.
QString PageForLinkTarget(const QString& target);

} // namespace inet
