#pragma once

// The message catalogue: texts that code puts on the screen at run time, by key, each with its
// German built-in text. Once a translation is loaded every message is taken from its section
// MESSAGES, once per process; a message that the translation lacks is empty from then on.
// The catalogue holds the messages this program shows and the translator's name; the keys of
// the shared code base that it never shows are not carried.

#include <QString>
#include <QStringList>

namespace i18n {

#define ORBISCA_MESSAGES(X)                                                                        \
    X(MESSAGEHTML_ORB_SELECTDRIVE)                                                                 \
    X(MESSAGE_ORB_NO_MEDIA_IN_DRIVE)                                                               \
    X(MESSAGE_ORB_BALKEN_NONE)                                                                     \
    X(MESSAGE_ORB_BALKEN_ABSOLUT)                                                                  \
    X(MESSAGE_ORB_BALKEN_RELATIVE)                                                                 \
    X(MESSAGE_ORB_FILTER_ALL)                                                                      \
    X(MESSAGE_ORB_FILTER_AUDIO)                                                                    \
    X(MESSAGE_ORB_FILTER_VIDEO)                                                                    \
    X(MESSAGE_ORB_FILTER_PICS)                                                                     \
    X(MESSAGE_ORB_FILTER_ARCHIVES)                                                                 \
    X(MESSAGE_ORB_FILTER_DOCUMENTS)                                                                \
    X(MESSAGE_ORB_FILTER_APPS)                                                                     \
    X(MESSAGEHTML_ORB_STATUS_WELCOME)                                                              \
    X(MESSAGEHTML_ORB_STATUS_SCANNING)                                                             \
    X(MESSAGEHTML_ORB_STATUS_DONE)                                                                 \
    X(MESSAGEHTML_ORB_STATUS_FILTERING)                                                            \
    X(MESSAGEHTML_ORB_STATUS_INCOMPLETE)                                                           \
    X(MESSAGEHTML_ORB_WARN_INCOMPLETE)                                                             \
    X(MESSAGE_ORB_INCOMPLETE_STOPPED)                                                              \
    X(MESSAGE_ORB_INCOMPLETE_CUTSHORT)                                                             \
    X(MESSAGE_ORB_INCOMPLETE_UNREADABLE)                                                           \
    X(MESSAGE_ORB_INCOMPLETE_EXAMPLE)                                                              \
    X(MESSAGE_ORB_DELETE_ASK_SURE)                                                                 \
    X(MESSAGE_ORB_DELETE_FAILED)                                                                   \
    X(MESSAGE_ORB_DELETE_FAILED_MORE)                                                              \
    X(MESSAGE_ORB_DELETE_VANISHED)                                                                 \
    X(MESSAGE_ORB_DELETE_DENIED)                                                                   \
    X(MESSAGE_ORB_DELETE_READONLY)                                                                 \
    X(MESSAGE_ORB_DELETE_NOTRASH)                                                                  \
    X(MESSAGE_ORB_DELETE_REFUSED)                                                                  \
    X(MESSAGE_ORB_DELETE_ERROR)                                                                    \
    X(MESSAGEHTML_ORB_STATUS_TRASHING)                                                             \
    X(MESSAGE_OK)                                                                                  \
    X(MESSAGE_ABORT)                                                                               \
    X(MESSAGE_ASKER_OK)                                                                            \
    X(MESSAGE_ASKER_YES)                                                                           \
    X(MESSAGE_ASKER_NO)                                                                            \
    X(MESSAGE_MODULNAME_OB)                                                                        \
    X(MESSAGEHTML_OPTIONS_SKINORLANG_CHANGED)                                                      \
    X(MESSAGE_OPTIONS_NAVI1)                                                                       \
    X(MESSAGEHTML_OPTIONS_ASKER_SURETORESET)                                                       \
    X(MESSAGE_BACKTOMAINMENU)                                                                      \
    X(MESSAGEHTML_TOOLTIPS_BACK)                                                                   \
    X(MESSAGE_OPTIONS)                                                                             \
    X(MESSAGEHTML_TOOLTIPS_OPTIONS)                                                                \
    X(MESSAGE_TOOLTIPS_HEADER_IM)                                                                  \
    X(MESSAGEHTML_TOOLTIPS_IM)                                                                     \
    X(MESSAGE_TOOLTIPS_HEADER_FEEDBACK)                                                            \
    X(MESSAGEHTML_TOOLTIPS_FEEDBACK)                                                               \
    X(MESSAGE_BYTE)                                                                                \
    X(MESSAGE_BYTES)                                                                               \
    X(MESSAGE_IM_MYZELVANO)                                                                        \
    X(MESSAGE_IM_SOFTWAREDEALS)                                                                    \
    X(MESSAGE_IM_MOREDOWNLOADS)                                                                    \
    X(MESSAGE_CONTEXTMENU_DEFRAG_QO8)                                                              \
    X(MESSAGE_CONTEXTMENU_DL_QO8)                                                                  \
    X(MESSAGE_CONTEXTMENU_SHREDDER_QO8)                                                            \
    X(MESSAGE_CONTEXTMENU_ENCRYPT_QO8)                                                             \
    X(MESSAGE_CONTEXTMENU_DECRYPT_QO8)                                                             \
    X(MESSAGE_CONTEXTMENU_SPLIT_QO8)                                                               \
    X(MESSAGE_CONTEXTMENU_JOIN_QO8)                                                                \
    X(MESSAGE_CONTEXTMENU_SHREDDER_RECYCLE)                                                        \
    X(MESSAGE_CONTEXTMENU_UNDELETER_RECYCLE)                                                       \
    X(MESSAGE_HELP_PAGE_NOT_FOUND)                                                                 \
    X(MESSAGE_LAUNCH_CANCELLED)                                                                    \
    X(MESSAGE_LAUNCH_REFUSED)                                                                      \
    X(MESSAGE_LAUNCH_NO_PKEXEC)                                                                    \
    X(MESSAGE_ORB_ITEM_CHANGED)                                                                    \
    X(MESSAGE_ORB_OPEN_REFUSED)                                                                    \
    X(MESSAGE_ORB_NO_DESKTOP_USER)                                                                 \
    X(MESSAGE_ORB_DELETE_ADMIN_TRASH)                                                              \
    X(MESSAGE_SKINS_MISSING)                                                                       \
    X(MESSAGE_HIVE_NOT_WRITABLE)                                                                   \
    X(MESSAGE_ORB_DRIVE_NOT_OFFERED)                                                               \
    X(MESSAGE_ORB_DELETE_PERMANENTLY_ASK)                                                          \
    X(MESSAGE_ORB_DELETE_PERMANENTLY_FAILED)                                                       \
    X(MESSAGE_ORB_DELETE_PARTLY)                                                                   \
    X(MESSAGE_ORB_DELETE_PERMANENTLY_REFUSED)                                                      \
    X(MESSAGEHTML_ORB_STATUS_DELETING)                                                             \
    X(MESSAGE_ORB_KEY_ENTER)                                                                       \
    X(MESSAGE_ORB_KEY_DELETE)                                                                      \
    X(MESSAGE_ORB_KEY_SHIFT_DELETE)                                                                \
    X(MESSAGE_ORB_MAP_HINT)                                                                        \
    X(MESSAGEHTML_ORB_MAP_SMALL_FILES)                                                             \
    X(MESSAGE_ORB_SAVED_NONE)                                                                  \
    X(MESSAGE_ORB_SAVED_OPEN_FILE)                                                             \
    X(MESSAGE_ORB_SAVED_ITEM)                                                                  \
    X(MESSAGE_ORB_SAVED_INCOMPLETE)                                                            \
    X(MESSAGE_ORB_SAVED_FILTER)                                                                \
    X(MESSAGE_ORB_SAVED_OPEN_FAILED)                                                           \
    X(MESSAGEHTML_ORB_STATUS_LOADED)                                                           \
    X(MESSAGE_TRANSLATOR_NAME)

// One identifier per message, named like its key.
enum class Msg : int {
#define ORBISCA_MESSAGE_ENUM(key) key,
    ORBISCA_MESSAGES(ORBISCA_MESSAGE_ENUM)
#undef ORBISCA_MESSAGE_ENUM
};

constexpr int kMessageCount = static_cast<int>(Msg::MESSAGE_TRANSLATOR_NAME) + 1;

// The current text of a message.
const QString& Message(Msg msg);
// The current text by key (case ignored); empty for a key the catalogue does not have.
QString Message(const QString& key);

QString MessageKey(Msg msg);
// The German built-in text.
QString MessageDefault(Msg msg);
// Every key, in table order.
QStringList MessageKeys();

// Set (before filling) by the first LoadMessageCatalogue of the process.
bool MessagesLoaded();
// Fills every message from the active translation: Get_StringW(MESSAGES, key). Without an
// active translation nothing changes.
void LoadMessageCatalogue();

// Start-up gives five messages a fixed text when they are empty after the translation load:
// MESSAGE_BYTE, MESSAGE_BYTES and the three names of the internet menu.
void ApplyFixedMessageTexts();

// Back to the defaults of a fresh process (tests).
void ResetMessageCatalogue();

} // namespace i18n
