// The exported entry points of libdc.so and the dcsim_ control functions for tests. Each one
// forwards to the single Simulator that lives as long as the library is loaded.

#include "device/dcapi.h"
#include "simulator.h"

#include <type_traits>

#define DC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

dcsim::Simulator &sim()
{
    static dcsim::Simulator instance; // destroyed (threads joined) when the library unloads
    return instance;
}

__attribute__((constructor)) void onLoad()
{
    sim().startControlSocket();
}

} // namespace

DC_EXPORT int32_t dcDeviceExist(const char16_t *id)
{
    return sim().deviceExist(id);
}

DC_EXPORT int32_t dcDevices(DcDeviceListFilter filter, uint8_t *buffer, int32_t size)
{
    return sim().devices(filter, buffer, size);
}

DC_EXPORT int32_t dcOnDeviceEvent(const DcEventCallback *callbackRef)
{
    return sim().onDeviceEvent(callbackRef);
}

DC_EXPORT int32_t dconDeviceData(const char16_t *id, const char16_t *path, int32_t code,
                                 const DcDataCallback *callbackRef)
{
    return sim().onDeviceData(id, path, code, callbackRef);
}

DC_EXPORT int32_t dcNotify(const char16_t *id, const char16_t *, int32_t code, uint16_t notice,
                           uint8_t *result, int32_t)
{
    return sim().notify(id, code, notice, result);
}

DC_EXPORT int32_t dcReset(const char16_t *id, const char16_t *, int32_t code, uint16_t notice,
                          uint8_t *result, int32_t)
{
    return sim().reset(id, code, notice, result);
}

DC_EXPORT int32_t dcRead(const char16_t *id, const char16_t *, int32_t code, uint8_t *buffer,
                         int32_t length, uint32_t address)
{
    return sim().read(id, code, buffer, length, address);
}

DC_EXPORT int32_t dcWrite(const char16_t *id, const char16_t *, int32_t code, const uint8_t *data,
                          int32_t length, uint32_t address)
{
    return sim().write(id, code, data, length, address);
}

DC_EXPORT int32_t dcReadProp(const char16_t *id, const char16_t *, int32_t code, uint8_t *buffer,
                             int32_t length, int32_t property)
{
    return sim().readProp(id, code, buffer, length, property);
}

DC_EXPORT int32_t dcWriteProp(const char16_t *id, const char16_t *, int32_t code,
                              const uint8_t *data, int32_t length, int32_t property)
{
    return sim().writeProp(id, code, data, length, property);
}

DC_EXPORT int32_t dcEraseRom(const char16_t *id, const char16_t *, int32_t code)
{
    return sim().eraseRom(id, code);
}

DC_EXPORT int32_t dcBornRom(const char16_t *id, const char16_t *, int32_t code,
                            const uint8_t *block, int32_t length, uint32_t offset)
{
    return sim().bornRom(id, code, block, length, offset);
}

DC_EXPORT int32_t dcCheckRom(const char16_t *id, const char16_t *, int32_t code,
                             uint32_t imageLength, uint32_t checkValue)
{
    return sim().checkRom(id, code, imageLength, checkValue);
}

DC_EXPORT int32_t dcFinishUpdateRom(const char16_t *id, const char16_t *, int32_t code)
{
    return sim().finishUpdateRom(id, code);
}

// Present for completeness; the program resolves them but never calls them.
DC_EXPORT int32_t dcAsk()
{
    return 0;
}
DC_EXPORT int32_t dcScriptOut()
{
    return 0;
}
DC_EXPORT int32_t dcIDWrite()
{
    return 0;
}
DC_EXPORT int32_t dcRebootRom()
{
    return 0;
}

// ---- control functions --------------------------------------------------------------------

DC_EXPORT int dcsim_reset_state()
{
    return sim().resetState();
}
DC_EXPORT int dcsim_plug(int index)
{
    return sim().plug(index);
}
DC_EXPORT int dcsim_unplug(int index)
{
    return sim().unplug(index);
}
DC_EXPORT int dcsim_report(const uint8_t bytes[8])
{
    return sim().report(bytes);
}
DC_EXPORT int dcsim_set_boot_loader_delay(int ms)
{
    return sim().setBootLoaderDelay(ms);
}

DC_EXPORT int dcsim_set_identity(int index, const char *field, const void *bytes, size_t size)
{
    return sim().setIdentity(index, field, bytes, size);
}

DC_EXPORT int dcsim_set_reported_count(int count)
{
    return sim().setReportedCount(count);
}

DC_EXPORT int dcsim_memory(int index, uint32_t address, uint8_t *out, int length)
{
    return sim().memory(index, address, out, length);
}

DC_EXPORT int dcsim_flush_events()
{
    return sim().flushEvents();
}

// The exports must keep the shapes the program expects.
static_assert(std::is_same_v<decltype(&dcDeviceExist), DcDeviceExistFn>);
static_assert(std::is_same_v<decltype(&dcDevices), DcDevicesFn>);
static_assert(std::is_same_v<decltype(&dcOnDeviceEvent), DcOnDeviceEventFn>);
static_assert(std::is_same_v<decltype(&dconDeviceData), DcOnDeviceDataFn>);
static_assert(std::is_same_v<decltype(&dcNotify), DcNotifyFn>);
static_assert(std::is_same_v<decltype(&dcReset), DcNotifyFn>);
static_assert(std::is_same_v<decltype(&dcRead), DcReadFn>);
static_assert(std::is_same_v<decltype(&dcWrite), DcWriteFn>);
static_assert(std::is_same_v<decltype(&dcReadProp), DcReadPropFn>);
static_assert(std::is_same_v<decltype(&dcWriteProp), DcWritePropFn>);
static_assert(std::is_same_v<decltype(&dcEraseRom), DcRomFn>);
static_assert(std::is_same_v<decltype(&dcFinishUpdateRom), DcRomFn>);
static_assert(std::is_same_v<decltype(&dcBornRom), DcBornRomFn>);
static_assert(std::is_same_v<decltype(&dcCheckRom), DcCheckRomFn>);
static_assert(std::is_same_v<decltype(&dcAsk), DcUnusedFn>);
static_assert(std::is_same_v<decltype(&dcScriptOut), DcUnusedFn>);
static_assert(std::is_same_v<decltype(&dcIDWrite), DcUnusedFn>);
static_assert(std::is_same_v<decltype(&dcRebootRom), DcUnusedFn>);
