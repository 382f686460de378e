#include "simulator.h"

#include "control_socket.h"
#include "crc32.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <vector>

namespace dcsim {

namespace {

constexpr const char *StateFileName = "libdc-state.bin";

// True when the caller's zero-terminated text equals the field's text (which ends at its
// first zero unit or the field end). Reads the caller's text no further than needed.
bool sameText(const char16_t *text, const char16_t *field, std::size_t fieldUnits)
{
    if (!text)
        return false;
    for (std::size_t i = 0; i < fieldUnits; ++i) {
        if (text[i] != field[i])
            return false;
        if (field[i] == 0)
            return true;
    }
    return text[fieldUnits] == 0;
}

bool sameText(const char16_t *text, const std::array<char16_t, WideFieldUnits> &field)
{
    return sameText(text, field.data(), field.size());
}

bool isBootLoaderPath(const char16_t *text)
{
    constexpr std::size_t units = sizeof dc::BootLoaderPath / sizeof(char16_t);
    return sameText(text, dc::BootLoaderPath, units);
}

bool validTransferLength(int32_t length)
{
    return length >= 0 && length <= int32_t(dc::TransferSize);
}

void putWide(uint8_t *out, const std::array<char16_t, WideFieldUnits> &text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[2 * i] = static_cast<uint8_t>(text[i] & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
    }
}

const char *modeName(Mode mode)
{
    switch (mode) {
    case Mode::Normal:
        return "normal";
    case Mode::EnteringBootLoader:
        return "entering-bootloader";
    case Mode::BootLoader:
        return "bootloader";
    case Mode::LeavingBootLoader:
        return "leaving-bootloader";
    }
    return "?";
}

const char *deviceName(int index)
{
    return index == KeyboardIndex ? "keyboard" : "mouse";
}

bool parseInt(std::string_view text, int &value)
{
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<std::string_view> splitWords(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        const std::size_t begin = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t')
            ++pos;
        if (pos > begin)
            words.push_back(line.substr(begin, pos - begin));
    }
    return words;
}

} // namespace

Simulator::Simulator()
    : statePath_(resolveStatePath())
{
    for (int i = 0; i < DeviceCount; ++i)
        devices_[i] = makeDefaultDevice(i);
    loadState(statePath_, devices_);
}

Simulator::~Simulator()
{
    // The control socket may be waiting for the worker, so the worker stops taking work first.
    worker_.stop();
    control_.reset();
}

void Simulator::startControlSocket()
{
    const char *path = std::getenv("VORN_SIM_CONTROL");
    if (!path || !*path || control_)
        return;
    control_ = std::make_unique<ControlSocket>(
        path, [this](std::string_view line) { return controlCommand(line); });
    if (!control_->listening())
        control_.reset();
}

std::string Simulator::resolveStatePath()
{
    const char *path = std::getenv("VORN_SIM_STATE");
    if (path && *path)
        return path;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&Simulator::resolveStatePath), &info) && info.dli_fname) {
        std::string library = info.dli_fname;
        const std::size_t slash = library.rfind('/');
        if (slash != std::string::npos)
            return library.substr(0, slash + 1) + StateFileName;
    }
    return StateFileName;
}

void Simulator::persistLocked()
{
    persistFailed_ = !saveState(statePath_, devices_);
}

int Simulator::presentDeviceLocked(const char16_t *id, int32_t code) const
{
    if (code != dc::ProductCode || !id)
        return -1;
    for (int i = 0; i < DeviceCount; ++i) {
        const Device &d = devices_[i];
        if (d.plugged && d.mode == Mode::Normal && sameText(id, d.identity.hardwareId))
            return i;
    }
    return -1;
}

int Simulator::bootLoaderDeviceLocked(const char16_t *id, int32_t code) const
{
    if (code != dc::ProductCode || !id)
        return -1;
    for (int i = 0; i < DeviceCount; ++i) {
        const Device &d = devices_[i];
        if (d.plugged && d.mode == Mode::BootLoader &&
            (isBootLoaderPath(id) || sameText(id, d.identity.hardwareId)))
            return i;
    }
    return -1;
}

void Simulator::postBurstLocked(uint32_t kind, int index, bool bootLoader)
{
    const uint32_t value =
        kind | (static_cast<uint32_t>(index) << 16) | (bootLoader ? EventBootLoaderFlag : 0);
    worker_.post([this, value] {
        const DcEventCallback callback = eventCallback_.load();
        if (!callback)
            return;
        for (int i = 0; i < EventBurst; ++i)
            callback(value);
    });
}

// ---- entry points -------------------------------------------------------------------------

int32_t Simulator::deviceExist(const char16_t *id)
{
    if (!id)
        return -1;
    std::lock_guard lock(mutex_);
    for (const Device &d : devices_) {
        if (!d.plugged)
            continue;
        if (d.mode == Mode::Normal && sameText(id, d.identity.hardwareId))
            return 0;
        if (d.mode == Mode::BootLoader && isBootLoaderPath(id))
            return 0;
    }
    return -1;
}

int32_t Simulator::devices(const DcDeviceListFilter &filter, uint8_t *buffer, int32_t size)
{
    if (!buffer || size < 0 || static_cast<std::size_t>(size) < dc::DeviceListSize)
        return -1;
    if (std::memcmp(filter.words, dc::DeviceListFilter.words, sizeof filter.words) != 0)
        return -1;

    std::lock_guard lock(mutex_);
    std::memset(buffer, 0, dc::DeviceListSize);
    int count = 0;
    for (const Device &d : devices_) {
        if (!d.plugged || d.mode != Mode::Normal)
            continue;
        uint8_t *record = buffer + dc::RecordsOffset + dc::RecordSize * count;
        const Identity &id = d.identity;
        std::memcpy(record + dc::DeviceIdOffset, id.deviceId.data(), dc::DeviceIdSize);
        std::memcpy(record + dc::VersionOffset, id.version.data(), dc::VersionSize);
        std::memcpy(record + dc::SnOffset, id.sn.data(), dc::SnSize);
        std::memcpy(record + dc::MaskOffset, id.mask.data(), dc::MaskSize);
        putWide(record + dc::DevicePathOffset, id.devicePath);
        putWide(record + dc::HardwareIdOffset, id.hardwareId);
        ++count;
    }
    const int word = forcedCount_ >= 0 ? forcedCount_ : count;
    buffer[0] = static_cast<uint8_t>(word & 0xFF);
    buffer[1] = static_cast<uint8_t>((word >> 8) & 0xFF);
    return 0;
}

int32_t Simulator::onDeviceEvent(const DcEventCallback *callbackRef)
{
    if (!callbackRef)
        return -1;
    eventCallback_.store(*callbackRef);
    return 0;
}

int32_t Simulator::onDeviceData(const char16_t *id, const char16_t *path, int32_t code,
                                const DcDataCallback *callbackRef)
{
    if (!callbackRef)
        return -1;
    std::lock_guard lock(mutex_);
    const int index = presentDeviceLocked(id, code);
    if (index < 0 || !sameText(path, devices_[index].identity.devicePath))
        return -1;
    if (*callbackRef)
        data_ = {index, *callbackRef};
    else
        data_ = {};
    return 0;
}

int32_t Simulator::notify(const char16_t *id, int32_t code, uint16_t notice, uint8_t *result)
{
    if (!result)
        return -1;
    std::lock_guard lock(mutex_);
    const int index = presentDeviceLocked(id, code);
    if (index < 0)
        return -1;
    const uint8_t type = notice & 0xFF;
    const uint8_t value = notice >> 8;
    int32_t property = 0;
    switch (type) {
    case NoticeSwitchMode:
        property = PropActiveMode;
        break;
    case NoticeLedEffect:
        property = PropLedEffect;
        break;
    case NoticeLedBrightness:
        property = PropLedBrightness;
        break;
    default:
        *result = NoticeUnknown;
        return -1;
    }
    const PropertyInfo *info = findProperty(index, property);
    if (!info->valid(index, &value)) {
        *result = NoticeOutOfRange;
        return -1;
    }
    devices_[index].props[info->storeOffset] = value;
    persistLocked();
    *result = NoticeDone;
    return 0;
}

int32_t Simulator::reset(const char16_t *id, int32_t code, uint16_t notice, uint8_t *result)
{
    if (!result)
        return -1;
    std::lock_guard lock(mutex_);
    const int index = presentDeviceLocked(id, code);
    if (index < 0)
        return -1;
    if (notice != ResetToBootLoader) {
        *result = NoticeUnknown;
        return -1;
    }
    // There is one boot loader address, so one device at a time may use it.
    for (const Device &other : devices_) {
        if (other.mode != Mode::Normal) {
            *result = NoticeRefused;
            return -1;
        }
    }
    Device &d = devices_[index];
    d.mode = Mode::EnteringBootLoader;
    d.transition = ++transitionCounter_;
    // The boot loader starts out holding the running image: its version text, then erased bytes.
    d.firmware.assign(FirmwareAreaSize, 0xFF);
    std::copy(d.identity.version.begin(), d.identity.version.end(), d.firmware.begin());
    d.firmwareErased = false;
    d.writePointer = 0;
    *result = NoticeDone;
    postBurstLocked(EventRemoval, index, false);
    const uint64_t transition = d.transition;
    worker_.schedule(std::chrono::milliseconds(bootLoaderDelayMs_),
                     [this, index, transition] { finishTransition(index, transition); });
    return 0;
}

void Simulator::finishTransition(int index, uint64_t transition)
{
    std::lock_guard lock(mutex_);
    Device &d = devices_[index];
    if (d.transition != transition)
        return;
    if (d.mode == Mode::EnteringBootLoader) {
        d.mode = Mode::BootLoader;
        if (d.plugged)
            postBurstLocked(EventArrival, index, true);
    } else if (d.mode == Mode::LeavingBootLoader) {
        d.mode = Mode::Normal;
        if (d.plugged)
            postBurstLocked(EventArrival, index, false);
    }
}

int32_t Simulator::read(const char16_t *id, int32_t code, uint8_t *buffer, int32_t length,
                        uint32_t address)
{
    if (!validTransferLength(length) || (length > 0 && !buffer))
        return -1;
    if (length > 0)
        std::memset(buffer, 0, static_cast<std::size_t>(length));
    std::lock_guard lock(mutex_);
    const int index = presentDeviceLocked(id, code);
    if (index < 0 || uint64_t(address) + uint64_t(length) > MemorySize)
        return -1;
    if (length > 0)
        std::memcpy(buffer, devices_[index].memory.data() + address, std::size_t(length));
    return 0;
}

int32_t Simulator::write(const char16_t *id, int32_t code, const uint8_t *data, int32_t length,
                         uint32_t address)
{
    if (!validTransferLength(length) || (length > 0 && !data))
        return -1;
    std::lock_guard lock(mutex_);
    const int index = presentDeviceLocked(id, code);
    if (index < 0 || uint64_t(address) + uint64_t(length) > MemorySize)
        return -1;
    if (length == 0)
        return 0;
    if (address < InfoBlockEnd) // the information block is read-only
        return -1;
    std::memcpy(devices_[index].memory.data() + address, data, std::size_t(length));
    persistLocked();
    return 0;
}

int32_t Simulator::readProp(const char16_t *id, int32_t code, uint8_t *buffer, int32_t length,
                            int32_t property)
{
    if (!validTransferLength(length) || (length > 0 && !buffer))
        return -1;
    if (length > 0)
        std::memset(buffer, 0, static_cast<std::size_t>(length));
    std::lock_guard lock(mutex_);
    const int index = presentDeviceLocked(id, code);
    if (index < 0)
        return -1;
    const PropertyInfo *info = findProperty(index, property);
    if (!info)
        return -1;
    const Device &d = devices_[index];
    std::array<uint8_t, PropertyStoreSize> value{};
    if (property == PropFirmwareVersion) {
        const auto numbers = versionNumbers(d.identity.version);
        std::copy(numbers.begin(), numbers.end(), value.begin());
    } else {
        std::copy_n(d.props.begin() + info->storeOffset, info->size, value.begin());
    }
    std::memcpy(buffer, value.data(), std::size_t(std::min(length, info->size)));
    return 0;
}

int32_t Simulator::writeProp(const char16_t *id, int32_t code, const uint8_t *data, int32_t length,
                             int32_t property)
{
    if (!validTransferLength(length) || (length > 0 && !data))
        return -1;
    std::lock_guard lock(mutex_);
    const int index = presentDeviceLocked(id, code);
    if (index < 0)
        return -1;
    const PropertyInfo *info = findProperty(index, property);
    if (!info || info->readOnly || length != info->size || !info->valid(index, data))
        return -1;
    std::memcpy(devices_[index].props.data() + info->storeOffset, data, std::size_t(length));
    persistLocked();
    return 0;
}

int32_t Simulator::eraseRom(const char16_t *id, int32_t code)
{
    std::lock_guard lock(mutex_);
    const int index = bootLoaderDeviceLocked(id, code);
    if (index < 0)
        return -1;
    Device &d = devices_[index];
    d.firmware.assign(FirmwareAreaSize, 0xFF);
    d.firmwareErased = true;
    d.writePointer = 0;
    return 0;
}

int32_t Simulator::bornRom(const char16_t *id, int32_t code, const uint8_t *block, int32_t length,
                           uint32_t offset)
{
    if (length < 0 || length > dc::MaxRomBlock || (length > 0 && !block))
        return -1;
    std::lock_guard lock(mutex_);
    const int index = bootLoaderDeviceLocked(id, code);
    if (index < 0)
        return -1;
    Device &d = devices_[index];
    if (!d.firmwareErased || uint64_t(offset) + uint64_t(length) > FirmwareAreaSize)
        return -1;
    if (length > 0)
        std::memcpy(d.firmware.data() + offset, block, std::size_t(length));
    d.writePointer = offset + uint32_t(length);
    return 0;
}

int32_t Simulator::checkRom(const char16_t *id, int32_t code, uint32_t imageLength,
                            uint32_t checkValue)
{
    std::lock_guard lock(mutex_);
    const int index = bootLoaderDeviceLocked(id, code);
    if (index < 0 || imageLength > FirmwareAreaSize)
        return -1;
    return crc32(devices_[index].firmware.data(), imageLength) == checkValue ? 0 : -1;
}

int32_t Simulator::finishUpdateRom(const char16_t *id, int32_t code)
{
    std::lock_guard lock(mutex_);
    const int index = bootLoaderDeviceLocked(id, code);
    if (index < 0)
        return -1;
    Device &d = devices_[index];
    // The boot loader only starts an image that carries a version text.
    if (!isValidVersionText(d.firmware.data()))
        return -1;
    std::copy_n(d.firmware.begin(), FirmwareVersionSize, d.identity.version.begin());
    refreshInfoBlock(d, index);
    persistLocked();
    d.mode = Mode::LeavingBootLoader;
    d.transition = ++transitionCounter_;
    postBurstLocked(EventRemoval, index, true);
    const uint64_t transition = d.transition;
    worker_.schedule(std::chrono::milliseconds(bootLoaderDelayMs_),
                     [this, index, transition] { finishTransition(index, transition); });
    return 0;
}

// ---- control ------------------------------------------------------------------------------

int Simulator::resetState()
{
    worker_.cancelPending();
    std::lock_guard lock(mutex_);
    statePath_ = resolveStatePath();
    for (int i = 0; i < DeviceCount; ++i)
        devices_[i] = makeDefaultDevice(i);
    forcedCount_ = -1;
    bootLoaderDelayMs_ = DefaultBootLoaderDelayMs;
    persistLocked();
    return persistFailed_ ? -1 : 0;
}

int Simulator::plug(int index)
{
    if (index < 0 || index >= DeviceCount)
        return -1;
    std::lock_guard lock(mutex_);
    Device &d = devices_[index];
    if (d.plugged)
        return 0;
    d.plugged = true;
    if (d.mode == Mode::Normal || d.mode == Mode::BootLoader)
        postBurstLocked(EventArrival, index, d.mode == Mode::BootLoader);
    return 0;
}

int Simulator::unplug(int index)
{
    if (index < 0 || index >= DeviceCount)
        return -1;
    std::lock_guard lock(mutex_);
    Device &d = devices_[index];
    if (!d.plugged)
        return 0;
    d.plugged = false;
    if (d.mode == Mode::Normal || d.mode == Mode::BootLoader)
        postBurstLocked(EventRemoval, index, d.mode == Mode::BootLoader);
    return 0;
}

int Simulator::report(const uint8_t *bytes)
{
    if (!bytes)
        return -1;
    std::lock_guard lock(mutex_);
    if (data_.device < 0 || !data_.callback)
        return -1;
    Device &d = devices_[data_.device];
    if (!d.plugged || d.mode != Mode::Normal)
        return -1;

    // A choice made on the device itself changes its state before the program hears of it.
    const PropertyInfo *changed = nullptr;
    if (bytes[0] == ReportModeChanged)
        changed = findProperty(data_.device, PropActiveMode);
    else if (bytes[0] == ReportDpiChanged)
        changed = findProperty(data_.device, PropDpi);
    if (changed && changed->valid(data_.device, bytes + 1)) {
        std::copy_n(bytes + 1, changed->size, d.props.begin() + changed->storeOffset);
        persistLocked();
    }

    std::array<uint8_t, 8> copy;
    std::copy_n(bytes, copy.size(), copy.begin());
    const uint32_t extra = ++reportSequence_;
    worker_.post([this, copy, extra] {
        DcDataCallback callback;
        {
            std::lock_guard lock(mutex_);
            callback = data_.callback;
        }
        if (!callback)
            return;
        const uint8_t *reportBytes = copy.data();
        callback(&reportBytes, extra);
    });
    return 0;
}

int Simulator::setBootLoaderDelay(int ms)
{
    if (ms < 0 || ms > MaxBootLoaderDelayMs)
        return -1;
    std::lock_guard lock(mutex_);
    bootLoaderDelayMs_ = ms;
    return 0;
}

int Simulator::setIdentity(int index, const char *field, const void *bytes, std::size_t size)
{
    if (index < 0 || index >= DeviceCount || !field || (size > 0 && !bytes))
        return -1;
    std::lock_guard lock(mutex_);
    Identity &id = devices_[index].identity;
    const std::string_view name = field;
    void *target = nullptr;
    std::size_t capacity = 0;
    if (name == "DeviceID") {
        target = id.deviceId.data(), capacity = sizeof id.deviceId;
    } else if (name == "Version") {
        target = id.version.data(), capacity = sizeof id.version;
    } else if (name == "SN") {
        target = id.sn.data(), capacity = sizeof id.sn;
    } else if (name == "MASK") {
        target = id.mask.data(), capacity = sizeof id.mask;
    } else if (name == "DevicePath") {
        target = id.devicePath.data(), capacity = sizeof id.devicePath;
    } else if (name == "HardwareID") {
        target = id.hardwareId.data(), capacity = sizeof id.hardwareId;
    }
    if (!target || size > capacity)
        return -1;
    std::memset(target, 0, capacity);
    if (size > 0)
        std::memcpy(target, bytes, size);
    refreshInfoBlock(devices_[index], index);
    if (name == "Version")
        persistLocked();
    return 0;
}

int Simulator::setReportedCount(int count)
{
    if (count < -1 || count > 0xFFFF)
        return -1;
    std::lock_guard lock(mutex_);
    forcedCount_ = count;
    return 0;
}

int Simulator::memory(int index, uint32_t address, uint8_t *out, int length)
{
    if (index < 0 || index >= DeviceCount || length < 0 || (length > 0 && !out) ||
        uint64_t(address) + uint64_t(length) > MemorySize)
        return -1;
    std::lock_guard lock(mutex_);
    if (length > 0)
        std::memcpy(out, devices_[index].memory.data() + address, std::size_t(length));
    return 0;
}

int Simulator::flushEvents()
{
    worker_.flush();
    return 0;
}

// ---- control socket commands --------------------------------------------------------------

std::string Simulator::controlCommand(std::string_view line)
{
    const std::vector<std::string_view> words = splitWords(line);
    if (words.empty())
        return "error empty command";
    const std::string_view command = words[0];

    if (command == "plug" || command == "unplug") {
        int index = -1;
        if (words.size() != 2 || !parseInt(words[1], index) || index < 0 || index >= DeviceCount)
            return "error usage: " + std::string(command) + " <0|1>";
        if (command == "plug")
            plug(index);
        else
            unplug(index);
        // Answer once the program has been told.
        flushEvents();
        return "ok";
    }
    if (command == "report") {
        if (words.size() != 2 || words[1].size() != 16)
            return "error usage: report <16 hex digits>";
        uint8_t bytes[8];
        for (int i = 0; i < 8; ++i) {
            const int high = hexDigit(words[1][2 * i]);
            const int low = hexDigit(words[1][2 * i + 1]);
            if (high < 0 || low < 0)
                return "error usage: report <16 hex digits>";
            bytes[i] = static_cast<uint8_t>(high << 4 | low);
        }
        if (report(bytes) != 0)
            return "error no registered device to report from";
        flushEvents();
        return "ok";
    }
    if (command == "bootloader-delay") {
        int ms = -1;
        if (words.size() != 2 || !parseInt(words[1], ms) || setBootLoaderDelay(ms) != 0)
            return "error usage: bootloader-delay <0.." + std::to_string(MaxBootLoaderDelayMs) +
                   ">";
        return "ok";
    }
    if (command == "state") {
        if (words.size() != 1)
            return "error usage: state";
        std::lock_guard lock(mutex_);
        return "ok " + describeLocked();
    }
    return "error unknown command";
}

std::string Simulator::describeLocked() const
{
    std::string text;
    for (int i = 0; i < DeviceCount; ++i) {
        const Device &d = devices_[i];
        text += deviceName(i);
        text += d.plugged ? "=plugged," : "=unplugged,";
        text += modeName(d.mode);
        text += ',';
        text += printable(d.identity.version.data(), d.identity.version.size());
        text += ' ';
    }
    text += "data=";
    text += data_.device >= 0 ? deviceName(data_.device) : "none";
    text += " bootloader-delay=" + std::to_string(bootLoaderDelayMs_);
    text += persistFailed_ ? " state-file=unwritable" : " state-file=ok";
    return text;
}

} // namespace dcsim
