#include "common/eventsink.h"

namespace vorn {

namespace events {

QStringList names()
{
    return {QString::fromUtf16(DevicesChanged),     QString::fromUtf16(MacroItem),
            QString::fromUtf16(CurrentPropChanged), QString::fromUtf16(NavStateChanged),
            QString::fromUtf16(OnDeviceData),       QString::fromUtf16(OnProcessChanged)};
}

bool isEventName(const QString &name)
{
    return names().contains(name);
}

} // namespace events

EventSink::~EventSink() = default;

void EventSink::SendDevicesChanged(int event)
{
    deliverEvent(QString::fromUtf16(events::DevicesChanged), {event});
}

void EventSink::SendMacroItem(const QString &a, const QString &b, const QString &c,
                              const QString &d)
{
    deliverEvent(QString::fromUtf16(events::MacroItem), {a, b, c, d});
}

void EventSink::SendCurrentPropChanged(int propIndex, int proMode)
{
    deliverEvent(QString::fromUtf16(events::CurrentPropChanged), {propIndex, proMode});
}

void EventSink::SendNavStateChanged(bool canGoBack, bool canGoForward)
{
    deliverEvent(QString::fromUtf16(events::NavStateChanged), {canGoBack, canGoForward});
}

void EventSink::SendDeviceData(const QString &hex)
{
    deliverEvent(QString::fromUtf16(events::OnDeviceData), {hex});
}

void EventSink::SendProcessChanged(const QString &modeIndex, bool running)
{
    deliverEvent(QString::fromUtf16(events::OnProcessChanged), {modeIndex, running});
}

} // namespace vorn
