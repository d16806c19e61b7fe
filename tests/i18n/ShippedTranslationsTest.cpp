// The translations we ship: both cover every translatable control and every message, the German
// one is exactly the built-in texts, and the English one keeps the structure of each text.

#include "I18nTestSupport.h"

#include "FlagPainter.h"
#include "i18n/LanguageSelection.h"
#include "i18n/ProjectMessages.h"
#include "i18n/TranslatableComponents.h"

#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>

using namespace i18n;

namespace {

const QString kAssets = QStringLiteral(ORBISCA_SOURCE_DIR "/assets");

class ShippedTranslationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(hive_.isValid());
        qputenv(platform::kHiveEnvironmentVariable, (hive_.path() + "/machine.hive").toUtf8());
        platform::CloseMachineHive();
        ResetLocalisationState();
        platform::SetDriveRoot(u'S', kAssets.toStdString());
        platform::SetProgramFolder(QStringLiteral("S:"));
    }
    void TearDown() override {
        ResetLocalisationState();
        platform::SetDriveRoot(u'S', std::string());
        platform::CloseMachineHive();
        qunsetenv(platform::kHiveEnvironmentVariable);
    }
    QTemporaryDir hive_;
    static TLang load(const QString& baseName) {
        TLang lang;
        EXPECT_TRUE(lang.Load_Translation("S:\\translation\\" + baseName + ".nlang3",
                                          "S:\\translation\\index.txt"));
        EXPECT_GT(lang.Translation.count(), 0) << baseName.toStdString();
        return lang;
    }
    static QString german(const TranslatableComponent& c) {
        return BuiltInText(QLatin1String(c.section), QLatin1String(c.component));
    }
};

// Every key of a file must be a listed control or a catalogue message: a misspelt key would be
// a text that never reaches the screen.
void expectOnlyKnownKeys(const TLang& lang, const char* file) {
    QSet<QString> known;
    for (const TranslatableComponent& c : TranslatableComponents())
        known.insert((QLatin1String(c.section) + u'.' + QLatin1String(c.component)).toUpper());
    for (const QString& key : MessageKeys())
        known.insert(("MESSAGES." + key).toUpper());
    QSet<QString> seen;
    for (const QString& line : lang.Translation.lines()) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq).toUpper();
        EXPECT_TRUE(known.contains(key)) << file << ": unknown key " << key.toStdString();
        EXPECT_FALSE(seen.contains(key)) << file << ": duplicate key " << key.toStdString();
        seen.insert(key);
    }
}

QStringList placeholders(const QString& text) {
    QStringList found;
    for (const QRegularExpressionMatch& m : QRegularExpression("%[1-9]").globalMatch(text))
        found.append(m.captured());
    found.sort();
    return found;
}

// What a translation must keep of the German text: placeholders, the number of items or lines,
// and the markup tags it uses.
void expectSameStructure(const QString& key, const QString& german, const QString& translated) {
    SCOPED_TRACE(key.toStdString());
    EXPECT_EQ(placeholders(translated), placeholders(german));
    EXPECT_EQ(translated.count("\r\n"), german.count("\r\n"));
    for (const char* tag : {"<b>", "</b>", "<br>", "<a ", "</a>", "<P ", "</P>"})
        EXPECT_EQ(translated.count(QLatin1String(tag), Qt::CaseInsensitive),
                  german.count(QLatin1String(tag), Qt::CaseInsensitive))
            << tag;
}

TEST_F(ShippedTranslationsTest, GermanCarriesTheBuiltInTexts) {
    const TLang lang = load("orb2024_de-de");
    expectOnlyKnownKeys(lang, "orb2024_de-de");
    for (const TranslatableComponent& c : TranslatableComponents())
        EXPECT_EQ(lang.Get_StringW(QLatin1String(c.section), QLatin1String(c.component)),
                  german(c))
            << c.section << "." << c.component;
    for (int i = 0; i < kMessageCount; ++i) {
        const auto msg = static_cast<Msg>(i);
        EXPECT_EQ(lang.Get_StringW("MESSAGES", MessageKey(msg)), MessageDefault(msg))
            << MessageKey(msg).toStdString();
    }
}

TEST_F(ShippedTranslationsTest, EnglishCoversEveryControlAndMessage) {
    const TLang lang = load("orb2024_en-us");
    expectOnlyKnownKeys(lang, "orb2024_en-us");
    for (const TranslatableComponent& c : TranslatableComponents()) {
        const QString text = lang.Get_StringW(QLatin1String(c.section), QLatin1String(c.component));
        EXPECT_FALSE(text.trimmed().isEmpty()) << c.section << "." << c.component;
        expectSameStructure(QLatin1String(c.section) + u'.' + QLatin1String(c.component),
                            german(c), text);
    }
    for (int i = 0; i < kMessageCount; ++i) {
        const auto msg = static_cast<Msg>(i);
        const QString text = lang.Get_StringW("MESSAGES", MessageKey(msg));
        EXPECT_FALSE(text.trimmed().isEmpty()) << MessageKey(msg).toStdString();
        expectSameStructure(MessageKey(msg), MessageDefault(msg), text);
    }
    EXPECT_NE(lang.Get_StringW("MESSAGES", "MESSAGE_TRANSLATOR_NAME"), MessageDefault(Msg::MESSAGE_TRANSLATOR_NAME));
}

TEST_F(ShippedTranslationsTest, BothAreOfferedWithFlagsAndChosenByLocale) {
    ScanTranslations("S:\\Translation");
    EXPECT_EQ(TranslationNames(), QStringList({"orb2024_de-de", "orb2024_en-us"}));
    EXPECT_EQ(TranslationCodes(), QStringList({"de-de", "en-us"}));
    EXPECT_EQ(TranslationLCIDs(), QStringList({"1031", "1033"}));

    QMenu menu;
    QList<QPixmap> images;
    BuildLanguageMenu(&menu, &images);
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(images.size(), 2);
    for (QAction* entry : menu.actions())
        EXPECT_FALSE(entry->icon().isNull()) << entry->text().toStdString();

    const std::pair<const char*, const char*> cases[] = {
        {"de_DE.UTF-8", "orb2024_de-de"}, {"de_AT.UTF-8", "orb2024_de-de"},
        {"en_GB.UTF-8", "orb2024_en-us"}, {"fr_FR.UTF-8", "orb2024_en-us"},
    };
    for (const auto& [user, expected] : cases) {
        platform::FakeLocale locale(user, user);
        DetectLanguage();
        EXPECT_EQ(CurrentTranslationName(), QLatin1String(expected)) << user;
    }
}

TEST_F(ShippedTranslationsTest, FlagsAreTheOnesOurGeneratorDraws) {
    for (const QString& code : flags::DrawnCodes()) {
        const QImage shipped(kAssets + "/Flags/" + code + ".bmp");
        ASSERT_FALSE(shipped.isNull()) << code.toStdString();
        const QImage drawn = flags::DrawFlag(code);
        ASSERT_EQ(shipped.size(), QSize(16, 16));
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(shipped.pixel(x, y) & 0xFFFFFF, drawn.pixel(x, y) & 0xFFFFFF)
                    << code.toStdString() << " at " << x << "," << y;
    }
}

TEST_F(ShippedTranslationsTest, EnglishTranslatesAWindowBuiltFromTheList) {
    LOAD_INTERNAL_ONLY("S:\\translation", "orb2024_en-us");
    ASSERT_NE(ActiveTranslation(), nullptr);
    EXPECT_EQ(Message(Msg::MESSAGE_ORB_FILTER_ALL), "All files");
    QWidget options;
    options.setObjectName("Form_Options");
    options.setProperty("Tag", 1);
    QList<QLabel*> labels;
    for (const TranslatableComponent& c : TranslatableComponents()) {
        if (QLatin1String(c.section) != u"Form_Options" || QLatin1String(c.component) == u"Form_Options")
            continue;
        auto* label = new QLabel(german(c), &options);
        label->setObjectName(QLatin1String(c.component));
        label->setProperty("Tag", 1);
        labels.append(label);
    }
    LOAD_TRANSLATION_TO_FORM("S:\\translation", "orb2024_en-us", &options);
    EXPECT_EQ(options.windowTitle(), "Settings");
    ASSERT_FALSE(labels.isEmpty());
    for (QLabel* label : labels) {
        QString english = ActiveTranslation()->Get_StringW("Form_Options", label->objectName());
        english.replace("\r\n", "\n");
        EXPECT_EQ(label->text(), english) << label->objectName().toStdString();
        EXPECT_FALSE(english.isEmpty());
    }
}

} // namespace
