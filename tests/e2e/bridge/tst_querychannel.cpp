// The query channel end to end: the real main window with its page in Chromium, requests
// through cefQuery, window commands, the dispatcher with the simulated device library.

#include "bridgetesting.h"

#include "bridge/pageaddress.h"
#include "bridge/pagebridge.h"
#include "bridge/popwidget.h"
#include "bridge/vorn.h"
#include "common/quit.h"
#include "config/appconfig.h"
#include "device/devices_handler.h"
#include "simulateddevices.h"

#include <QGuiApplication>
#include <QJsonObject>
#include <QLibrary>
#include <QMutex>
#include <QScreen>

using namespace bridgetest;
using namespace Qt::StringLiterals;

namespace {

const QString DevicesRequest = uR"({"funcname":"getDevicesList"})"_s;

// Records the lines the bridge logs.
QStringList s_bridgeLog;
QMutex s_bridgeLogMutex;
QtMessageHandler s_previousHandler = nullptr;

void recordBridgeLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrcmp(context.category, "vorn.bridge") == 0) {
        QMutexLocker locker(&s_bridgeLogMutex);
        s_bridgeLog.append(message);
    }
    if (s_previousHandler)
        s_previousHandler(type, context, message);
}

bool bridgeLogContains(const QString &text)
{
    QMutexLocker locker(&s_bridgeLogMutex);
    return std::any_of(s_bridgeLog.begin(), s_bridgeLog.end(),
                       [&](const QString &line) { return line.contains(text); });
}

// Keeps the profile document's text as it was on disk when the window's state changed to
// minimised.
class MinimiseWatcher : public QObject
{
public:
    MinimiseWatcher(QWidget *window, QString file)
        : m_window(window)
        , m_file(std::move(file))
    {
        window->installEventFilter(this);
    }

    QByteArray textWhenMinimised;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::WindowStateChange &&
            m_window->isMinimized() && textWhenMinimised.isNull()) {
            QFile file(m_file);
            if (file.open(QIODevice::ReadOnly))
                textWhenMinimised = file.readAll();
        }
        return false;
    }

private:
    QWidget *m_window;
    QString m_file;
};

} // namespace

class tst_QueryChannel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void restoreBeforeMaximiseAndMaximise();
    void moveWindow_data();
    void moveWindow();
    void minimiseWritesDocumentsFirst();
    void quitAppHidesAndWrites();
    void requestsWithoutCommand_data();
    void requestsWithoutCommand();
    void devicesThroughTheDispatcher();
    void pagesOutsideViewGetNoAnswer_data();
    void pagesOutsideViewGetNoAnswer();
    void secondaryWindowAnswersOnItsPage();
    void answersOfAnEarlierDocumentAreDropped();
    void cancelledQueriesGetNoAnswer();
    void answersNameTheirDocument();
    void manyQueriesInFlight();
    void queryArguments_data();
    void queryArguments();
    // Last: it ends the application's event loop.
    void closeAppWritesAndQuits();

private:
    QWebEnginePage *page() const { return m_window->webView()->page(); }
    void waitUntilProcessed();

    std::unique_ptr<AppFolder> m_folder;
    std::unique_ptr<vorn::AppConfig> m_config;
    std::unique_ptr<vorn::devices_handler> m_devices;
    std::unique_ptr<vorn::vorn> m_window;
    QRect m_home;
};

void tst_QueryChannel::initTestCase()
{
    s_previousHandler = qInstallMessageHandler(recordBridgeLog);
    m_folder = std::make_unique<AppFolder>(uR"(clientSize="640,480")"_s);
    m_folder->writeFile(u"Resources/profiles/test.xml"_s,
                        "<?xml version=\"1.0\"?>\n<root>\n\t<key value=\"1\" />\n</root>\n");
    qputenv("VORN_SIM_STATE", QFile::encodeName(m_folder->path(u"libdc-state.bin"_s)));

    m_config = std::make_unique<vorn::AppConfig>();
    QVERIFY(m_config->loadConf());
    m_devices = std::make_unique<vorn::devices_handler>(nullptr, vorn::sharedClientHandler(),
                                                        QStringLiteral(VORN_LIBDC_PATH));
    QVERIFY(m_devices->isLoaded());

    m_window = std::make_unique<vorn::vorn>(
        vorn::CommandContext{.config = m_config.get(), .devices = m_devices.get()});
    QSignalSpy ready(m_window->webView()->webPage(), &vorn::VornWebPage::bridgeReady);
    QCOMPARE(m_window->size(), QSize(640, 480));
    QCOMPARE(m_window->minimumSize(), QSize(640, 480));
    m_home = QRect(QPoint(200, 150), m_window->size());
    m_window->move(m_home.topLeft());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(waitForBridge(page(), ready));
}

void tst_QueryChannel::cleanupTestCase()
{
    m_window.reset();
    m_devices.reset();
    qInstallMessageHandler(s_previousHandler);
}

void tst_QueryChannel::init()
{
    vorn::ClientHandler *handler = vorn::sharedClientHandler();
    handler->SetListener(m_window->webView());
    handler->SetMainWindowHandle(m_window.get());
    if (page()->url() != vorn::startPageUrl())
        QVERIFY(loadAndWaitForBridge(page(), vorn::startPageUrl()));
    evaluateJavaScriptSync(page(), u"answers = {}; events = [];"_s);
    if (m_window->isMinimized())
        m_window->showNormal();
    if (m_window->geometry() != m_home) {
        m_window->setGeometry(m_home);
        COMPARE_SOON(m_window->geometry(), m_home);
    }
}

// Queries are handled in the order they were sent: once a later query is answered, every
// earlier one has had its answer, if it gets one.
void tst_QueryChannel::waitUntilProcessed()
{
    const int sentinel = ask(page(), DevicesRequest);
    QVERIFY(!waitForAnswer(page(), sentinel).isNull());
}

void tst_QueryChannel::restoreBeforeMaximiseAndMaximise()
{
    // Before any maximise the window goes to the top left corner at its minimum size.
    const int restore = ask(page(), uR"({"funcname":"restoreWindow"})"_s);
    COMPARE_SOON(m_window->geometry(), QRect(QPoint(0, 0), QSize(640, 480)));

    const int maximise = ask(page(), uR"({"funcname":"maxsizeWindow"})"_s);
    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    COMPARE_SOON(m_window->geometry(), workArea);
    QCOMPARE(m_window->savedGeometry(), QRect(QPoint(0, 0), QSize(640, 480)));

    const int restoreAgain = ask(page(), uR"({"funcname":"restoreWindow"})"_s);
    COMPARE_SOON(m_window->geometry(), QRect(QPoint(0, 0), QSize(640, 480)));

    waitUntilProcessed();
    for (int id : {restore, maximise, restoreAgain})
        QVERIFY2(answerOf(page(), id).isNull(), "window requests are not answered");
}

void tst_QueryChannel::moveWindow_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<bool>("moves");
    QTest::newRow("four values") << u"moveWindow:5,-3,800,600"_s << true;
    QTest::newRow("any separator after the word") << u"moveWindow 5,-3,800,600"_s << true;
    QTest::newRow("three values") << u"moveWindow:5,-3,800"_s << false;
    QTest::newRow("five values") << u"moveWindow:5,-3,800,600,7"_s << false;
    QTest::newRow("the bare word") << u"moveWindow"_s << false;
    QTest::newRow("a value that is no number") << u"moveWindow:5,x,800,600"_s << false;
}

void tst_QueryChannel::moveWindow()
{
    QFETCH(QString, request);
    QFETCH(bool, moves);

    const int id = ask(page(), request);
    waitUntilProcessed();
    if (moves) {
        QCOMPARE(answerOf(page(), id).toObject(),
                 (QJsonObject{{u"ok"_s, true}, {u"text"_s, u""_s}}));
        COMPARE_SOON(m_window->geometry(),
                     QRect(m_home.topLeft() + QPoint(5, -3), QSize(800, 600)));
    } else {
        QVERIFY(answerOf(page(), id).isNull());
        spin(200);
        QCOMPARE(m_window->geometry(), m_home);
    }
}

void tst_QueryChannel::minimiseWritesDocumentsFirst()
{
    const QString documentPath = m_folder->path(u"Resources/profiles/test.xml"_s);
    const int edit =
        ask(page(), uR"({"funcname":"modifyProfile","filePath":"Resources/profiles/test.xml",)"
                    uR"("xpath":"/root/key","attribute":"value","attributeValue":"2"})"_s);
    QCOMPARE(waitForAnswer(page(), edit)[u"ok"_s], QJsonValue(true));
    QVERIFY(m_folder->readFile(u"Resources/profiles/test.xml"_s).contains("value=\"1\""));

    MinimiseWatcher watcher(m_window.get(), documentPath);
    const int minimise = ask(page(), uR"({"funcname":"minisizeWindow"})"_s);
    QCOMPARE(waitForAnswer(page(), minimise).toObject(),
             (QJsonObject{{u"ok"_s, true}, {u"text"_s, u""_s}}));
    VERIFY_SOON(m_window->isMinimized());
    QVERIFY2(watcher.textWhenMinimised.contains("value=\"2\""),
             "the document is written before the window is minimised");

    // The same request restores the minimised window.
    const int restore = ask(page(), uR"({"funcname":"minisizeWindow"})"_s);
    QCOMPARE(waitForAnswer(page(), restore)[u"ok"_s], QJsonValue(true));
    VERIFY_SOON(!m_window->isMinimized());
}

void tst_QueryChannel::quitAppHidesAndWrites()
{
    const int edit =
        ask(page(), uR"({"funcname":"modifyProfile","filePath":"Resources/profiles/test.xml",)"
                    uR"("xpath":"/root/key","attribute":"value","attributeValue":"3"})"_s);
    QCOMPARE(waitForAnswer(page(), edit)[u"ok"_s], QJsonValue(true));
    QVERIFY(!m_folder->readFile(u"Resources/profiles/test.xml"_s).contains("value=\"3\""));

    m_window->quitApp();
    QVERIFY(!m_window->isVisible());
    QVERIFY(m_folder->readFile(u"Resources/profiles/test.xml"_s).contains("value=\"3\""));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_QueryChannel::requestsWithoutCommand_data()
{
    QTest::addColumn<QString>("request");
    QTest::newRow("minimise with a space") << uR"({"funcname": "minisizeWindow"})"_s;
    QTest::newRow("not JSON") << u"getDevicesList"_s;
    QTest::newRow("no funcname") << uR"({"func":"getDevicesList"})"_s;
    QTest::newRow("not an object") << uR"(["getDevicesList"])"_s;
    QTest::newRow("unknown command") << uR"({"funcname":"noSuchCommand"})"_s;
}

void tst_QueryChannel::requestsWithoutCommand()
{
    QFETCH(QString, request);
    const int id = ask(page(), request);
    waitUntilProcessed();
    QVERIFY(answerOf(page(), id).isNull());
    QVERIFY(!m_window->isMinimized());
}

void tst_QueryChannel::devicesThroughTheDispatcher()
{
    const QJsonValue answer = waitForAnswer(page(), ask(page(), DevicesRequest));
    QCOMPARE(answer[u"ok"_s], QJsonValue(true));
    const QJsonArray devices =
        QJsonDocument::fromJson(answer[u"text"_s].toString().toUtf8()).array();
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices[0][u"DeviceID"_s], QJsonValue(u"04D9A100"_s));
    QCOMPARE(devices[0][u"productName"_s], QJsonValue(u"Taviro K100"_s));
    QCOMPARE(devices[1][u"DeviceID"_s], QJsonValue(u"04D9A200"_s));

    // Listing the devices registered the data callback of the keyboard: its reports reach
    // the page from the library's thread.
    evaluateJavaScriptSync(page(), u"listen('onDeviceData')"_s);
    QLibrary library(QStringLiteral(VORN_LIBDC_PATH));
    SimulatedDevices simulator;
    QVERIFY(simulator.load(library));
    const uint8_t report[8] = {0x01, 0x02, 0x03, 0x04, 0x0a, 0x0b, 0xfe, 0xff};
    QCOMPARE(simulator.report(report), 0);
    COMPARE_SOON(eventsOf(page(), u"onDeviceData"_s).size(), 1);
    QCOMPARE(eventsOf(page(), u"onDeviceData"_s)[0][u"args"_s],
             QJsonValue(QJsonArray{u"010203040a0bfeff"_s}));
}

void tst_QueryChannel::pagesOutsideViewGetNoAnswer_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("beside the view folder") << u"outside/page.html"_s;
    QTest::newRow("a folder whose name starts like it") << u"view2/page.html"_s;
    QTest::newRow("the application folder itself") << u"page.html"_s;
}

void tst_QueryChannel::pagesOutsideViewGetNoAnswer()
{
    QFETCH(QString, relativePath);
    m_folder->writeFile(relativePath, "<!DOCTYPE html><html><body>elsewhere</body></html>");
    const QByteArray testkit = m_folder->readFile(u"view/testkit.js"_s);

    QVERIFY(loadAndWaitForBridge(page(), m_folder->url(relativePath)));
    evaluateJavaScriptSync(page(), QString::fromUtf8(testkit));
    {
        QMutexLocker locker(&s_bridgeLogMutex);
        s_bridgeLog.clear();
    }
    const int id = ask(page(), DevicesRequest);
    const int moveId = ask(page(), u"moveWindow:5,5,800,600"_s);
    VERIFY_SOON(bridgeLogContains(u"outside the application's view folder"_s));
    spin(300);
    QVERIFY(answerOf(page(), id).isNull());
    QVERIFY(answerOf(page(), moveId).isNull());
    QCOMPARE(m_window->geometry(), m_home);
}

void tst_QueryChannel::secondaryWindowAnswersOnItsPage()
{
    vorn::ClientHandler *handler = vorn::sharedClientHandler();
    m_window->showMouseConf();
    QPointer<vorn::PopWidget> pop = m_window->popWidget();
    QVERIFY(pop);
    QSignalSpy ready(pop->webView()->webPage(), &vorn::VornWebPage::bridgeReady);
    QVERIFY(QTest::qWaitForWindowExposed(pop));
    QVERIFY(waitForBridge(pop->webView()->page(), ready));
    QCOMPARE(pop->size(), QSize(1000, 670));
    QVERIFY(pop->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(handler->listener(), static_cast<vorn::ClientHandler::Listener *>(pop->webView()));
    QCOMPARE(handler->MainWindowHandle(), pop.data());

    // The secondary window's request is answered on its page, the main window's on its own.
    QWebEnginePage *popPage = pop->webView()->page();
    const int popId = ask(popPage, DevicesRequest);
    const int mainId = ask(page(), DevicesRequest);
    QCOMPARE(waitForAnswer(popPage, popId)[u"ok"_s], QJsonValue(true));
    QCOMPARE(waitForAnswer(page(), mainId)[u"ok"_s], QJsonValue(true));

    // The second press removes it and the main window's view listens again.
    m_window->showMouseConf();
    QVERIFY(!m_window->popWidget());
    QCOMPARE(handler->listener(),
             static_cast<vorn::ClientHandler::Listener *>(m_window->webView()));
    VERIFY_SOON(pop.isNull());
    QCOMPARE(waitForAnswer(page(), ask(page(), DevicesRequest))[u"ok"_s], QJsonValue(true));
}

void tst_QueryChannel::answersOfAnEarlierDocumentAreDropped()
{
    HoldingListener holder;
    vorn::sharedClientHandler()->SetListener(&holder);

    QVERIFY(loadAndWaitForBridge(page(), vorn::startPageUrl()));
    const int earlier = ask(page(), DevicesRequest);
    COMPARE_SOON(holder.held.size(), size_t(1));
    QVERIFY(loadAndWaitForBridge(page(), vorn::startPageUrl()));
    const int later = ask(page(), DevicesRequest);
    QCOMPARE(later, earlier); // each document numbers its queries from 1
    COMPARE_SOON(holder.held.size(), size_t(2));

    holder.held[0]->callback()->Success(u"meant for the earlier document"_s);
    spin(300);
    QVERIFY(answerOf(page(), later).isNull());

    holder.held[1]->callback()->Success(u"meant for this document"_s);
    QCOMPARE(waitForAnswer(page(), later)[u"text"_s], QJsonValue(u"meant for this document"_s));
    vorn::sharedClientHandler()->SetListener(m_window->webView());
}

void tst_QueryChannel::cancelledQueriesGetNoAnswer()
{
    HoldingListener holder;
    vorn::sharedClientHandler()->SetListener(&holder);

    const int cancelled = ask(page(), DevicesRequest);
    const int kept = ask(page(), DevicesRequest);
    COMPARE_SOON(holder.held.size(), size_t(2));
    evaluateJavaScriptSync(page(), u"cefQueryCancel(%1)"_s.arg(cancelled));
    holder.held[0]->callback()->Success(u"too late"_s);
    holder.held[1]->callback()->Failure(0, u"failed"_s);
    QCOMPARE(waitForAnswer(page(), kept).toObject(),
             (QJsonObject{{u"ok"_s, false}, {u"code"_s, 0}, {u"text"_s, u"failed"_s}}));
    QVERIFY(answerOf(page(), cancelled).isNull());

    // A second answer on the same callback has no effect.
    holder.held[1]->callback()->Success(u"second"_s);
    spin(200);
    QCOMPARE(answerOf(page(), kept)[u"text"_s], QJsonValue(u"failed"_s));
    vorn::sharedClientHandler()->SetListener(m_window->webView());
}

void tst_QueryChannel::answersNameTheirDocument()
{
    HoldingListener holder;
    vorn::sharedClientHandler()->SetListener(&holder);
    const int id = ask(page(), DevicesRequest);
    VERIFY_SOON(holder.held.size() == 1);

    // An answer with the same number that does not name this document is not taken.
    Q_EMIT m_window->webView()->webPage()->bridge()->answered(
        QJsonArray{QJsonArray{12345, id, true, u"not for this document"_s}});
    spin(300);
    QVERIFY(answerOf(page(), id).isNull());
    holder.held[0]->callback()->Success(u"for this document"_s);
    QCOMPARE(waitForAnswer(page(), id)[u"text"_s], QJsonValue(u"for this document"_s));
    vorn::sharedClientHandler()->SetListener(m_window->webView());
}

void tst_QueryChannel::manyQueriesInFlight()
{
    // Answers given in one pass travel together; each query still gets exactly its own.
    evaluateJavaScriptSync(page(), uR"(
        window.flight = {answers: 0, wrong: 0};
        for (var i = 0; i < 500; ++i) {
            (function (expected) {
                var id = cefQuery({request: '{"funcname":"getDevicesList","n":' + expected + '}',
                                   onSuccess: function (text) {
                                       flight.answers++;
                                       if (JSON.parse(text).length !== 2 || flight.seen[id])
                                           flight.wrong++;
                                       flight.seen[id] = true;
                                   }});
            })(i);
        }
        flight.seen = {};)"_s);
    VERIFY_SOON(evaluateJavaScriptSync(page(), u"flight.answers"_s).toInt() == 500);
    spin(200);
    QCOMPARE(evaluateJavaScriptSync(page(), u"flight.answers + '/' + flight.wrong"_s).toString(),
             u"500/0"_s);
}

void tst_QueryChannel::queryArguments_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("result");
    QTest::newRow("no argument") << u"cefQuery()"_s << u"throws"_s;
    QTest::newRow("not an object") << u"cefQuery('x')"_s << u"throws"_s;
    QTest::newRow("request not a string") << u"cefQuery({request: 5})"_s << u"throws"_s;
    QTest::newRow("onSuccess not a function")
        << u"cefQuery({request: 'x', onSuccess: 1})"_s << u"throws"_s;
    QTest::newRow("persistent not a boolean")
        << u"cefQuery({request: 'x', persistent: 1})"_s << u"throws"_s;
    QTest::newRow("request only") << u"cefQuery({request: 'x'})"_s << u"number"_s;
    QTest::newRow("persistent") << u"cefQuery({request: 'x', persistent: true})"_s << u"number"_s;
    QTest::newRow("cancel without id") << u"cefQueryCancel()"_s << u"throws"_s;
    QTest::newRow("cancel of an unknown id") << u"cefQueryCancel(12345)"_s << u"undefined"_s;
}

void tst_QueryChannel::queryArguments()
{
    QFETCH(QString, call);
    QFETCH(QString, result);
    const QString script =
        u"(function () { try { return typeof (%1); } catch (e) { return 'throws'; } })()"_s.arg(
            call);
    QCOMPARE(evaluateJavaScriptSync(page(), script).toString(), result);
}

void tst_QueryChannel::closeAppWritesAndQuits()
{
    const int edit =
        ask(page(), uR"({"funcname":"modifyProfile","filePath":"Resources/profiles/test.xml",)"
                    uR"("xpath":"/root/key","attribute":"value","attributeValue":"4"})"_s);
    QCOMPARE(waitForAnswer(page(), edit)[u"ok"_s], QJsonValue(true));
    QVERIFY(!vorn::quitRequested());
    m_window->oncloseApp();
    QVERIFY(m_folder->readFile(u"Resources/profiles/test.xml"_s).contains("value=\"4\""));
    QVERIFY(vorn::quitRequested());
}

VORN_BRIDGE_TEST_MAIN(tst_QueryChannel)
#include "tst_querychannel.moc"
