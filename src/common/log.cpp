#include "common/log.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <cstdio>

namespace vorn::log {
namespace {

struct LogState
{
    QMutex mutex;
    QFile file;
    QtMessageHandler previousHandler = nullptr;
    bool installed = false;
};

LogState &state()
{
    static LogState s;
    return s;
}

std::atomic<int> s_minimumLevel{Info};

int levelOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return Verbose;
    case QtInfoMsg:
        return Info;
    case QtWarningMsg:
        return Warning;
    case QtCriticalMsg:
        return Error;
    case QtFatalMsg:
        return Fatal;
    }
    return Info;
}

const char *levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "VERBOSE";
    case QtInfoMsg:
        return "INFO";
    case QtWarningMsg:
        return "WARNING";
    case QtCriticalMsg:
        return "ERROR";
    case QtFatalMsg:
        return "FATAL";
    }
    return "INFO";
}

QString sourceName(const char *file)
{
    if (!file)
        return QStringLiteral("unknown");
    const QString path = QString::fromUtf8(file);
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    LogState &s = state();
    if (levelOf(type) >= s_minimumLevel.load(std::memory_order_relaxed)) {
        const QByteArray line = formatLine(type, context, message).toUtf8() + '\n';
        QMutexLocker locker(&s.mutex);
        if (s.file.isOpen()) {
            s.file.write(line);
            s.file.flush();
        }
    }
    // Warnings and worse also reach the terminal, where a developer starts the program.
    if (type != QtDebugMsg && type != QtInfoMsg) {
        const QByteArray text = message.toLocal8Bit();
        std::fprintf(stderr, "%s\n", text.constData());
    }
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

QString formatLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("MMdd/HHmmss.zzz"));
    return u'[' + stamp + u':' + QLatin1StringView(levelName(type)) + u':' +
           sourceName(context.file) + u'(' + QString::number(context.line) + u")] " + message;
}

void install(const QString &logFilePath, int minimumLevel)
{
    LogState &s = state();
    s_minimumLevel = minimumLevel;
    {
        QMutexLocker locker(&s.mutex);
        s.file.close();
        s.file.setFileName(logFilePath);
        if (!s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            std::fprintf(stderr, "cannot open log file %s\n", qPrintable(logFilePath));
    }
    if (!s.installed) {
        s.previousHandler = qInstallMessageHandler(handleMessage);
        s.installed = true;
    }
}

void uninstall()
{
    LogState &s = state();
    if (!s.installed)
        return;
    qInstallMessageHandler(s.previousHandler);
    s.installed = false;
    QMutexLocker locker(&s.mutex);
    s.file.close();
}

int minimumLevel()
{
    return s_minimumLevel;
}

bool admitsInfo()
{
    return s_minimumLevel <= Info;
}

} // namespace vorn::log
