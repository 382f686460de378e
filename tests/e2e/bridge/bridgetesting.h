#pragma once

// Helpers of the bridge tests: a fixture application folder, a process set up as the program
// sets itself up, and synchronous access to a page's script.

#include "bridge/chromiumsetup.h"
#include "bridge/clienthandler.h"
#include "bridge/messageevent.h"
#include "bridge/vornwebpage.h"
#include "bridge/vornwebview.h"
#include "common/apppaths.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

#include <functional>
#include <memory>
#include <vector>

namespace bridgetest {

using namespace Qt::StringLiterals;

// HOME, the temporary folder (Chromium's cache) and the XDG folders of the test process lie
// in a folder of its own, so no test touches the user's files or another test's.
inline void isolateEnvironment()
{
    static QTemporaryDir root(QDir::tempPath() + u"/vorn-bridge-test-XXXXXX"_s);
    const QString base = root.path();
    for (const char *name : {"home", "tmp", "config", "data", "cache", "run"})
        QDir().mkpath(base + u'/' + QString::fromLatin1(name));
    QFile::setPermissions(base + u"/run"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", QFile::encodeName(base + u"/home"_s));
    qputenv("TMPDIR", QFile::encodeName(base + u"/tmp"_s));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(base + u"/config"_s));
    qputenv("XDG_DATA_HOME", QFile::encodeName(base + u"/data"_s));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(base + u"/cache"_s));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base + u"/run"_s));
}

// An application folder with the test pages in view/ and a conf.xml; appFolderPath() points
// at it while it exists.
class AppFolder
{
public:
    explicit AppFolder(const QString &clientAttributes = QString())
    {
        const QString source = QStringLiteral(VORN_FIXTURES_DIR "/bridge/view");
        QDirIterator files(source, QDir::Files);
        QDir().mkpath(path(u"view"_s));
        while (files.hasNext()) {
            const QString file = files.next();
            QFile::copy(file, path(u"view/"_s + QFileInfo(file).fileName()));
        }
        writeConf(clientAttributes);
        vorn::setAppFolderPath(m_dir.path());
    }

    QString path(const QString &relative) const { return m_dir.path() + u'/' + relative; }
    QUrl url(const QString &relative) const { return QUrl::fromLocalFile(path(relative)); }

    void writeFile(const QString &relative, const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(relative));
        file.write(bytes);
    }

    QByteArray readFile(const QString &relative) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // conf.xml with the given attributes of root/client and the product records of the
    // simulated devices.
    void writeConf(const QString &clientAttributes) const
    {
        writeFile(u"Resources/profiles/conf.xml"_s,
                  (u"<?xml version=\"1.0\"?>\n<root>\n\t<client "_s + clientAttributes +
                   u" />\n"
                   u"\t<device deviceId=\"04D9A100\">\n"
                   u"\t\t<info name=\"产品信息\" productType=\"keyboard\" "
                   u"productName=\"Taviro K100\" productCN=\"K100\" description=\"keyboard\" "
                   u"device=\"keyboard\" />\n"
                   u"\t</device>\n</root>\n"_s)
                      .toUtf8());
    }

private:
    QTemporaryDir m_dir;
};

// Waits until predicate holds, running the event loop meanwhile. Chromium's work runs on this
// loop; a wait that sleeps between event passes (QTest::qWait, QTRY_*) slows every page load
// down by more than a second.
inline bool waitUntil(const std::function<bool()> &predicate, int timeout = 20000)
{
    if (predicate())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (predicate())
            loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return predicate();
}

// Runs the event loop for ms milliseconds.
inline void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs script in the page's main frame and returns its value.
inline QVariant evaluateJavaScriptSync(QWebEnginePage *page, const QString &script)
{
    struct Result
    {
        bool done = false;
        QVariant value;
    };
    auto result = std::make_shared<Result>();
    page->runJavaScript(script, [result](const QVariant &value) {
        result->value = value;
        result->done = true;
    });
    if (!waitUntil([&] { return result->done; }))
        qWarning("script did not finish: %s", qPrintable(script));
    return result->value;
}

// The JSON text of a string, for putting a test's text into a script.
inline QString jsString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// Loads url and waits until the page has finished loading and its script is connected to
// the host (the page's bridge is ready).
inline bool loadAndWaitForBridge(QWebEnginePage *page, const QUrl &url)
{
    QSignalSpy ready(static_cast<vorn::VornWebPage *>(page), &vorn::VornWebPage::bridgeReady);
    QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
    page->load(url);
    return waitUntil([&] { return !ready.isEmpty() && !loaded.isEmpty(); }) &&
           loaded.first().first().toBool();
}

// Waits until the page's script has connected to the host (readySpy: a spy on the page's
// bridgeReady, made before the load) and the document is complete.
inline bool waitForBridge(QWebEnginePage *page, QSignalSpy &readySpy)
{
    return waitUntil([&] { return !readySpy.isEmpty(); }) && waitUntil([&] {
               return evaluateJavaScriptSync(page, u"document.readyState"_s).toString() ==
                      u"complete"_s;
           });
}

// Sends a request through the page's cefQuery; returns the query id.
inline int ask(QWebEnginePage *page, const QString &request)
{
    return evaluateJavaScriptSync(page, u"ask("_s + jsString(request) + u")"_s).toInt();
}

// The recorded answer of a query: {ok, text[, code]}, or null before one came.
inline QJsonValue answerOf(QWebEnginePage *page, int id)
{
    const QString text =
        evaluateJavaScriptSync(
            page, u"JSON.stringify(answers[%1] === undefined ? null : answers[%1])"_s.arg(id))
            .toString();
    return QJsonDocument::fromJson((u"["_s + text + u"]"_s).toUtf8()).array().first();
}

inline QJsonValue waitForAnswer(QWebEnginePage *page, int id)
{
    QJsonValue answer;
    const bool answered = waitUntil([&] {
        answer = answerOf(page, id);
        return !answer.isNull();
    });
    if (!answered)
        qWarning("query %d got no answer", id);
    return answer;
}

// The events the page recorded under name: [{name, args, isArray, types}].
inline QJsonArray eventsOf(QWebEnginePage *page, const QString &name)
{
    const QString text =
        evaluateJavaScriptSync(page, u"JSON.stringify(eventsOf("_s + jsString(name) + u"))"_s)
            .toString();
    return QJsonDocument::fromJson(text.toUtf8()).array();
}

// The place of the start page's link (it shows the pointing-hand cursor).
inline QRect linkGeometry(QWebEnginePage *page)
{
    const QVariantList box =
        evaluateJavaScriptSync(page, u"(function () { var r = document.getElementById('link')"
                                     ".getBoundingClientRect(); return [r.left, r.top, r.width, "
                                     "r.height]; })()"_s)
            .toList();
    if (box.size() != 4)
        return QRect();
    return QRect(box[0].toInt(), box[1].toInt(), box[2].toInt(), box[3].toInt());
}

// A listener that keeps the requests handed to it, so that the test decides when (and
// whether) they are answered.
class HoldingListener : public vorn::ClientHandler::Listener
{
public:
    void DeliverMessageEvent(vorn::MessageEvent *event) override { held.emplace_back(event); }
    std::vector<std::unique_ptr<vorn::MessageEvent>> held;
};

} // namespace bridgetest

// QVERIFY and QCOMPARE of a condition that becomes true while the event loop runs.
#define VERIFY_SOON(expression)                                                                    \
    QVERIFY2(bridgetest::waitUntil([&] { return bool(expression); }), #expression)
#define COMPARE_SOON(actual, expected)                                                             \
    do {                                                                                           \
        (void)bridgetest::waitUntil([&] { return (actual) == (expected); });                       \
        QCOMPARE(actual, expected);                                                                \
    } while (false)

// main() of a bridge test: the process is set up as the program's main() sets it up, with
// the client handler created from handlerArguments before the application object and
// destroyed after it.
#define VORN_BRIDGE_TEST_MAIN(TestObject, ...)                                                     \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        bridgetest::isolateEnvironment();                                                          \
        vorn::configureChromiumEnvironment();                                                      \
        auto handler = std::make_unique<vorn::ClientHandler>(                                      \
            QStringList{QStringLiteral("vorn"), __VA_ARGS__});                                     \
        vorn::setSharedClientHandler(handler.get());                                               \
        int status = 0;                                                                            \
        {                                                                                          \
            QApplication app(argc, argv);                                                          \
            app.setAttribute(Qt::AA_Use96Dpi, true);                                               \
            TestObject test;                                                                       \
            status = QTest::qExec(&test, argc, argv);                                              \
        }                                                                                          \
        vorn::setSharedClientHandler(nullptr);                                                     \
        handler.reset();                                                                           \
        return status;                                                                             \
    }
