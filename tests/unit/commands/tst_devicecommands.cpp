// The device commands and the device access object against the simulated device library,
// loaded in process the way the program loads it.

#include "commands/dispatcher.h"
#include "common/eventsink.h"
#include "config/appconfig.h"
#include "device/devices_handler.h"
#include "device/devicetable.h"
#include "recordingcallback.h"
#include "simulateddevices.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn;
using namespace Qt::StringLiterals;

namespace {

const QString Keyboard = u"HID\\Vid_04d9&Pid_a100"_s;
const QString Mouse = u"HID\\Vid_04d9&Pid_a200"_s;

struct RecordedEvent
{
    QString name;
    QVariantList arguments;
};

class RecordingEventSink final : public EventSink
{
public:
    QList<RecordedEvent> events;

protected:
    void deliverEvent(const QString &name, const QVariantList &arguments) override
    {
        events.append({name, arguments});
    }
};

constexpr char ProductConf[] =
    "<root><client language=\"en\"/>"
    "<device deviceId=\"04D9A100\"><other name=\"x\" productName=\"wrong\"/>"
    "<info name=\"产品信息\" productType=\"keyboard\" productName=\"K100\" productCN=\"键盘\" "
    "description=\"d\" device=\"kb\"/></device></root>";

} // namespace

class tst_DeviceCommands : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QLibrary m_library{QStringLiteral(VORN_LIBDC_PATH)};
    SimulatedDevices m_sim;
    RecordingEventSink m_events;
    AppConfig m_config{QString()};
    std::unique_ptr<devices_handler> m_devices;
    DeviceTable m_table;
    int m_tableRebuilds = 0;

    RecordingCallback::Answer request(const QJsonObject &parameters)
    {
        const CommandDispatcher dispatcher(CommandContext{&m_config, m_devices.get()});
        const auto callback = RecordingCallback::create();
        dispatcher.dispatchCommand(parameters.value("funcname"_L1).toString(), parameters,
                                   callback);
        if (callback->answers.size() != 1)
            return {false, -2, u"<no single answer>"_s};
        return callback->answers.first();
    }

    RecordingCallback::Answer memoryRequest(const QString &funcname, const QJsonValue &address,
                                            const QJsonValue &size, const QString &data = {})
    {
        QJsonObject parameters{{u"funcname"_s, funcname},
                               {u"HardwareID"_s, Keyboard},
                               {u"DevicePath"_s, QString()},
                               {u"PARAMADDRESS"_s, address},
                               {u"PARAMSIZE"_s, size}};
        if (!data.isNull())
            parameters.insert(u"PARAMDATA"_s, data);
        return request(parameters);
    }

    QByteArray deviceMemory(uint32_t address, int length)
    {
        QByteArray bytes(length, '\0');
        m_sim.memory(0, address, reinterpret_cast<uint8_t *>(bytes.data()), length);
        return bytes;
    }

    // Lets the library's callbacks, queued to this thread, arrive.
    void deliverEvents()
    {
        m_sim.flush_events();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("VORN_SIM_STATE", m_dir.filePath(u"state.bin"_s).toLocal8Bit());
        qunsetenv("VORN_SIM_CONTROL");
        QVERIFY2(m_library.load(), qPrintable(m_library.errorString()));
        QVERIFY(m_sim.load(m_library));
    }

    void init()
    {
        m_sim.reset_state();
        m_config.setConfText(QString::fromUtf8(ProductConf));
        if (!m_devices) {
            m_devices = std::make_unique<devices_handler>(nullptr, &m_events,
                                                          QStringLiteral(VORN_LIBDC_PATH));
            QObject::connect(m_devices.get(), &devices_handler::deviceTableOutdated,
                             m_devices.get(), [this] {
                                 ++m_tableRebuilds;
                                 m_table.rebuildDeviceTable(*m_devices);
                             });
        }
        deliverEvents();
        m_events.events.clear();
    }

    void listsDevicesWithProductData()
    {
        const auto answer = request({{u"funcname"_s, u"getDevicesList"_s}});
        QVERIFY(answer.success);
        const QJsonArray devices = QJsonDocument::fromJson(answer.text.toUtf8()).array();
        QCOMPARE(devices.size(), 2);
        const QJsonObject keyboard = devices[0].toObject();
        QCOMPARE(keyboard.value("DeviceID"_L1).toString(), u"04D9A100"_s);
        QCOMPARE(keyboard.value("HardwareID"_L1).toString(), Keyboard);
        QCOMPARE(keyboard.value("productName"_L1).toString(), u"K100"_s);
        QCOMPARE(keyboard.value("productCN"_L1).toString(), u"键盘"_s);
        QCOMPARE(keyboard.value("timestamp"_L1).toString(), QString());
        QCOMPARE(keyboard.keys().size(), 12);
        // The mouse has no entry in the configuration: product members are empty texts.
        const QJsonObject mouse = devices[1].toObject();
        QCOMPARE(mouse.value("SN"_L1).toString(), u"M200000001"_s);
        for (const char *member :
             {"productType", "productName", "productCN", "description", "device", "timestamp"})
            QCOMPARE(mouse.value(QLatin1StringView(member)), QJsonValue(QString()));
        // Compact text: no white space between tokens.
        QVERIFY(!answer.text.contains(u": "_s));
    }

    void unparsableConfigurationFailsOnlyWithDevices()
    {
        m_config.setConfText(QString());
        auto answer = request({{u"funcname"_s, u"getDevicesList"_s}});
        QCOMPARE(answer.success, false);
        QCOMPARE(answer.code, 0);
        QCOMPARE(answer.text, u"queryProfile load xml file failed!"_s);

        m_sim.unplug(0);
        m_sim.unplug(1);
        answer = request({{u"funcname"_s, u"getDevicesList"_s}});
        QVERIFY(answer.success);
        QCOMPARE(answer.text, u"[]"_s);
    }

    void fullLengthDeviceIdMatchesItsConfigurationEntry()
    {
        const QByteArray id(40, 'Z');
        QCOMPARE(m_sim.set_identity(0, "DeviceID", id.constData(), std::size_t(id.size())), 0);
        m_config.setConfText(u"<root><d deviceId=\""_s + QString::fromLatin1(id) +
                             u"\"><p name=\"产品信息\" productName=\"long\"/></d></root>"_s);
        const auto answer = request({{u"funcname"_s, u"getDevicesList"_s}});
        const QJsonObject keyboard =
            QJsonDocument::fromJson(answer.text.toUtf8()).array()[0].toObject();
        QCOMPARE(keyboard.value("DeviceID"_L1).toString(), QString::fromLatin1(id));
        QCOMPARE(keyboard.value("productName"_L1).toString(), u"long"_s);
    }

    void memoryReadsAndWrites()
    {
        QCOMPARE(memoryRequest(u"writeByAddr"_s, u"0x1000"_s, 3, u"0x10,20,ff"_s).text,
                 u"writeByAddr success!"_s);
        QCOMPARE(deviceMemory(0x1000, 3), QByteArray("\x10\x20\xff", 3));
        QCOMPARE(memoryRequest(u"readByAddr"_s, u"1000"_s, 3).text, u"0x10,0x20,0xff"_s);
        QCOMPARE(memoryRequest(u"readByAddr"_s, u"1000"_s, 0).text, QString());
        // The number 16 addresses 0x16.
        QCOMPARE(memoryRequest(u"writeByAddr"_s, 4096, 1, u"7"_s).text, u"writeByAddr success!"_s);
        QCOMPARE(deviceMemory(0x4096, 1), QByteArray("\x07", 1));
        // A data list shorter than the size writes zero bytes for the missing items.
        QCOMPARE(memoryRequest(u"writeByAddr"_s, u"0x1000"_s, 3, u"1"_s).text,
                 u"writeByAddr success!"_s);
        QCOMPARE(deviceMemory(0x1000, 3), QByteArray("\x01\x00\x00", 3));
    }

    void sizesAreClampedToTheTransferBuffer()
    {
        // Above 2048 the request transfers 2048 bytes; below 0 none.
        const auto answer = memoryRequest(u"readByAddr"_s, u"0x1000"_s, 100000);
        QVERIFY(answer.success);
        QCOMPARE(answer.text.count(u','), 2047);
        QCOMPARE(memoryRequest(u"readByAddr"_s, u"0x1000"_s, -5).text, QString());
    }

    void emptinessAndMacroSlots()
    {
        QCOMPARE(memoryRequest(u"isPropEmpty"_s, u"0x1000"_s, 16).text, u"true"_s);
        QCOMPARE(memoryRequest(u"isPropEmpty"_s, u"0xF000"_s, 16).text, u"false"_s); // erased

        QCOMPARE(memoryRequest(u"writeMacroByAddr"_s, u"0x1A00"_s, 2, u"aa,bb"_s).text, u"true"_s);
        // The slot is now occupied: the address text comes back and nothing is written.
        QCOMPARE(memoryRequest(u"writeMacroByAddr"_s, u"0x1A00"_s, 2, u"11,22"_s).text,
                 u"0x1A00"_s);
        QCOMPARE(deviceMemory(0x1A00, 2), QByteArray("\xaa\xbb", 2));

        QCOMPARE(memoryRequest(u"cleanMacroByAddr"_s, u"0x1A00"_s, 2).text,
                 u"cleanMacroByAddr success!"_s);
        QCOMPARE(deviceMemory(0x1A00, 2), QByteArray(2, '\0'));
        QCOMPARE(memoryRequest(u"isPropEmpty"_s, u"0x1A00"_s, 2).text, u"true"_s);
    }

    void failedWritesAnswerTheirFailureText()
    {
        // The information block is read-only in the simulated device.
        const auto answer = memoryRequest(u"writeByAddr"_s, u"0x0"_s, 1, u"1"_s);
        QCOMPARE(answer.success, false);
        QCOMPARE(answer.code, 0);
        QCOMPARE(answer.text, u"writeByAddr failed!"_s);
    }

    void propertiesAndNotices()
    {
        const QJsonObject write{{u"funcname"_s, u"writeDevicesProp"_s},
                                {u"HardwareID"_s, Mouse},
                                {u"DevicePath"_s, QString()},
                                {u"PARAMID"_s, 3},
                                {u"PARAMSIZE"_s, 2},
                                {u"PARAMDATA"_s, u"20,3"_s}};
        QCOMPARE(request(write).text, u"writeDevicesProp success!"_s);
        const QJsonObject read{{u"funcname"_s, u"readDevicesProp"_s},
                               {u"HardwareID"_s, Mouse},
                               {u"DevicePath"_s, QString()},
                               {u"PARAMID"_s, 3},
                               {u"PARAMSIZE"_s, u"2"_s}};
        QCOMPARE(request(read).text, u"0x20,0x03"_s);

        QJsonObject readOnly = write;
        readOnly.insert(u"PARAMID"_s, 1);
        QCOMPARE(request(readOnly).text, u"writeDevicesProp failed!"_s);

        // Only the low 8 bits of the type are sent: 258 is the LED effect notice (type 2).
        const QJsonObject notice{{u"funcname"_s, u"notifyDevice"_s},
                                 {u"HardwareID"_s, Keyboard},
                                 {u"NotifyType"_s, 258},
                                 {u"NotifyData"_s, 5}};
        QCOMPARE(request(notice).text, u"notifyDevice success!"_s);
        QJsonObject effect = read;
        effect.insert(u"HardwareID"_s, Keyboard);
        effect.insert(u"PARAMID"_s, 6);
        effect.insert(u"PARAMSIZE"_s, 1);
        QCOMPARE(request(effect).text, u"0x05"_s);

        QJsonObject gone = notice;
        gone.insert(u"HardwareID"_s, u"HID\\none"_s);
        QCOMPARE(request(gone).text, u"notifyDevice failed!"_s);
    }

    void oneDevicesChangedPerBurstOfFiveEvents()
    {
        QCOMPARE(devices_handler::eventCallCount(), 0);
        const int rebuildsBefore = m_tableRebuilds;
        m_sim.unplug(1);
        deliverEvents();
        QCOMPARE(m_events.events.size(), 1);
        QCOMPARE(m_events.events[0].name, u"devicesChanged"_s);
        // The record index rides in the upper 16 bits of the event value; only the low 16
        // bits reach the page.
        QCOMPARE(m_events.events[0].arguments, QVariantList{0x8004});
        QCOMPARE(m_tableRebuilds, rebuildsBefore + 1);
        QCOMPARE(m_table.entries().keys(), QStringList{u"04D9A100"_s});

        m_sim.plug(1);
        deliverEvents();
        QCOMPARE(m_events.events.size(), 2);
        QCOMPARE(m_events.events[1].arguments, QVariantList{0x8000});
        QCOMPARE(m_table.entries().size(), 2);
        QCOMPARE(devices_handler::eventCallCount(), 0);
    }

    void reportsOfTheFirstListedDeviceBecomeHexText()
    {
        request({{u"funcname"_s, u"getDevicesList"_s}}); // registers record 0 for reports
        const uint8_t report[8] = {0x01, 0x02, 0x0A, 0xFF, 0x00, 0x10, 0x20, 0x30};
        QCOMPARE(m_sim.report(report), 0);
        deliverEvents();
        QCOMPARE(m_events.events.size(), 1);
        QCOMPARE(m_events.events[0].name, u"onDeviceData"_s);
        QCOMPARE(m_events.events[0].arguments, QVariantList{u"01020aff00102030"_s});

        // With the keyboard gone, the mouse is record 0 and its reports are requested next.
        m_sim.unplug(0);
        deliverEvents();
        m_events.events.clear();
        QCOMPARE(m_sim.report(report), 0);
        deliverEvents();
        QCOMPARE(m_events.events.size(), 1);
    }

    void countAboveTwentyIsReadAsTwenty()
    {
        m_sim.set_reported_count(300);
        const auto answer = request({{u"funcname"_s, u"getDevicesList"_s}});
        m_sim.set_reported_count(-1);
        QVERIFY(answer.success);
        QCOMPARE(QJsonDocument::fromJson(answer.text.toUtf8()).array().size(), 20);
    }

    void missingLibraryReadsZerosAndFailsWrites()
    {
        // A second device access object cannot coexist with the first one.
        m_devices.reset();
        m_devices = std::make_unique<devices_handler>(nullptr, &m_events,
                                                      m_dir.filePath(u"absent/libdc.so"_s));
        QVERIFY(!m_devices->isLoaded());
        QCOMPARE(request({{u"funcname"_s, u"getDevicesList"_s}}).text, u"[]"_s);
        QCOMPARE(memoryRequest(u"readByAddr"_s, u"0"_s, 2).text, u"0x00,0x00"_s);
        QCOMPARE(memoryRequest(u"writeByAddr"_s, u"0x1000"_s, 1, u"1"_s).text,
                 u"writeByAddr failed!"_s);
        QCOMPARE(memoryRequest(u"isPropEmpty"_s, u"0xF000"_s, 2).text, u"true"_s);
        QCOMPARE(memoryRequest(u"writeMacroByAddr"_s, u"0x1000"_s, 1, u"1"_s).text,
                 u"writeMacroByAddr failed!"_s);
        QCOMPARE(request({{u"funcname"_s, u"notifyDevice"_s},
                          {u"HardwareID"_s, Keyboard},
                          {u"NotifyType"_s, 1},
                          {u"NotifyData"_s, 1}})
                     .text,
                 u"notifyDevice failed!"_s);
        m_devices.reset();
    }
};

QTEST_GUILESS_MAIN(tst_DeviceCommands)
#include "tst_devicecommands.moc"
