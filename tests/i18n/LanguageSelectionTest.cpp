#include "I18nTestSupport.h"

#include "i18n/LanguageSelection.h"
#include "platform/Locale.h"
#include "settings/Registry.h"

#include <QAction>
#include <QImage>
#include <QMenu>

#include <optional>

using namespace i18n;

namespace {

const QString kValue = QStringLiteral("ForceLanguage_LCID");

class LanguageSelectionTest : public i18n_test::ProgramFolderTest {
protected:
    void addTranslations(const QStringList& files) {
        writeFile("translation/index.txt", "");
        for (const QString& f : files)
            writeFile("translation/" + f, i18n_test::utf8File({"MESSAGES.MESSAGE_OK=x"}));
    }
    void store(const QString& name) {
        ASSERT_TRUE(settings::RegWriteString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey,
                                             kValue, name));
    }
    void startOver() {
        ASSERT_TRUE(QDir(nativeProgramPath("translation")).removeRecursively());
        settings::RegRemoveValue(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey, kValue);
        ResetLocalisationState();
    }
    bool stored() const {
        return settings::RegValueExists(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey, kValue);
    }
};

struct DetectCase {
    const char* what;
    QStringList files;
    const char* user;
    const char* system;
    std::optional<QString> storedChoice;
    const char* expectedName;
    platform::LCID expectedLcid;
    bool storedAfterwards;
};

TEST_F(LanguageSelectionTest, DetectionStepsInOrder) {
    const QStringList enDe = {"x_en-us.nlang3", "x_de-de.nlang3"};
    const DetectCase cases[] = {
        {"English preset", enDe, "fr_FR.UTF-8", "fr_FR.UTF-8", {}, "x_en-us", 1033, false},
        {"user locale", enDe, "de_DE.UTF-8", "en_US.UTF-8", {}, "x_de-de", 1031, false},
        {"Swiss system", enDe, "de_CH.UTF-8", "de_CH.UTF-8", {}, "x_de-de", 1031, false},
        {"Austrian system", enDe, "de_AT.UTF-8", "de_AT.UTF-8", {}, "x_de-de", 1031, false},
        {"Swiss user, French system", enDe, "de_CH.UTF-8", "fr_FR.UTF-8", {}, "x_en-us", 1033, false},
        {"stored choice in other case", enDe, "fr_FR.UTF-8", "fr_FR", QString("X_DE-DE"), "x_de-de", 1031, true},
        {"stored choice without file", enDe, "de_DE.UTF-8", "de_DE", QString("x_it-it"), "x_de-de", 1031, false},
        {"empty stored choice", enDe, "de_DE.UTF-8", "de_DE", QString(""), "x_de-de", 1031, false},
        {"country before language", {"x_de.nlang3", "x_de-at.nlang3"}, "de_AT.UTF-8", "de_AT", {}, "x_de-at", 3079, false},
        {"language alone", {"x_en-us.nlang3", "x_de.nlang3"}, "de_AT.UTF-8", "de_AT", {}, "x_de", 1031, false},
        {"German for Swiss when only de", {"x_de.nlang3", "x_en-gb.nlang3"}, "it_CH", "de_CH", {}, "x_de", 1031, false},
        {"first English file", {"a_en-gb.nlang3", "b_en-us.nlang3"}, "ja_JP", "ja_JP", {}, "a_en-gb", 2057, false},
        {"English without country", {"x_en.nlang3"}, "ja_JP", "ja_JP", {}, "x_en", 9, false},
        {"no English at all", {"x_fr.nlang3"}, "ja_JP", "ja_JP", {}, "", 0, false},
        {"custom locale", enDe, "eo_XX.UTF-8", "C", {}, "x_en-us", 1033, false},
        {"C locale", enDe, "C", "C", {}, "x_en-us", 1033, false},
        {"no files", {}, "de_DE.UTF-8", "de_DE", {}, "", 0, false},
    };
    for (const DetectCase& c : cases) {
        SCOPED_TRACE(c.what);
        startOver();
        addTranslations(c.files);
        if (c.storedChoice)
            store(*c.storedChoice);
        platform::FakeLocale locale(c.user, c.system);
        DetectLanguage();
        EXPECT_EQ(CurrentTranslationName(), QLatin1String(c.expectedName));
        EXPECT_EQ(CurrentLanguageLCID(), c.expectedLcid);
        EXPECT_EQ(stored(), c.storedAfterwards);
    }
}

TEST_F(LanguageSelectionTest, ChoiceIsStoredForTheNextStart) {
    addTranslations({"x_en-us.nlang3", "x_de-de.nlang3"});
    platform::FakeLocale locale("en_US.UTF-8", "en_US.UTF-8");
    SaveForcedLanguage("x_de-de");
    EXPECT_EQ(settings::RegReadString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey, kValue),
              "x_de-de");
    DetectLanguage();
    EXPECT_EQ(CurrentTranslationName(), "x_de-de");

    ApplySaveVerbLanguage();
    EXPECT_EQ(CurrentTranslationName(), "de-de");
    EXPECT_EQ(CurrentLanguageLCID(), 7u);
}

TEST(UserLocale, CodesFromTheLocaleWithFallbacks) {
    {
        platform::FakeLocale locale("de_CH.UTF-8", "C");
        EXPECT_EQ(platform::GetUserDefaultLCID(), 2055u);
        EXPECT_EQ(UserLanguageCode(), "de");
        EXPECT_EQ(UserCountryCode(), "CH");
    }
    {
        // A locale without ISO names answers the start of its abbreviations.
        platform::FakeLocale locale(0x2000, 1033);
        platform::LocaleRecord abbreviatedOnly;
        abbreviatedOnly.lcid = 0x2000;
        abbreviatedOnly.abbrevLang = "DES";
        abbreviatedOnly.abbrevCtry = "CHE";
        locale.addRecord(abbreviatedOnly);
        EXPECT_EQ(UserLanguageCode(), "DE");
        EXPECT_EQ(UserCountryCode(), "CH");
    }
    {
        platform::FakeLocale locale(0x2400, 1033); // known to nobody
        EXPECT_EQ(UserLanguageCode(), "");
        EXPECT_EQ(UserCountryCode(), "");
    }
    {
        platform::FakeLocale locale("eo_XX.UTF-8", "C");
        EXPECT_EQ(platform::GetUserDefaultLCID(), platform::LOCALE_CUSTOM_UNSPECIFIED);
        EXPECT_EQ(UserLanguageCode(), "eo");
        EXPECT_EQ(UserCountryCode(), "XX");
    }
}

TEST(UserLocale, EnvironmentGivesTheUsersLocale) {
    const QByteArray oldAll = qgetenv("LC_ALL");
    const QByteArray oldLang = qgetenv("LANG");
    qputenv("LC_ALL", "");
    qputenv("LANG", "pt_BR.UTF-8");
    EXPECT_EQ(platform::GetUserDefaultLCID(), 1046u);
    qputenv("LC_ALL", "sv_FI.UTF-8@euro");
    EXPECT_EQ(platform::GetUserDefaultLCID(), 2077u);
    qputenv("LC_ALL", oldAll);
    qputenv("LANG", oldLang);
}

TEST(UserLocale, LinuxLocaleNamesAndCodePages) {
    const std::tuple<const char*, platform::LCID, unsigned> cases[] = {
        {"de_DE.UTF-8@euro", 1031, 1252}, {"de-DE", 1031, 1252},  {"C", 1033, 1252},
        {"POSIX", 1033, 1252},            {"", 1033, 1252},       {"no_NO.UTF-8", 1044, 1252},
        {"nb_NO", 1044, 1252},            {"zh_TW.Big5", 1028, 950}, {"zh_CN", 2052, 936},
        {"es_ES", 3082, 1252},            {"pl_PL", 1045, 1250},  {"ja_JP.eucJP", 1041, 932},
        {"sr_RS", 10266, 1251},           {"sr_RS@latin", 9242, 1250},
        {"sr-Latn-RS", 9242, 1250},       {"eo_XX", 0, 1252},
    };
    for (const auto& [name, lcid, codePage] : cases) {
        EXPECT_EQ(platform::LocaleNameToLCID(name), lcid) << name;
        platform::FakeLocale locale("C", name);
        EXPECT_EQ(platform::GetACP(), codePage) << name;
    }
    EXPECT_EQ(platform::MultiByteToWideChar(1250, "\x8a\xb9"), QString::fromUtf8("Šą"));
    EXPECT_EQ(platform::MultiByteToWideChar(1252, "\x80\x9f"), QString::fromUtf8("€Ÿ"));
}

TEST(UserLocale, NumberFormatAndNames) {
    const std::tuple<platform::LCID, const char*, const char*, const char*> cases[] = {
        {1031, ",", ".", "German (Germany)"},
        {2055, ".", "'", "German (Switzerland)"},
        {1033, ".", ",", "English (United States)"},
        {1036, ",", "\u00a0", "French (France)"},
        {9, ".", ",", "English"},
    };
    for (const auto& [lcid, decimal, thousand, name] : cases) {
        QString d, t;
        EXPECT_GT(platform::GetLocaleInfoW(lcid, platform::LOCALE_SDECIMAL, &d, 32), 0);
        EXPECT_GT(platform::GetLocaleInfoW(lcid, platform::LOCALE_STHOUSAND, &t, 32), 0);
        EXPECT_EQ(d, QString::fromUtf8(decimal)) << lcid;
        EXPECT_EQ(t, QString::fromUtf8(thousand)) << lcid;
        EXPECT_EQ(LanguageDisplayName(lcid), QString::fromUtf8(name)) << lcid;
    }
    EXPECT_EQ(LanguageDisplayName(0x7C00), "");
    QString tooSmall;
    EXPECT_EQ(platform::GetLocaleInfoW(1031, platform::LOCALE_SISO639LANGNAME, &tooSmall, 2), 0);
}

QImage solid(QRgb colour) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(colour);
    image.setPixel(0, 0, qRgb(255, 255, 255)); // the transparent corner
    return image;
}

TEST_F(LanguageSelectionTest, LanguageMenuWithFlagRules) {
    addTranslations({"a_pt-br.nlang3", "b_de-de.nlang3", "c_en.nlang3", "d_fr.nlang3"});
    const std::pair<const char*, QRgb> flags[] = {
        {"pt-xx.bmp", qRgb(200, 0, 0)},  {"pt-yy.bmp", qRgb(0, 0, 100)},
        {"DE-DE.bmp", qRgb(0, 200, 0)},  {"en-gb.bmp", qRgb(10, 20, 30)},
        {"en-us.bmp", qRgb(40, 50, 60)}, {"fr-fr.png", qRgb(1, 2, 3)},
    };
    for (const auto& [file, colour] : flags) {
        ASSERT_TRUE(QDir().mkpath(nativeProgramPath("Flags")));
        ASSERT_TRUE(solid(colour).save(nativeProgramPath(QString("Flags/") + file), "BMP"));
    }
    ScanTranslations("T:\\prog\\translation");
    QMenu menu;
    QList<QPixmap> images;
    BuildLanguageMenu(&menu, &images);

    const QList<QAction*> entries = menu.actions();
    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries[0]->text(), "Portuguese (Brazil)");
    EXPECT_EQ(entries[1]->text(), "German (Germany)");
    EXPECT_EQ(entries[2]->text(), "English");
    EXPECT_EQ(entries[3]->text(), "French (France)");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(entries[i]->data().toInt(), i + 1);

    ASSERT_EQ(images.size(), 3); // French has no .bmp flag
    const QRgb expected[] = {qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(10, 20, 30)};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i]->property("ImageIndex").toInt(), i);
        EXPECT_FALSE(entries[i]->icon().isNull());
        const QImage image = images[i].toImage();
        EXPECT_EQ(image.size(), QSize(16, 16));
        EXPECT_EQ(image.pixel(8, 8) & 0xFFFFFF, expected[i] & 0xFFFFFF) << i;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "white is transparent";
        EXPECT_EQ(qAlpha(image.pixel(8, 8)), 255);
    }
    EXPECT_TRUE(entries[3]->icon().isNull());
    EXPECT_FALSE(entries[3]->property("ImageIndex").isValid());
}

} // namespace
