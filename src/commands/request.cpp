#include "commands/request.h"

#include "commands/conversions.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cctype>
#include <limits>

namespace vorn {

namespace {

constexpr QLatin1StringView MoveWindowWord("moveWindow");
constexpr QLatin1StringView MinimizeText(R"({"funcname":"minisizeWindow"})");
constexpr QLatin1StringView MaximizeText(R"({"funcname":"maxsizeWindow"})");
constexpr QLatin1StringView RestoreText(R"({"funcname":"restoreWindow"})");

// Reads one int like `stream >> value`: white space skipped, optional sign, digits; a value
// out of range fails.
bool readStreamInt(const QByteArray &text, qsizetype &pos, int &value)
{
    qsizetype i = pos;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const qsizetype firstDigit = i;
    int64_t magnitude = 0;
    bool overflow = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > int64_t(std::numeric_limits<int>::max()) + 1) {
            overflow = true;
            magnitude = int64_t(std::numeric_limits<int>::max()) + 1;
        }
        ++i;
    }
    if (i == firstDigit)
        return false;
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (overflow || signedValue > std::numeric_limits<int>::max() ||
        signedValue < std::numeric_limits<int>::min())
        return false;
    value = int(signedValue);
    pos = i;
    return true;
}

} // namespace

QList<int> readMoveWindowValues(const QByteArray &utf8Text)
{
    QList<int> values;
    // The character right after the word is skipped, whatever it is; the bare word has none.
    qsizetype pos = MoveWindowWord.size() + 1;
    if (pos > utf8Text.size())
        return values;
    int value = 0;
    while (readStreamInt(utf8Text, pos, value)) {
        values.append(value);
        if (pos < utf8Text.size() && utf8Text[pos] == ',')
            ++pos;
    }
    return values;
}

ParsedRequest parseRequest(const QString &text)
{
    ParsedRequest request;
    if (text.startsWith(MoveWindowWord)) {
        request.kind = ParsedRequest::Kind::MoveWindow;
        request.moveValues = readMoveWindowValues(text.toUtf8());
        return request;
    }
    if (text == MinimizeText) {
        request.kind = ParsedRequest::Kind::MinimizeWindow;
        return request;
    }
    if (text == MaximizeText) {
        request.kind = ParsedRequest::Kind::MaximizeWindow;
        return request;
    }
    if (text == RestoreText) {
        request.kind = ParsedRequest::Kind::RestoreWindow;
        return request;
    }

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return request;
    RequestParameters parameters(document.object());
    const QJsonValue funcname = parameters.value(QLatin1StringView("funcname"));
    if (funcname.isUndefined())
        return request;
    return {ParsedRequest::Kind::Command, conversions::toText(funcname), std::move(parameters), {}};
}

} // namespace vorn
