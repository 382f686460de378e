#pragma once

// The simulated keyboard and mouse: identities, numbered properties, memory map and the
// firmware area their boot loader writes. Plain data; Simulator adds locking and behaviour.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dcsim {

inline constexpr int DeviceCount = 2;
inline constexpr int KeyboardIndex = 0;
inline constexpr int MouseIndex = 1;

// Identity fields as they appear in a device list record.
inline constexpr std::size_t WideFieldUnits = 255;
struct Identity
{
    std::array<uint8_t, 40> deviceId{};
    std::array<uint8_t, 17> version{}; // the running firmware's version text
    std::array<uint8_t, 14> sn{};
    std::array<uint8_t, 2> mask{};
    std::array<char16_t, WideFieldUnits> devicePath{};
    std::array<char16_t, WideFieldUnits> hardwareId{};
};

// ---- Properties ---------------------------------------------------------------------------

enum PropertyId : int32_t
{
    PropFirmwareVersion = 1, // 3 bytes, read-only: major, minor, patch of the version text
    PropActiveMode = 2,      // 1 byte: 0..4
    PropDpi = 3,             // 2 bytes LE, mouse only: 100..16000 in steps of 50
    PropLedBrightness = 4,   // 1 byte: 0..100 (percent)
    PropReportInterval = 5,  // 1 byte: 1, 2, 4 or 8 (milliseconds)
    PropLedEffect = 6,       // 1 byte: 0..7
    PropDeviceOption = 7,    // 1 byte: keyboard game mode 0/1, mouse lift-off distance 1..3 mm
};

inline constexpr int ModeCount = 5;
inline constexpr int LedEffectCount = 8;
inline constexpr std::size_t PropertyStoreSize = 16;

struct PropertyInfo
{
    int32_t id;
    int32_t size;
    bool readOnly;
    std::size_t storeOffset; // where a writable value lives in Device::props
    bool (*valid)(int device, const uint8_t *value);
};

// The property of `device` numbered `id`, or nullptr when the device has no such property.
const PropertyInfo *findProperty(int device, int32_t id);

// ---- Memory map ---------------------------------------------------------------------------

inline constexpr uint32_t MemorySize = 0x10000;
inline constexpr uint32_t InfoBlockBegin = 0x0000; // read-only device information
inline constexpr uint32_t InfoBlockEnd = 0x0100;
inline constexpr uint32_t SettingsBegin = 0x0100; // key / button assignments
inline constexpr uint32_t MacroBegin = 0x1000;    // macro storage, zero-filled
inline constexpr uint32_t MacroEnd = 0x8000;
inline constexpr uint32_t LightingBegin = 0x8000; // per-key colours
inline constexpr uint32_t ErasedBegin = 0xF000;   // scratch area, erased (0xFF) by default
inline constexpr uint32_t ErasedEnd = 0x10000;

// Offsets inside the information block.
inline constexpr uint32_t InfoMagicOffset = 0x00;   // "VSIM"
inline constexpr uint32_t InfoProductOffset = 0x04; // product code, uint16 LE
inline constexpr uint32_t InfoRecordOffset = 0x06;  // record index
inline constexpr uint32_t InfoLayoutOffset = 0x07;  // memory layout version (1)
inline constexpr uint32_t InfoVersionOffset = 0x08; // version text, 17 bytes
inline constexpr uint32_t InfoSnOffset = 0x19;      // serial number text, 14 bytes

// ---- Firmware -----------------------------------------------------------------------------

inline constexpr std::size_t FirmwareAreaSize = 65849;
inline constexpr std::size_t FirmwareVersionSize = 17; // bytes 0..16 of an image: version text

enum class Mode
{
    Normal,
    EnteringBootLoader, // gone from the bus, the boot loader not yet up
    BootLoader,
    LeavingBootLoader, // gone from the bus, restarting into the new firmware
};

struct Device
{
    Identity identity;
    std::array<uint8_t, PropertyStoreSize> props{};
    std::vector<uint8_t> memory;
    bool plugged = true;
    Mode mode = Mode::Normal;
    uint64_t transition = 0; // identifies the pending restart, so a stale timer does nothing
    std::vector<uint8_t> firmware;
    bool firmwareErased = false;
    uint32_t writePointer = 0; // end of the last block written since the erase
};

Device makeDefaultDevice(int index);

// Rewrites the information block from the identity (after a version change).
void refreshInfoBlock(Device &device, int index);

// Major, minor and patch numbers of a version text such as "1.2.3"; missing parts are 0.
std::array<uint8_t, 3> versionNumbers(const std::array<uint8_t, 17> &version);

// True when `bytes` (17) hold a usable version text: 1..17 printable ASCII characters
// followed by zero padding.
bool isValidVersionText(const uint8_t *bytes);

// A record's 8-bit text field as printable text ('?' for anything else), for diagnostics.
std::string printable(const uint8_t *bytes, std::size_t size);

} // namespace dcsim
