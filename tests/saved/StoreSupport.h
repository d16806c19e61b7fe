#pragma once

namespace storetest {

// Whether this process has mounts of its own (set by main before the tests run).
inline bool& PrivateMounts() {
    static bool value = false;
    return value;
}

} // namespace storetest
