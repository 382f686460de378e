#pragma once

#include <QObject>

#include <functional>

namespace vorn {

// Turns SIGTERM, SIGINT and SIGHUP (the end of a session, Ctrl+C in a terminal) into a call
// of onSignal on the main thread, so the program quits the way its own quit paths do instead
// of dying with unwritten documents and a socket file left behind. Call once, on the main
// thread, after the application object exists. Returns false if the signals could not be
// watched (they then keep their default effect).
bool watchTerminationSignals(QObject *context, std::function<void()> onSignal);

} // namespace vorn
