#include "libdc_fixture.h"

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>

namespace libdctest {

namespace {

std::mutex s_mutex;
std::condition_variable s_changed;
std::vector<Delivery> s_deliveries;
const Library *s_nested = nullptr;
int s_nestedLists = 0;

bool record(const void *reportRef, uint32_t extra, int sink)
{
    Delivery d{Delivery::Report, extra, {}, sink, std::this_thread::get_id()};
    const uint8_t *bytes = nullptr;
    std::memcpy(&bytes, reportRef, sizeof bytes);
    std::memcpy(d.bytes.data(), bytes, d.bytes.size());
    std::lock_guard lock(s_mutex);
    s_deliveries.push_back(d);
    s_changed.notify_all();
    return true;
}

template <typename T> void resolve(void *handle, T &entry, const char *name)
{
    entry = reinterpret_cast<T>(dlsym(handle, name));
    ASSERT_NE(entry, nullptr) << name << " is not exported";
}

} // namespace

void CallbackLog::clear()
{
    std::lock_guard lock(s_mutex);
    s_deliveries.clear();
    s_nested = nullptr;
    s_nestedLists = 0;
}

bool CallbackLog::onEvent(uint32_t event)
{
    const Library *nested;
    {
        std::lock_guard lock(s_mutex);
        nested = s_nested;
    }
    if (nested) {
        std::vector<uint8_t> block(dc::DeviceListSize);
        if (nested->dcDevices(dc::DeviceListFilter, block.data(), int32_t(block.size())) == 0) {
            std::lock_guard lock(s_mutex);
            ++s_nestedLists;
        }
    }
    std::lock_guard lock(s_mutex);
    s_deliveries.push_back({Delivery::Event, event, {}, 0, std::this_thread::get_id()});
    s_changed.notify_all();
    return true;
}

bool CallbackLog::onReport(const void *reportRef, uint32_t extra)
{
    return record(reportRef, extra, 0);
}

bool CallbackLog::onReportOther(const void *reportRef, uint32_t extra)
{
    return record(reportRef, extra, 1);
}

void CallbackLog::callBackIntoLibrary(const Library *library)
{
    std::lock_guard lock(s_mutex);
    s_nested = library;
}

std::vector<Delivery> CallbackLog::waitFor(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(s_mutex);
    s_changed.wait_for(lock, timeout, [count] { return s_deliveries.size() >= count; });
    return s_deliveries;
}

std::vector<Delivery> CallbackLog::all()
{
    std::lock_guard lock(s_mutex);
    return s_deliveries;
}

std::vector<uint32_t> CallbackLog::events()
{
    std::vector<uint32_t> values;
    for (const Delivery &d : all()) {
        if (d.kind == Delivery::Event)
            values.push_back(d.value);
    }
    return values;
}

int CallbackLog::nestedListCount()
{
    std::lock_guard lock(s_mutex);
    return s_nestedLists;
}

std::vector<uint32_t> burst(uint32_t value)
{
    return std::vector<uint32_t>(5, value);
}

std::vector<uint32_t> concat(std::vector<uint32_t> a, const std::vector<uint32_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

uint32_t referenceCrc32(const uint8_t *data, std::size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void LibdcTest::SetUp()
{
    CallbackLog::clear();
    std::string pattern = (std::filesystem::temp_directory_path() / "libdc-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    statePath = dir + "/state.bin";
    setenv("VORN_SIM_STATE", statePath.c_str(), 1);
    unsetenv("VORN_SIM_CONTROL");
    load();
}

void LibdcTest::TearDown()
{
    if (dc.handle)
        unload();
    CallbackLog::clear();
    std::filesystem::remove_all(dir);
}

void LibdcTest::load()
{
    dc.handle = dlopen(VORN_LIBDC_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(dc.handle, nullptr) << dlerror();
    void *h = dc.handle;
    resolve(h, dc.dcDeviceExist, "dcDeviceExist");
    resolve(h, dc.dcDevices, "dcDevices");
    resolve(h, dc.dcOnDeviceEvent, "dcOnDeviceEvent");
    resolve(h, dc.dconDeviceData, "dconDeviceData");
    resolve(h, dc.dcAsk, "dcAsk");
    resolve(h, dc.dcReset, "dcReset");
    resolve(h, dc.dcNotify, "dcNotify");
    resolve(h, dc.dcRead, "dcRead");
    resolve(h, dc.dcWrite, "dcWrite");
    resolve(h, dc.dcReadProp, "dcReadProp");
    resolve(h, dc.dcWriteProp, "dcWriteProp");
    resolve(h, dc.dcScriptOut, "dcScriptOut");
    resolve(h, dc.dcIDWrite, "dcIDWrite");
    resolve(h, dc.dcRebootRom, "dcRebootRom");
    resolve(h, dc.dcFinishUpdateRom, "dcFinishUpdateRom");
    resolve(h, dc.dcCheckRom, "dcCheckRom");
    resolve(h, dc.dcBornRom, "dcBornRom");
    resolve(h, dc.dcEraseRom, "dcEraseRom");
    resolve(h, dc.dcsim_reset_state, "dcsim_reset_state");
    resolve(h, dc.dcsim_plug, "dcsim_plug");
    resolve(h, dc.dcsim_unplug, "dcsim_unplug");
    resolve(h, dc.dcsim_report, "dcsim_report");
    resolve(h, dc.dcsim_set_boot_loader_delay, "dcsim_set_boot_loader_delay");
    resolve(h, dc.dcsim_set_identity, "dcsim_set_identity");
    resolve(h, dc.dcsim_set_reported_count, "dcsim_set_reported_count");
    resolve(h, dc.dcsim_memory, "dcsim_memory");
    resolve(h, dc.dcsim_flush_events, "dcsim_flush_events");
}

void LibdcTest::unload()
{
    ASSERT_EQ(dlclose(dc.handle), 0) << dlerror();
    dc = Library{};
    // The library must really leave the process, or a reload would not start from the file.
    void *still = dlopen(VORN_LIBDC_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (still)
        dlclose(still);
    ASSERT_EQ(still, nullptr) << "libdc.so stayed loaded after dlclose";
}

std::vector<uint8_t> LibdcTest::listDevices()
{
    std::vector<uint8_t> block(dc::DeviceListSize, 0xAA);
    EXPECT_EQ(dc.dcDevices(dc::DeviceListFilter, block.data(), int32_t(block.size())), 0);
    return block;
}

int LibdcTest::deviceCount()
{
    const std::vector<uint8_t> block = listDevices();
    return block[0] | (block[1] << 8);
}

std::vector<uint8_t> LibdcTest::readProp(const char16_t *device, int32_t property, int32_t length)
{
    std::vector<uint8_t> value(std::size_t(length), 0xAA);
    if (dc.dcReadProp(device, Empty, Code, value.data(), length, property) != 0)
        return {};
    return value;
}

int LibdcTest::writeProp(const char16_t *device, int32_t property, std::vector<uint8_t> value)
{
    return dc.dcWriteProp(device, Empty, Code, value.data(), int32_t(value.size()), property);
}

std::vector<uint8_t> LibdcTest::memory(int index, uint32_t address, int length)
{
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
    EXPECT_EQ(dc.dcsim_memory(index, address, bytes.data(), length), 0);
    return bytes;
}

void LibdcTest::registerEvents()
{
    const DcEventCallback callback = &CallbackLog::onEvent;
    ASSERT_EQ(dc.dcOnDeviceEvent(&callback), 0);
}

} // namespace libdctest
