#include "commands/dispatcher.h"
#include "commands/request.h"
#include "recordingcallback.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace vorn;
using namespace Qt::StringLiterals;

// Runs one request text through the pre-dispatch rules and the dispatcher without any
// service, the way a page request arrives.
static QList<RecordingCallback::Answer> run(const QString &text)
{
    const CommandDispatcher dispatcher(CommandContext{});
    const auto callback = RecordingCallback::create();
    const ParsedRequest request = parseRequest(text);
    if (request.kind == ParsedRequest::Kind::Command)
        dispatcher.dispatchCommand(request.funcname, request.parameters, callback);
    return callback->answers;
}

class tst_Dispatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void selection_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("answered");
        QTest::newRow("exact name") << uR"({"funcname":"getDevicesList"})"_s << true;
        QTest::newRow("capital G") << uR"({"funcname":"GetDevicesList"})"_s << false;
        QTest::newRow("trailing space") << uR"({"funcname":"getDevicesList "})"_s << false;
        QTest::newRow("number 5") << uR"({"funcname":5})"_s << false;
        QTest::newRow("unknown") << uR"({"funcname":"format"})"_s << false;
        QTest::newRow("window text with space") << uR"({"funcname": "maxsizeWindow"})"_s << false;
        QTest::newRow("readByAddr without DevicePath")
            << uR"({"funcname":"readByAddr","HardwareID":"x","PARAMSIZE":1,"PARAMADDRESS":0})"_s
            << false;
        QTest::newRow("readByAddr complete")
            << uR"({"funcname":"readByAddr","HardwareID":"x","DevicePath":"","PARAMSIZE":1,"PARAMADDRESS":0})"_s
            << true;
        QTest::newRow("writeDevicesProp without PARAMDATA")
            << uR"({"funcname":"writeDevicesProp","HardwareID":"x","DevicePath":"","PARAMSIZE":1,"PARAMID":1})"_s
            << false;
        QTest::newRow("notifyDevice needs no DevicePath")
            << uR"({"funcname":"notifyDevice","HardwareID":"x","NotifyType":1,"NotifyData":2})"_s
            << true;
        QTest::newRow("notifyDevice without NotifyData")
            << uR"({"funcname":"notifyDevice","HardwareID":"x","NotifyType":1})"_s << false;
        QTest::newRow("member names are case-sensitive")
            << uR"({"funcname":"isPropEmpty","hardwareID":"x","DevicePath":"","PARAMSIZE":1,"PARAMADDRESS":0})"_s
            << false;
    }
    void selection()
    {
        QFETCH(QString, text);
        QFETCH(bool, answered);
        QCOMPARE(run(text).size(), answered ? 1 : 0);
    }

    void failuresCarryCodeZero()
    {
        // Without a device library every write fails.
        const auto answers = run(
            uR"({"funcname":"writeByAddr","HardwareID":"x","DevicePath":"","PARAMSIZE":1,"PARAMADDRESS":0,"PARAMDATA":"1"})"_s);
        QCOMPARE(answers.size(), 1);
        QVERIFY(!answers[0].success);
        QCOMPARE(answers[0].code, 0);
        QCOMPARE(answers[0].text, u"writeByAddr failed!"_s);
    }

    void firstAnswerWins()
    {
        const auto callback = RecordingCallback::create();
        callback->Success(u"one"_s);
        callback->Failure(3, u"two"_s);
        callback->Success(u"three"_s);
        QCOMPARE(callback->answers.size(), 1);
        QCOMPARE(callback->answers[0].text, u"one"_s);
        QVERIFY(callback->isAnswered());
    }

    void commandTableHoldsEveryCommandOnce()
    {
        const QStringList names = CommandDispatcher::commandNames();
        QCOMPARE(names.size(), 38);
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), 38);
    }
};

QTEST_GUILESS_MAIN(tst_Dispatcher)
#include "tst_dispatcher.moc"
