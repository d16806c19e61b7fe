#include "platform/HostServices.h"

#include "platform/Debug.h"
#include "platform/DriveTable.h"

#include <QString>

#include <cstring>

extern "C" __attribute__((visibility("default"))) size_t OrbiscaHostDriveRoot(char16_t letter,
                                                                              char* out,
                                                                              size_t capacity) {
    const std::string root = platform::DriveRoot(letter);
    if (out && capacity > root.size()) {
        std::memcpy(out, root.data(), root.size());
        out[root.size()] = '\0';
    }
    return root.size();
}

extern "C" __attribute__((visibility("default"))) void OrbiscaHostDebugLine(const char16_t* line) {
    if (line)
        platform::OutputDebugStringW(QString::fromUtf16(line));
}
