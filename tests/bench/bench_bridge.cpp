// The bridge against a bare QWebChannel, measured in the same run on the same display.
//
// Round trips page -> host -> page: cefQuery with a trivial command ({"funcname":
// "getDevicesList"} without a device library answers "[]") through the whole path (the host
// object, parseRequest, the MessageEvent to the view in front, the main window's dispatcher,
// the answer to the asking page), against a page calling a bare echo object on a channel of
// its own: one at a time, and 10,000 in flight. Goal: at least 0.9 of the bare channel's rate.
//
// Events host -> page: "onDeviceData" sent from a thread of its own (as the device library's
// callbacks are) at a fixed rate to a callback registered with setMessageCallback: whether
// every event arrives in order, and the latency (send to callback) percentiles, against the
// same schedule of a bare channel signal. First 1,000 per second for 10 s, then rising rates
// for 2 s each: the highest rate whose events all arrive, in order, within 1 s after the last
// one was sent ("complete"), and the highest whose 99th percentile latency stays within 10 ms
// ("keeps up").
//
// Figures are printed, never asserted. VORN_BENCH_QUICK=1 shortens every part.

#include "benchharness.h"
#include "bridgetesting.h"

#include "bridge/pageaddress.h"
#include "bridge/vorn.h"

#include <QFile>
#include <QWebChannel>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <chrono>
#include <cstdio>
#include <thread>

using namespace bridgetest;
using namespace Qt::StringLiterals;

namespace {

const bool Quick = qEnvironmentVariableIntValue("VORN_BENCH_QUICK") == 1;

// The bare channel: an echo method and a signal, nothing else.
class EchoObject : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE QString echo(const QString &text) { return text; }

Q_SIGNALS:
    void eventSent(const QString &name, const QVariantList &arguments);
};

// The same measuring functions in both pages. send(request, done) is the page's way of
// asking; the bare page answers through the echo object.
const QString PageHarness = uR"JS(
window.bench = {
  sequential: function (n, send) {
    bench.done = null;
    var i = 0, t0 = performance.now();
    function step() {
      if (i++ === n) { bench.done = performance.now() - t0; return; }
      send(step);
    }
    step();
  },
  inFlight: function (n, send) {
    bench.done = null;
    var answered = 0, t0 = performance.now();
    for (var i = 0; i < n; ++i)
      send(function () { if (++answered === n) bench.done = performance.now() - t0; });
  },
  arrivals: [],
  record: function (args) {
    bench.arrivals.push([parseInt(args[0], 16), performance.timeOrigin + performance.now()]);
  },
};
)JS"_s;

const QString RequestText = uR"({"funcname":"getDevicesList"})"_s;

QString bridgeSend()
{
    return u"function (done) { cefQuery({request: %1, onSuccess: function () { done(); }}); }"_s
        .arg(jsString(RequestText));
}

QString bareSend()
{
    return u"function (done) { echoObject.echo(%1, function () { done(); }); }"_s.arg(
        jsString(RequestText));
}

// Runs one measuring function in the page and waits for it.
void runInPage(QWebEnginePage *page, const QString &call)
{
    evaluateJavaScriptSync(page, call);
    if (!waitUntil([&] { return evaluateJavaScriptSync(page, u"bench.done !== null"_s).toBool(); },
                   600000))
        std::fprintf(stderr, "page did not finish: %s\n", qPrintable(call));
}

struct EventRun
{
    int sent = 0;
    int arrived = 0;
    bool inOrder = false;
    double lastAfterLastSent = 0;     // ms from the last send to the last arrival
    double p50 = 0, p99 = 0, max = 0; // ms
};

// Sends count events at rate per second from a thread of its own through send(sequence) and
// collects what the page recorded.
EventRun runEvents(QWebEnginePage *page, int rate, int count, const std::function<void(int)> &send)
{
    evaluateJavaScriptSync(page, u"bench.arrivals = []"_s);
    std::vector<double> sentAt(size_t(count), 0);
    std::atomic<bool> finished{false};
    std::thread sender([&] {
        using namespace std::chrono;
        const auto start = steady_clock::now();
        const auto period = duration<double>(1.0 / rate);
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_until(start +
                                          duration_cast<steady_clock::duration>(period * i));
            sentAt[size_t(i)] =
                duration<double, std::milli>(system_clock::now().time_since_epoch()).count();
            send(i);
        }
        finished = true;
    });
    waitUntil([&] { return finished.load(); }, 600000);
    sender.join();
    waitUntil(
        [&] { return evaluateJavaScriptSync(page, u"bench.arrivals.length"_s).toInt() >= count; },
        1000);

    const QVariantList arrivals = evaluateJavaScriptSync(page, u"bench.arrivals"_s).toList();
    EventRun run;
    run.sent = count;
    run.arrived = int(arrivals.size());
    run.inOrder = true;
    std::vector<double> latencies;
    for (qsizetype i = 0; i < arrivals.size(); ++i) {
        const QVariantList entry = arrivals[i].toList();
        const int sequence = entry.value(0).toInt();
        if (sequence != i) {
            run.inOrder = false;
            continue;
        }
        latencies.push_back(entry.value(1).toDouble() - sentAt[size_t(sequence)]);
    }
    if (!arrivals.isEmpty())
        run.lastAfterLastSent =
            arrivals.last().toList().value(1).toDouble() - sentAt[size_t(count - 1)];
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
        const auto at = [&](double share) {
            return latencies[std::min(latencies.size() - 1, size_t(share * latencies.size()))];
        };
        run.p50 = at(0.50);
        run.p99 = at(0.99);
        run.max = latencies.back();
    }
    return run;
}

bool complete(const EventRun &run)
{
    return run.arrived == run.sent && run.inOrder && run.lastAfterLastSent <= 1000.0;
}

bool keepsUp(const EventRun &run)
{
    return complete(run) && run.p99 <= 10.0;
}

void printEvents(const char *label, int rate, const EventRun &bridge, const EventRun &bare)
{
    std::printf("%-28s %6d/s  bridge: %6d/%6d %s p50 %7.2f ms p99 %7.2f ms max %7.2f ms   "
                "bare channel: %6d/%6d %s p99 %7.2f ms\n",
                label, rate, bridge.arrived, bridge.sent,
                bridge.inOrder ? "in order" : "OUT OF ORDER", bridge.p50, bridge.p99, bridge.max,
                bare.arrived, bare.sent, bare.inOrder ? "in order" : "OUT OF ORDER", bare.p99);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    isolateEnvironment();
    vorn::configureChromiumEnvironment();
    auto handler = std::make_unique<vorn::ClientHandler>(QStringList{u"vorn"_s});
    vorn::setSharedClientHandler(handler.get());
    {
        QApplication app(argc, argv);
        AppFolder folder;

        // The program's side: the main window with its page and dispatcher.
        auto window = std::make_unique<vorn::vorn>(vorn::CommandContext{});
        QWebEnginePage *page = window->webView()->page();
        QSignalSpy ready(window->webView()->webPage(), &vorn::VornWebPage::bridgeReady);
        window->show();
        if (!waitForBridge(page, ready))
            return 1;

        // The baseline: the same page in a plain view with a bare channel of its own.
        QWebEngineProfile bareProfile;
        QFile channelScript(u":/qtwebchannel/qwebchannel.js"_s);
        channelScript.open(QIODevice::ReadOnly);
        QWebEngineScript script;
        script.setInjectionPoint(QWebEngineScript::DocumentCreation);
        script.setWorldId(QWebEngineScript::MainWorld);
        script.setSourceCode(QString::fromUtf8(channelScript.readAll()) +
                             u"\nnew QWebChannel(qt.webChannelTransport, function (c) {"
                             "  window.echoObject = c.objects.echo;"
                             "  c.objects.echo.eventSent.connect(function (name, args) {"
                             "    if (name === 'onDeviceData' && window.bench) bench.record(args);"
                             "  });"
                             "});"_s);
        bareProfile.scripts()->insert(script);
        QWebEngineView bareView;
        auto *barePage = new QWebEnginePage(&bareProfile, &bareView);
        bareView.setPage(barePage);
        QWebChannel bareChannel;
        EchoObject echo;
        bareChannel.registerObject(u"echo"_s, &echo);
        barePage->setWebChannel(&bareChannel);
        bareView.resize(800, 600);
        bareView.show();
        QSignalSpy bareLoaded(barePage, &QWebEnginePage::loadFinished);
        barePage->load(vorn::startPageUrl());
        if (!waitUntil([&] {
                return !bareLoaded.isEmpty() &&
                       evaluateJavaScriptSync(barePage, u"typeof echoObject"_s).toString() ==
                           u"object"_s;
            }))
            return 1;

        evaluateJavaScriptSync(page, PageHarness);
        evaluateJavaScriptSync(barePage, PageHarness);
        evaluateJavaScriptSync(page, u"setMessageCallback('onDeviceData', bench.record)"_s);

        std::printf("Bridge round trips and events against a bare QWebChannel (rate = bare "
                    "channel's time / bridge's time)\n");
        const long long sequential = Quick ? 100 : 300;
        const auto oneAtATime = vorn::bench::compare(
            [&](long long n) {
                runInPage(page, u"bench.sequential(%1, %2)"_s.arg(n).arg(bridgeSend()));
            },
            [&](long long n) {
                runInPage(barePage, u"bench.sequential(%1, %2)"_s.arg(n).arg(bareSend()));
            },
            sequential, Quick ? 5 : 9);
        vorn::bench::report("round trip, one at a time", oneAtATime, 0.9, false);

        const long long inFlight = 10000;
        const auto manyInFlight = vorn::bench::compare(
            [&](long long) {
                runInPage(page, u"bench.inFlight(%1, %2)"_s.arg(inFlight).arg(bridgeSend()));
            },
            [&](long long) {
                runInPage(barePage, u"bench.inFlight(%1, %2)"_s.arg(inFlight).arg(bareSend()));
            },
            1, Quick ? 3 : 7);
        vorn::bench::Comparison perQuery = manyInFlight;
        perQuery.measured.nanosecondsPerOperation /= double(inFlight);
        perQuery.baseline.nanosecondsPerOperation /= double(inFlight);
        vorn::bench::report("round trip, 10,000 in flight (per query)", perQuery, 0.9, false);

        const auto hex = [](int sequence) {
            return u"%1"_s.arg(sequence, 16, 16, QLatin1Char('0'));
        };
        const auto sendBridge = [&](int sequence) { handler->SendDeviceData(hex(sequence)); };
        const auto sendBare = [&](int sequence) {
            QMetaObject::invokeMethod(
                &echo,
                [&echo, text = hex(sequence)] {
                    Q_EMIT echo.eventSent(u"onDeviceData"_s, QVariantList{text});
                },
                Qt::QueuedConnection);
        };

        const int seconds = Quick ? 2 : 10;
        const EventRun steadyBridge = runEvents(page, 1000, 1000 * seconds, sendBridge);
        const EventRun steadyBare = runEvents(barePage, 1000, 1000 * seconds, sendBare);
        printEvents(Quick ? "onDeviceData for 2 s" : "onDeviceData for 10 s", 1000, steadyBridge,
                    steadyBare);

        int highestComplete = complete(steadyBridge) ? 1000 : 0;
        int highestKeepingUp = keepsUp(steadyBridge) ? 1000 : 0;
        bool stillKeepingUp = highestKeepingUp > 0;
        for (int rate : {2000, 5000, 10000, 20000, 50000, 100000, 200000}) {
            const int count = rate * (Quick ? 1 : 2);
            const EventRun bridge = runEvents(page, rate, count, sendBridge);
            const EventRun bare = runEvents(barePage, rate, count, sendBare);
            printEvents("onDeviceData rising rate", rate, bridge, bare);
            stillKeepingUp = stillKeepingUp && keepsUp(bridge);
            if (stillKeepingUp)
                highestKeepingUp = rate;
            if (!complete(bridge))
                break;
            highestComplete = rate;
        }
        std::printf("highest onDeviceData rate complete (all in order, within 1 s): %d/s; "
                    "keeping up (p99 <= 10 ms): %d/s\n",
                    highestComplete, highestKeepingUp);
        std::fflush(stdout);

        window.reset();
    }
    vorn::setSharedClientHandler(nullptr);
    handler.reset();
    return 0;
}

#include "bench_bridge.moc"
