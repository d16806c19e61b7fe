#pragma once

// The registry calls of the Windows API over the machine hive (Hive.h). Two roots exist,
// HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT; key and value names compare without regard to case
// and keep the case they were created with; an empty value name is the key's default value.
// Signatures follow the Windows calls minus their reserved, class and security parameters.
//
// Access masks are honoured as on Windows: a key opened for reading refuses writes with
// ERROR_ACCESS_DENIED, and so does a request for write access while the hive is read-only
// (a process without the right to write the machine-wide file). KEY_WOW64_64KEY and
// KEY_WOW64_32KEY are accepted; there is one view.

#include <QString>

#include <cstdint>

namespace platform {

using DWORD = uint32_t;
using BYTE = uint8_t;
using LSTATUS = long;
using REGSAM = uint32_t;

struct HKEY__;
using HKEY = HKEY__*;

// Predefined root keys (never closed).
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t{0x80000000});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});

inline constexpr LSTATUS ERROR_SUCCESS = 0;
inline constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
inline constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
inline constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
inline constexpr LSTATUS ERROR_OUTOFMEMORY = 14;
inline constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
inline constexpr LSTATUS ERROR_MORE_DATA = 234;
inline constexpr LSTATUS ERROR_NO_MORE_ITEMS = 259;
inline constexpr LSTATUS ERROR_KEY_DELETED = 1018;
inline constexpr LSTATUS ERROR_REGISTRY_IO_FAILED = 1016;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM DELETE_ACCESS = 0x00010000; // DELETE
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM WRITE_DAC = 0x00040000;
inline constexpr REGSAM WRITE_OWNER = 0x00080000;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// RegOpenKeyExW: opens root\subKey (components separated by backslashes; empty = root itself).
LSTATUS RegOpenKeyExW(HKEY root, const QString& subKey, DWORD options, REGSAM samDesired,
                      HKEY* result);
// RegCreateKeyExW: opens root\subKey, creating every missing key on the way in one transaction.
LSTATUS RegCreateKeyExW(HKEY root, const QString& subKey, DWORD options, REGSAM samDesired,
                        HKEY* result, DWORD* disposition = nullptr);
LSTATUS RegCloseKey(HKEY key);

// RegQueryValueExW: type and data of a value. With data == nullptr only *type and *cbData are
// filled; with a buffer smaller than the value ERROR_MORE_DATA and the needed size.
LSTATUS RegQueryValueExW(HKEY key, const QString& valueName, DWORD* type, BYTE* data,
                         DWORD* cbData);
// RegSetValueExW: stores cbData bytes of data with the type, replacing any value of that name.
LSTATUS RegSetValueExW(HKEY key, const QString& valueName, DWORD type, const BYTE* data,
                       DWORD cbData);
LSTATUS RegDeleteValueW(HKEY key, const QString& valueName);

// RegDeleteKeyW: deletes root\subKey with its values; refused (ERROR_ACCESS_DENIED) while the
// key has subkeys, and for a root itself.
LSTATUS RegDeleteKeyW(HKEY root, const QString& subKey);
// RegDeleteKeyExW: as RegDeleteKeyW; samDesired selects the view (accepted, one view here).
LSTATUS RegDeleteKeyExW(HKEY root, const QString& subKey, REGSAM samDesired, DWORD reserved);

// RegEnumKeyExW / RegEnumValueW: the index-th subkey / value name, ordered without regard to
// case; ERROR_NO_MORE_ITEMS past the end.
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, QString* name);
LSTATUS RegEnumValueW(HKEY key, DWORD index, QString* name, DWORD* type = nullptr);

} // namespace platform
