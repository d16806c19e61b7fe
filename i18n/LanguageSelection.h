#pragma once

// The choice of the interface language at start-up, the list of languages the options dialog
// offers, and how a new choice is stored (it takes effect at the next start).

#include "platform/Locale.h"

#include <QList>
#include <QPixmap>
#include <QString>

class QMenu;

namespace i18n {

// The base name of the translation in use (empty: none, the built-in German texts) and its
// language identifier (0: none). Set once by DetectLanguage.
const QString& CurrentTranslationName();
platform::LCID CurrentLanguageLCID();

// The ISO 639 language name and ISO 3166 country name of the user's default locale, falling back
// to the first two characters of the abbreviated names; empty when neither is known.
QString UserLanguageCode();
QString UserCountryCode();

// The name of a language for lists (VerLanguageNameW); empty when unknown.
QString LanguageDisplayName(platform::LCID lcid);

// Chooses the translation: the stored choice, else the user's locale, else German for Swiss and
// Austrian German systems, else the first English translation, else none.
void DetectLanguage();

// One entry per available translation (the lists of ScanTranslations) under parent: caption the
// language's display name, data the list index + 1, and the flag picture from the folder Flags
// of the program folder when one exists. The picture is appended to imageList (16 x 16, white
// transparent) and the action's property "ImageIndex" holds its position there.
void BuildLanguageMenu(QMenu* parent, QList<QPixmap>* imageList);

// Stores the base name of the chosen translation as ForceLanguage_LCID under OptionsKey.
void SaveForcedLanguage(const QString& name);

// The command-line verb "-SAVE" ends with these language values: LCID 7, name "de-de".
void ApplySaveVerbLanguage();

// Back to "no language chosen" (tests).
void ResetLanguageChoice();

} // namespace i18n
