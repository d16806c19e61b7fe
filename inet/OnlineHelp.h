#pragma once

// Help and web links. The program builds the web addresses of its help pages and link targets
// itself (they name the product, its version, edition and languages), writes them to the debug
// channel, and then opens the page that ships with the program for that address: the manual for
// every help topic, the legal and translation pages for the link targets. Nothing is fetched
// from the network; the sites below are reserved example domains, so an address that escaped
// into a browser could never reach a stranger's server.
//
// The address rules are pure functions, so they can be checked without a desktop:
//
//     OnlineHelpUrl("main", 1031)
//         == "https://help.zelvano.example/help/2024/de-de/main"
//     LinkTargetUrl("translation", "", 1033, 1031)
//         == "http://link.zelvano.example/linktarget/?product=2024&version=01.00.00&edition="
//            "&syslang=en-us&lang=de-de&target=translation"

#include "platform/Locale.h"

#include <QString>

#include <optional>

namespace inet {

// Fixed values of this build.
inline constexpr char kHelpSite[] = "https://help.zelvano.example";
inline constexpr char kLinkTargetSite[] = "http://link.zelvano.example";
inline constexpr char kProductNumber[] = "2024";
inline constexpr char kProductVersion[] = "01.00.00";

// "de-de" for German (Germany): the ISO 639 language name, "-", the ISO 3166 country name, each
// falling back to the first two letters of the abbreviated name and then to nothing; lower case
// and trimmed. An identifier the system does not know gives "-".
QString LocaleTag(platform::LCID lcid);

// help site + "/help/" + product number + "/" + LocaleTag(lcid) + "/" + topic.
QString OnlineHelpUrl(const QString& topic, platform::LCID lcid);

// link-target site + "/linktarget/?product=…&version=…&edition=…&syslang=…&lang=…&target=…".
// Nothing is URL-encoded: the parts stand in the address as they are.
QString LinkTargetUrl(const QString& target, const QString& edition, platform::LCID userLcid,
                      platform::LCID currentLcid);

// The shipped page an address of the two sites stands for: the page name ("index", "eula",
// "privacy", "translation") and the language code to look it up in. Every help topic leads to
// the manual. A language tag without a language ("-", empty) means that no translation is in
// use, so the page is wanted in German, the language of the built-in texts. Nothing for an
// address of any other site or form.
struct TLocalPage {
    QString page;
    QString languageCode;
    bool operator==(const TLocalPage&) const = default;
};
std::optional<TLocalPage> LocalPageForUrl(const QString& url);

// Opens the help page of a topic in the language in use; the main window passes "main".
// Writes "Call Online Help ; URL=" + address to the debug channel. False (after telling the
// user) when no page could be handed to the desktop.
bool OpenOnlineHelp(const QString& Topic);

// Opens the page of a link target ("translation", "eula", "privacypolicy"); the edition comes
// from the value "Edition" under the product key.
bool OpenLinkTarget(const QString& Target);

} // namespace inet
