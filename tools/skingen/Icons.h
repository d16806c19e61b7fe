#pragma once

#include <QImage>

// Draws the icon of one stripe cell into a 64 x 64 transparent image; false for a cell that has
// no icon.
bool DrawStripeIcon(QImage& cell, int index);

// The cells that carry an icon.
const QList<int>& StripeCells();

// Switches the ink of outlines and marks for icons shown on a dark ground.
void SetDarkGround(bool dark);
