// vornctl: the command dispatcher without a window, for scripting a device and for testing
// the requests of pages.

#include "commandlinehost.h"
#include "commands/dispatcher.h"
#include "common/apppaths.h"
#include "common/log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

using namespace Qt::StringLiterals;

const char HelpText[] = R"(Usage: vornctl [--events] [--app-folder DIR]

Reads one request text per line from standard input (empty lines are skipped) and runs it
through the command dispatcher of vorn, without a window. Prints exactly one line per request,
in order:
  {"success":TEXT}                               the request succeeded
  {"failure":{"code":N,"message":TEXT}}          the request failed
  {"noreply":true}                               the request gets no answer
At the end of input, modified documents are written to disk and vornctl exits with 0.

Options:
  --events           also print each event as {"event":NAME,"args":[...]} as it arrives
  --app-folder DIR   the application folder (default: the executable's folder); the device
                     library is still found beside the executable
  -h, --help         this text

There is no desktop here: modifyProfile leaves the double-click time alone.

Requests that get no answer here, because their service needs a window or a desktop:
  moveWindow..., {"funcname":"minisizeWindow"}, {"funcname":"maxsizeWindow"},
  {"funcname":"restoreWindow"} (window commands), and every command not available in this
  build:
)";

void printHelp()
{
    std::fputs(HelpText, stdout);
    QStringList missing;
    for (const QString &name : vorn::CommandDispatcher::commandNames()) {
        if (!vorn::CommandDispatcher::hasHandler(name))
            missing.append(name);
    }
    std::printf("  %s\n", qPrintable(missing.isEmpty() ? u"(none)"_s : missing.join(u", ")));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"vornctl"_s);

    QCommandLineParser parser;
    const QCommandLineOption helpOption(QStringList{u"h"_s, u"help"_s});
    const QCommandLineOption eventsOption(u"events"_s);
    const QCommandLineOption appFolderOption(u"app-folder"_s, QString(), u"DIR"_s);
    parser.addOptions({helpOption, eventsOption, appFolderOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "vornctl: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(helpOption)) {
        printHelp();
        return 0;
    }

    vorn::initFolderPaths();
    if (parser.isSet(appFolderOption)) {
        const QString folder = parser.value(appFolderOption);
        if (!QFileInfo(folder).isDir()) {
            std::fprintf(stderr, "vornctl: no such folder: %s\n", qPrintable(folder));
            return 2;
        }
        vorn::setAppFolderPath(folder);
    }
    vorn::log::install(vorn::appFolderPath() + u"web.log"_s);

    vorn::CommandLineHost host({.printEvents = parser.isSet(eventsOption)});
    host.start();
    return app.exec();
}
