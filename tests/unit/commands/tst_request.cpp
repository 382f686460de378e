#include "commands/request.h"

#include <QTest>

using namespace vorn;
using namespace Qt::StringLiterals;
using Kind = ParsedRequest::Kind;

class tst_Request : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void preDispatchRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("funcname");

        QTest::newRow("maximise") << uR"({"funcname":"maxsizeWindow"})"_s << Kind::MaximizeWindow
                                  << QString();
        QTest::newRow("restore") << uR"({"funcname":"restoreWindow"})"_s << Kind::RestoreWindow
                                 << QString();
        QTest::newRow("minimise") << uR"({"funcname":"minisizeWindow"})"_s << Kind::MinimizeWindow
                                  << QString();
        // A space after the colon makes it an ordinary request, which no command matches.
        QTest::newRow("maximise with space")
            << uR"({"funcname": "maxsizeWindow"})"_s << Kind::Command << u"maxsizeWindow"_s;
        QTest::newRow("minimise with space")
            << uR"({"funcname": "minisizeWindow"})"_s << Kind::Command << u"minisizeWindow"_s;
        QTest::newRow("move") << u"moveWindow:5,-3,800,600"_s << Kind::MoveWindow << QString();
        QTest::newRow("bare move word") << u"moveWindow"_s << Kind::MoveWindow << QString();
        QTest::newRow("command") << uR"({"funcname":"getDevicesList"})"_s << Kind::Command
                                 << u"getDevicesList"_s;
        QTest::newRow("numeric funcname") << uR"({"funcname":5})"_s << Kind::Command << u"5"_s;
        QTest::newRow("boolean funcname")
            << uR"({"funcname":true})"_s << Kind::Command << u"true"_s;
        QTest::newRow("not json") << u"getDevicesList"_s << Kind::Dropped << QString();
        QTest::newRow("array") << uR"([{"funcname":"goback"}])"_s << Kind::Dropped << QString();
        QTest::newRow("no funcname") << uR"({"func":"goback"})"_s << Kind::Dropped << QString();
        QTest::newRow("trailing garbage")
            << uR"({"funcname":"goback"} x)"_s << Kind::Dropped << QString();
        QTest::newRow("empty") << QString() << Kind::Dropped << QString();
    }
    void preDispatchRules()
    {
        QFETCH(QString, text);
        QFETCH(Kind, kind);
        QFETCH(QString, funcname);
        const ParsedRequest request = parseRequest(text);
        QCOMPARE(request.kind, kind);
        QCOMPARE(request.funcname, funcname);
    }

    void parametersKeepTheirTypes()
    {
        const ParsedRequest request = parseRequest(
            uR"({"funcname":"readByAddr","PARAMSIZE":8,"HardwareID":"x","flag":false})"_s);
        QCOMPARE(request.parameters.value("PARAMSIZE"_L1).toDouble(), 8.0);
        QVERIFY(request.parameters.value("flag"_L1).isBool());
        QCOMPARE(request.parameters.size(), 4);
    }

    void moveWindowValues_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<int>>("values");
        QTest::newRow("four") << QByteArray("moveWindow:5,-3,800,600")
                              << QList<int>{5, -3, 800, 600};
        QTest::newRow("any separator char")
            << QByteArray("moveWindow#5,-3,800,600") << QList<int>{5, -3, 800, 600};
        QTest::newRow("spaces") << QByteArray("moveWindow: 5 -3 800 600")
                                << QList<int>{5, -3, 800, 600};
        QTest::newRow("three") << QByteArray("moveWindow:1,2,3") << QList<int>{1, 2, 3};
        QTest::newRow("five") << QByteArray("moveWindow:1,2,3,4,5") << QList<int>{1, 2, 3, 4, 5};
        QTest::newRow("stops at double comma") << QByteArray("moveWindow:1,,2") << QList<int>{1};
        QTest::newRow("stops at text") << QByteArray("moveWindow:1,x,2") << QList<int>{1};
        QTest::newRow("overflow fails") << QByteArray("moveWindow:1,99999999999") << QList<int>{1};
        QTest::newRow("bare word") << QByteArray("moveWindow") << QList<int>{};
        QTest::newRow("word and one char") << QByteArray("moveWindow:") << QList<int>{};
        // The character right after the word is always skipped, digit or not.
        QTest::newRow("digit right after word") << QByteArray("moveWindow12,3") << QList<int>{2, 3};
    }
    void moveWindowValues()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, values);
        QCOMPARE(readMoveWindowValues(text), values);
    }
};

QTEST_GUILESS_MAIN(tst_Request)
#include "tst_request.moc"
