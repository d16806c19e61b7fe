#pragma once

// The help and link entry points under the application's names; the address rules and the
// opening of the shipped pages live with the online services (inet/OnlineHelp.h).

#include "inet/OnlineHelp.h"

namespace app {

using inet::kProductVersion;
using inet::OpenLinkTarget;
using inet::OpenOnlineHelp;

} // namespace app
