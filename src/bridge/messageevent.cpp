#include "bridge/messageevent.h"

namespace vorn {

MessageEvent::MessageEvent(const QString &name, const ReplyHandle &callback)
    : QEvent(messageEventType())
    , m_name(name)
    , m_callback(callback)
{}

MessageEvent::~MessageEvent() = default;

QEvent::Type MessageEvent::messageEventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

} // namespace vorn
