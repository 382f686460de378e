#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace vorn {

// The six named events that travel from the host to the page. Each event carries a short
// list of typed arguments (int, bool or QString).
namespace events {
inline constexpr char16_t DevicesChanged[] = u"devicesChanged";
inline constexpr char16_t MacroItem[] = u"macroItem";
inline constexpr char16_t CurrentPropChanged[] = u"currentPropChanged";
inline constexpr char16_t NavStateChanged[] = u"navStateChanged";
inline constexpr char16_t OnDeviceData[] = u"onDeviceData";
inline constexpr char16_t OnProcessChanged[] = u"onProcessChanged";

// The names in a fixed order; no other name is ever delivered.
QStringList names();
bool isEventName(const QString &name);
} // namespace events

// Sends events to the page. The senders may be called from any thread; an implementation
// delivers the events of one sender thread in the order they were sent.
class EventSink
{
public:
    virtual ~EventSink();

    void SendDevicesChanged(int event);
    void SendMacroItem(const QString &a, const QString &b, const QString &c, const QString &d);
    void SendCurrentPropChanged(int propIndex, int proMode);
    void SendNavStateChanged(bool canGoBack, bool canGoForward);
    void SendDeviceData(const QString &hex);
    void SendProcessChanged(const QString &modeIndex, bool running);

protected:
    // Called on the sender's thread with one of the six names.
    virtual void deliverEvent(const QString &name, const QVariantList &arguments) = 0;
};

} // namespace vorn
