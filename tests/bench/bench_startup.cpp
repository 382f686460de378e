// Start-up and memory of the real vorn against a minimal Qt WebEngine window showing the same
// page (minimal_webview), measured in the same run on the same display.
//
// Start-up: from starting the process to the first screen image of its window that shows the
// page (its title bar colour covers a good part of the window), polled with window grabs.
// Memory: after the page has painted and settled, the sum of the peak resident sizes (VmHWM)
// of the process and all its descendants (Chromium's zygote, renderer and utility processes),
// and the sum of their proportional set sizes (Pss) at that moment.
//
// The rounds alternate between the program and the baseline, each in a fresh application
// folder with a fresh temporary folder; medians are reported. Figures are printed, never
// asserted. VORN_BENCH_QUICK=1 runs two rounds instead of five, VORN_BENCH_ROUNDS=N runs N.

#include "appfolder.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace vorn::testing;

namespace {

// The page's title bar and status bar colour (--bg-sunken in view/css/vorn.css).
constexpr QRgb PageMarker = 0xff1b1d21;
// The page counts as painted when this share of the window has the marker colour (the title
// bar alone is about 5 %).
constexpr double PaintedShare = 0.03;
constexpr int SettleMs = 2500;
constexpr int TimeoutMs = 60000;

struct Run
{
    double firstPaintMs = -1;
    double windowMs = -1;
    double peakKiB = 0;
    double pssKiB = 0;
};

std::optional<qint64> parentOf(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = stat.readAll();
    // pid (comm) state ppid ...: the name may hold spaces and parentheses.
    const qsizetype close = text.lastIndexOf(')');
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (close < 0 || fields.size() < 2)
        return std::nullopt;
    return fields[1].toLongLong();
}

QList<qint64> processTree(qint64 root)
{
    QMultiHash<qint64, qint64> children;
    QDirIterator entries(u"/proc"_s, QDir::Dirs | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        bool isPid = false;
        const qint64 pid = entries.next().section(u'/', -1).toLongLong(&isPid);
        if (!isPid)
            continue;
        if (const auto parent = parentOf(pid))
            children.insert(*parent, pid);
    }
    QList<qint64> tree{root};
    for (qsizetype i = 0; i < tree.size(); ++i)
        tree.append(children.values(tree[i]));
    return tree;
}

// A "Name:   1234 kB" line of a /proc file, in KiB.
double kibField(const QString &path, const QByteArray &name)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').value(0).toDouble();
    }
    return 0;
}

bool pagePainted(const QImage &image)
{
    if (image.isNull())
        return false;
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    qint64 marked = 0;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
        marked += std::count(line, line + pixels.width(), PageMarker);
    }
    return marked >= qint64(PaintedShare * pixels.width() * pixels.height());
}

// Starts one program and measures it; the caller's folder ends it.
Run measure(AppFolder &folder, const QString &program, const QStringList &arguments)
{
    Run run;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    QProcessEnvironment environment = folder.environment();
    if (::geteuid() == 0) // the baseline cannot run Chromium's sandbox as root either
        environment.insert(u"QTWEBENGINE_DISABLE_SANDBOX"_s, u"1"_s);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder.path());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());

    QElapsedTimer clock;
    clock.start();
    process.start();
    if (!process.waitForStarted(10000))
        return run;

    QScreen *screen = QGuiApplication::primaryScreen();
    QString window;
    while (clock.elapsed() < TimeoutMs && process.state() == QProcess::Running) {
        if (window.isEmpty()) {
            window = visibleWindows(process.processId()).value(0);
            if (!window.isEmpty())
                run.windowMs = double(clock.nsecsElapsed()) / 1e6;
        }
        if (!window.isEmpty() &&
            pagePainted(screen->grabWindow(WId(window.toULongLong())).toImage())) {
            run.firstPaintMs = double(clock.nsecsElapsed()) / 1e6;
            break;
        }
        QThread::msleep(5);
    }

    if (run.firstPaintMs >= 0) {
        QThread::msleep(SettleMs);
        for (const qint64 pid : processTree(process.processId())) {
            run.peakKiB += kibField(u"/proc/%1/status"_s.arg(pid), "VmHWM:");
            run.pssKiB += kibField(u"/proc/%1/smaps_rollup"_s.arg(pid), "Pss:");
        }
    }
    process.terminate();
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return run;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

void report(const char *name, const char *unit, const QList<double> &measured,
            const QList<double> &baseline, double goal)
{
    const double m = median(measured);
    const double b = median(baseline);
    const double ratio = b > 0 ? m / b : 0;
    std::printf("%-34s vorn %9.1f %s  baseline %9.1f %s  ratio %.2f (goal <= %.2f) %s\n", name, m,
                unit, b, unit, ratio, goal, ratio > 0 && ratio <= goal ? "met" : "NOT MET");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int rounds = qEnvironmentVariableIntValue("VORN_BENCH_QUICK") == 1 ? 2 : 5;
    if (const int asked = qEnvironmentVariableIntValue("VORN_BENCH_ROUNDS"); asked > 0)
        rounds = asked;
    const QString baselineProgram = QCoreApplication::applicationDirPath() + u"/minimal_webview"_s;

    QList<double> paint[2], shown[2], peak[2], pss[2];
    for (int round = 0; round < rounds; ++round) {
        for (int side = 0; side < 2; ++side) {
            // Alternate which side goes first, so neither always meets a warmer machine.
            const bool program = (side == 0) == (round % 2 == 0);
            AppFolder folder;
            if (!folder.create()) {
                std::fprintf(stderr, "cannot create an application folder\n");
                return 1;
            }
            // The page at the size vorn opens with (clientSize of the starter conf.xml).
            const Run run =
                program ? measure(folder, folder.executable(), {})
                        : measure(folder, baselineProgram,
                                  {folder.path() + u"/view/index.html"_s, u"1000"_s, u"700"_s});
            if (run.firstPaintMs < 0) {
                std::fprintf(stderr, "%s did not paint its page\n",
                             program ? "vorn" : "minimal_webview");
                return 1;
            }
            const int i = program ? 0 : 1;
            paint[i].append(run.firstPaintMs);
            shown[i].append(run.windowMs);
            peak[i].append(run.peakKiB / 1024);
            pss[i].append(run.pssKiB / 1024);
        }
    }
    std::printf("start-up and memory, median of %d rounds each\n", rounds);
    report("start-up to first page paint", "ms", paint[0], paint[1], 1.2);
    report("start-up to window shown", "ms", shown[0], shown[1], 1.2);
    report("peak memory, all processes (VmHWM)", "MiB", peak[0], peak[1], 1.2);
    report("settled memory, all processes (Pss)", "MiB", pss[0], pss[1], 1.2);
    return 0;
}
