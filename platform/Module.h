#pragma once

// LoadLibraryW / GetProcAddress / FreeLibrary over dlopen. A Windows path is mapped to its native
// path, and a name ending in ".dll" loads the same name ending in ".so".

#include <QString>

namespace platform {

using HMODULE = void*;

HMODULE LoadLibraryW(const QString& windowsPath);
void* GetProcAddress(HMODULE module, const char* name);
bool FreeLibrary(HMODULE module);

} // namespace platform
