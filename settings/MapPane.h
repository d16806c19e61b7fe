#pragma once

// The analyser window's map pane as the user left it: shown or not, and how much of the right
// panel's height the list takes above it. Kept in the machine hive beside the other options and
// read when a window is made.

namespace settings {

struct MapPaneSettings {
    bool Shown = true;
    // The list's share of the panel in thousandths; the map has the rest (about 40 % at first).
    int ListPermille = 600;
};

// The stored values, each falling back to its default when missing or out of range.
MapPaneSettings LoadMapPaneSettings();
// False when the hive refused the write.
bool SaveMapPaneSettings(const MapPaneSettings& settings);

} // namespace settings
