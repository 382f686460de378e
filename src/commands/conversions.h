#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>

// The conversions every command applies to request members. A member that is absent converts
// like a JSON null: to 0 or to the empty text.
namespace vorn::conversions {

// A number gives the nearest integer (clamped to the int range); a string of decimal digits,
// optionally signed, gives its value (0 when it does not fit); a boolean gives 0 or 1;
// anything else gives 0.
int toInteger(const QJsonValue &value);

// A string unchanged; a number as its shortest decimal text (16 gives "16"); a boolean as
// "true" or "false"; anything else the empty text.
QString toText(const QJsonValue &value);

// The text read like strtol with base 16 and a 32-bit long: leading white space and a sign
// are accepted, an optional "0x"/"0X" is skipped, reading stops at the first character that
// is not a hexadecimal digit, no digits give 0, values beyond the range are clamped.
int32_t hexNumber(QStringView text);
int32_t toHexNumber(const QJsonValue &value);

// The text split at every "," (empty items stay); item i read as a hexadecimal number gives
// byte i (its low 8 bits). Fills at most out.size() bytes and returns how many items there
// were; bytes without an item are left as they are.
qsizetype toByteList(const QJsonValue &value, std::span<uint8_t> out);

// The text split at separator, keeping or dropping empty items.
QStringList toNameList(const QJsonValue &value, QChar separator, bool keepEmptyItems);

// Device bytes as the page reads them: "0x" and two lowercase hexadecimal digits per byte,
// joined by "," without spaces. No bytes give the empty text.
QString formatByteList(std::span<const uint8_t> bytes);

} // namespace vorn::conversions
