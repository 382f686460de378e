#pragma once

#include "device/dcapi.h"
#include "device/devicelist.h"

#include <QLibrary>
#include <QObject>

#include <array>

namespace vorn {

class EventSink;

using TransferBlock = std::array<uint8_t, dc::TransferSize>;

// The device access object: loads the device library once, keeps the table of its entry
// points and turns the library's two callbacks into page events. A device change becomes
// "devicesChanged" (after the owner has rebuilt its device table, see deviceTableOutdated),
// a data report of the first listed device becomes "onDeviceData".
//
// The library calls back on threads of its own; both callbacks are moved to the main thread
// with queued calls, which keeps their order, so everything here runs on the main thread.
// There is one instance per process.
class devices_handler : public QObject
{
    Q_OBJECT

public:
    // Loads libraryPath, or when it is empty "libdc.so" from the executable's folder and
    // then from the system's library search path. A missing library or export leaves the
    // entry points null for good; nothing is reported to the user.
    explicit devices_handler(QObject *parent, EventSink *events,
                             const QString &libraryPath = QString());
    ~devices_handler() override;

    bool isLoaded() const { return library.isLoaded(); }

    // The device list block (zero-filled when the library cannot list). A list with at least
    // one device registers the data callback for the device in record 0.
    DeviceListBlock getDevices();

    // The wrappers call their entry without testing it: callers test the entry first.
    TransferBlock readMemory(const QString &id, int length, uint32_t address);
    bool writeMemory(const QString &id, const uint8_t *data, int length, uint32_t address);
    bool notify(const QString &id, int type, int value);

    // Number of device event callbacks seen, modulo 5. Only the first of every five is acted
    // upon.
    static int eventCallCount();

    // Entry points of the library, null when missing.
    DcDeviceExistFn dcDeviceExist = nullptr;
    DcDevicesFn dcDevices = nullptr;
    DcOnDeviceEventFn dcOnDeviceEvent = nullptr;
    DcOnDeviceDataFn dconDeviceData = nullptr;
    DcUnusedFn dcAsk = nullptr;
    DcNotifyFn dcReset = nullptr;
    DcNotifyFn dcNotify = nullptr;
    DcReadFn dcRead = nullptr;
    DcWriteFn dcWrite = nullptr;
    DcReadPropFn dcReadProp = nullptr;
    DcWritePropFn dcWriteProp = nullptr;
    DcUnusedFn dcScriptOut = nullptr;
    DcUnusedFn dcIDWrite = nullptr;
    DcUnusedFn dcRebootRom = nullptr;
    DcRomFn dcFinishUpdateRom = nullptr;
    DcCheckRomFn dcCheckRom = nullptr;
    DcBornRomFn dcBornRom = nullptr;
    DcRomFn dcEraseRom = nullptr;

Q_SIGNALS:
    // Emitted on the main thread for every acted-upon device change, before "devicesChanged"
    // is sent; the owner of the device table rebuilds it here (direct connection).
    void deviceTableOutdated();

private:
    static bool onDeviceEvent(uint32_t event);
    static bool onDeviceReport(const void *reportRef, uint32_t extra);

    void handleDeviceEvent(uint32_t event);
    void handleDeviceReport(const std::array<uint8_t, 8> &report);
    void resolveEntryPoints();

    EventSink *m_events;
    QLibrary library;
};

} // namespace vorn
