#include "shell/cefapplication.h"

#include "bridge/clienthandler.h"
#include "bridge/vorn.h"
#include "common/apppaths.h"
#include "common/log.h"
#include "common/quit.h"
#include "device/devices_handler.h"
#include "shell/windowactivation.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcShell, "vorn.shell")

namespace vorn {

cefApplication *appInstance = nullptr;

namespace {

using namespace Qt::StringLiterals;

constexpr char16_t ServerName[] = u"Global\\{71CBE35F-A129-4792-AEE6-92AB6864A918}";
constexpr char ShowCommand[] = "CMD:show;";

// A later instance that keeps sending without ever ending a command is cut off here.
constexpr qsizetype MaximumPendingCommandBytes = 64 * 1024;

// Takes the complete commands (each ended by ";") off the front of buffer; an incomplete
// command stays in it for the next read. Commands are texts in the local 8-bit encoding.
QStringList takeCommands(QByteArray &buffer)
{
    const qsizetype end = buffer.lastIndexOf(';');
    if (end < 0)
        return {};
    const QString text = QString::fromLocal8Bit(buffer.left(end));
    buffer.remove(0, end + 1);
    return text.split(u';');
}

// The socket file of a local server name (Qt places relative names in the temporary folder).
QString socketPath(const QString &name)
{
    return name.startsWith(u'/') ? name : QDir::tempPath() + u'/' + name;
}

bool isSocketFile(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

} // namespace

cefApplication::cefApplication(int &argc, char **argv)
    : QApplication(argc, argv)
    , serverName(QString::fromUtf16(ServerName))
    , config(QString())
{
    // The configuration and the device library are found through the folder paths, so they
    // are set before either is looked up.
    initFolderPaths();
    log::install(appFolderPath() + u"web.log"_s);
    config = AppConfig(AppConfig::defaultPath());

    loadConf();
    devicesHandler = new devices_handler(this, sharedClientHandler());
    connect(devicesHandler, &devices_handler::deviceTableOutdated, this,
            &cefApplication::rebuildDeviceTable);
    rebuildDeviceTable();

    for (int i = 0; i < argc; ++i) {
        if (qstrcmp(argv[i], "-autostart") == 0)
            autostart = true;
    }

    answerTimer.setSingleShot(true);
    answerTimer.setInterval(AnswerTimeoutMs);
    connect(&answerTimer, &QTimer::timeout, this, &cefApplication::giveUpWaiting);
}

cefApplication::~cefApplication()
{
    // Sockets closing from here on must not call back into a half-destroyed object.
    socket.disconnect(this);
    server.disconnect(this);
    for (const auto &client : std::as_const(clients))
        client.first->disconnect(this);
    socket.close();
    delete mainWindow;
    mainWindow = nullptr;
    delete devicesHandler;
    devicesHandler = nullptr;
    clients.clear();
    server.close();
    if (appInstance == this)
        appInstance = nullptr;
}

QString cefApplication::instanceWindowTitlePattern()
{
    return u"^vorn(\\s*\\(\\d+\\))?$"_s;
}

void cefApplication::loadConf()
{
    config.loadConf();
}

void cefApplication::rebuildDeviceTable()
{
    if (!devicesHandler)
        return;
    deviceTable.rebuildDeviceTable(*devicesHandler);
    qCInfo(lcShell).noquote() << "device table:"
                              << QStringList(deviceTable.entries().keys()).join(u", ");
}

void cefApplication::startup()
{
    initFolderPaths();

    QFile styleSheet(u":/qss/vorn"_s);
    styleSheet.open(QIODevice::ReadOnly);
    setStyleSheet(QString::fromUtf8(styleSheet.readAll()));

    appInstance = this;

    connect(&socket, &QLocalSocket::connected, this, &cefApplication::socketConnected);
    connect(&socket, &QLocalSocket::errorOccurred, this, &cefApplication::socketError);
    connect(&socket, &QLocalSocket::disconnected, this, &cefApplication::socketDisconnected);
    connect(&socket, &QLocalSocket::bytesWritten, this, &cefApplication::socketWritten);
    connect(&socket, &QLocalSocket::readyRead, this, &cefApplication::socketReading);
    connect(&server, &QLocalServer::newConnection, this, &cefApplication::newInstanceConnected);

    // The answer to the probe may come at once; it is acted on inside the event loop, where a
    // quit request takes effect.
    QTimer::singleShot(0, this, &cefApplication::probeRunningInstance);
}

void cefApplication::probeRunningInstance()
{
    answerTimer.start();
    socket.connectToServer(serverName, QIODevice::ReadWrite);
}

void cefApplication::socketConnected()
{
    closing = true;
    socket.write(QString::fromLatin1(ShowCommand).toLocal8Bit());
}

void cefApplication::socketWritten(qint64 /*bytes*/) {}

void cefApplication::socketReading()
{
    if (socket.state() != QLocalSocket::ConnectedState)
        return;
    socketRead += QString::fromUtf8(socket.readAll());
    static const QRegularExpression answer(u"RES:(\\d+);"_s);
    const QRegularExpressionMatch match = answer.match(socketRead);
    if (!match.hasMatch())
        return;
    answerTimer.stop();
    bool ok = false;
    const quint64 processId = match.captured(1).toULongLong(&ok);
    if (ok && processId != 0)
        bringProcessWindowToFront(processId, instanceWindowTitlePattern());
    requestQuit();
}

void cefApplication::socketDisconnected()
{
    if (closing)
        requestQuit();
}

void cefApplication::socketError(QLocalSocket::LocalSocketError e)
{
    if (closing) {
        requestQuit();
        return;
    }
    // No instance answers on the channel: this one becomes the running instance.
    qCInfo(lcShell) << "no running instance found:" << e;
    socket.close();
    becomeRunningInstance();
}

void cefApplication::becomeRunningInstance()
{
    // Two instances starting together must not both take over a socket file left by an
    // instance that died: the take-over is done under a lock beside the socket file.
    QLockFile takeOver(socketPath(serverName) + u".lock"_s);
    takeOver.tryLock(AnswerTimeoutMs);

    bool listening = server.listen(serverName);
    if (!listening && server.serverError() == QAbstractSocket::AddressInUseError) {
        QLocalSocket probe;
        probe.connectToServer(serverName);
        if (probe.waitForConnected(1000) && !reprobed) {
            // An instance started meanwhile: ask it instead.
            reprobed = true;
            probe.abort();
            socket.connectToServer(serverName, QIODevice::ReadWrite);
            return;
        }
        const QString path = socketPath(serverName);
        if (probe.error() == QLocalSocket::ConnectionRefusedError && isSocketFile(path)) {
            qCInfo(lcShell).noquote() << "removing the socket of an instance that ended:" << path;
            QLocalServer::removeServer(serverName);
        }
        listening = server.listen(serverName);
    }
    answerTimer.stop();
    if (!listening) {
        qCWarning(lcShell).noquote()
            << "cannot listen on" << serverName << "-" << server.errorString();
        requestQuit();
        return;
    }
    startApp();
}

void cefApplication::giveUpWaiting()
{
    qCInfo(lcShell) << "the running instance did not answer in" << AnswerTimeoutMs << "ms";
    requestQuit();
}

void cefApplication::startApp()
{
    mainWindow = new vorn(CommandContext{&config, devicesHandler});
    sharedClientHandler()->SetMainWindowHandle(mainWindow);
    if (!autostart)
        mainWindow->show();
    if (log::admitsInfo())
        qCInfo(lcShell, "mainwindow show!");
}

void cefApplication::newInstanceConnected()
{
    while (QLocalSocket *client = server.nextPendingConnection()) {
        clients.append({client, QByteArray()});
        connect(client, &QLocalSocket::readyRead, this, &cefApplication::readClients);
        connect(client, &QLocalSocket::disconnected, this, &cefApplication::removeClients);
    }
}

void cefApplication::readClients()
{
    QList<QLocalSocket *> overlong;
    for (auto &[client, buffer] : clients) {
        buffer += client->readAll();
        if (buffer.isEmpty())
            continue;
        for (const QString &command : takeCommands(buffer)) {
            if (!command.startsWith(u"CMD:"))
                continue;
            executeCommand(command.mid(4));
            client->write(u"RES:%1;"_s.arg(applicationPid()).toUtf8());
        }
        if (buffer.size() > MaximumPendingCommandBytes) {
            buffer.clear();
            overlong.append(client);
        }
    }
    // Disconnecting changes the client list, so it happens after the walk.
    for (QLocalSocket *client : std::as_const(overlong)) {
        qCWarning(lcShell) << "an instance sent more than" << MaximumPendingCommandBytes
                           << "bytes without ending a command; disconnecting it";
        client->abort();
    }
}

void cefApplication::executeCommand(const QString &name)
{
    if (name != u"show" || !mainWindow)
        return;
    mainWindow->setWindowState(mainWindow->windowState() & ~Qt::WindowMinimized);
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
}

void cefApplication::removeClients()
{
    // The sockets belong to the server; a finished one is deleted once its signals are done.
    clients.removeIf([](const QPair<QLocalSocket *, QByteArray> &client) {
        if (client.first->state() == QLocalSocket::ConnectedState)
            return false;
        client.first->deleteLater();
        return true;
    });
}

void cefApplication::on_closeApp()
{
    if (mainWindow)
        mainWindow->flushPending();
    requestQuit();
}

devices_handler *devicesHandlerOfApp()
{
    return appInstance ? appInstance->devicesHandler : nullptr;
}

} // namespace vorn
