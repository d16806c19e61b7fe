#include "service/Host.h"

#include "platform/DriveTable.h"
#include "platform/HostServices.h"
#include "platform/NameCodec.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace service {
namespace {

template <class Fn> Fn hostFunction(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_DEFAULT, name));
}

} // namespace

std::string HostDriveRoot(char16_t letter) {
    static const auto fn = hostFunction<OrbiscaHostDriveRootFn>(ORBISCA_HOST_DRIVE_ROOT);
    if (!fn)
        return platform::DriveRoot(letter);
    std::string root(256, '\0');
    size_t n = fn(letter, root.data(), root.size());
    if (n >= root.size()) {
        root.assign(n + 1, '\0');
        n = fn(letter, root.data(), root.size());
    }
    root.resize(n < root.size() ? n : 0);
    return root;
}

void HostDebugLine(const std::u16string& line) {
    static const auto fn = hostFunction<OrbiscaHostDebugLineFn>(ORBISCA_HOST_DEBUG_LINE);
    if (fn) {
        fn(line.c_str());
        return;
    }
    static const bool toStderr = [] {
        const char* v = std::getenv("ORBISCA_DEBUG");
        return v && *v && std::strcmp(v, "0") != 0;
    }();
    if (toStderr)
        std::fprintf(stderr, "[debug] %s\n", platform::EncodeNativeName(line).c_str());
}

} // namespace service
