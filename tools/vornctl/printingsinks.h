#pragma once

#include "commands/queryreply.h"
#include "common/eventsink.h"

#include <QMutex>

#include <cstdio>

namespace vorn {

// Writes whole lines to a stream, one writer at a time, flushing after each line so that a
// process reading the other end sees every line as soon as it is complete.
class LineWriter
{
public:
    explicit LineWriter(std::FILE *stream)
        : m_stream(stream)
    {}
    void writeLine(const QByteArray &line);

private:
    QMutex m_mutex;
    std::FILE *m_stream;
};

// Prints the answer of one request: {"success":TEXT} or {"failure":{"code":N,"message":TEXT}}.
class PrintingCallback final : public QueryCallback
{
public:
    explicit PrintingCallback(LineWriter &out)
        : m_out(out)
    {}

protected:
    void deliverSuccess(const QString &response) override;
    void deliverFailure(int errorCode, const QString &errorMessage) override;

private:
    LineWriter &m_out;
};

// Prints each event as {"event":NAME,"args":[...]} when enabled; drops it otherwise.
class PrintingEventSink final : public EventSink
{
public:
    PrintingEventSink(LineWriter &out, bool enabled)
        : m_out(out)
        , m_enabled(enabled)
    {}

protected:
    void deliverEvent(const QString &name, const QVariantList &arguments) override;

private:
    LineWriter &m_out;
    bool m_enabled;
};

} // namespace vorn
