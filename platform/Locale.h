#pragma once

// Locales the Windows way: language identifiers (LCIDs), GetLocaleInfoW, VerLanguageNameW and the
// 8-bit code page. On Linux the user's locale comes from LC_ALL, else LANG; the system default
// locale from LANG in /etc/default/locale or /etc/locale.conf (else the C locale). Both map to
// LCIDs through our locale table. A Linux locale the table does not know becomes the custom
// locale LOCALE_CUSTOM_UNSPECIFIED, which still answers its ISO names. Tests replace both locales
// (and may add locale records) with FakeLocale.

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

using LCID = uint32_t;
using LANGID = uint16_t;
using LCTYPE = uint32_t;

enum : LCTYPE {
    LOCALE_SABBREVLANGNAME = 0x0003, // "DEU"
    LOCALE_SABBREVCTRYNAME = 0x0007, // "DEU"
    LOCALE_SDECIMAL = 0x000E,
    LOCALE_STHOUSAND = 0x000F,
    LOCALE_IDEFAULTANSICODEPAGE = 0x1004,
    LOCALE_SISO639LANGNAME = 0x0059,  // "de"
    LOCALE_SISO3166CTRYNAME = 0x005A, // "DE"
};

enum : LCID {
    LOCALE_CUSTOM_UNSPECIFIED = 0x1000,
    LANG_ENGLISH_US = 1033,
};

// One row of the locale table. Empty texts stand for information the locale does not have.
struct LocaleRecord {
    LCID lcid = 0;
    QString iso639;        // "de"
    QString iso3166;       // "DE"
    QString abbrevLang;    // "DEU"
    QString abbrevCtry;    // "DEU"
    QString languageName;  // "German (Germany)", the name VerLanguageNameW gives
    QString decimal;       // "," 
    QString thousand;      // "."
    unsigned ansiCodePage = 1252;
};

// The record of an identifier; a neutral identifier (sub-language 0) resolves to the language's
// default record and keeps the bare language name. Empty when the identifier is unknown.
std::optional<LocaleRecord> FindLocale(LCID lcid);

// GetLocaleInfoW into a buffer of cchData characters: the value in *data and its length plus the
// terminator, or 0 when the identifier is unknown, the type unsupported, the value missing or the
// buffer too small.
int GetLocaleInfoW(LCID lcid, LCTYPE type, QString* data, int cchData);

// VerLanguageNameW: the name of the language; empty when it is unknown.
QString VerLanguageNameW(LCID lang);

LCID GetUserDefaultLCID();
LCID GetSystemDefaultLCID();
LANGID GetUserDefaultLangID();
LANGID GetSystemDefaultLangID();

// GetACP: the 8-bit code page of the system default locale (1252 for Western locales).
unsigned GetACP();
// MultiByteToWideChar for a Windows code page; bytes the code page cannot map become U+FFFD.
QString MultiByteToWideChar(unsigned codePage, const QByteArray& bytes);

// The identifier of a Linux or BCP 47 locale name ("de_DE.UTF-8@euro", "de-DE", "C"); 0 when
// the table does not know it. "C" and "POSIX" are English (United States).
LCID LocaleNameToLCID(const QString& name);

// Replaces the user's and the system's locale for as long as it lives (innermost wins). Records
// added to it are consulted before the built-in table, so a test can give a locale that lacks
// some of its names.
class FakeLocale {
public:
    // Linux locale names, resolved like the environment's ("de_CH.UTF-8", "kk_KZ", "C").
    FakeLocale(const QString& userLocale, const QString& systemLocale);
    // Identifiers, used as they are (also ones only an added record knows).
    FakeLocale(LCID userLcid, LCID systemLcid);
    ~FakeLocale();
    FakeLocale(const FakeLocale&) = delete;
    FakeLocale& operator=(const FakeLocale&) = delete;

    void addRecord(const LocaleRecord& record) { records_.push_back(record); }

    // Read by the locale functions.
    QString userName_, systemName_;
    std::optional<LCID> userLcid_, systemLcid_;
    std::vector<LocaleRecord> records_;
    FakeLocale* previous_;
};

} // namespace platform
