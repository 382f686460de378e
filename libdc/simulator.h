#pragma once

// The simulated device family behind the exported entry points. Every public function takes
// the one state lock for its whole body; callbacks into the program are only made by the
// worker thread, never under that lock.

#include "device/dcapi.h"
#include "device_model.h"
#include "state_file.h"
#include "worker.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace dcsim {

class ControlSocket;

// Event values: the kind in the low 16 bits, the record index in bits 16..23, and
// EventBootLoaderFlag when it is the boot loader that arrives or leaves.
inline constexpr uint32_t EventArrival = 0x8000;
inline constexpr uint32_t EventRemoval = 0x8004;
inline constexpr uint32_t EventBootLoaderFlag = 0x01000000;
inline constexpr int EventBurst = 5;

// Result bytes of dcNotify and dcReset.
inline constexpr uint8_t NoticeDone = 0;
inline constexpr uint8_t NoticeUnknown = 1;
inline constexpr uint8_t NoticeOutOfRange = 2;
inline constexpr uint8_t NoticeRefused = 3;

enum NoticeType : uint8_t
{
    NoticeSwitchMode = 1,
    NoticeLedEffect = 2,
    NoticeLedBrightness = 3,
};
inline constexpr uint16_t ResetToBootLoader = 0x0001;

// First byte of a data report.
enum ReportType : uint8_t
{
    ReportModeChanged = 0x01, // byte 1: mode chosen on the device
    ReportDpiChanged = 0x02,  // bytes 1..2: DPI (LE) chosen on the mouse
    ReportKey = 0x03,         // byte 1: key code, byte 2: 1 pressed / 0 released
};

inline constexpr int DefaultBootLoaderDelayMs = 2000;
inline constexpr int MaxBootLoaderDelayMs = 600000;

class Simulator
{
public:
    Simulator();
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Starts the control socket when VORN_SIM_CONTROL names a path.
    void startControlSocket();

    // ---- entry points ----
    int32_t deviceExist(const char16_t *id);
    int32_t devices(const DcDeviceListFilter &filter, uint8_t *buffer, int32_t size);
    int32_t onDeviceEvent(const DcEventCallback *callbackRef);
    int32_t onDeviceData(const char16_t *id, const char16_t *path, int32_t code,
                         const DcDataCallback *callbackRef);
    int32_t notify(const char16_t *id, int32_t code, uint16_t notice, uint8_t *result);
    int32_t reset(const char16_t *id, int32_t code, uint16_t notice, uint8_t *result);
    int32_t read(const char16_t *id, int32_t code, uint8_t *buffer, int32_t length,
                 uint32_t address);
    int32_t write(const char16_t *id, int32_t code, const uint8_t *data, int32_t length,
                  uint32_t address);
    int32_t readProp(const char16_t *id, int32_t code, uint8_t *buffer, int32_t length,
                     int32_t property);
    int32_t writeProp(const char16_t *id, int32_t code, const uint8_t *data, int32_t length,
                      int32_t property);
    int32_t eraseRom(const char16_t *id, int32_t code);
    int32_t bornRom(const char16_t *id, int32_t code, const uint8_t *block, int32_t length,
                    uint32_t offset);
    int32_t checkRom(const char16_t *id, int32_t code, uint32_t imageLength, uint32_t checkValue);
    int32_t finishUpdateRom(const char16_t *id, int32_t code);

    // ---- control ----
    int resetState();
    int plug(int index);
    int unplug(int index);
    int report(const uint8_t *bytes);
    int setBootLoaderDelay(int ms);
    int setIdentity(int index, const char *field, const void *bytes, std::size_t size);
    int setReportedCount(int count);
    int memory(int index, uint32_t address, uint8_t *out, int length);
    int flushEvents();

    // One line of the control socket protocol in, one reply line (without newline) out.
    std::string controlCommand(std::string_view line);

private:
    struct DataRegistration
    {
        int device = -1;
        DcDataCallback callback = nullptr;
    };

    static std::string resolveStatePath();
    void persistLocked();
    int presentDeviceLocked(const char16_t *id, int32_t code) const;
    int bootLoaderDeviceLocked(const char16_t *id, int32_t code) const;
    void postBurstLocked(uint32_t kind, int index, bool bootLoader);
    void finishTransition(int index, uint64_t transition);
    std::string describeLocked() const;

    mutable std::mutex mutex_;
    Devices devices_;
    std::string statePath_;
    bool persistFailed_ = false;
    std::atomic<DcEventCallback> eventCallback_{nullptr};
    DataRegistration data_;
    uint32_t reportSequence_ = 0;
    int bootLoaderDelayMs_ = DefaultBootLoaderDelayMs;
    int forcedCount_ = -1;
    uint64_t transitionCounter_ = 0;
    Worker worker_;
    std::unique_ptr<ControlSocket> control_;
};

} // namespace dcsim
