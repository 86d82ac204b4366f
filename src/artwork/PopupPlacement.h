#pragma once

// Where a popup opens beside the button it belongs to. A popup is a window of its own: nothing
// keeps it on the screen or near its window unless it is placed so.

class QWidget;

namespace PopupPlacement {

// Moves a popup, at its size, next to its button: centred under it with `gap` between them, or
// above it when it fits there and not below; shifted sideways to stay inside the button's window
// where the window is wide enough for it, and always inside the available area of the window's
// screen.
void place(QWidget* popup, const QWidget* anchor, int gap);

} // namespace PopupPlacement
