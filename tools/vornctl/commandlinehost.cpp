#include "commandlinehost.h"

#include "commands/request.h"

#include <QCoreApplication>

#include <iostream>
#include <string>

namespace vorn {

CommandLineHost::CommandLineHost(const Options &options, QObject *parent)
    : QObject(parent)
    , m_out(stdout)
    , m_events(m_out, options.printEvents)
    , m_devices(this, &m_events)
    , m_dispatcher(
          CommandContext{.config = &m_config, .devices = &m_devices, .profiles = &m_profiles})
{
    m_config.loadConf();
    connect(&m_devices, &devices_handler::deviceTableOutdated, this,
            [this] { m_deviceTable.rebuildDeviceTable(m_devices); });
    m_deviceTable.rebuildDeviceTable(m_devices);
}

CommandLineHost::~CommandLineHost()
{
    if (m_reader.joinable())
        m_reader.join();
}

void CommandLineHost::start()
{
    // Lines are handed to the main thread in reading order, interleaved with the device
    // events that the library posts there.
    m_reader = std::thread([this] {
        std::string line;
        while (std::getline(std::cin, line)) {
            QString text = QString::fromStdString(line);
            QMetaObject::invokeMethod(
                this, [this, text = std::move(text)] { handleLine(text); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(this, &CommandLineHost::finish, Qt::QueuedConnection);
    });
}

void CommandLineHost::handleLine(const QString &line)
{
    QString text = line;
    if (text.endsWith(u'\r'))
        text.chop(1);
    if (text.isEmpty())
        return;

    const ParsedRequest request = parseRequest(text);
    if (request.kind == ParsedRequest::Kind::Command) {
        const auto callback = QSharedPointer<PrintingCallback>::create(m_out);
        m_dispatcher.dispatchCommand(request.funcname, request.parameters, callback);
        if (callback->isAnswered())
            return;
    }
    m_out.writeLine(QByteArrayLiteral(R"({"noreply":true})"));
}

void CommandLineHost::finish()
{
    // The quit path: modified profile documents are written before the program ends.
    m_profiles.flushPending();
    QCoreApplication::exit(0);
}

} // namespace vorn
