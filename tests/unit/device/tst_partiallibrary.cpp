// The device access object and the device commands with a library that lacks most exports.

#include "commands/dispatcher.h"
#include "config/appconfig.h"
#include "device/devices_handler.h"

#include <QJsonObject>
#include <QTest>

using namespace vorn;
using namespace Qt::StringLiterals;

namespace {

class Answer final : public QueryCallback
{
public:
    QString text;
    bool success = false;

protected:
    void deliverSuccess(const QString &response) override
    {
        success = true;
        text = response;
    }
    void deliverFailure(int, const QString &message) override { text = message; }
};

} // namespace

class tst_PartialLibrary : public QObject
{
    Q_OBJECT

    QString run(const CommandDispatcher &dispatcher, QJsonObject request)
    {
        request.insert(u"HardwareID"_s, u"partial"_s);
        request.insert(u"DevicePath"_s, QString());
        const auto answer = QSharedPointer<Answer>::create();
        dispatcher.dispatchCommand(request.value("funcname"_L1).toString(), request, answer);
        return answer->isAnswered() ? answer->text : u"<none>"_s;
    }

private Q_SLOTS:
    void missingExportsAreFailedCalls()
    {
        devices_handler devices(nullptr, nullptr, QStringLiteral(VORN_PARTIAL_DC_PATH));
        QVERIFY(devices.isLoaded());
        QVERIFY(devices.dcDevices && devices.dcRead);
        QVERIFY(!devices.dcWrite && !devices.dcNotify && !devices.dcReadProp &&
                !devices.dconDeviceData && !devices.dcOnDeviceEvent);

        AppConfig config{QString()};
        config.setConfText(u"<root/>"_s);
        const CommandDispatcher dispatcher(CommandContext{&config, &devices});

        // Listing works without the data callback export.
        QVERIFY(run(dispatcher, {{u"funcname"_s, u"getDevicesList"_s}}).contains(u"PARTIAL"_s));
        QCOMPARE(
            run(dispatcher,
                {{u"funcname"_s, u"readByAddr"_s}, {u"PARAMSIZE"_s, 2}, {u"PARAMADDRESS"_s, 0}}),
            u"0xab,0xab"_s);
        QCOMPARE(
            run(dispatcher,
                {{u"funcname"_s, u"readDevicesProp"_s}, {u"PARAMSIZE"_s, 2}, {u"PARAMID"_s, 1}}),
            u"0x00,0x00"_s);
        QCOMPARE(run(dispatcher, {{u"funcname"_s, u"writeDevicesProp"_s},
                                  {u"PARAMSIZE"_s, 1},
                                  {u"PARAMID"_s, 1},
                                  {u"PARAMDATA"_s, u"1"_s}}),
                 u"writeDevicesProp failed!"_s);
        QCOMPARE(run(dispatcher, {{u"funcname"_s, u"cleanMacroByAddr"_s},
                                  {u"PARAMSIZE"_s, 1},
                                  {u"PARAMADDRESS"_s, 0}}),
                 u"cleanMacroByAddr failed!"_s);
        QCOMPARE(
            run(dispatcher,
                {{u"funcname"_s, u"notifyDevice"_s}, {u"NotifyType"_s, 1}, {u"NotifyData"_s, 1}}),
            u"notifyDevice failed!"_s);
        // The slot reads as occupied (0xAB), so nothing is written and the address comes back.
        QCOMPARE(run(dispatcher, {{u"funcname"_s, u"writeMacroByAddr"_s},
                                  {u"PARAMSIZE"_s, 1},
                                  {u"PARAMADDRESS"_s, u"0x10"_s},
                                  {u"PARAMDATA"_s, u"1"_s}}),
                 u"0x10"_s);
    }
};

QTEST_GUILESS_MAIN(tst_PartialLibrary)
#include "tst_partiallibrary.moc"
