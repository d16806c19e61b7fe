#include "I18nTestSupport.h"

#include "i18n/ProjectMessages.h"

#include <QWidget>

using namespace i18n;

namespace {

class MessageCatalogueTest : public i18n_test::ProgramFolderTest {
protected:
    void load(const QStringList& lines) {
        writeFile("translation/index.txt", "");
        writeFile("translation/x_en-us.nlang3", i18n_test::utf8File(lines));
        LOAD_INTERNAL_ONLY("T:\\prog\\translation", "x_en-us");
        ASSERT_NE(ActiveTranslation(), nullptr);
    }
};

TEST_F(MessageCatalogueTest, BuiltInGermanWithoutTranslation) {
    EXPECT_FALSE(MessagesLoaded());
    EXPECT_EQ(Message(Msg::MESSAGE_ORB_FILTER_ALL), "Alle Dateien");
    EXPECT_EQ(Message(Msg::MESSAGEHTML_ORB_STATUS_WELCOME),
              "Bitte wählen Sie ein Laufwerk aus und klicken Sie auf die Schaltfläche "
              "\"Untersuchen\".");
    EXPECT_EQ(Message(Msg::MESSAGE_ORB_DELETE_ASK_SURE).count("\r\n"), 2);
    // The analysis is brought up to date after a delete, and the question says so.
    EXPECT_TRUE(Message(Msg::MESSAGE_ORB_DELETE_ASK_SURE).endsWith("aus der Liste und den Summen."));
    EXPECT_EQ(Message("message_orb_filter_all"), "Alle Dateien");
    EXPECT_EQ(Message("MESSAGE_NOT_IN_THE_CATALOGUE"), "");
    EXPECT_EQ(MessageKeys().size(), kMessageCount);
    EXPECT_EQ(MessageKeys().first(), "MESSAGEHTML_ORB_SELECTDRIVE");
    // Loading needs a translation.
    LoadMessageCatalogue();
    EXPECT_FALSE(MessagesLoaded());
}

TEST_F(MessageCatalogueTest, TranslationReplacesEveryMessageAndMissingOnesBecomeEmpty) {
    load({"MESSAGES.MESSAGE_ORB_FILTER_ALL=All files", "messages.message_byte=Bajt",
          "MESSAGES.MESSAGE_ORB_DELETE_ASK_SURE=Sure?%CRLFReally?", "MESSAGES.MESSAGE_OK="});
    EXPECT_TRUE(MessagesLoaded());
    EXPECT_EQ(Message(Msg::MESSAGE_ORB_FILTER_ALL), "All files");
    EXPECT_EQ(Message(Msg::MESSAGE_ORB_FILTER_AUDIO), "");
    EXPECT_EQ(Message(Msg::MESSAGE_OK), "");
    EXPECT_EQ(Message(Msg::MESSAGE_ORB_DELETE_ASK_SURE), "Sure?\r\nReally?");
    EXPECT_EQ(Message(Msg::MESSAGE_BYTES), "");

    ApplyFixedMessageTexts();
    EXPECT_EQ(Message(Msg::MESSAGE_BYTE), "Bajt");
    EXPECT_EQ(Message(Msg::MESSAGE_BYTES), "Bytes");
    EXPECT_EQ(Message(Msg::MESSAGE_IM_MYZELVANO), "MyZelvano");
    EXPECT_EQ(Message(Msg::MESSAGE_IM_SOFTWAREDEALS), "Software Deals");
    EXPECT_EQ(Message(Msg::MESSAGE_IM_MOREDOWNLOADS), "More Downloads");
    EXPECT_EQ(Message(Msg::MESSAGE_ORB_FILTER_AUDIO), "");
}

TEST_F(MessageCatalogueTest, FilledOncePerProcess) {
    load({"MESSAGES.MESSAGE_OK=Okay"});
    writeFile("translation/x_en-us.nlang3", i18n_test::utf8File({"MESSAGES.MESSAGE_OK=Changed"}));
    QWidget window;
    window.setObjectName("Form_Other");
    LOAD_TRANSLATION_TO_FORM("T:\\prog\\translation", "x_en-us", &window);
    LOAD_INTERNAL_ONLY("T:\\prog\\translation", "x_en-us");
    EXPECT_EQ(ActiveTranslation()->Get_StringW("MESSAGES", "MESSAGE_OK"), "Changed");
    EXPECT_EQ(Message(Msg::MESSAGE_OK), "Okay");
}

} // namespace
