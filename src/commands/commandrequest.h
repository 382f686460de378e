#pragma once

#include "commands/commandcontext.h"
#include "commands/conversions.h"
#include "commands/queryreply.h"

#include "commands/requestparameters.h"

namespace vorn {

// One request as a handler sees it: the services, the members and the answer. Members are
// read with the shared conversions; an absent member converts to 0 or the empty text.
class CommandRequest
{
public:
    CommandRequest(const CommandContext &context, const RequestParameters &parameters,
                   QueryCallback &reply)
        : context(context)
        , parameters(parameters)
        , reply(reply)
    {}

    bool has(QLatin1StringView member) const { return parameters.contains(member); }
    QJsonValue value(QLatin1StringView member) const { return parameters.value(member); }

    int integer(QLatin1StringView member) const { return conversions::toInteger(value(member)); }
    QString text(QLatin1StringView member) const { return conversions::toText(value(member)); }
    int32_t hexNumber(QLatin1StringView member) const
    {
        return conversions::toHexNumber(value(member));
    }

    const CommandContext &context;
    const RequestParameters &parameters;
    QueryCallback &reply;
};

using CommandHandler = void (*)(CommandRequest &request);

} // namespace vorn
