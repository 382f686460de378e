#pragma once

#include <QString>

namespace vorn {

// The application folder: every file the program reads or writes is below it, never below
// the working folder. Both texts end with "/" and use "/" separators.
//
// appFolderPath() is where configuration, profiles and updates live; exeFolderPath() is where
// the executable and its companions (libdc.so, the updater) lie. They are the same folder in
// the program; the command-line host may point the application folder elsewhere.
QString appFolderPath();
QString exeFolderPath();

// Sets both to the executable's folder. Call once, after the QCoreApplication exists.
void initFolderPaths();

// Points the application folder at another folder (the executable's folder stays).
void setAppFolderPath(const QString &folder);

} // namespace vorn
