#pragma once

#include <QLoggingCategory>
#include <QString>

// The program's log. Every subsystem logs through its own Qt logging category; one message
// handler writes the lines to "web.log" in the application folder, each tagged with its
// source file name and line:
//
//   [1211/120500.123:INFO:devices_handler.cpp(88)] device library loaded
//
// Information lines are written when the minimum level admits them (level 0 or lower), which
// is the default.
namespace vorn::log {

enum Level
{
    Verbose = -1,
    Info = 0,
    Warning = 1,
    Error = 2,
    Fatal = 3,
};

// Installs the message handler writing to logFilePath. Calling it again replaces the file.
void install(const QString &logFilePath, int minimumLevel = Info);

// Stops writing to the file and restores the previous message handler.
void uninstall();

int minimumLevel();
bool admitsInfo();

// The line written for one message (exposed for tests).
QString formatLine(QtMsgType type, const QMessageLogContext &context, const QString &message);

} // namespace vorn::log
