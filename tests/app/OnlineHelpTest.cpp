// Help and web links: the address rules as tables, and what a click finally hands to the
// desktop (the shipped page in the language in use).

#include "tests/dialogs/options/FormsTestSupport.h"

#include "inet/OnlineHelp.h"
#include "settings/Registry.h"

#include <QDir>
#include <QUrl>

using namespace inet;

namespace {

TEST(OnlineHelpRules, LocaleTagFallsBackToAbbreviationsAndThenToNothing) {
    platform::FakeLocale locale(1031, 1031);
    platform::LocaleRecord noIso;
    noIso.lcid = 0x5001;
    noIso.abbrevLang = "FRA";
    noIso.abbrevCtry = "CHE";
    locale.addRecord(noIso);
    platform::LocaleRecord onlyLanguage;
    onlyLanguage.lcid = 0x5002;
    onlyLanguage.iso639 = "PT";
    onlyLanguage.abbrevCtry = "BRA";
    locale.addRecord(onlyLanguage);
    platform::LocaleRecord nothing;
    nothing.lcid = 0x5003;
    locale.addRecord(nothing);

    const std::pair<platform::LCID, const char*> cases[] = {
        {1031, "de-de"}, {1033, "en-us"}, {2055, "de-ch"},  {0x5001, "fr-ch"},
        {0x5002, "pt-br"}, {0x5003, "-"}, {0x7777, "-"},     {0, "-"},
    };
    for (const auto& [lcid, tag] : cases)
        EXPECT_EQ(LocaleTag(lcid).toStdString(), tag) << lcid;
}

TEST(OnlineHelpRules, AddressesOfHelpAndLinkTargets) {
    EXPECT_EQ(OnlineHelpUrl("main", 1031).toStdString(),
              "https://help.zelvano.example/help/2024/de-de/main");
    EXPECT_EQ(OnlineHelpUrl("main", 0).toStdString(), "https://help.zelvano.example/help/2024/-/main");
    EXPECT_EQ(LinkTargetUrl("translation", "", 1033, 1031).toStdString(),
              "http://link.zelvano.example/linktarget/?product=2024&version=01.00.00&edition="
              "&syslang=en-us&lang=de-de&target=translation");
    // Nothing is encoded: an edition with blanks and "&" stands in the address as it is.
    EXPECT_EQ(LinkTargetUrl("eula", "Pro & More", 1036, 1033).toStdString(),
              "http://link.zelvano.example/linktarget/?product=2024&version=01.00.00"
              "&edition=Pro & More&syslang=fr-fr&lang=en-us&target=eula");
}

TEST(OnlineHelpRules, AddressesLeadToShippedPages) {
    struct Case {
        QString url;
        std::optional<TLocalPage> page;
    };
    const Case cases[] = {
        {OnlineHelpUrl("main", 1031), TLocalPage{"index", "de-de"}},
        {OnlineHelpUrl("TForm_ORB", 1033), TLocalPage{"index", "en-us"}},
        {OnlineHelpUrl("main", 0), TLocalPage{"index", "de"}},
        {LinkTargetUrl("translation", "", 1033, 1031), TLocalPage{"translation", "de-de"}},
        {LinkTargetUrl("privacypolicy", "", 1031, 1033), TLocalPage{"privacy", "en-us"}},
        {LinkTargetUrl("eula", "x&lang=fr-fr", 1031, 1033), TLocalPage{"eula", "en-us"}},
        {LinkTargetUrl("eula", "", 1031, 0), TLocalPage{"eula", "de"}},
        {"https://help.zelvano.example/help/2024/de-de", std::nullopt},
        {"https://help.zelvano.example/help/9999/de-de/main", std::nullopt},
        {"https://example.org/help/2024/de-de/main", std::nullopt},
        {"http://link.zelvano.example/linktarget/?product=2024", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<TLocalPage> page = LocalPageForUrl(c.url);
        ASSERT_EQ(page.has_value(), c.page.has_value()) << c.url.toStdString();
        if (page) {
            EXPECT_TRUE(*page == *c.page) << c.url.toStdString() << " -> "
                                          << page->page.toStdString() << " "
                                          << page->languageCode.toStdString();
        }
    }
}

class OnlineHelpTest : public formstest::FormsFixture {};

TEST_F(OnlineHelpTest, HelpOpensTheManualInTheLanguageInUse) {
    StartInLanguage("de_DE.UTF-8");
    platform::DebugCapture debug;
    EXPECT_TRUE(OpenOnlineHelp("main"));
    EXPECT_TRUE(debug.contains("Call Online Help ; URL=https://help.zelvano.example/help/2024/de-de/main"));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith("file:///")) << opened[0].toStdString();
    EXPECT_TRUE(opened[0].endsWith("/help/de/index.html")) << opened[0].toStdString();
    EXPECT_TRUE(QFile::exists(QUrl(opened[0]).toLocalFile()));

    i18n::ResetLocalisationState();
    StartInLanguage("en_US.UTF-8");
    EXPECT_TRUE(OpenOnlineHelp("main"));
    EXPECT_TRUE(opened.value(1).endsWith("/help/en/index.html")) << opened.value(1).toStdString();

    // Without any translation the built-in German texts are in use, and so is the German manual.
    i18n::ResetLocalisationState();
    EXPECT_TRUE(OpenOnlineHelp("main"));
    EXPECT_TRUE(debug.contains("URL=https://help.zelvano.example/help/2024/-/main"));
    EXPECT_TRUE(opened.value(2).endsWith("/help/de/index.html")) << opened.value(2).toStdString();
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(OnlineHelpTest, LinkTargetNamesEditionAndBothLanguages) {
    StartInLanguage("de_DE.UTF-8");
    platform::FakeLocale user("fr_FR.UTF-8", "fr_FR.UTF-8");
    platform::DebugCapture debug;
    EXPECT_TRUE(OpenLinkTarget("translation"));
    EXPECT_TRUE(debug.contains("product=2024&version=01.00.00&edition=&syslang=fr-fr&lang=de-de"
                               "&target=translation"));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith("/help/de/translation.html")) << opened[0].toStdString();

    ASSERT_TRUE(settings::RegWriteString(settings::HKEY_LOCAL_MACHINE, settings::ProductKey,
                                         "Edition", "Free"));
    EXPECT_TRUE(OpenLinkTarget("privacypolicy"));
    EXPECT_TRUE(debug.contains("&edition=Free&syslang=fr-fr&lang=de-de&target=privacypolicy"));
    EXPECT_TRUE(opened.value(1).endsWith("/help/de/privacy.html")) << opened.value(1).toStdString();
}

TEST_F(OnlineHelpTest, MissingPagesAreReportedNotSilentlyDropped) {
    StartInLanguage("de_DE.UTF-8");
    ASSERT_TRUE(QDir(Native("help")).removeRecursively());
    EXPECT_FALSE(OpenOnlineHelp("main"));
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains("index.html")) << boxes[0].toStdString();
}

} // namespace
