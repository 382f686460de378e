#include "device/devices_handler.h"

#include "common/apppaths.h"
#include "common/eventsink.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>

#include <cstring>

Q_LOGGING_CATEGORY(lcDevice, "vorn.device")

namespace vorn {
namespace {

// The library's callbacks carry no context: they reach the one instance through this
// pointer. The mutex keeps the instance alive while a callback posts to it.
QMutex s_instanceMutex;
devices_handler *s_instance = nullptr;

int s_eventCallCount = 0; // main thread only

constexpr char16_t EmptyText[] = u"";

const char16_t *wideText(const QString &text)
{
    return reinterpret_cast<const char16_t *>(text.utf16());
}

// Copies a UTF-16 field of the block into a terminated, aligned buffer, so that the library
// never reads past the field even when the field lacks its terminator.
using WideField = std::array<char16_t, dc::WideFieldSize / 2 + 1>;
WideField copyWideField(const uint8_t *field)
{
    WideField text{};
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        text[i] = char16_t(field[2 * i] | (field[2 * i + 1] << 8));
    return text;
}

QString hexText(const std::array<uint8_t, 8> &bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    QString text(16, Qt::Uninitialized);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[qsizetype(2 * i)] = QLatin1Char(digits[bytes[i] >> 4]);
        text[qsizetype(2 * i + 1)] = QLatin1Char(digits[bytes[i] & 0x0F]);
    }
    return text;
}

} // namespace

devices_handler::devices_handler(QObject *parent, EventSink *events, const QString &libraryPath)
    : QObject(parent)
    , m_events(events)
{
    {
        QMutexLocker locker(&s_instanceMutex);
        Q_ASSERT_X(!s_instance, "devices_handler", "one device access object per process");
        s_instance = this;
    }

    QString path = libraryPath;
    if (path.isEmpty()) {
        const QString besideExecutable = exeFolderPath() + u"libdc.so";
        path = QFileInfo::exists(besideExecutable) ? besideExecutable : QStringLiteral("libdc.so");
    }
    library.setFileName(path);
    if (!library.load()) {
        qCInfo(lcDevice) << "device library not loaded:" << library.errorString();
        return;
    }
    qCInfo(lcDevice) << "device library loaded from" << library.fileName();
    resolveEntryPoints();

    if (dcOnDeviceEvent) {
        const DcEventCallback callback = &devices_handler::onDeviceEvent;
        dcOnDeviceEvent(&callback);
    }
}

devices_handler::~devices_handler()
{
    // The library stays mapped until the process ends; its callbacks find no instance from
    // now on, and events already posted to this object are discarded with it.
    QMutexLocker locker(&s_instanceMutex);
    if (s_instance == this)
        s_instance = nullptr;
}

void devices_handler::resolveEntryPoints()
{
    const auto resolve = [this](auto &entry, const char *name) {
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(library.resolve(name));
        if (!entry)
            qCInfo(lcDevice) << "device library lacks" << name;
    };
    resolve(dcDeviceExist, "dcDeviceExist");
    resolve(dcDevices, "dcDevices");
    resolve(dcOnDeviceEvent, "dcOnDeviceEvent");
    resolve(dconDeviceData, "dconDeviceData");
    resolve(dcAsk, "dcAsk");
    resolve(dcReset, "dcReset");
    resolve(dcNotify, "dcNotify");
    resolve(dcRead, "dcRead");
    resolve(dcWrite, "dcWrite");
    resolve(dcReadProp, "dcReadProp");
    resolve(dcWriteProp, "dcWriteProp");
    resolve(dcScriptOut, "dcScriptOut");
    resolve(dcIDWrite, "dcIDWrite");
    resolve(dcRebootRom, "dcRebootRom");
    resolve(dcFinishUpdateRom, "dcFinishUpdateRom");
    resolve(dcCheckRom, "dcCheckRom");
    resolve(dcBornRom, "dcBornRom");
    resolve(dcEraseRom, "dcEraseRom");
}

DeviceListBlock devices_handler::getDevices()
{
    DeviceListBlock block{};
    if (!dcDevices)
        return block;
    dcDevices(dc::DeviceListFilter, block.data(), int32_t(block.size()));
    if (deviceCount(block) > 0 && dconDeviceData) {
        const uint8_t *record = block.data() + dc::RecordsOffset;
        const WideField hardwareId = copyWideField(record + dc::HardwareIdOffset);
        const WideField devicePath = copyWideField(record + dc::DevicePathOffset);
        const DcDataCallback callback = &devices_handler::onDeviceReport;
        dconDeviceData(hardwareId.data(), devicePath.data(), dc::ProductCode, &callback);
    }
    return block;
}

TransferBlock devices_handler::readMemory(const QString &id, int length, uint32_t address)
{
    TransferBlock block{};
    length = std::clamp(length, 0, int(block.size()));
    dcRead(wideText(id), EmptyText, dc::ProductCode, block.data(), length, address);
    return block;
}

bool devices_handler::writeMemory(const QString &id, const uint8_t *data, int length,
                                  uint32_t address)
{
    return dcWrite(wideText(id), EmptyText, dc::ProductCode, data, length, address) == 0;
}

bool devices_handler::notify(const QString &id, int type, int value)
{
    const uint16_t notice = uint16_t((type & 0xFF) | ((value & 0xFF) << 8));
    uint8_t scratch = 0;
    return dcNotify(wideText(id), EmptyText, dc::ProductCode, notice, &scratch, 0) == 0;
}

int devices_handler::eventCallCount()
{
    return s_eventCallCount;
}

bool devices_handler::onDeviceEvent(uint32_t event)
{
    QMutexLocker locker(&s_instanceMutex);
    if (devices_handler *instance = s_instance) {
        QMetaObject::invokeMethod(
            instance, [instance, event] { instance->handleDeviceEvent(event); },
            Qt::QueuedConnection);
    }
    return true;
}

bool devices_handler::onDeviceReport(const void *reportRef, uint32_t /*extra*/)
{
    // The report is only valid during the call: copy it before leaving the library's thread.
    std::array<uint8_t, 8> report{};
    const uint8_t *bytes = nullptr;
    if (reportRef)
        std::memcpy(&bytes, reportRef, sizeof bytes);
    if (!bytes)
        return true;
    std::memcpy(report.data(), bytes, report.size());

    QMutexLocker locker(&s_instanceMutex);
    if (devices_handler *instance = s_instance) {
        QMetaObject::invokeMethod(
            instance, [instance, report] { instance->handleDeviceReport(report); },
            Qt::QueuedConnection);
    }
    return true;
}

void devices_handler::handleDeviceEvent(uint32_t event)
{
    if (s_eventCallCount == 0) {
        Q_EMIT deviceTableOutdated();
        if (m_events)
            m_events->SendDevicesChanged(int(event & 0xFFFFu));
    }
    s_eventCallCount = (s_eventCallCount + 1) % 5;
}

void devices_handler::handleDeviceReport(const std::array<uint8_t, 8> &report)
{
    if (m_events)
        m_events->SendDeviceData(hexText(report));
}

} // namespace vorn
