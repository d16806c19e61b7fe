#pragma once

#include <cstdint>

namespace platform {

// timeGetTime: milliseconds of a steady clock, wrapping at 2^32.
uint32_t timeGetTime();

} // namespace platform
