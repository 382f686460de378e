#pragma once

// Call shapes of the device-communication library (libdc.so).
//
// The library is closed; the program only relies on these shapes. Texts are zero-terminated
// UTF-16. Every device call takes the device text (a record's HardwareID) first, then a second
// text that is empty in every call but dconDeviceData, then the product code. An integer
// result of 0 means success.

#include <cstddef>
#include <cstdint>

extern "C" {

// Words of the filter that dcDevices receives by value.
struct DcDeviceListFilter
{
    uint32_t words[20];
};

// Both callbacks return true. The event callback's argument carries the event value in its
// low 16 bits. The data callback receives the address of a location holding the address of
// the 8 report bytes; its second argument has no meaning to the program.
typedef bool (*DcEventCallback)(uint32_t event);
typedef bool (*DcDataCallback)(const void *reportRef, uint32_t extra);

typedef int32_t (*DcDeviceExistFn)(const char16_t *id);
typedef int32_t (*DcDevicesFn)(DcDeviceListFilter filter, uint8_t *buffer, int32_t size);
typedef int32_t (*DcOnDeviceEventFn)(const DcEventCallback *callbackRef);
typedef int32_t (*DcOnDeviceDataFn)(const char16_t *id, const char16_t *path, int32_t code,
                                    const DcDataCallback *callbackRef);
typedef int32_t (*DcNotifyFn)(const char16_t *id, const char16_t *path, int32_t code,
                              uint16_t notice, uint8_t *result, int32_t reserved);
typedef int32_t (*DcReadFn)(const char16_t *id, const char16_t *path, int32_t code, uint8_t *buffer,
                            int32_t length, uint32_t address);
typedef int32_t (*DcWriteFn)(const char16_t *id, const char16_t *path, int32_t code,
                             const uint8_t *data, int32_t length, uint32_t address);
typedef int32_t (*DcReadPropFn)(const char16_t *id, const char16_t *path, int32_t code,
                                uint8_t *buffer, int32_t length, int32_t property);
typedef int32_t (*DcWritePropFn)(const char16_t *id, const char16_t *path, int32_t code,
                                 const uint8_t *data, int32_t length, int32_t property);
typedef int32_t (*DcRomFn)(const char16_t *id, const char16_t *path, int32_t code);
typedef int32_t (*DcBornRomFn)(const char16_t *id, const char16_t *path, int32_t code,
                               const uint8_t *block, int32_t length, uint32_t offset);
typedef int32_t (*DcCheckRomFn)(const char16_t *id, const char16_t *path, int32_t code,
                                uint32_t imageLength, uint32_t checkValue);
// Exports that are resolved but never called.
typedef int32_t (*DcUnusedFn)();

} // extern "C"

namespace dc {

inline constexpr int32_t ProductCode = 0x1016; // 4118

inline constexpr std::size_t TransferSize = 2048;
inline constexpr int32_t MaxRomBlock = 2000;

// The device list block filled by dcDevices.
inline constexpr std::size_t DeviceListSize = 42102;
inline constexpr std::size_t MaxRecords = 20;
inline constexpr std::size_t RecordSize = 2105;
inline constexpr std::size_t RecordsOffset = 2;

// Fields within a record: 8-bit texts end at the first zero byte or the field end; UTF-16
// texts are zero-terminated within their field of 255 code units.
inline constexpr std::size_t DeviceIdOffset = 0, DeviceIdSize = 40;
inline constexpr std::size_t VersionOffset = 40, VersionSize = 17;
inline constexpr std::size_t SnOffset = 57, SnSize = 14;
inline constexpr std::size_t MaskOffset = 71, MaskSize = 2;
inline constexpr std::size_t DevicePathOffset = 1085;
inline constexpr std::size_t HardwareIdOffset = 1595;
inline constexpr std::size_t WideFieldSize = 510; // bytes: 255 UTF-16 code units

inline constexpr DcDeviceListFilter DeviceListFilter = {
    {0xFFA00001u, 0xFFAA0001u, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};

// Path of the device while it runs its boot loader.
inline constexpr char16_t BootLoaderPath[] = u"HID\\Vid_04d9&Pid_b0d2";

} // namespace dc
