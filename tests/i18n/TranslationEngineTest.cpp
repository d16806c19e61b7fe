#include "I18nTestSupport.h"

#include "i18n/ProjectMessages.h"
#include "platform/Debug.h"
#include "platform/Locale.h"

#include <QWidget>

using namespace i18n;
using i18n_test::ProgramFolderTest;

namespace {

struct FileNameCase {
    const char* file;
    const char* baseName;
    const char* code;
    platform::LCID lcid;
};

TEST(TranslationFileName, LanguageFollowsFromTheName) {
    const FileNameCase cases[] = {
        {"Orb2024_DE-de.NLANG3", "orb2024_de-de", "de-de", 1031},
        {"1031.nlang3", "1031", "de-de", 1031},
        {"1044.nlang3", "1044", "no-no", 1044},
        {"x_pt-pt.nlang3", "x_pt-pt", "pt-pt", 2070}, // pt-pt is unknown, pt is not
        {"x_kk.nlang3", "x_kk", "kk", 0},             // neither kk nor kk-kk
        {"x_en.nlang3", "x_en", "en", 9},
        {"x_de-xx.nlang3", "x_de-xx", "de-xx", 1031},
        {"x_ka.nlang3", "x_ka", "ka", 0}, // only ka-ge is known
        {"x_nb.nlang3", "x_nb", "nb", 0}, // only nb-no is known, and nb-nb is not it
        {"x_gd-ie.nlang3", "x_gd-ie", "gd-ie", 2108},
        {"de.old.nlang3", "de", "de", 1031},   // the base name ends at the first dot
        {"a_b_fr.nlang3", "a_b_fr", "b_fr", 0}, // the code starts after the first "_"
        {"0.nlang3", "0", "0", 0},
        {"99999.nlang3", "99999", "-", 99999}, // a number Windows does not know
    };
    for (const FileNameCase& c : cases) {
        const TranslationFileLanguage got = LanguageOfTranslationFile(QString::fromLatin1(c.file));
        EXPECT_EQ(got.baseName, QLatin1String(c.baseName)) << c.file;
        EXPECT_EQ(got.code, QLatin1String(c.code)) << c.file;
        EXPECT_EQ(got.lcid, c.lcid) << c.file;
    }
}

TEST(LanguageCodes, TellingPairsOfTheTable) {
    const std::pair<const char*, platform::LCID> cases[] = {
        {"en", 9},       {"en-us", 1033}, {"EN-GB", 2057}, {"s", 1060},     {"sl", 1060},
        {"sl-si", 1060}, {"no", 1044},    {"no-no", 1044}, {"nb-no", 1044}, {"nn-no", 2068},
        {"in", 1057},    {"ji", 1085},    {"sz", 1083},    {"sx", 1072},    {"sb", 1070},
        {"ge", 1079},    {"ka-ge", 1079}, {"kk-kz", 1087}, {"pt", 2070},    {"pt-br", 1046},
        {"es-pr", 20490}, {"ar-qa", 16385}, {"gd-ie", 2108}, {"sr", 3098},  {"de", 1031},
        {"kk", 0},       {"de-de", 0},    {"", 0},         {"en_us", 0},
    };
    for (const auto& [code, lcid] : cases)
        EXPECT_EQ(LanguageCodeToLCID(QString::fromLatin1(code)), lcid) << code;
}

TEST(LanguageCodes, IdentifierToCode) {
    const std::pair<platform::LCID, const char*> cases[] = {
        {1031, "de-de"}, {1044, "no-no"}, {2068, "nn-no"}, {2052, "zh-cn"}, {3098, "sr-cs"},
        {1033, "en-us"}, {9, "en-us"},    {7, "de-de"},    {0x7C00, "-"},   {0, "-"},
    };
    for (const auto& [lcid, code] : cases)
        EXPECT_EQ(LCIDToLanguageCode(lcid), QLatin1String(code)) << lcid;
}

TEST(TranslationFileFormat, EncodingsByByteOrderMark) {
    platform::FakeLocale western("de_DE.UTF-8", "de_DE.UTF-8");
    for (const char* name : {"utf8_bom.nlang3", "utf16le_bom.nlang3", "utf16be_bom.nlang3",
                             "cp1252_nobom.nlang3"}) {
        const QStringList lines = DecodeTextLines(i18n_test::fixture(QString::fromLatin1(name)));
        EXPECT_EQ(lines, QStringList({QStringLiteral("Form_Test.Label=Grüße €"),
                                      QStringLiteral("Form_Test.Second=zweite Zeile")}))
            << name;
    }
}

TEST(TranslationFileFormat, WithoutMarkTheSystemCodePageDecides) {
    const QByteArray bytes = i18n_test::fixture(QStringLiteral("cp1251_nobom.nlang3"));
    {
        platform::FakeLocale cyrillic("en_US.UTF-8", "ru_RU.UTF-8");
        EXPECT_EQ(platform::GetACP(), 1251u);
        EXPECT_EQ(DecodeTextLines(bytes).value(0), QStringLiteral("Form_Test.Label=Привет"));
    }
    platform::FakeLocale western("ru_RU.UTF-8", "fr_FR.UTF-8");
    EXPECT_EQ(platform::GetACP(), 1252u);
    EXPECT_EQ(DecodeTextLines(bytes).value(0),
              QString::fromLatin1("Form_Test.Label=\xCF\xF0\xE8\xE2\xE5\xF2"));
}

TEST(TranslationFileFormat, ThreeLineEndsAndNoLineAfterTheLastBreak) {
    EXPECT_EQ(DecodeTextLines(i18n_test::fixture(QStringLiteral("mixed_line_ends.nlang3"))),
              QStringList({"Form_Test.A=1", "Form_Test.B=2", "Form_Test.C=3", "Form_Test.D=4"}));
    EXPECT_EQ(DecodeTextLines("\xEF\xBB\xBF" "a\r\n\r\nb\n\r"), QStringList({"a", "", "b", ""}));
    EXPECT_EQ(DecodeTextLines("a\r\n"), QStringList({"a"}));
    EXPECT_TRUE(DecodeTextLines(QByteArray()).isEmpty());
}

TEST(TranslationLookup, KeysWithoutCaseFirstLineWinsTextUntrimmed) {
    TLang lang;
    lang.Translation.setLines({
        "Form_Options.TabSheet_LANG=first",
        "FORM_OPTIONS.TABSHEET_LANG=second",
        "no entry on this line",
        "Form_X.Spaced= a=b ",
        "Form_X.Empty=",
        "Form_X.Breaks=A%crlfB%CrLf%CRLF",
        "Form_X.Key =with blank",
    });
    EXPECT_EQ(lang.Get_StringW("form_options", "tabsheet_lang"), "first");
    EXPECT_EQ(lang.Get_StringW("Form_X", "Spaced"), " a=b ");
    EXPECT_EQ(lang.Get_StringW("Form_X", "Empty"), "");
    EXPECT_EQ(lang.Get_StringW("Form_X", "Breaks"), "A\r\nB\r\n\r\n");
    EXPECT_EQ(lang.Get_StringW("Form_X", "Key"), "");
    EXPECT_EQ(lang.Get_StringW("no entry on this line", ""), "");

    // The index belongs to the lines it was built from.
    lang.Translation.setLines({"Form_Options.TabSheet_LANG=reloaded"});
    EXPECT_EQ(lang.Get_StringW("Form_Options", "TabSheet_LANG"), "reloaded");
}

TEST(TranslationLookup, ItemsSplitAtLineBreaks) {
    struct Case {
        QString text;
        int count;
        QStringList items;
    };
    const Case cases[] = {
        {"A\r\nB", 3, {"A", "B", "B"}},
        {"A\r\nB\r\nC\r\nD", 2, {"A", "B"}},
        {"A\r\n", 2, {"A", ""}},
        {"A\nB", 2, {"A\nB", "A\nB"}}, // only CR LF separates items
        {"A", 0, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitItems(c.text, c.count), c.items) << c.text.toStdString();
}

class TranslationLoadTest : public ProgramFolderTest {
protected:
    QString folder() const { return QStringLiteral("T:\\prog\\translation"); }
    void writeTranslation(const QString& file, const QStringList& lines) {
        writeFile(QStringLiteral("translation/") + file, i18n_test::utf8File(lines));
    }
    void writeIndex() { writeFile(QStringLiteral("translation/index.txt"), "anything\r\n"); }
};

TEST_F(TranslationLoadTest, BothFilesNeededForATranslation) {
    writeTranslation("x_en-us.nlang3", {"MESSAGES.MESSAGE_ORB_FILTER_ALL=All files"});
    platform::DebugCapture debug;
    LOAD_INTERNAL_ONLY(folder(), "x_en-us"); // no index.txt yet
    EXPECT_EQ(ActiveTranslation(), nullptr);
    EXPECT_EQ(Message(Msg::MESSAGE_ORB_FILTER_ALL), "Alle Dateien");
    EXPECT_FALSE(debug.contains("LOAD_INTERNAL_ONLY took"));

    writeIndex();
    LOAD_INTERNAL_ONLY(folder(), ""); // an empty name names no file
    EXPECT_EQ(ActiveTranslation(), nullptr);

    LOAD_INTERNAL_ONLY(folder(), "x_en-us");
    ASSERT_NE(ActiveTranslation(), nullptr);
    EXPECT_EQ(ActiveTranslation()->Index.lines(), QStringList({"anything"}));
    EXPECT_EQ(Message(Msg::MESSAGE_ORB_FILTER_ALL), "All files");
    EXPECT_TRUE(debug.contains("TranslationCount=1"));
    EXPECT_TRUE(debug.contains("LOAD_INTERNAL_ONLY took "));
}

TEST_F(TranslationLoadTest, FolderAndFileNamesMatchWithoutCase) {
    writeFile("Translation/ORB2024_DE-DE.NLANG3", i18n_test::utf8File({"MESSAGES.MESSAGE_OK=Jawohl"}));
    writeFile("Translation/INDEX.TXT", "");
    LOAD_INTERNAL_ONLY(folder(), "orb2024_de-de");
    ASSERT_NE(ActiveTranslation(), nullptr);
    EXPECT_EQ(Message(Msg::MESSAGE_OK), "Jawohl");
}

TEST_F(TranslationLoadTest, UnreadableFileCountsAsMissing) {
    writeIndex();
    // Opening works, reading fails (EIO): a file that exists but cannot be read.
    ASSERT_TRUE(QFile::link("/proc/self/mem", nativeProgramPath("translation/x_en-us.nlang3")));
    platform::DebugCapture debug;
    LOAD_INTERNAL_ONLY(folder(), "x_en-us");
    EXPECT_EQ(ActiveTranslation(), nullptr);
    EXPECT_FALSE(MessagesLoaded());
    EXPECT_EQ(Message(Msg::MESSAGE_ORB_FILTER_ALL), "Alle Dateien");
    EXPECT_TRUE(debug.contains("Translation file cannot be read: T:\\prog\\translation\\x_en-us"));

    QWidget form;
    form.setObjectName("Form_Test");
    LOAD_TRANSLATION_TO_FORM(folder(), "x_en-us", &form);
    EXPECT_EQ(ActiveTranslation(), nullptr);

    // A loaded translation keeps its lines when a later load cannot read the file.
    writeTranslation("x_de-de.nlang3", {"Form_Test.A=1", "Form_Test.B=2"});
    LOAD_INTERNAL_ONLY(folder(), "x_de-de");
    ASSERT_NE(ActiveTranslation(), nullptr);
    EXPECT_FALSE(ActiveTranslation()->Load_Translation(
        folder() + "\\x_en-us.nlang3", folder() + "\\index.txt"));
    EXPECT_EQ(ActiveTranslation()->Translation.count(), 2);
}

TEST_F(TranslationLoadTest, LaterLoadsReplaceLinesButNeverRefillTheCatalogue) {
    writeIndex();
    writeTranslation("x_en-us.nlang3", {"MESSAGES.MESSAGE_OK=Okay", "Form_Test.Form_Test=One"});
    writeTranslation("x_fr-fr.nlang3", {"MESSAGES.MESSAGE_OK=D'accord", "Form_Test.Form_Test=Un"});
    LOAD_INTERNAL_ONLY(folder(), "x_en-us");
    LOAD_INTERNAL_ONLY(folder(), "x_fr-fr");
    EXPECT_EQ(Message(Msg::MESSAGE_OK), "Okay");
    EXPECT_EQ(ActiveTranslation()->Get_StringW("Form_Test", "Form_Test"), "Un");
    // A missing file leaves the lines as they were.
    LOAD_INTERNAL_ONLY(folder(), "x_missing");
    EXPECT_EQ(ActiveTranslation()->Get_StringW("Form_Test", "Form_Test"), "Un");
}

TEST_F(TranslationLoadTest, WindowsAreTranslatedFromTheLinesLoadedFirst) {
    writeIndex();
    writeTranslation("x_en-us.nlang3", {"Form_Test.Form_Test=First caption"});
    QWidget first;
    first.setObjectName("Form_Test");
    first.setProperty("Tag", 1);
    platform::DebugCapture debug;
    LOAD_TRANSLATION_TO_FORM(folder(), "x_en-us", &first);
    EXPECT_EQ(first.windowTitle(), "First caption");
    EXPECT_TRUE(MessagesLoaded());
    EXPECT_TRUE(debug.contains("LOAD_TRANSLATION_TO_FORM \"QWidget\" took "));

    writeTranslation("x_en-us.nlang3", {"Form_Test.Form_Test=Changed on disk"});
    QWidget second;
    second.setObjectName("Form_Test");
    second.setProperty("Tag", 1);
    LOAD_TRANSLATION_TO_FORM(folder(), "x_en-us", &second);
    EXPECT_EQ(second.windowTitle(), "First caption");
}

TEST_F(TranslationLoadTest, NoDebugLineWithoutTranslation) {
    QWidget form;
    form.setObjectName("Form_Test");
    platform::DebugCapture debug;
    LOAD_TRANSLATION_TO_FORM(folder(), "x_en-us", &form);
    EXPECT_TRUE(debug.lines().isEmpty());
}

TEST_F(TranslationLoadTest, ScanOffersFilesWithALanguageInFolderOrder) {
    writeIndex();
    for (const char* name : {"x_en-us.nlang3", "1044.nlang3", "Orb2024_DE-de.NLANG3",
                             "x_kk.nlang3", "readme.txt", "b_fr.nlang3"})
        writeTranslation(QString::fromLatin1(name), {"a=b"});
    ASSERT_TRUE(QDir().mkpath(nativeProgramPath("translation/x_de.nlang3"))); // a folder
    ScanTranslations(QStringLiteral("T:\\prog\\Translation"));
    EXPECT_EQ(TranslationNames(), QStringList({"1044", "b_fr", "orb2024_de-de", "x_en-us"}));
    EXPECT_EQ(TranslationCodes(), QStringList({"no-no", "fr", "de-de", "en-us"}));
    EXPECT_EQ(TranslationLCIDs(), QStringList({"1044", "1036", "1031", "1033"}));

    ScanTranslations(QStringLiteral("T:\\prog\\nowhere"));
    EXPECT_TRUE(TranslationNames().isEmpty());
}

} // namespace
