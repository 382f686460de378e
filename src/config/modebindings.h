#pragma once

#include <QList>
#include <QString>

namespace vorn {

// The mode bindings document, view/xml/configuration.xml below the application folder: every
// /conf/modeSetting/modes/mode element is one device mode; its attribute bindingProcess names
// the program bound to the mode (absent or empty: none) and index the mode number sent for
// it. The page edits the document with the profile commands; the process monitor reads it
// each time it starts.
struct ModeBinding
{
    QString bindingProcess;
    QString index;
};

QString modeBindingsPath();

// All modes in document order. A missing or malformed file gives no modes.
QList<ModeBinding> loadModeBindings(const QString &path = modeBindingsPath());

} // namespace vorn
