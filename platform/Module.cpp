#include "platform/Module.h"

#include "platform/Debug.h"
#include "platform/Paths.h"

#include <dlfcn.h>

namespace platform {

HMODULE LoadLibraryW(const QString& windowsPath) {
    std::string native = NativePath(windowsPath);
    if (native.empty())
        return nullptr;
    if (native.size() >= 4) {
        std::string suffix = native.substr(native.size() - 4);
        for (char& c : suffix)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (suffix == ".dll")
            native.replace(native.size() - 4, 4, ".so");
    }
    void* handle = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* err = dlerror();
        OutputDebugStringW(QStringLiteral("LoadLibrary failed: ") +
                           QString::fromLocal8Bit(err ? err : "unknown error"));
    }
    return handle;
}

void* GetProcAddress(HMODULE module, const char* name) {
    if (!module)
        return nullptr;
    return dlsym(module, name);
}

bool FreeLibrary(HMODULE module) { return module && dlclose(module) == 0; }

} // namespace platform
