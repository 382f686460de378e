#pragma once

#include "commands/dispatcher.h"
#include "config/appconfig.h"
#include "config/profilestore.h"
#include "device/devices_handler.h"
#include "device/devicetable.h"
#include "printingsinks.h"

#include <QObject>

#include <memory>
#include <thread>

namespace vorn {

// Runs the command dispatcher without a window: one request text per line of standard input,
// exactly one answer line per request, in order. Window commands and commands whose service
// is absent here get {"noreply":true}, as the page would get no answer. At the end of input
// the modified documents are written as the program's quit path writes them, and the event
// loop ends.
class CommandLineHost : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        bool printEvents = false;
    };

    explicit CommandLineHost(const Options &options, QObject *parent = nullptr);
    ~CommandLineHost() override;

    // Starts reading standard input on a thread of its own.
    void start();

    // Handles one request line; exposed for the fuzz target and tests.
    void handleLine(const QString &line);

private:
    void finish();

    LineWriter m_out;
    PrintingEventSink m_events;
    AppConfig m_config;
    ProfileStore m_profiles;
    devices_handler m_devices;
    DeviceTable m_deviceTable;
    CommandDispatcher m_dispatcher;
    std::thread m_reader;
};

} // namespace vorn
