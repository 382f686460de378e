#pragma once

#include "commands/commandcontext.h"
#include "commands/queryreply.h"

#include "commands/requestparameters.h"
#include <QStringList>

namespace vorn {

// Selects the handler of a request by its command name and runs it.
//
// Names are compared with the table in its order, exactly and case-sensitively; a name that
// matches nothing gets no answer. A handler's required members are tested in their listed
// order before it runs; one absent member ends the request without answer and without
// effect. Every answer is given before dispatchCommand returns. Main thread only.
class CommandDispatcher
{
public:
    explicit CommandDispatcher(const CommandContext &context);

    void dispatchCommand(const QString &funcname, const RequestParameters &parameters,
                         const ReplyHandle &callback) const;

    const CommandContext &context() const { return m_context; }

    // The command names in table order.
    static QStringList commandNames();
    // Whether this build has a handler for the command (commands of parts not yet present
    // answer nothing, like unknown names).
    static bool hasHandler(const QString &funcname);

private:
    CommandContext m_context;
};

} // namespace vorn
