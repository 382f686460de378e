#include "commands/exchangefile.h"

#include "common/atomicfile.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace vorn::exchange {

namespace {

bool isBase64Char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

} // namespace

QByteArray encode(const QByteArray &xmlText)
{
    QByteArray file;
    QDataStream stream(&file, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_1);
    stream.setByteOrder(QDataStream::BigEndian);
    stream << quint32(Magic) << xmlText.toBase64();
    return file;
}

std::optional<qint64> payloadSize(QByteArrayView header, qint64 restSize)
{
    if (header.size() < HeaderSize)
        return std::nullopt;
    if (qFromBigEndian<quint32>(header.data()) != Magic)
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(header.data() + 4);
    const qint64 size = length == NullBlockLength ? 0 : qint64(length);
    if (size != restSize)
        return std::nullopt;
    return size;
}

std::optional<QByteArray> decodePayload(QByteArrayView payload)
{
    if (payload.size() % 4 != 0)
        return std::nullopt;
    qsizetype padding = 0;
    if (payload.endsWith('='))
        padding = payload.endsWith("==") ? 2 : 1;
    const qsizetype end = payload.size() - padding;
    for (qsizetype i = 0; i < end; ++i) {
        if (!isBase64Char(payload[i]))
            return std::nullopt;
    }
    const auto decoded = QByteArray::fromBase64Encoding(payload.toByteArray(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

std::optional<QByteArray> decode(QByteArrayView file)
{
    const auto size = payloadSize(file.first(qMin(file.size(), HeaderSize)),
                                  file.size() - qMin(file.size(), HeaderSize));
    if (!size)
        return std::nullopt;
    return decodePayload(file.sliced(HeaderSize));
}

std::optional<QByteArray> readFile(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = file.read(HeaderSize);
    const auto size = payloadSize(header, file.size() - header.size());
    if (!size)
        return std::nullopt;
    const QByteArray payload = file.read(*size);
    if (payload.size() != *size || !file.read(1).isEmpty())
        return std::nullopt;
    return decodePayload(payload);
}

bool writeFile(const QString &path, const QByteArray &xmlText, QString *errorText)
{
    return writeFileAtomically(path, encode(xmlText), errorText);
}

} // namespace vorn::exchange
