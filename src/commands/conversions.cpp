#include "commands/conversions.h"

#include <cmath>
#include <limits>

namespace vorn::conversions {

namespace {

bool isSpace(char16_t c)
{
    // The C locale's white space, as strtol skips it.
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

int decimalStringToInteger(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return 0;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + (c - u'0');
        if (value > int64_t(std::numeric_limits<int>::max()) + 1)
            return 0;
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return 0;
    return int(value);
}

} // namespace

int toInteger(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Double: {
        const double number = std::round(value.toDouble());
        if (std::isnan(number))
            return 0;
        if (number >= double(std::numeric_limits<int>::max()))
            return std::numeric_limits<int>::max();
        if (number <= double(std::numeric_limits<int>::min()))
            return std::numeric_limits<int>::min();
        return int(number);
    }
    case QJsonValue::String:
        return decimalStringToInteger(value.toString());
    case QJsonValue::Bool:
        return value.toBool() ? 1 : 0;
    default:
        return 0;
    }
}

QString toText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return {};
    }
}

int32_t hexNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && isSpace(text[i].unicode()))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // "0x" is skipped only when a hexadecimal digit follows; otherwise the "0" is the number.
    if (i + 2 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
        hexDigit(text[i + 2].unicode()) >= 0)
        i += 2;

    constexpr int64_t max = std::numeric_limits<int32_t>::max();
    constexpr int64_t limit = max + 1; // magnitude of the smallest value
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text[i].unicode());
        if (digit < 0)
            break;
        magnitude = std::min(magnitude * 16 + digit, limit + 1);
    }
    if (negative)
        return int32_t(magnitude > limit ? -limit : -magnitude);
    return int32_t(std::min(magnitude, max));
}

int32_t toHexNumber(const QJsonValue &value)
{
    return hexNumber(toText(value));
}

qsizetype toByteList(const QJsonValue &value, std::span<uint8_t> out)
{
    const QString text = toText(value);
    qsizetype items = 0;
    for (QStringView item : QStringView(text).tokenize(u',')) {
        if (std::size_t(items) < out.size())
            out[std::size_t(items)] = uint8_t(hexNumber(item) & 0xFF);
        ++items;
    }
    return items;
}

QStringList toNameList(const QJsonValue &value, QChar separator, bool keepEmptyItems)
{
    return toText(value).split(separator, keepEmptyItems ? Qt::KeepEmptyParts : Qt::SkipEmptyParts);
}

QString formatByteList(std::span<const uint8_t> bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    if (bytes.empty())
        return {};
    QString text(qsizetype(bytes.size() * 5 - 1), Qt::Uninitialized);
    QChar *out = text.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            *out++ = u',';
        *out++ = u'0';
        *out++ = u'x';
        *out++ = QLatin1Char(digits[bytes[i] >> 4]);
        *out++ = QLatin1Char(digits[bytes[i] & 0x0F]);
    }
    return text;
}

} // namespace vorn::conversions
