#pragma once

// Putting the current skin onto a window's controls while the window is built. Nothing is
// re-skinned later: a window keeps the skin that was current when it was made.

class QWidget;

namespace skin {

class TImage;

// The information bar's background: skin colour Infobar/Color.
void SkinInfobarPanel(QWidget* panel);

// The rounded buttons among the direct children of a panel (children of nested panels are not
// visited) take the eleven button colours of the skin and the font "Segoe UI" 10 pt. The back
// button (empty caption, name LumoButton_MainMenu in any case) also gets the back glyph and its
// tooltip.
void SkinButtonsInPanel(QWidget* panel);
// The same for the direct children of a whole window, without changing fonts.
void SkinButtonsInForm(QWidget* form);

// A copy of a size grip picture placed in the bottom-right corner of the panel (2 pixels in),
// anchored there, with the source's size, picture, mouse-down handler and cursor. The main
// window finds it again by its cursor. Nothing (nullptr) without panel or source.
TImage* AddSizeGripCopy(QWidget* panel, const TImage* source);

// Keeps a widget anchored to its parent's right and bottom edges as the parent resizes.
void AnchorBottomRight(QWidget* widget);

} // namespace skin
