#pragma once

// Loads libdc.so in process with dlopen, as the program does, and records what its callbacks
// receive. Every test gets its own state file and a fresh load of the library.

#include "device/dcapi.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace libdctest {

using namespace std::chrono_literals;

inline constexpr char16_t Keyboard[] = u"HID\\Vid_04d9&Pid_a100";
inline constexpr char16_t Mouse[] = u"HID\\Vid_04d9&Pid_a200";
inline constexpr char16_t KeyboardPath[] = u"/dev/vorn-sim/keyboard";
inline constexpr char16_t MousePath[] = u"/dev/vorn-sim/mouse";
inline constexpr char16_t Empty[] = u"";
inline constexpr int32_t Code = dc::ProductCode;

inline constexpr uint32_t Arrival = 0x8000;
inline constexpr uint32_t Removal = 0x8004;
inline constexpr uint32_t BootLoaderFlag = 0x01000000;
inline constexpr uint32_t KeyboardRecord = 0u << 16;
inline constexpr uint32_t MouseRecord = 1u << 16;

struct Library
{
    void *handle = nullptr;

    DcDeviceExistFn dcDeviceExist;
    DcDevicesFn dcDevices;
    DcOnDeviceEventFn dcOnDeviceEvent;
    DcOnDeviceDataFn dconDeviceData;
    DcUnusedFn dcAsk;
    DcNotifyFn dcReset;
    DcNotifyFn dcNotify;
    DcReadFn dcRead;
    DcWriteFn dcWrite;
    DcReadPropFn dcReadProp;
    DcWritePropFn dcWriteProp;
    DcUnusedFn dcScriptOut;
    DcUnusedFn dcIDWrite;
    DcUnusedFn dcRebootRom;
    DcRomFn dcFinishUpdateRom;
    DcCheckRomFn dcCheckRom;
    DcBornRomFn dcBornRom;
    DcRomFn dcEraseRom;

    int (*dcsim_reset_state)();
    int (*dcsim_plug)(int);
    int (*dcsim_unplug)(int);
    int (*dcsim_report)(const uint8_t *);
    int (*dcsim_set_boot_loader_delay)(int);
    int (*dcsim_set_identity)(int, const char *, const void *, size_t);
    int (*dcsim_set_reported_count)(int);
    int (*dcsim_memory)(int, uint32_t, uint8_t *, int);
    int (*dcsim_flush_events)();
};

// What the library's callbacks received, in order. The callbacks carry no context, so this is
// process-wide; the fixture clears it for every test.
struct Delivery
{
    enum Kind
    {
        Event,
        Report
    } kind;
    uint32_t value;               // event value, or the report's extra value
    std::array<uint8_t, 8> bytes; // report bytes
    int sink;                     // which data callback received the report
    std::thread::id thread;
};

class CallbackLog
{
public:
    static void clear();
    static bool onEvent(uint32_t event);
    static bool onReport(const void *reportRef, uint32_t extra);
    static bool onReportOther(const void *reportRef, uint32_t extra);

    // When set, the event callback lists the devices from inside the callback.
    static void callBackIntoLibrary(const Library *library);

    // Waits (up to `timeout`) until `count` deliveries have arrived; returns all of them.
    static std::vector<Delivery> waitFor(std::size_t count,
                                         std::chrono::milliseconds timeout = 10s);
    static std::vector<Delivery> all();
    static std::vector<uint32_t> events();
    static int nestedListCount();
};

// A burst of five calls with one value.
std::vector<uint32_t> burst(uint32_t value);
std::vector<uint32_t> concat(std::vector<uint32_t> a, const std::vector<uint32_t> &b);

// Independent bitwise CRC-32 (zlib's), to check the library's check value against.
uint32_t referenceCrc32(const uint8_t *data, std::size_t size);

class LibdcTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Loads the library (state file and environment as set up) / unloads it and checks that
    // it really left the process.
    void load();
    void unload();

    std::vector<uint8_t> listDevices();
    int deviceCount();
    std::vector<uint8_t> readProp(const char16_t *device, int32_t property, int32_t length = 8);
    int writeProp(const char16_t *device, int32_t property, std::vector<uint8_t> value);
    std::vector<uint8_t> memory(int index, uint32_t address, int length);
    void registerEvents();

    Library dc{};
    std::string dir;
    std::string statePath;
};

} // namespace libdctest
