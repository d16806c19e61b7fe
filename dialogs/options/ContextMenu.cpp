#include "dialogs/options/ContextMenu.h"

#include "i18n/ProjectMessages.h"

#include <QAbstractButton>

namespace settings {
namespace {

struct EntryText {
    const char* value;
    i18n::Msg message;
};

constexpr EntryText kEntryTexts[] = {
    {"CONTEXTMENU_DEFRAG", i18n::Msg::MESSAGE_CONTEXTMENU_DEFRAG_QO8},
    {"CONTEXTMENU_DL", i18n::Msg::MESSAGE_CONTEXTMENU_DL_QO8},
    {"CONTEXTMENU_SHREDDER", i18n::Msg::MESSAGE_CONTEXTMENU_SHREDDER_QO8},
    {"CONTEXTMENU_ENCRYPT", i18n::Msg::MESSAGE_CONTEXTMENU_ENCRYPT_QO8},
    {"CONTEXTMENU_DECRYPT", i18n::Msg::MESSAGE_CONTEXTMENU_DECRYPT_QO8},
    {"CONTEXTMENU_SPLIT", i18n::Msg::MESSAGE_CONTEXTMENU_SPLIT_QO8},
    {"CONTEXTMENU_JOIN", i18n::Msg::MESSAGE_CONTEXTMENU_JOIN_QO8},
    {"CONTEXTMENU_RECYCLE_FW", i18n::Msg::MESSAGE_CONTEXTMENU_SHREDDER_RECYCLE},
    {"CONTEXTMENU_RECYCLE_UNDELETE", i18n::Msg::MESSAGE_CONTEXTMENU_UNDELETER_RECYCLE},
};

void writeVerbCaption(const QString& verbKey, i18n::Msg message) {
    // Only a verb that is registered gets its caption; its key is never created here.
    if (RegKeyExists(HKEY_CLASSES_ROOT, verbKey))
        RegWriteString(HKEY_CLASSES_ROOT, verbKey, QString(), i18n::Message(message));
}

void setChecked(QAbstractButton* box, bool checked) {
    if (box)
        box->setChecked(checked);
}

} // namespace

bool ShellExtensionPresent() { return RegKeyExists(HKEY_CLASSES_ROOT, ShellExtensionClassKey); }

void WriteContextMenuTexts() {
    for (const EntryText& entry : kEntryTexts)
        RegWriteString(HKEY_LOCAL_MACHINE, ContextMenusKey, QLatin1String(entry.value),
                       i18n::Message(entry.message));
    writeVerbCaption(RecycleBinFileWiperKey, i18n::Msg::MESSAGE_CONTEXTMENU_SHREDDER_RECYCLE);
    writeVerbCaption(RecycleBinUndeleterKey, i18n::Msg::MESSAGE_CONTEXTMENU_UNDELETER_RECYCLE);
}

void LoadContextMenuBoxes(const TContextMenuBoxes& boxes) {
    setChecked(boxes.ShowContextMenu, ShellExtensionPresent());
    for (size_t i = 0; i < kContextMenuSwitches.size(); ++i)
        setChecked(boxes.Groups[i], !RegValueExists(HKEY_LOCAL_MACHINE, ContextMenusKey,
                                                    QLatin1String(kContextMenuSwitches[i].hideValue)));
    setChecked(boxes.Recycle_FW, RegKeyExists(HKEY_CLASSES_ROOT, RecycleBinFileWiperKey));
    setChecked(boxes.Recycle_Undelete, RegKeyExists(HKEY_CLASSES_ROOT, RecycleBinUndeleterKey));
}

void SaveContextMenuBoxes(const TContextMenuBoxes& boxes) {
    for (size_t i = 0; i < kContextMenuSwitches.size(); ++i) {
        const QAbstractButton* box = boxes.Groups[i];
        if (!box)
            continue;
        const QString name = QLatin1String(kContextMenuSwitches[i].hideValue);
        if (box->isChecked())
            RegRemoveValue(HKEY_LOCAL_MACHINE, ContextMenusKey, name);
        else
            RegWriteInteger(HKEY_LOCAL_MACHINE, ContextMenusKey, name, 1);
    }
    WriteContextMenuTexts();
}

} // namespace settings
