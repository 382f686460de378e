#pragma once

class QWidget;

namespace vorn {

// The window requests of the page, on the top-level window of window (null: nothing happens).

// Moves the window by (dx, dy) and gives it the outer size width x height. A minimised or
// maximised window is restored instead, at its current place with the new size; the offsets
// are not applied then.
void moveWindowBy(QWidget *window, int dx, int dy, int width, int height);

// Restores a minimised window; minimises any other.
void toggleMinimized(QWidget *window);

} // namespace vorn
