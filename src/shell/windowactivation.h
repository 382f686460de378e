#pragma once

#include <QString>
#include <QtGlobal>

namespace vorn {

// Brings a top-level window of another process to the front and gives it the keyboard focus,
// best effort. Among the process's managed top-level windows with a non-empty title, the
// first whose title matches titlePattern is chosen; when none matches, the first of them.
// Returns false when no window of the process was found or the desktop offers no way to
// activate one (no X11 display). A process ID that does not fit in 32 bits finds nothing.
bool bringProcessWindowToFront(quint64 processId, const QString &titlePattern);

} // namespace vorn
