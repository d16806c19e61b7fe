// A service library that lacks its entry function.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) uint32_t UndeleteDLLGetVersion() { return 1; }
