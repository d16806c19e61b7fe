#pragma once

// How many completed analyses the program keeps: the last ones of each drive, and at most so
// much space in all. Kept in the machine hive beside the other options.

#include <cstdint>

namespace settings {

struct KeptAnalysesSettings {
    int PerDrive = 10;
    int MaxTotalMiB = 1024;
};

// The stored values, each falling back to its default when missing or out of range.
KeptAnalysesSettings LoadKeptAnalysesSettings();
// False when the hive refused the write.
bool SaveKeptAnalysesSettings(const KeptAnalysesSettings& settings);

// The ranges the options offer. Keeping none switches keeping off.
constexpr int kMaxKeptPerDrive = 1000;
constexpr int kMaxKeptTotalMiB = 1024 * 1024;

} // namespace settings
