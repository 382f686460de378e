#pragma once

#include "config/appconfig.h"
#include "device/devicetable.h"

#include <QApplication>
#include <QByteArray>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMap>
#include <QPair>
#include <QString>
#include <QTimer>

namespace vorn {

class devices_handler;
class vorn; // the main window

// The application object of the program. It keeps the program to one running instance,
// owns what lives as long as the program (the device access object, the main window), keeps
// the configuration read from conf.xml and the table of connected devices.
//
// One instance decides at start-up, through the local socket named serverName, whether it is
// the running instance (it listens and shows the main window) or a later one (it asks the
// running instance to show its window, waits for the answer and quits).
//
// The channel's messages end with ";": a later instance sends "CMD:show;", the running
// instance answers every "CMD:" command with "RES:" + its process ID + ";".
class cefApplication : public QApplication
{
    Q_OBJECT

public:
    // Builds the Qt application, sets the folder paths, opens the log, loads the
    // configuration, creates the device access object and builds the device table. An
    // argument that is exactly "-autostart" (any position) starts the program hidden.
    cefApplication(int &argc, char **argv);
    ~cefApplication() override;

    // Once, before the event loop: style sheet, appInstance, and the single-instance probe,
    // whose outcome is acted on from within the event loop.
    void startup();
    // Creates the main window and shows it unless autostart is set.
    void startApp();

    void loadConf();
    QString confText() const { return config.confText(); }
    void setConfText(const QString &text) { config.setConfText(text); }
    bool saveConf() { return config.saveConf(); }
    QMap<QString, QString> clientMap() const { return config.clientMap(); }
    QString clientValue(const QString &key) const { return config.clientValue(key); }
    bool setClientValue(const QString &key, const QString &value)
    {
        return config.setClientValue(key, value);
    }
    AppConfig &configuration() { return config; }

    // Reads the connected devices again; runs on every acted-upon device change.
    void rebuildDeviceTable();

    // How long a later instance waits for the running instance to answer before it gives up
    // and quits.
    static constexpr int AnswerTimeoutMs = 5000;
    // The title of the running instance's window that a later instance prefers to raise.
    static QString instanceWindowTitlePattern();

    DeviceTable deviceTable;
    vorn *mainWindow = nullptr;
    devices_handler *devicesHandler = nullptr;
    const QString serverName;
    bool autostart = false;

public Q_SLOTS:
    void socketConnected();
    void socketError(QLocalSocket::LocalSocketError e);
    void socketDisconnected();
    void socketWritten(qint64 bytes);
    void socketReading();
    void newInstanceConnected();
    void readClients();
    void removeClients();
    void on_closeApp();

private:
    void probeRunningInstance();
    void becomeRunningInstance();
    void executeCommand(const QString &name);
    void giveUpWaiting();

    AppConfig config;
    QLocalSocket socket;
    QString socketRead;
    QLocalServer server;
    QList<QPair<QLocalSocket *, QByteArray>> clients;
    bool closing = false;
    bool reprobed = false;
    QTimer answerTimer;
};

// The application object once startup() has run; null before and after.
extern cefApplication *appInstance;

// The device access object of appInstance, or null.
devices_handler *devicesHandlerOfApp();

} // namespace vorn
