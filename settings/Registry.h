#pragma once

// The settings store: the program's registry keys and the helpers through which every window
// reads and writes settings. Include "settings/Registry.h"; everything is in namespace
// settings, which also re-exports the root keys and value types of platform/WinReg.h, e.g.
//
//     settings::RegReadString(settings::HKEY_LOCAL_MACHINE, settings::OptionsKey, "UseSkin");
//
// None of the helpers raises an error: a missing key or value reads as empty text or 0 (meaning
// "use the default"), a write that cannot be done returns false. Every key they open they close
// before returning. Used from the UI thread.

#include "platform/WinReg.h"

#include <QString>

namespace settings {

using platform::DWORD;
using platform::HKEY;
using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_LOCAL_MACHINE;
using platform::REG_BINARY;
using platform::REG_DWORD;
using platform::REG_EXPAND_SZ;
using platform::REG_MULTI_SZ;
using platform::REG_NONE;
using platform::REG_QWORD;
using platform::REG_SZ;
using platform::REGSAM;

// The program's keys under HKEY_LOCAL_MACHINE.
inline const QString ProductKey = QStringLiteral("SOFTWARE\\Zelvano\\Zelvano Orbisca 2024");
inline const QString OptionsKey = QStringLiteral("SOFTWARE\\Zelvano\\Zelvano Orbisca 2024\\Options");
inline const QString ContextMenusKey =
    QStringLiteral("SOFTWARE\\Zelvano\\Zelvano Orbisca 2024\\contextmenus");

// Set once, before the first registry access, to IsProcessWow64(): the helpers then add
// KEY_WOW64_64KEY to their masks so that they always work in the 64-bit view. Every helper runs
// InitRegistryAccess() itself on first use; start-up may call it earlier.
extern bool UseRegistry64View;
void InitRegistryAccess();

// The two access masks of the helpers: KEY_READ / KEY_ALL_ACCESS, plus KEY_WOW64_64KEY when
// UseRegistry64View is set.
REGSAM RegistryReadAccess();
REGSAM RegistryWriteAccess();

bool RegKeyExists(HKEY root, const QString& path);
bool RegValueExists(HKEY root, const QString& path, const QString& name);

// Typed reads that accept any stored type:
//  - REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ of more than 1 byte: the text up to its first NUL (no
//    expansion; the first string of a multi-string); as integer that text's number, 0 when it
//    is not one;
//  - REG_DWORD: decimal of the unsigned number; as integer the number (size at most 4 bytes);
//  - REG_QWORD: decimal of the signed number; as integer its low 32 bits (size at most 8);
//  - REG_BINARY, REG_NONE: the bytes as UTF-16 up to the first NUL; as integer the bytes as a
//    little-endian number (size at most 4 bytes);
//  - any other type, an empty value, a missing key or value: empty text / 0.
QString RegReadString(HKEY root, const QString& path, const QString& name);
int32_t RegReadInteger(HKEY root, const QString& path, const QString& name);

// Writes create the key when it is missing.
bool RegWriteValue(HKEY root, const QString& path, const QString& name, DWORD type,
                   const void* data, DWORD size);
// REG_SZ with its terminating NUL; an empty text is written with no data (size 0).
bool RegWriteString(HKEY root, const QString& path, const QString& name, const QString& text);
bool RegWriteInteger(HKEY root, const QString& path, const QString& name, int32_t value);
bool RegRemoveValue(HKEY root, const QString& path, const QString& name);
// Deletes the key with all its subkeys; true when the key is gone afterwards (also when it
// never existed).
bool RegDeleteKeyTree(HKEY root, const QString& path);

} // namespace settings
