#include "printingsinks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

namespace vorn {

using namespace Qt::StringLiterals;

namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

void LineWriter::writeLine(const QByteArray &line)
{
    QMutexLocker locker(&m_mutex);
    std::fwrite(line.constData(), 1, size_t(line.size()), m_stream);
    std::fputc('\n', m_stream);
    std::fflush(m_stream);
}

void PrintingCallback::deliverSuccess(const QString &response)
{
    m_out.writeLine(compact({{u"success"_s, response}}));
}

void PrintingCallback::deliverFailure(int errorCode, const QString &errorMessage)
{
    const QJsonObject failure{{u"code"_s, errorCode}, {u"message"_s, errorMessage}};
    m_out.writeLine(compact({{u"failure"_s, failure}}));
}

void PrintingEventSink::deliverEvent(const QString &name, const QVariantList &arguments)
{
    if (!m_enabled)
        return;
    // Written by hand: a JSON object would order "args" before "event".
    QByteArray nameText = QJsonDocument(QJsonArray{name}).toJson(QJsonDocument::Compact);
    nameText = nameText.mid(1, nameText.size() - 2); // the string without the array brackets
    const QByteArray argumentsText =
        QJsonDocument(QJsonArray::fromVariantList(arguments)).toJson(QJsonDocument::Compact);
    m_out.writeLine("{\"event\":" + nameText + ",\"args\":" + argumentsText + '}');
}

} // namespace vorn
