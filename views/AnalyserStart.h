#pragma once

// What the analyser window offers and does at start: the drives the analyse command offers, and
// what the program's arguments ask for.

#include <QChar>
#include <QStringList>

#include <cstdint>

namespace views {

// Whether the analyse command offers a drive: never A:, network drives, optical drives or RAM
// disks, and only drives whose size can be read and is above 0 (a drive with a medium).
bool IsOfferedDrive(char16_t letter, unsigned driveType, bool sizeRead, uint64_t totalBytes);
// The same for a drive of the drive table.
bool IsOfferedDrive(char16_t letter);

// What the start-up timer does with the program's arguments.
struct TStartRequest {
    bool Analyse = false; // click the analyse command
    QChar Drive;          // make this the current drive first (null: keep the current one)
};
TStartRequest StartRequestFor(const QStringList& arguments);

} // namespace views
