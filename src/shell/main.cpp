// vorn: the desktop host of the Taviro keyboards and mice. It shows the configuration page
// view/index.html in an embedded Chromium and gives that page access to the devices.

#include "bridge/clienthandler.h"
#include "common/quit.h"
#include "shell/cefapplication.h"
#include "shell/clientapp.h"
#include "shell/terminationsignals.h"

#include <QStringList>

#include <memory>

int main(int argc, char *argv[])
{
    // Chromium reads its environment when Qt WebEngine starts, so it is prepared before the
    // application object exists.
    vorn::ClientApp clientApp;
    clientApp.prepareProcess();

    // The one client handler exists before the application object, whose device access
    // object sends its events through it, and before any window.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    auto clientHandler = std::make_unique<vorn::ClientHandler>(arguments);
    vorn::setSharedClientHandler(clientHandler.get());

    int exitCode = 0;
    {
        vorn::cefApplication app(argc, argv);
        // The end of the session quits the way the program's own quit paths do.
        vorn::watchTerminationSignals(&app, [&app] { app.on_closeApp(); });
        app.startup();
        // A quit requested before the event loop runs would be lost: end at once then.
        exitCode = vorn::quitRequested() ? 0 : app.exec();
    }
    // The application object has deleted the main window and its pages; the client handler
    // and its browser profile go last.
    vorn::setSharedClientHandler(nullptr);
    clientHandler.reset();
    return exitCode;
}
