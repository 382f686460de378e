#include "device_model.h"

#include "device/dcapi.h"

#include <algorithm>
#include <cstring>

namespace dcsim {

namespace {

// Where each writable value lives in Device::props.
constexpr std::size_t ModeStore = 0;
constexpr std::size_t DpiStore = 1; // 2 bytes
constexpr std::size_t BrightnessStore = 3;
constexpr std::size_t IntervalStore = 4;
constexpr std::size_t EffectStore = 5;
constexpr std::size_t OptionStore = 6;

bool anyValue(int, const uint8_t *)
{
    return true;
}
bool validMode(int, const uint8_t *v)
{
    return v[0] < ModeCount;
}
bool validDpi(int, const uint8_t *v)
{
    const int dpi = v[0] | (v[1] << 8);
    return dpi >= 100 && dpi <= 16000 && dpi % 50 == 0;
}
bool validBrightness(int, const uint8_t *v)
{
    return v[0] <= 100;
}
bool validInterval(int, const uint8_t *v)
{
    return v[0] == 1 || v[0] == 2 || v[0] == 4 || v[0] == 8;
}
bool validEffect(int, const uint8_t *v)
{
    return v[0] < LedEffectCount;
}
bool validOption(int device, const uint8_t *v)
{
    return device == MouseIndex ? v[0] >= 1 && v[0] <= 3 : v[0] <= 1;
}

constexpr PropertyInfo Properties[] = {
    {PropFirmwareVersion, 3, true, 0, anyValue},
    {PropActiveMode, 1, false, ModeStore, validMode},
    {PropDpi, 2, false, DpiStore, validDpi},
    {PropLedBrightness, 1, false, BrightnessStore, validBrightness},
    {PropReportInterval, 1, false, IntervalStore, validInterval},
    {PropLedEffect, 1, false, EffectStore, validEffect},
    {PropDeviceOption, 1, false, OptionStore, validOption},
};

template <std::size_t N> void setText(std::array<uint8_t, N> &field, const char *text)
{
    field.fill(0);
    std::memcpy(field.data(), text, std::min(N, std::strlen(text)));
}

template <std::size_t N> void setWide(std::array<char16_t, N> &field, const char16_t *text)
{
    field.fill(0);
    for (std::size_t i = 0; i < N - 1 && text[i] != 0; ++i)
        field[i] = text[i];
}

} // namespace

const PropertyInfo *findProperty(int device, int32_t id)
{
    if (id == PropDpi && device != MouseIndex)
        return nullptr;
    for (const PropertyInfo &info : Properties) {
        if (info.id == id)
            return &info;
    }
    return nullptr;
}

Device makeDefaultDevice(int index)
{
    Device d;
    Identity &id = d.identity;
    if (index == KeyboardIndex) {
        setText(id.deviceId, "04D9A100");
        setText(id.sn, "K100000001");
        setText(id.mask, "01");
        setWide(id.devicePath, u"/dev/vorn-sim/keyboard");
        setWide(id.hardwareId, u"HID\\Vid_04d9&Pid_a100");
    } else {
        setText(id.deviceId, "04D9A200");
        setText(id.sn, "M200000001");
        setText(id.mask, "02");
        setWide(id.devicePath, u"/dev/vorn-sim/mouse");
        setWide(id.hardwareId, u"HID\\Vid_04d9&Pid_a200");
    }
    setText(id.version, "1.0.0");

    d.props[ModeStore] = 0;
    d.props[DpiStore] = 1600 & 0xFF;
    d.props[DpiStore + 1] = 1600 >> 8;
    d.props[BrightnessStore] = 80;
    d.props[IntervalStore] = 1;
    d.props[EffectStore] = 1;
    d.props[OptionStore] = index == MouseIndex ? 2 : 0;

    d.memory.assign(MemorySize, 0);
    std::fill(d.memory.begin() + ErasedBegin, d.memory.end(), 0xFF);
    refreshInfoBlock(d, index);
    d.firmware.assign(FirmwareAreaSize, 0xFF);
    return d;
}

void refreshInfoBlock(Device &device, int index)
{
    uint8_t *info = device.memory.data() + InfoBlockBegin;
    std::fill(info, info + (InfoBlockEnd - InfoBlockBegin), 0);
    std::memcpy(info + InfoMagicOffset, "VSIM", 4);
    info[InfoProductOffset] = dc::ProductCode & 0xFF;
    info[InfoProductOffset + 1] = (dc::ProductCode >> 8) & 0xFF;
    info[InfoRecordOffset] = static_cast<uint8_t>(index);
    info[InfoLayoutOffset] = 1;
    std::memcpy(info + InfoVersionOffset, device.identity.version.data(),
                device.identity.version.size());
    std::memcpy(info + InfoSnOffset, device.identity.sn.data(), device.identity.sn.size());
}

std::array<uint8_t, 3> versionNumbers(const std::array<uint8_t, 17> &version)
{
    std::array<uint8_t, 3> numbers{};
    std::size_t pos = 0;
    for (std::size_t part = 0; part < numbers.size(); ++part) {
        unsigned value = 0;
        bool digits = false;
        while (pos < version.size() && version[pos] >= '0' && version[pos] <= '9') {
            value = std::min(255u, value * 10 + (version[pos] - '0'));
            digits = true;
            ++pos;
        }
        if (!digits)
            break;
        numbers[part] = static_cast<uint8_t>(value);
        if (pos >= version.size() || version[pos] != '.')
            break;
        ++pos;
    }
    return numbers;
}

bool isValidVersionText(const uint8_t *bytes)
{
    std::size_t length = 0;
    while (length < FirmwareVersionSize && bytes[length] != 0) {
        if (bytes[length] < 0x20 || bytes[length] > 0x7E)
            return false;
        ++length;
    }
    if (length == 0)
        return false;
    for (std::size_t i = length; i < FirmwareVersionSize; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

std::string printable(const uint8_t *bytes, std::size_t size)
{
    std::string text;
    for (std::size_t i = 0; i < size && bytes[i] != 0; ++i)
        text += (bytes[i] > 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '?';
    return text;
}

} // namespace dcsim
