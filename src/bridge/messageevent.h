#pragma once

#include "commands/queryreply.h"

#include <QEvent>
#include <QString>

namespace vorn {

// Carries one page request from the query channel to the view in front, which turns it into
// its jsMessage signal. Posted through Qt's event queue, so requests keep their order.
class MessageEvent : public QEvent
{
public:
    MessageEvent(const QString &name, const ReplyHandle &callback);
    ~MessageEvent() override;

    // The event type, registered with Qt on first use.
    static QEvent::Type messageEventType();

    // The whole request text.
    QString name() const { return m_name; }
    ReplyHandle callback() const { return m_callback; }

private:
    QString m_name;
    ReplyHandle m_callback;
};

} // namespace vorn
