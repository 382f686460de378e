#include "config/appconfig.h"
#include "config/hostaddresses.h"
#include "config/modebindings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace vorn;
using namespace Qt::StringLiterals;

class tst_AppConfig : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeConf(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(u"conf.xml"_s);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write fixture");
        file.write(bytes);
        return path;
    }

    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void keysFromClientPlusComputedKeys_data()
    {
        QTest::addColumn<QByteArray>("conf");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("client attributes")
            << QByteArray(R"(<root><client language="en" showConf="Ctrl+Alt+K"/></root>)")
            << QStringList{u"IpAddress"_s, u"MacAddress"_s, u"language"_s, u"showConf"_s};
        QTest::newRow("no client element") << QByteArray("<root><other a=\"1\"/></root>")
                                           << QStringList{u"IpAddress"_s, u"MacAddress"_s};
        QTest::newRow("client outside root is not read")
            << QByteArray(R"(<top><client language="en"/></top>)")
            << QStringList{u"IpAddress"_s, u"MacAddress"_s};
    }
    void keysFromClientPlusComputedKeys()
    {
        QFETCH(QByteArray, conf);
        QFETCH(QStringList, keys);
        AppConfig config(writeConf(conf));
        QVERIFY(config.loadConf());
        QCOMPARE(config.clientMap().keys(), keys);
        QCOMPARE(config.confText(), QString::fromUtf8(conf));
    }

    void unusableFileLeavesEverythingEmpty_data()
    {
        QTest::addColumn<QByteArray>("conf");
        QTest::newRow("malformed") << QByteArray("<root><client a=\"1\"></root>");
        QTest::newRow("empty") << QByteArray();
    }
    void unusableFileLeavesEverythingEmpty()
    {
        QFETCH(QByteArray, conf);
        AppConfig config(writeConf(conf));
        QVERIFY(!config.loadConf());
        QVERIFY(config.clientMap().isEmpty());
        QVERIFY(config.confText().isEmpty());

        AppConfig missing(m_dir.filePath(u"absent.xml"_s));
        QVERIFY(!missing.loadConf());
        QVERIFY(missing.clientMap().isEmpty());
    }

    void textSkipsByteOrderMarkAndCarriageReturns()
    {
        AppConfig config(writeConf("\xEF\xBB\xBF<root>\r\n<client a=\"\xC3\xA9\"/>\r\n</root>"));
        QVERIFY(config.loadConf());
        QCOMPARE(config.confText(), u"<root>\n<client a=\"é\"/>\n</root>"_s);
        QCOMPARE(config.clientValue(u"a"_s), u"é"_s);
    }

    void setClientValueNeverAddsKeys()
    {
        AppConfig config(writeConf(R"(<root><client language="en"/></root>)"));
        QVERIFY(config.loadConf());
        QVERIFY(config.setClientValue(u"language"_s, u"de-DE"_s));
        QVERIFY(config.setClientValue(u"IpAddress"_s, u"10.1.2.3"_s));
        QVERIFY(!config.setClientValue(u"newKey"_s, u"x"_s));
        QCOMPARE(config.clientValue(u"language"_s), u"de-DE"_s);
        QCOMPARE(config.clientValue(u"IpAddress"_s), u"10.1.2.3"_s);
        QVERIFY(!config.clientMap().contains(u"newKey"_s));
        QCOMPARE(config.clientValue(u"newKey"_s), QString());
    }

    void rewriteChangesOnlyExistingAttributes()
    {
        const QString path = writeConf(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- settings -->\n"
            "<root><client language=\"en\" autoStart=\"false\"/><dev deviceId=\"X\">"
            "<p name=\"\xE4\xBA\xA7\xE5\x93\x81\xE4\xBF\xA1\xE6\x81\xAF\" productName=\"K\"/>"
            "</dev></root>");
        AppConfig config(path);
        QVERIFY(config.loadConf());
        QVERIFY(config.setClientAttributeInText(u"language"_s, u"de-DE"_s));
        QVERIFY(config.setClientAttributeInText(u"IpAddress"_s, u"10.0.0.1"_s));
        QVERIFY(config.saveConf());
        // The comment and the declaration's encoding go; the layout is the default save's.
        const QByteArray expected =
            "<?xml version=\"1.0\"?>\n<root>\n\t<client language=\"de-DE\" autoStart=\"false\" />\n"
            "\t<dev deviceId=\"X\">\n\t\t<p "
            "name=\"\xE4\xBA\xA7\xE5\x93\x81\xE4\xBF\xA1\xE6\x81\xAF\""
            " productName=\"K\" />\n\t</dev>\n</root>\n";
        QCOMPARE(readFile(path), expected);
        QCOMPARE(config.confText().toUtf8(), expected);
    }

    void rewriteOfUnparsableTextChangesNothing()
    {
        AppConfig config(writeConf("<root><client a=\"1\"/></root>"));
        QVERIFY(config.loadConf());
        config.setConfText(u"<root"_s);
        QVERIFY(!config.setClientAttributeInText(u"a"_s, u"2"_s));
        QCOMPARE(config.confText(), u"<root"_s);
    }

    void failedSaveKeepsThePreviousFile()
    {
        const QByteArray original = "<root><client a=\"1\"/></root>";
        const QString path = writeConf(original);
        AppConfig config(path);
        QVERIFY(config.loadConf());
        config.setConfText(u"<root><client a=\""_s + QString(64 * 1024, u'x') + u"\"/></root>"_s);

        // A file size limit makes the write fail part-way, as a full disk would.
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{4096, previous.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool saved = config.saveConf();
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!saved);
        QCOMPARE(readFile(path), original);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{u"conf.xml"_s});
    }

    void hostAddressRules()
    {
        QCOMPARE(firstNonLoopbackHardwareAddress(
                     {{u"00:00:00:00:00:00"_s, true}, {u"AA:BB:CC:DD:EE:FF"_s, false}}),
                 u"AA:BB:CC:DD:EE:FF"_s);
        QCOMPARE(firstNonLoopbackHardwareAddress({{u"00:00:00:00:00:00"_s, true}}), QString());
        QCOMPARE(firstExternalIPv4(
                     {u"127.0.0.1"_s, u"::1"_s, u"fe80::1"_s, u"192.168.1.5"_s, u"10.0.0.1"_s}),
                 u"192.168.1.5"_s);
        QCOMPARE(firstExternalIPv4({u"127.0.0.1"_s, u"::1"_s}), QString());
        // Only 127.0.0.1 itself is skipped, not the rest of its range.
        QCOMPARE(firstExternalIPv4({u"127.0.0.2"_s}), u"127.0.0.2"_s);
    }

    void modeBindingsInDocumentOrder()
    {
        const QString path = m_dir.filePath(u"configuration.xml"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"(<conf><modeSetting><modes>
            <mode index="1" bindingProcess="/usr/bin/game"/>
            <mode index="2"/>
            <other index="9"/>
          </modes></modeSetting><mode index="7"/></conf>)");
        file.close();
        const QList<ModeBinding> bindings = loadModeBindings(path);
        QCOMPARE(bindings.size(), 2);
        QCOMPARE(bindings[0].index, u"1"_s);
        QCOMPARE(bindings[0].bindingProcess, u"/usr/bin/game"_s);
        QCOMPARE(bindings[1].index, u"2"_s);
        QCOMPARE(bindings[1].bindingProcess, QString());
        QVERIFY(loadModeBindings(m_dir.filePath(u"none.xml"_s)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_AppConfig)
#include "tst_appconfig.moc"
