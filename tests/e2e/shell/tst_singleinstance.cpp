// The application shell end to end: the real vorn under Xvfb with openbox, started from a
// temporary application folder. One instance runs; later starts ask it to show its window and
// end; the channel between them is driven directly with a local socket.

#include "appfolder.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTest>
#include <QWidget>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace vorn::testing;

namespace {

const QString WindowShown = u"mainwindow show!"_s;
constexpr int StartTimeoutMs = 30000;

} // namespace

class tst_SingleInstance : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppFolder> m_app;

    // Starts the running instance and waits until it has created its main window.
    QProcess *startRunningInstance(const QStringList &arguments)
    {
        const qsizetype before = m_app->logCount(WindowShown);
        QProcess *process = m_app->start(arguments);
        if (!QTest::qWaitFor([&] { return m_app->logCount(WindowShown) > before; }, StartTimeoutMs))
            return nullptr;
        return process;
    }

    QString waitForVisibleWindow(qint64 pid)
    {
        QStringList windows;
        const bool found = QTest::qWaitFor(
            [&] {
                windows = visibleWindows(pid);
                return !windows.isEmpty();
            },
            StartTimeoutMs);
        return found ? windows.first() : QString();
    }

    QByteArray answer(qint64 pid, int count)
    {
        return QByteArray("RES:" + QByteArray::number(pid) + ';').repeated(count);
    }

private Q_SLOTS:
    void init()
    {
        m_app = std::make_unique<AppFolder>();
        QVERIFY(m_app->create());
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            qInfo().noquote() << "web.log:\n" << m_app->log();
        m_app.reset();
    }

    void laterStartShowsTheRunningWindow_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("hidden in the tray (-autostart)") << u"hidden"_s;
        QTest::newRow("minimised") << u"minimised"_s;
        QTest::newRow("behind another window") << u"behind"_s;
    }

    // The running instance brings its window back to the front; the later one ends with 0
    // and never creates a window of its own.
    void laterStartShowsTheRunningWindow()
    {
        QFETCH(QString, situation);
        QProcess *running = startRunningInstance(
            situation == u"hidden" ? QStringList{u"-autostart"_s} : QStringList());
        QVERIFY(running);
        QWidget other;
        if (situation == u"hidden") {
            QTest::qWait(500);
            QVERIFY(visibleWindows(running->processId()).isEmpty());
        } else {
            const QString window = waitForVisibleWindow(running->processId());
            QVERIFY(!window.isEmpty());
            if (situation == u"minimised") {
                runTool(u"xdotool"_s, {u"windowminimize"_s, window});
                QTRY_COMPARE_WITH_TIMEOUT(wmState(window), u"Iconic"_s, 10000);
            } else {
                other.setWindowTitle(u"another program"_s);
                other.setGeometry(0, 0, 1280, 1024);
                other.show();
                other.activateWindow();
                const QString otherId = QString::number(other.winId());
                QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), otherId, 10000);
            }
        }

        QProcess *later = m_app->start();
        QVERIFY(later->waitForFinished(StartTimeoutMs));
        QCOMPARE(later->exitStatus(), QProcess::NormalExit);
        QCOMPARE(later->exitCode(), 0);
        QCOMPARE(m_app->logCount(WindowShown), 1);

        const QString window = waitForVisibleWindow(running->processId());
        QVERIFY2(!window.isEmpty(), "the running instance did not show its window");
        QTRY_COMPARE_WITH_TIMEOUT(wmState(window), u"Normal"_s, 10000);
        QCOMPARE(mapState(window), u"IsViewable"_s);
        QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), window, 10000);
        QCOMPARE(running->state(), QProcess::Running);
        // Chromium's cache is below the user's temporary folder, never shared between users.
        QVERIFY(QFileInfo(m_app->tempPath() + u"/Cache"_s).isDir());
    }

    void commandsAreAnsweredOneByOne_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<int>("answers");
        QTest::addColumn<bool>("shows");
        QTest::newRow("two show commands in one write")
            << QByteArrayList{"CMD:show;CMD:show;"} << 2 << true;
        QTest::newRow("one show command split across writes")
            << QByteArrayList{"CMD:sh", "ow;"} << 1 << true;
        QTest::newRow("unknown command") << QByteArrayList{"CMD:x;"} << 1 << false;
        QTest::newRow("text that is no command is skipped")
            << QByteArrayList{"hello;show;CMD:x;"} << 1 << false;
    }

    // Every "CMD:" command is answered with the running instance's process ID once it is
    // complete; only "show" shows the window.
    void commandsAreAnsweredOneByOne()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(int, answers);
        QFETCH(bool, shows);
        QProcess *running = startRunningInstance({u"-autostart"_s});
        QVERIFY(running);

        QLocalSocket channel;
        channel.connectToServer(m_app->socketPath());
        QVERIFY2(channel.waitForConnected(5000), qPrintable(channel.errorString()));
        for (qsizetype i = 0; i < chunks.size(); ++i) {
            channel.write(chunks[i]);
            QVERIFY(channel.waitForBytesWritten(5000));
            if (i + 1 < chunks.size()) {
                QVERIFY2(!channel.waitForReadyRead(500), "answered an incomplete command");
            }
        }
        const QByteArray expected = answer(running->processId(), answers);
        QByteArray received;
        QDeadlineTimer deadline(10000);
        while (received.size() < expected.size() && !deadline.hasExpired()) {
            channel.waitForReadyRead(100);
            received += channel.readAll();
        }
        channel.waitForReadyRead(300);
        received += channel.readAll();
        QCOMPARE(received, expected);

        if (shows) {
            QVERIFY(!waitForVisibleWindow(running->processId()).isEmpty());
        } else {
            QTest::qWait(500);
            QVERIFY(visibleWindows(running->processId()).isEmpty());
        }
    }

    // A running instance that never answers does not keep a later start waiting for ever.
    void silentRunningInstanceIsNotWaitedForEver()
    {
        QLocalServer silent;
        QVERIFY(silent.listen(m_app->socketPath()));
        QLocalSocket *peer = nullptr;
        QByteArray received;
        connect(&silent, &QLocalServer::newConnection, this, [&] {
            peer = silent.nextPendingConnection();
            connect(peer, &QLocalSocket::readyRead, this, [&] { received += peer->readAll(); });
        });

        QProcess *later = m_app->start();
        QVERIFY(QTest::qWaitFor([&] { return later->state() == QProcess::NotRunning; },
                                StartTimeoutMs));
        QCOMPARE(later->exitStatus(), QProcess::NormalExit);
        QCOMPARE(later->exitCode(), 0);
        QCOMPARE(received, QByteArray("CMD:show;"));
        QCOMPARE(m_app->logCount(WindowShown), 0);
    }

    // An instance killed outright leaves its socket file behind; the next start takes over.
    // An instance asked to end (SIGTERM) removes it.
    void socketOfADeadInstanceIsTakenOver()
    {
        QProcess *first = startRunningInstance({u"-autostart"_s});
        QVERIFY(first);
        first->kill();
        QVERIFY(first->waitForFinished(10000));
        QVERIFY(QFile::exists(m_app->socketPath()));

        QProcess *second = startRunningInstance({});
        QVERIFY2(second, "a start after a killed instance did not create its window");
        QVERIFY(!waitForVisibleWindow(second->processId()).isEmpty());

        QProcess *third = m_app->start({u"-autostart"_s});
        QVERIFY(third->waitForFinished(StartTimeoutMs));
        QCOMPARE(third->exitCode(), 0);
        QCOMPARE(m_app->logCount(WindowShown), 2);

        ::kill(pid_t(second->processId()), SIGTERM);
        QVERIFY(second->waitForFinished(StartTimeoutMs));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(!QFile::exists(m_app->socketPath()));
    }

    void onlyTheExactAutostartArgumentHides_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("after another argument") << QStringList{u"x"_s, u"-autostart"_s} << true;
        QTest::newRow("other letter case") << QStringList{u"-Autostart"_s} << false;
        QTest::newRow("two dashes") << QStringList{u"--autostart"_s} << false;
        QTest::newRow("with a value") << QStringList{u"-autostart=1"_s} << false;
    }

    void onlyTheExactAutostartArgumentHides()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, hidden);
        QProcess *running = startRunningInstance(arguments);
        QVERIFY(running);
        if (hidden) {
            QTest::qWait(1000);
            QVERIFY(visibleWindows(running->processId()).isEmpty());
        } else {
            QVERIFY(!waitForVisibleWindow(running->processId()).isEmpty());
        }
    }

    // The device table follows the devices: an unplugged mouse leaves it, a plugged one
    // returns.
    void deviceTableFollowsDeviceChanges()
    {
        QVERIFY(startRunningInstance({u"-autostart"_s}));
        const QString both = u"device table: 04D9A100, 04D9A200"_s;
        const QString keyboardOnly = u"device table: 04D9A100\n"_s;
        QCOMPARE(m_app->logCount(both), 1);

        QCOMPARE(m_app->control("unplug 1"), QByteArray("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->logCount(keyboardOnly), 1, 10000);
        QCOMPARE(m_app->control("plug 1"), QByteArray("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(m_app->logCount(both), 2, 10000);
    }
};

QTEST_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
