// vornctl end to end: the real executable with the simulated device library beside it, driven
// through standard input and the library's control socket.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

static QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

static QByteArray eventLine(const QString &name, const QJsonValue &argument)
{
    return "{\"event\":\"" + name.toUtf8() +
           "\",\"args\":" + QJsonDocument(QJsonArray{argument}).toJson(QJsonDocument::Compact) +
           '}';
}

static const QByteArray NoReply = json({{u"noreply"_s, true}});

class tst_Vornctl : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_vornctl;
    QByteArray m_pending;

    QString controlPath() const { return m_dir.filePath(u"control.sock"_s); }

    QByteArray readLine(int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!m_pending.contains('\n')) {
            if (deadline.hasExpired() || !m_vornctl.waitForReadyRead(int(deadline.remainingTime())))
                return "<timeout>";
            m_pending += m_vornctl.readAllStandardOutput();
        }
        const qsizetype end = m_pending.indexOf('\n');
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        return line;
    }

    QByteArray ask(const QByteArray &request)
    {
        m_vornctl.write(request + '\n');
        return readLine();
    }

    QByteArray control(const QByteArray &command)
    {
        QLocalSocket socket;
        socket.connectToServer(controlPath());
        if (!socket.waitForConnected(5000))
            return "<no control socket>";
        socket.write(command + '\n');
        QDeadlineTimer deadline(5000);
        while (!socket.canReadLine() && !deadline.hasExpired())
            socket.waitForReadyRead(int(deadline.remainingTime()));
        return socket.readLine().trimmed();
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString app = m_dir.filePath(u"app"_s);
        QVERIFY(QDir().mkpath(app + u"/Resources/profiles"_s));
        QVERIFY(QFile::copy(QStringLiteral(VORN_SOURCE_DIR "/resources/profiles/conf.xml"),
                            app + u"/Resources/profiles/conf.xml"_s));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"VORN_SIM_STATE"_s, m_dir.filePath(u"sim-state.bin"_s));
        environment.insert(u"VORN_SIM_CONTROL"_s, controlPath());
        m_vornctl.setProcessEnvironment(environment);
        m_vornctl.setProcessChannelMode(QProcess::SeparateChannels);
        m_vornctl.start(QStringLiteral(VORN_APP_DIR "/vornctl"),
                        {u"--events"_s, u"--app-folder"_s, app});
        QVERIFY(m_vornctl.waitForStarted());
    }

    void answersOneLinePerRequest_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        const auto keyboard = [](QJsonObject request) {
            request.insert(u"HardwareID"_s, u"HID\\Vid_04d9&Pid_a100"_s);
            request.insert(u"DevicePath"_s, QString());
            return json(request);
        };

        QTest::newRow("write bytes") << keyboard({{u"funcname"_s, u"writeByAddr"_s},
                                                  {u"PARAMSIZE"_s, 3},
                                                  {u"PARAMADDRESS"_s, u"0x1000"_s},
                                                  {u"PARAMDATA"_s, u"1,ab,0"_s}})
                                     << json({{u"success"_s, u"writeByAddr success!"_s}});
        QTest::newRow("read them back") << keyboard({{u"funcname"_s, u"readByAddr"_s},
                                                     {u"PARAMSIZE"_s, u"3"_s},
                                                     {u"PARAMADDRESS"_s, u"1000"_s}})
                                        << json({{u"success"_s, u"0x01,0xab,0x00"_s}});
        QTest::newRow("occupied macro slot") << keyboard({{u"funcname"_s, u"writeMacroByAddr"_s},
                                                          {u"PARAMSIZE"_s, 1},
                                                          {u"PARAMADDRESS"_s, u"0x1000"_s},
                                                          {u"PARAMDATA"_s, u"5"_s}})
                                             << json({{u"success"_s, u"0x1000"_s}});
        QTest::newRow("erased area is not empty") << keyboard({{u"funcname"_s, u"isPropEmpty"_s},
                                                               {u"PARAMSIZE"_s, 4},
                                                               {u"PARAMADDRESS"_s, u"0xF000"_s}})
                                                  << json({{u"success"_s, u"false"_s}});
        QTest::newRow("failure with code 0")
            << json({{u"funcname"_s, u"notifyDevice"_s},
                     {u"HardwareID"_s, u"none"_s},
                     {u"NotifyType"_s, 1},
                     {u"NotifyData"_s, 1}})
            << json({{u"failure"_s,
                      QJsonObject{{u"code"_s, 0}, {u"message"_s, u"notifyDevice failed!"_s}}}});
        QTest::newRow("missing DevicePath") << json({{u"funcname"_s, u"readByAddr"_s},
                                                     {u"HardwareID"_s, u"x"_s},
                                                     {u"PARAMSIZE"_s, 1},
                                                     {u"PARAMADDRESS"_s, 0}})
                                            << NoReply;
        QTest::newRow("capital G") << json({{u"funcname"_s, u"GetDevicesList"_s}}) << NoReply;
        QTest::newRow("window command") << json({{u"funcname"_s, u"maxsizeWindow"_s}}) << NoReply;
        QTest::newRow("not json") << QByteArray("hello") << NoReply;
    }
    void answersOneLinePerRequest()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        QCOMPARE(ask(request), answer);
    }

    void listsTheSimulatedDevicesWithProductData()
    {
        const QByteArray line = ask(json({{u"funcname"_s, u"getDevicesList"_s}}));
        const QJsonArray devices =
            QJsonDocument::fromJson(QJsonDocument::fromJson(line)["success"_L1].toString().toUtf8())
                .array();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices[0]["DeviceID"_L1].toString(), u"04D9A100"_s);
        QCOMPARE(devices[0]["productName"_L1].toString(), u"Taviro K100"_s);
        QCOMPARE(devices[1]["DeviceID"_L1].toString(), u"04D9A200"_s);
    }

    void eventsOfTheLibraryArriveAsLines()
    {
        QCOMPARE(control("unplug 1"), QByteArray("ok"));
        QCOMPARE(readLine(), eventLine(u"devicesChanged"_s, 32772));
        QCOMPARE(control("report 0102030a0b0c0d0e"), QByteArray("ok"));
        QCOMPARE(readLine(), eventLine(u"onDeviceData"_s, u"0102030a0b0c0d0e"_s));
        QCOMPARE(control("plug 1"), QByteArray("ok"));
        QCOMPARE(readLine(), eventLine(u"devicesChanged"_s, 32768));
    }

    void endOfInputEndsTheProgramCleanly()
    {
        m_vornctl.closeWriteChannel();
        QVERIFY(m_vornctl.waitForFinished(10000));
        QCOMPARE(m_vornctl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_vornctl.exitCode(), 0);
        QVERIFY(m_pending.isEmpty());
        QCOMPARE(m_vornctl.readAllStandardOutput(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(tst_Vornctl)
#include "tst_vornctl.moc"
