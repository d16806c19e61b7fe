// The snapshot service with a change to the tree under its walk, for the tests that watch a
// folder vanish through the engine and orbisca-report: ORBISCA_TEST_VANISH holds the plan of
// VanishHook.h ("after:rename:NAME"). Built as undelete.so in a folder of its own.

#include "VanishHook.h"

#include "service/Walker.h"

#include <cstdlib>

namespace {

vanish::Plan g_plan;

struct Arm {
    Arm() {
        const char* spec = std::getenv("ORBISCA_TEST_VANISH");
        if (spec && g_plan.Parse(spec))
            service::SetEntryHookForTesting(&vanish::hook, &g_plan);
    }
} g_arm;

} // namespace
