#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Exchange files (.pfd): one element of a profile document, with its subtree, saved where the
// user chooses and loaded into a profile document later.
//
//   offset 0  4 bytes  magic 0x0A0B0C0D, big-endian
//   offset 4  4 bytes  length n of the payload, big-endian; 0xFFFFFFFF stands for a null block
//   offset 8  n bytes  Base64 (standard alphabet, "=" padded, no line breaks) of the UTF-8 XML
//                      document: the declaration, a line feed, the element
//
// Nothing follows the payload. Offsets 4 onwards are a byte array as QDataStream (Qt 5.1
// format) writes it. Reading accepts exactly this layout and nothing else.
namespace vorn::exchange {

inline constexpr quint32 Magic = 0x0A0B0C0D;
inline constexpr quint32 NullBlockLength = 0xFFFFFFFF;
inline constexpr qsizetype HeaderSize = 8;

// The whole file for an XML document text.
QByteArray encode(const QByteArray &xmlText);

// The payload size announced by the first HeaderSize bytes of a file whose remaining size is
// restSize, or nothing when the magic is wrong, the header is short or the announced size is
// not exactly restSize. A null block announces 0 bytes (and must end the file).
std::optional<qint64> payloadSize(QByteArrayView header, qint64 restSize);

// The bytes a Base64 payload stands for, or nothing when it is not strict Base64: standard
// alphabet only, a multiple of four characters, "=" only as the last one or two.
std::optional<QByteArray> decodePayload(QByteArrayView payload);

// The XML text (UTF-8) held by a whole exchange file, or nothing when the bytes are not
// exactly one exchange file. A null or empty block gives the empty text.
std::optional<QByteArray> decode(QByteArrayView file);

// Reads the exchange file at path like decode(), allocating no more than the file holds.
std::optional<QByteArray> readFile(const QString &path);

// Writes the exchange file for xmlText at path atomically. Returns false (and sets
// errorText) when it cannot be written.
bool writeFile(const QString &path, const QByteArray &xmlText, QString *errorText = nullptr);

} // namespace vorn::exchange
