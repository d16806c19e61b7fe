#pragma once

// Windows paths on Linux. A Windows path "X:\a\b" names the native path below the root that
// drive X: is mapped to. Names convert losslessly in both directions:
//  - a backslash inside a Linux name is shown as U+F05C;
//  - a byte that is not part of valid UTF-8 is shown as U+DC80 + (byte - 0x80);
// so every listed name leads back to exactly the bytes on disk. Never use toUtf8() for the way
// back: use NativeName / NativePath.

#include "platform/NameCodec.h"

#include <QString>

#include <string>
#include <string_view>

namespace platform {

// Native name bytes -> display name (one path component).
QString DisplayName(std::string_view nativeName);
// Display name -> native name bytes; the exact inverse of DisplayName.
std::string NativeName(QStringView displayName);

// Root folder a drive letter stands for (native, no trailing slash except "/"); empty when the
// letter is not mapped. The drive table (DriveTable.h) holds the letters: C: is "/" unless
// configured otherwise.
std::string DriveRoot(char16_t letter);
// Maps a letter to a native folder (like subst). An empty root removes the mapping.
void SetDriveRoot(char16_t letter, const std::string& nativeRoot);

// "C:\a\b" -> "/a/b". Empty when the path has no mapped drive.
std::string NativePath(const QString& windowsPath);
// "/a/b" -> "C:\a\b", choosing the drive with the longest matching root. Empty when none.
QString WindowsPath(std::string_view nativePath);

} // namespace platform
