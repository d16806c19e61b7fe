#include "skin/MainHost.h"

namespace skin {
namespace {
TMainHost* g_host = nullptr;
}

TMainHost* MainHost() { return g_host; }
void SetMainHost(TMainHost* host) { g_host = host; }

} // namespace skin
