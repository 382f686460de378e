#pragma once

// Runs the real vorn from a temporary application folder, and looks at its windows with real
// X clients (xdotool, xprop, xwininfo).
//
// The folder holds a copy of the executable (the program finds its folder through
// /proc/self/exe, so a link would lead back to build/app), links to libdc.so and view/, the
// starter conf.xml, and private temporary, runtime and home folders: the single-instance
// socket and Chromium's cache live below the private temporary folder, so runs never meet
// each other or the user's files.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <vector>

namespace vorn::testing {

using namespace Qt::StringLiterals;

class AppFolder
{
public:
    static constexpr char16_t ServerName[] = u"Global\\{71CBE35F-A129-4792-AEE6-92AB6864A918}";

    // Builds the folder from the application folder the build produced (VORN_APP_DIR).
    bool create(const QString &builtAppFolder = QStringLiteral(VORN_APP_DIR))
    {
        if (!m_dir.isValid())
            return false;
        const QDir built(builtAppFolder);
        const QString app = path();
        for (const QString &folder : {u"Resources/profiles"_s, u"tmp"_s, u"home"_s, u"run"_s}) {
            if (!QDir().mkpath(app + u'/' + folder))
                return false;
        }
        QFile::setPermissions(app + u"/run"_s,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return QFile::copy(built.filePath(u"vorn"_s), app + u"/vorn"_s) &&
               QFile::link(built.filePath(u"libdc.so"_s), app + u"/libdc.so"_s) &&
               QFile::link(built.filePath(u"view"_s), app + u"/view"_s) &&
               QFile::copy(QStringLiteral(VORN_SOURCE_DIR "/resources/profiles/conf.xml"),
                           app + u"/Resources/profiles/conf.xml"_s);
    }

    QString path() const { return m_dir.path(); }
    QString executable() const { return path() + u"/vorn"_s; }
    QString tempPath() const { return path() + u"/tmp"_s; }
    QString socketPath() const { return tempPath() + u'/' + QString::fromUtf16(ServerName); }
    QString controlPath() const { return path() + u"/control.sock"_s; }
    QString logPath() const { return path() + u"/web.log"_s; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TMPDIR"_s, tempPath());
        environment.insert(u"HOME"_s, path() + u"/home"_s);
        environment.insert(u"XDG_RUNTIME_DIR"_s, path() + u"/run"_s);
        environment.insert(u"VORN_SIM_STATE"_s, path() + u"/sim-state.bin"_s);
        environment.insert(u"VORN_SIM_CONTROL"_s, controlPath());
        return environment;
    }

    // Starts vorn; the process ends with the folder at the latest.
    QProcess *start(const QStringList &arguments = {})
    {
        auto process = std::make_unique<QProcess>();
        process->setProgram(executable());
        process->setArguments(arguments);
        process->setProcessEnvironment(environment());
        process->setWorkingDirectory(path() + u"/home"_s);
        process->setStandardOutputFile(path() + u"/stdout.txt"_s, QIODevice::Append);
        process->setStandardErrorFile(path() + u"/stderr.txt"_s, QIODevice::Append);
        process->start();
        process->waitForStarted(10000);
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    // Asks every process still running to end (SIGTERM), then kills what remains.
    void stopAll()
    {
        for (const auto &process : m_processes) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        m_processes.clear();
    }

    ~AppFolder() { stopAll(); }

    QString log() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // How often text occurs in the log (the log gains lines, it never loses them).
    qsizetype logCount(const QString &text) const { return log().count(text); }

    // A line of the simulated library's control socket, answered with "ok..." or "error...".
    QByteArray control(const QByteArray &command) const
    {
        QLocalSocket socket;
        socket.connectToServer(controlPath());
        if (!socket.waitForConnected(5000))
            return "<no control socket>";
        socket.write(command + '\n');
        QDeadlineTimer deadline(10000);
        while (!socket.canReadLine() && !deadline.hasExpired())
            socket.waitForReadyRead(int(deadline.remainingTime()));
        return socket.readLine().trimmed();
    }

private:
    QTemporaryDir m_dir{QDir::tempPath() + u"/vorn-app-XXXXXX"_s};
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// ---- X clients ----

inline QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(10000))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

// Windows of a process that are mapped, by X window ID in decimal.
inline QStringList visibleWindows(qint64 pid)
{
    return runTool(u"xdotool"_s,
                   {u"search"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(pid)})
        .split(u'\n', Qt::SkipEmptyParts);
}

// "Normal", "Iconic", "Withdrawn" or empty: the ICCCM state the window manager keeps.
inline QString wmState(const QString &window)
{
    const QString text = runTool(u"xprop"_s, {u"-id"_s, window, u"WM_STATE"_s});
    const qsizetype at = text.indexOf(u"window state: "_s);
    return at < 0 ? QString() : text.mid(at + 14).section(u'\n', 0, 0).trimmed();
}

// "IsViewable", "IsUnMapped" or "IsUnviewable".
inline QString mapState(const QString &window)
{
    const QString text = runTool(u"xwininfo"_s, {u"-id"_s, window});
    const qsizetype at = text.indexOf(u"Map State: "_s);
    return at < 0 ? QString() : text.mid(at + 11).section(u'\n', 0, 0).trimmed();
}

inline QString activeWindow()
{
    return runTool(u"xdotool"_s, {u"getactivewindow"_s});
}

} // namespace vorn::testing
