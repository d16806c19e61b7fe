#pragma once

// The file manager's context-menu entries of the sibling product: whether its handler and its
// two recycle-bin verbs are registered, the entry texts in the user's language, and the switches
// that hide groups of entries. The handler and the verbs are installed elsewhere; this program
// never registers, creates or removes their keys, it only reads them and writes the caption of
// a verb that already exists.

#include "settings/Registry.h"

#include <QString>

#include <array>

class QAbstractButton;

namespace settings {

// Under HKEY_CLASSES_ROOT.
inline const QString ShellExtensionClassKey =
    QStringLiteral("CLSID\\{7A41D0C3-2B6E-4F19-A8D5-3C92E1F04B6D}");
inline const QString RecycleBinClassKey =
    QStringLiteral("CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}");
inline const QString RecycleBinFileWiperKey = RecycleBinClassKey + QStringLiteral("\\shell\\QO_FileWiper");
inline const QString RecycleBinUndeleterKey = RecycleBinClassKey + QStringLiteral("\\shell\\QO_Undeleter");

// The five group switches in ContextMenusKey (present: the group is hidden), in table order,
// with the check box of the page "Kontextmenü" that shows each.
struct TContextMenuSwitch {
    const char* hideValue; // "Hide_DEFRAG"
    const char* checkBox;  // "CheckBox_Context_DEFRAG"
};
inline constexpr std::array<TContextMenuSwitch, 5> kContextMenuSwitches = {{
    {"Hide_DEFRAG", "CheckBox_Context_DEFRAG"},
    {"Hide_DL", "CheckBox_Context_DL"},
    {"Hide_FW", "CheckBox_Context_FW"},
    {"Hide_ED", "CheckBox_Context_ED"},
    {"Hide_FSJ", "CheckBox_Context_FSJ"},
}};

// True when the context-menu handler's class is registered.
bool ShellExtensionPresent();

// Writes the nine entry texts (the current catalogue texts) to ContextMenusKey, creating the key
// when it is missing, and the captions of the recycle-bin verbs that exist.
void WriteContextMenuTexts();

// The check boxes of the page "Kontextmenü": the five switches in table order and the three
// that only show what is registered.
struct TContextMenuBoxes {
    QAbstractButton* ShowContextMenu = nullptr;
    std::array<QAbstractButton*, 5> Groups{};
    QAbstractButton* Recycle_FW = nullptr;
    QAbstractButton* Recycle_Undelete = nullptr;
};

// A group box is checked when its Hide_ value is absent (whatever its value and type); the
// presence boxes show the handler and the two verbs.
void LoadContextMenuBoxes(const TContextMenuBoxes& boxes);
// Checked removes the Hide_ value, unchecked writes it as 1; then WriteContextMenuTexts. The
// presence boxes are not saved.
void SaveContextMenuBoxes(const TContextMenuBoxes& boxes);

} // namespace settings
