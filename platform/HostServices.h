#pragma once

// Services the program offers to the libraries it loads (the snapshot service): the drive table
// and the debug channel of this process. They have C linkage and are exported from every
// executable that links the platform layer, so a library finds them with dlsym(RTLD_DEFAULT).

#include <cstddef>

extern "C" {

// Copies the native root of a drive letter into out (zero-terminated when it fits) and returns
// its length; 0 when the letter is not mapped.
using OrbiscaHostDriveRootFn = size_t (*)(char16_t letter, char* out, size_t capacity);
// Writes one zero-terminated UTF-16 line to the debug channel.
using OrbiscaHostDebugLineFn = void (*)(const char16_t* line);

} // extern "C"

#define ORBISCA_HOST_DRIVE_ROOT "OrbiscaHostDriveRoot"
#define ORBISCA_HOST_DEBUG_LINE "OrbiscaHostDebugLine"
