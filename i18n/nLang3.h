#pragma once

// The translation engine. Every text of the program is built in (German); a translation file of
// the translation folder beside the program can replace the texts of windows (section = the
// window's component name, name = the control's component name) and of the message catalogue
// (section MESSAGES).
//
// File format: lines ending at CR LF, CR or LF; an entry is key "=" text, the key compared
// without case, the first of equal keys counting; "%CRLF" in a text stands for a line break; an
// empty text counts as missing. Encoding by byte-order mark (UTF-8, UTF-16 LE, UTF-16 BE), else
// the system's 8-bit code page (platform::GetACP: Windows-1252 for Western locales, and every
// other Windows ANSI code page through Qt's converters).

#include "platform/Locale.h"

#include <QHash>
#include <QString>
#include <QStringList>

class QObject;

namespace i18n {

// A list of lines with case-insensitive lookup by name (the text before the first "="). The
// index from upper-cased name to the first line with that name is built at the first lookup
// after the lines change.
class TNameValueList {
public:
    void setLines(QStringList lines);
    const QStringList& lines() const { return lines_; }
    int count() const { return static_cast<int>(lines_.size()); }
    // Text after the first "=" of the first line whose name equals name; empty when none.
    QString value(const QString& name) const;

private:
    QStringList lines_;
    mutable QHash<QString, int> index_;
    mutable bool indexed_ = false;
};

// Decodes the bytes of a text file (byte-order mark or the system code page) into lines.
QStringList DecodeTextLines(const QByteArray& bytes);

// Splits a multi-item text: item i gets the text up to the next CR LF; once no CR LF is left,
// every further item gets the whole remaining text.
QStringList SplitItems(const QString& text, int itemCount);

class TLang {
public:
    TNameValueList Translation;
    TNameValueList Index;

    // Replaces each list with the lines of its file when the file exists; a missing file leaves
    // its list as it was. A file that exists but cannot be read leaves its list as well, writes
    // a debug line and makes the result false.
    bool Load_Translation(const QString& TranslationFile, const QString& IndexFile);

    // The text of SectionID.component with every "%CRLF" (any case) as CR LF; empty when the
    // entry is missing or empty.
    QString Get_StringW(const QString& SectionID, const QString& component) const;

    // Translates Obj and, recursively, every object it owns (its children, in order).
    void Set_Components(const QString& SectionID, QObject* Obj) const;
};

// The process-wide translation, absent until a load found both files.
TLang* ActiveTranslation();

// The start-up load of folder\name.nlang3 with folder\index.txt; fills the message catalogue.
void LOAD_INTERNAL_ONLY(const QString& folder, const QString& name);
// Translates a window while it is set up (loading the translation first when none is active).
void LOAD_TRANSLATION_TO_FORM(const QString& folder, const QString& name, QObject* form);

// The translations the folder offers, in folder order: identifier in decimal, base name, code.
void ScanTranslations(const QString& folder);
const QStringList& TranslationLCIDs();
const QStringList& TranslationNames();
const QStringList& TranslationCodes();

// What the name of a translation file says about its language.
struct TranslationFileLanguage {
    QString baseName; // lower case, up to the first "."
    QString code;     // after the first "_" of the base name, or the code of a numeric name
    platform::LCID lcid = 0; // 0: not offered
};
TranslationFileLanguage LanguageOfTranslationFile(const QString& fileName);

// The 130 codes of translation file names and their language identifiers; 0 when unknown.
platform::LCID LanguageCodeToLCID(const QString& code);
// "de-de" for 1031, "no-no" for 1044, "-" for an identifier the system does not know.
QString LCIDToLanguageCode(platform::LCID lcid);

// The class name of an object without its namespace, as the translation rules and the load
// diagnostics use it.
QString ComponentClassName(const QObject* obj);

// Back to the state of a fresh process: no active translation, empty translation lists, the
// catalogue at its defaults, no language chosen. For tests.
void ResetLocalisationState();

} // namespace i18n
