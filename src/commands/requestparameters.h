#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVarLengthArray>

namespace vorn {

// The members of one request, by name. Built once from the parsed JSON object, so that the
// handlers' many look-ups compare names directly instead of searching the JSON container each
// time. Names are matched exactly, upper and lower case as written.
class RequestParameters
{
public:
    RequestParameters() = default;
    // Implicit: a JSON object is the natural way to state a request.
    RequestParameters(const QJsonObject &object);

    bool contains(QLatin1StringView name) const { return find(name) != nullptr; }
    // The member's value, or an undefined value when absent.
    QJsonValue value(QLatin1StringView name) const
    {
        const Member *member = find(name);
        return member ? member->value : QJsonValue(QJsonValue::Undefined);
    }
    qsizetype size() const { return m_members.size(); }

private:
    struct Member
    {
        Member() = default;
        Member(QString name, QJsonValue value)
            : name(std::move(name))
            , value(std::move(value))
        {}
        QString name;
        QJsonValue value;
    };
    const Member *find(QLatin1StringView name) const
    {
        for (const Member &member : m_members) {
            if (member.name == name)
                return &member;
        }
        return nullptr;
    }

    QVarLengthArray<Member, 8> m_members;
};

} // namespace vorn
