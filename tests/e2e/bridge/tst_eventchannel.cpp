// The event channel end to end: the six events from the client handler to the callbacks the
// real page registered with setMessageCallback.

#include "bridgetesting.h"

#include "bridge/pageaddress.h"
#include "bridge/pagebridge.h"
#include "bridge/vorn.h"

#include <QJsonObject>

#include <thread>

using namespace bridgetest;
using namespace Qt::StringLiterals;

class tst_EventChannel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void eventArguments_data();
    void eventArguments();
    void deliveredOnce();
    void deliveredInOrderFromAnotherThread();
    void secondRegistrationIsIgnored();
    void reloadDropsRegistrations();
    void wrongCallsRegisterNothing_data();
    void wrongCallsRegisterNothing();
    void unknownNamesAreNeverDelivered();
    void throwingCallbackKeepsTheChannel();
    void subFrameSharesTheNames();
    void pagesOutsideViewGetNoEvents();

private:
    QWebEnginePage *page() const { return m_window->webView()->page(); }
    vorn::ClientHandler *handler() const { return vorn::sharedClientHandler(); }
    // Sends "macroItem" with the given marker and waits until the page has it: every event
    // sent before has been delivered (or dropped) by then.
    void sendSentinel(const QString &marker);

    std::unique_ptr<AppFolder> m_folder;
    std::unique_ptr<vorn::vorn> m_window;
};

void tst_EventChannel::initTestCase()
{
    m_folder = std::make_unique<AppFolder>();
    m_window = std::make_unique<vorn::vorn>(vorn::CommandContext{});
    QSignalSpy ready(m_window->webView()->webPage(), &vorn::VornWebPage::bridgeReady);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(waitForBridge(page(), ready));
    QCOMPARE(handler()->FirstBrowser(), page());
}

void tst_EventChannel::cleanupTestCase()
{
    m_window.reset();
}

void tst_EventChannel::init()
{
    // Every test starts on a fresh document of the start page, with no registrations.
    QVERIFY(loadAndWaitForBridge(page(), vorn::startPageUrl()));
}

void tst_EventChannel::sendSentinel(const QString &marker)
{
    evaluateJavaScriptSync(page(), u"listen('macroItem')"_s);
    handler()->SendMacroItem(marker, QString(), QString(), QString());
    const QString arrived =
        u"eventsOf('macroItem').some(function (e) { return e.args[0] === %1; })"_s.arg(
            jsString(marker));
    VERIFY_SOON(evaluateJavaScriptSync(page(), arrived).toBool());
}

void tst_EventChannel::eventArguments_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonArray>("args");
    QTest::addColumn<QJsonArray>("types");
    const auto number = QJsonValue(u"number"_s);
    const auto text = QJsonValue(u"string"_s);
    const auto boolean = QJsonValue(u"boolean"_s);
    QTest::newRow("devicesChanged") << u"devicesChanged"_s << QJsonArray{513} << QJsonArray{number};
    QTest::newRow("macroItem") << u"macroItem"_s << QJsonArray{u"30"_s, u"0"_s, u"ä €"_s, u""_s}
                               << QJsonArray{text, text, text, text};
    QTest::newRow("currentPropChanged")
        << u"currentPropChanged"_s << QJsonArray{3, -1} << QJsonArray{number, number};
    QTest::newRow("navStateChanged")
        << u"navStateChanged"_s << QJsonArray{false, true} << QJsonArray{boolean, boolean};
    QTest::newRow("onDeviceData") << u"onDeviceData"_s << QJsonArray{u"0a0b0c0d0e0f1011"_s}
                                  << QJsonArray{text};
    QTest::newRow("onProcessChanged")
        << u"onProcessChanged"_s << QJsonArray{u"2"_s, true} << QJsonArray{text, boolean};
}

void tst_EventChannel::eventArguments()
{
    QFETCH(QString, name);
    QFETCH(QJsonArray, args);
    QFETCH(QJsonArray, types);

    evaluateJavaScriptSync(page(), u"listen(%1)"_s.arg(jsString(name)));
    if (name == u"devicesChanged"_s)
        handler()->SendDevicesChanged(args[0].toInt());
    else if (name == u"macroItem"_s)
        handler()->SendMacroItem(args[0].toString(), args[1].toString(), args[2].toString(),
                                 args[3].toString());
    else if (name == u"currentPropChanged"_s)
        handler()->SendCurrentPropChanged(args[0].toInt(), args[1].toInt());
    else if (name == u"navStateChanged"_s)
        handler()->SendNavStateChanged(args[0].toBool(), args[1].toBool());
    else if (name == u"onDeviceData"_s)
        handler()->SendDeviceData(args[0].toString());
    else
        handler()->SendProcessChanged(args[0].toString(), args[1].toBool());

    QJsonArray received;
    VERIFY_SOON(!(received = eventsOf(page(), name)).isEmpty());
    // The load of the page itself reports its navigation state first.
    const QJsonValue last = received.last();
    QCOMPARE(last[u"args"_s].toArray(), args);
    QCOMPARE(last[u"types"_s].toArray(), types);
    QCOMPARE(last[u"isArray"_s], QJsonValue(true));
}

void tst_EventChannel::deliveredOnce()
{
    evaluateJavaScriptSync(page(), u"listen('onDeviceData')"_s);
    handler()->SendDeviceData(u"0a0b0c0d0e0f1011"_s);
    sendSentinel(u"after"_s);
    const QJsonArray received = eventsOf(page(), u"onDeviceData"_s);
    QCOMPARE(received.size(), 1);
    QCOMPARE(received[0][u"args"_s].toArray(), QJsonArray{u"0a0b0c0d0e0f1011"_s});
}

void tst_EventChannel::deliveredInOrderFromAnotherThread()
{
    evaluateJavaScriptSync(page(), u"listen('onDeviceData')"_s);
    constexpr int Count = 1000;
    std::thread sender([this] {
        for (int i = 0; i < Count; ++i)
            handler()->SendDeviceData(u"%1"_s.arg(i, 16, 16, QLatin1Char('0')));
    });
    sender.join();
    COMPARE_SOON(evaluateJavaScriptSync(page(), u"eventsOf('onDeviceData').length"_s).toInt(),
                 Count);
    const QString inOrder =
        u"eventsOf('onDeviceData').every(function (e, i) { return parseInt(e.args[0], 16) === i; })"_s;
    QCOMPARE(evaluateJavaScriptSync(page(), inOrder).toBool(), true);
}

void tst_EventChannel::secondRegistrationIsIgnored()
{
    evaluateJavaScriptSync(
        page(), u"window.calls = [];"
                "setMessageCallback('devicesChanged', function (a) { calls.push('first'); });"
                "setMessageCallback('devicesChanged', function (a) { calls.push('second'); });"_s);
    handler()->SendDevicesChanged(1);
    sendSentinel(u"after"_s);
    QCOMPARE(evaluateJavaScriptSync(page(), u"calls.join()"_s).toString(), u"first"_s);
}

void tst_EventChannel::reloadDropsRegistrations()
{
    evaluateJavaScriptSync(page(), u"listen('devicesChanged')"_s);
    QVERIFY(loadAndWaitForBridge(page(), vorn::startPageUrl()));

    // The new document has not registered "devicesChanged": the event is dropped.
    handler()->SendDevicesChanged(7);
    sendSentinel(u"after the drop"_s);
    QVERIFY(eventsOf(page(), u"devicesChanged"_s).isEmpty());

    evaluateJavaScriptSync(page(), u"listen('devicesChanged')"_s);
    handler()->SendDevicesChanged(8);
    COMPARE_SOON(eventsOf(page(), u"devicesChanged"_s).size(), 1);
    QCOMPARE(eventsOf(page(), u"devicesChanged"_s)[0][u"args"_s].toArray(), QJsonArray{8});
}

void tst_EventChannel::wrongCallsRegisterNothing_data()
{
    QTest::addColumn<QString>("call");
    QTest::newRow("name only") << u"setMessageCallback('devicesChanged')"_s;
    QTest::newRow("callback not a function") << u"setMessageCallback('devicesChanged', 5)"_s;
    QTest::newRow("name not a string")
        << u"setMessageCallback(5, function () { calls.push('wrong'); })"_s;
    QTest::newRow("three arguments")
        << u"setMessageCallback('devicesChanged', function () { calls.push('wrong'); }, 1)"_s;
    QTest::newRow("no arguments") << u"setMessageCallback()"_s;
}

void tst_EventChannel::wrongCallsRegisterNothing()
{
    QFETCH(QString, call);
    const QString script =
        u"(function () { window.calls = []; try { return typeof (%1); } catch (e) { return 'throws'; } })()"_s
            .arg(call);
    QCOMPARE(evaluateJavaScriptSync(page(), script).toString(), u"undefined"_s);

    // The name is still free: a correct registration takes it.
    evaluateJavaScriptSync(page(), u"listen('devicesChanged')"_s);
    handler()->SendDevicesChanged(3);
    COMPARE_SOON(eventsOf(page(), u"devicesChanged"_s).size(), 1);
    QCOMPARE(evaluateJavaScriptSync(page(), u"calls.length"_s).toInt(), 0);
}

void tst_EventChannel::unknownNamesAreNeverDelivered()
{
    evaluateJavaScriptSync(
        page(), u"listen('devicesChanged2'); listen('toString'); listen('devicesChanged')"_s);
    vorn::PageBridge *bridge = m_window->webView()->webPage()->bridge();
    bridge->sendEvent(u"devicesChanged2"_s, {1});
    bridge->sendEvent(u"toString"_s, {1});
    handler()->SendDevicesChanged(2);
    COMPARE_SOON(eventsOf(page(), u"devicesChanged"_s).size(), 1);
    QVERIFY(eventsOf(page(), u"devicesChanged2"_s).isEmpty());
    QVERIFY(eventsOf(page(), u"toString"_s).isEmpty());
}

void tst_EventChannel::throwingCallbackKeepsTheChannel()
{
    evaluateJavaScriptSync(
        page(),
        u"setMessageCallback('devicesChanged', function () { throw new Error('page fault'); })"_s);
    handler()->SendDevicesChanged(1);
    sendSentinel(u"after the exception"_s);
}

void tst_EventChannel::subFrameSharesTheNames()
{
    QVERIFY(loadAndWaitForBridge(
        page(), QUrl::fromLocalFile(vorn::viewFolderPath() + u"/framehost.html"_s)));
    // frame.html registered "macroItem" first; the main frame's registration is ignored.
    VERIFY_SOON(evaluateJavaScriptSync(page(), u"Array.isArray(window.frameEvents)"_s).toBool());
    evaluateJavaScriptSync(page(), u"listen('macroItem')"_s);
    handler()->SendMacroItem(u"to the frame"_s, {}, {}, {});
    COMPARE_SOON(evaluateJavaScriptSync(page(), u"frameEvents.length"_s).toInt(), 1);
    QCOMPARE(
        evaluateJavaScriptSync(page(), u"frameEvents[0].args[0] + ',' + frameEvents[0].isArray"_s)
            .toString(),
        u"to the frame,true"_s);
    QVERIFY(eventsOf(page(), u"macroItem"_s).isEmpty());

    // The frame's document goes away with its registrations: the name is free again.
    evaluateJavaScriptSync(page(), u"document.getElementById('frame').remove()"_s);
    evaluateJavaScriptSync(page(), u"listen('macroItem')"_s);
    handler()->SendMacroItem(u"to the main frame"_s, {}, {}, {});
    COMPARE_SOON(eventsOf(page(), u"macroItem"_s).size(), 1);
    QCOMPARE(evaluateJavaScriptSync(page(), u"frameEvents.length"_s).toInt(), 1);
}

void tst_EventChannel::pagesOutsideViewGetNoEvents()
{
    m_folder->writeFile(u"outside/page.html"_s, "<!DOCTYPE html><html><body>x</body></html>");
    QVERIFY(loadAndWaitForBridge(page(), m_folder->url(u"outside/page.html"_s)));
    evaluateJavaScriptSync(page(), QString::fromUtf8(m_folder->readFile(u"view/testkit.js"_s)) +
                                       u"; listen('devicesChanged'); listen('macroItem');"_s);
    handler()->SendDevicesChanged(1);
    handler()->SendMacroItem(u"x"_s, {}, {}, {});
    // The same page gets them once it shows the application's page again.
    spin(500);
    QVERIFY(eventsOf(page(), u"devicesChanged"_s).isEmpty());
    QVERIFY(eventsOf(page(), u"macroItem"_s).isEmpty());
}

VORN_BRIDGE_TEST_MAIN(tst_EventChannel)
#include "tst_eventchannel.moc"
