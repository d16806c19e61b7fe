#include "views/AnalyserStart.h"

#include "analysis/NodeData.h"
#include "platform/DriveTable.h"

namespace views {
namespace {

constexpr char16_t kBackslash = u'\\';

inline char16_t upperAZ(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

} // namespace

bool IsOfferedDrive(char16_t letter, unsigned driveType, bool sizeRead, uint64_t totalBytes) {
    if (upperAZ(letter) == u'A')
        return false;
    if (driveType == platform::DRIVE_REMOTE || driveType == platform::DRIVE_CDROM ||
        driveType == platform::DRIVE_RAMDISK)
        return false;
    return sizeRead && totalBytes > 0;
}

bool IsOfferedDrive(char16_t letter) {
    const char16_t root[] = {upperAZ(letter), u':', kBackslash, 0};
    uint64_t freeForCaller = 0, total = 0, totalFree = 0;
    const bool sizeRead = platform::GetDiskFreeSpaceExW(root, &freeForCaller, &total, &totalFree);
    return IsOfferedDrive(letter, platform::GetDriveTypeW(root), sizeRead, total);
}

TStartRequest StartRequestFor(const QStringList& arguments) {
    TStartRequest request;
    if (arguments.isEmpty()) {
        request.Analyse = true;
        return request;
    }
    if (analysis::UpperAZ(arguments.front()) != QLatin1String("-CONTEXTDL"))
        return request; // any other verb starts nothing
    if (arguments.size() > 1 && !arguments[1].isEmpty()) {
        request.Drive = analysis::UpperAZ(arguments[1].front());
        request.Analyse = true;
    }
    return request;
}

} // namespace views
