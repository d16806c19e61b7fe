#pragma once

// What the service needs of the process that loaded it: the native root of a drive letter and
// a debug channel. The program offers both (platform/HostServices.h); without them the service
// reads the drive table itself and writes diagnostics to stderr when ORBISCA_DEBUG is set.

#include <string>

namespace service {

std::string HostDriveRoot(char16_t letter);
void HostDebugLine(const std::u16string& line);

} // namespace service
