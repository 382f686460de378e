#include "commands/devicecommands.h"

#include "config/appconfig.h"
#include "config/xmltext.h"
#include "device/devicelist.h"
#include "device/devices_handler.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <optional>

namespace vorn::commands {

namespace {

using namespace Qt::StringLiterals;

constexpr int TransferSize = int(dc::TransferSize);
constexpr char16_t EmptyText[] = u"";

// The product record's attribute that names it, and the five attributes copied from it.
constexpr char ProductRecordName[] = "产品信息";
constexpr std::array<const char *, 5> ProductAttributes = {"productType", "productName",
                                                           "productCN", "description", "device"};

int transferSize(const CommandRequest &request)
{
    return std::clamp(request.integer("PARAMSIZE"_L1), 0, TransferSize);
}

uint32_t address(const CommandRequest &request)
{
    return uint32_t(request.hexNumber("PARAMADDRESS"_L1));
}

TransferBlock dataBytes(const CommandRequest &request)
{
    TransferBlock bytes{};
    conversions::toByteList(request.value("PARAMDATA"_L1), bytes);
    return bytes;
}

const char16_t *wideText(const QString &text)
{
    return reinterpret_cast<const char16_t *>(text.utf16());
}

// Reads size bytes at address into a zero-filled block; a missing library reads nothing.
TransferBlock readMemory(const CommandRequest &request, const QString &id, int size, uint32_t at)
{
    devices_handler *devices = request.context.devices;
    if (!devices || !devices->dcRead)
        return TransferBlock{};
    return devices->readMemory(id, size, at);
}

bool writeMemory(const CommandRequest &request, const QString &id, const TransferBlock &bytes,
                 int size, uint32_t at)
{
    devices_handler *devices = request.context.devices;
    return devices && devices->dcWrite && devices->writeMemory(id, bytes.data(), size, at);
}

bool allZero(std::span<const uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

QJsonObject deviceObject(const DeviceEntry &entry)
{
    QJsonObject device;
    device.insert("DeviceID"_L1, entry.DeviceID);
    device.insert("DevicePath"_L1, entry.DevicePath);
    device.insert("HardwareID"_L1, entry.HardwareID);
    device.insert("SN"_L1, entry.SN);
    device.insert("Version"_L1, entry.Version);
    device.insert("MASK"_L1, entry.MASK);
    device.insert("timestamp"_L1, QString());
    for (const char *name : ProductAttributes)
        device.insert(QLatin1StringView(name), QString());
    return device;
}

void addProductRecord(QJsonObject &device, const pugi::xml_document &conf, const QString &deviceId)
{
    const QByteArray id = deviceId.toUtf8();
    const pugi::xml_node entry =
        conf.child("root").find_child_by_attribute("deviceId", id.constData());
    const pugi::xml_node product = entry.find_child_by_attribute("name", ProductRecordName);
    for (const char *name : ProductAttributes)
        device.insert(QLatin1StringView(name), QString::fromUtf8(product.attribute(name).value()));
}

} // namespace

void getDevicesList(CommandRequest &request)
{
    QList<DeviceEntry> records;
    if (request.context.devices)
        records = readDeviceRecords(request.context.devices->getDevices());
    if (records.isEmpty()) {
        request.reply.Success(u"[]"_s);
        return;
    }

    // The configuration text is parsed only when there is a device to describe.
    std::optional<pugi::xml_document> conf;
    QJsonArray devices;
    for (const DeviceEntry &record : records) {
        QJsonObject device = deviceObject(record);
        if (!conf) {
            conf.emplace();
            const QString text =
                request.context.config ? request.context.config->confText() : QString();
            if (!xml::parse(*conf, text)) {
                request.reply.Failure(0, u"queryProfile load xml file failed!"_s);
                return;
            }
        }
        addProductRecord(device, *conf, record.DeviceID);
        devices.append(device);
    }
    request.reply.Success(QString::fromUtf8(QJsonDocument(devices).toJson(QJsonDocument::Compact)));
}

void readDevicesProp(CommandRequest &request)
{
    const QString id = request.text("HardwareID"_L1);
    const int size = transferSize(request);
    const int property = request.integer("PARAMID"_L1);
    TransferBlock buffer{};
    devices_handler *devices = request.context.devices;
    if (devices && devices->dcReadProp)
        devices->dcReadProp(wideText(id), EmptyText, dc::ProductCode, buffer.data(), size,
                            property);
    request.reply.Success(conversions::formatByteList(std::span(buffer).first(size)));
}

void writeDevicesProp(CommandRequest &request)
{
    const QString id = request.text("HardwareID"_L1);
    const int size = transferSize(request);
    const TransferBlock bytes = dataBytes(request);
    const int property = request.integer("PARAMID"_L1);
    devices_handler *devices = request.context.devices;
    if (devices && devices->dcWriteProp &&
        devices->dcWriteProp(wideText(id), EmptyText, dc::ProductCode, bytes.data(), size,
                             property) == 0)
        request.reply.Success(u"writeDevicesProp success!"_s);
    else
        request.reply.Failure(0, u"writeDevicesProp failed!"_s);
}

void readByAddr(CommandRequest &request)
{
    const int size = transferSize(request);
    const TransferBlock buffer =
        readMemory(request, request.text("HardwareID"_L1), size, address(request));
    request.reply.Success(conversions::formatByteList(std::span(buffer).first(size)));
}

void writeByAddr(CommandRequest &request)
{
    const TransferBlock bytes = dataBytes(request);
    if (writeMemory(request, request.text("HardwareID"_L1), bytes, transferSize(request),
                    address(request)))
        request.reply.Success(u"writeByAddr success!"_s);
    else
        request.reply.Failure(0, u"writeByAddr failed!"_s);
}

void notifyDevice(CommandRequest &request)
{
    const QString id = request.text("HardwareID"_L1);
    const int type = request.integer("NotifyType"_L1);
    const int data = request.integer("NotifyData"_L1);
    devices_handler *devices = request.context.devices;
    if (devices && devices->dcNotify && devices->notify(id, type, data))
        request.reply.Success(u"notifyDevice success!"_s);
    else
        request.reply.Failure(0, u"notifyDevice failed!"_s);
}

void isPropEmpty(CommandRequest &request)
{
    const TransferBlock buffer =
        readMemory(request, request.text("HardwareID"_L1), transferSize(request), address(request));
    request.reply.Success(allZero(buffer) ? u"true"_s : u"false"_s);
}

void cleanMacroByAddr(CommandRequest &request)
{
    static constexpr TransferBlock zeros{};
    if (writeMemory(request, request.text("HardwareID"_L1), zeros, transferSize(request),
                    address(request)))
        request.reply.Success(u"cleanMacroByAddr success!"_s);
    else
        request.reply.Failure(0, u"cleanMacroByAddr failed!"_s);
}

void writeMacroByAddr(CommandRequest &request)
{
    const QString id = request.text("HardwareID"_L1);
    const int size = transferSize(request);
    const uint32_t at = address(request);
    const TransferBlock slot = readMemory(request, id, size, at);
    if (!allZero(slot)) {
        // The slot is taken: the page learns which address it asked for.
        request.reply.Success(request.text("PARAMADDRESS"_L1));
        return;
    }
    if (writeMemory(request, id, dataBytes(request), size, at))
        request.reply.Success(u"true"_s);
    else
        request.reply.Failure(0, u"writeMacroByAddr failed!"_s);
}

} // namespace vorn::commands
