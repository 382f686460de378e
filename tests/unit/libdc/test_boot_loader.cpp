// Restarting into the boot loader, writing and checking an image, and coming back with the
// image's version.

#include "libdc_fixture.h"

#include <cstring>

namespace libdctest {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr const char16_t *BootLoader = dc::BootLoaderPath;
constexpr uint32_t FirmwareAreaSize = 65849;
constexpr int Delay = 50;

// An image whose first 17 bytes carry its version text.
Bytes firmwareImage(const char *version, std::size_t size)
{
    Bytes image(size);
    uint32_t x = 12345;
    for (uint8_t &b : image) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    std::memset(image.data(), 0, 17);
    std::memcpy(image.data(), version, std::strlen(version));
    return image;
}

class BootLoaderTest : public LibdcTest
{
protected:
    void SetUp() override
    {
        LibdcTest::SetUp();
        ASSERT_EQ(dc.dcsim_set_boot_loader_delay(Delay), 0);
        registerEvents();
    }

    // Restarts the keyboard into its boot loader and waits until the boot loader is up.
    void enterBootLoader()
    {
        const std::size_t before = CallbackLog::all().size();
        uint8_t result = 0xEE;
        ASSERT_EQ(dc.dcReset(Keyboard, Empty, Code, 0x0001, &result, 0), 0);
        EXPECT_EQ(result, 0);
        CallbackLog::waitFor(before + 10);
        ASSERT_EQ(dc.dcDeviceExist(BootLoader), 0);
    }

    int writeImage(const Bytes &image)
    {
        for (std::size_t offset = 0; offset < image.size(); offset += dc::MaxRomBlock) {
            const int32_t length =
                int32_t(std::min<std::size_t>(dc::MaxRomBlock, image.size() - offset));
            if (dc.dcBornRom(BootLoader, Empty, Code, image.data() + offset, length,
                             uint32_t(offset)) != 0)
                return -1;
        }
        return 0;
    }

    std::string listedVersion()
    {
        const Bytes block = listDevices();
        const uint8_t *field = block.data() + dc::RecordsOffset + dc::VersionOffset;
        return std::string(reinterpret_cast<const char *>(field),
                           strnlen(reinterpret_cast<const char *>(field), dc::VersionSize));
    }
};

TEST_F(BootLoaderTest, AFullUpdateBringsTheDeviceBackWithTheImageVersion)
{
    const Bytes image = firmwareImage("2.1.7", 4500); // two full blocks and a short one
    const uint32_t check = referenceCrc32(image.data(), image.size());

    const Clock::time_point start = Clock::now();
    uint8_t result = 0xEE;
    ASSERT_EQ(dc.dcReset(Keyboard, Empty, Code, 0x0001, &result, 0), 0);
    EXPECT_EQ(result, 0);
    // The keyboard leaves at once; only the mouse is listed while the boot loader is used.
    EXPECT_NE(dc.dcDeviceExist(Keyboard), 0);
    EXPECT_EQ(deviceCount(), 1);

    CallbackLog::waitFor(10);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(Delay));
    EXPECT_EQ(CallbackLog::events(), concat(burst(KeyboardRecord | Removal),
                                            burst(BootLoaderFlag | KeyboardRecord | Arrival)));
    EXPECT_EQ(dc.dcDeviceExist(BootLoader), 0);
    EXPECT_EQ(deviceCount(), 1);
    uint8_t value[4];
    EXPECT_NE(dc.dcReadProp(Keyboard, Empty, Code, value, 1, 2), 0); // normal calls fail now

    ASSERT_EQ(dc.dcEraseRom(BootLoader, Empty, Code), 0);
    ASSERT_EQ(writeImage(image), 0);
    EXPECT_NE(dc.dcCheckRom(BootLoader, Empty, Code, uint32_t(image.size()), check ^ 1u), 0);
    EXPECT_NE(dc.dcCheckRom(BootLoader, Empty, Code, uint32_t(image.size()) - 1, check), 0);
    ASSERT_EQ(dc.dcCheckRom(BootLoader, Empty, Code, uint32_t(image.size()), check), 0);
    ASSERT_EQ(dc.dcFinishUpdateRom(BootLoader, Empty, Code), 0);

    CallbackLog::waitFor(20);
    EXPECT_EQ(CallbackLog::events(),
              concat(concat(burst(KeyboardRecord | Removal),
                            burst(BootLoaderFlag | KeyboardRecord | Arrival)),
                     concat(burst(BootLoaderFlag | KeyboardRecord | Removal),
                            burst(KeyboardRecord | Arrival))));
    EXPECT_NE(dc.dcDeviceExist(BootLoader), 0);
    EXPECT_EQ(dc.dcDeviceExist(Keyboard), 0);
    EXPECT_EQ(listedVersion(), "2.1.7");
    EXPECT_EQ(readProp(Keyboard, 1, 3), (Bytes{2, 1, 7}));

    unload();
    load();
    EXPECT_EQ(listedVersion(), "2.1.7");
}

TEST_F(BootLoaderTest, BootLoaderCallsNeedTheBootLoader)
{
    EXPECT_NE(dc.dcEraseRom(BootLoader, Empty, Code), 0);
    EXPECT_NE(dc.dcEraseRom(Keyboard, Empty, Code), 0);
    EXPECT_NE(dc.dcFinishUpdateRom(Keyboard, Empty, Code), 0);
    EXPECT_NE(dc.dcCheckRom(Keyboard, Empty, Code, 0, 0), 0);
    const uint8_t byte = 0;
    EXPECT_NE(dc.dcBornRom(Keyboard, Empty, Code, &byte, 1, 0), 0);

    uint8_t result = 0xEE;
    EXPECT_NE(dc.dcReset(Keyboard, Empty, Code, 0x0002, &result, 0), 0);
    EXPECT_EQ(result, 1);
    EXPECT_NE(dc.dcReset(Keyboard, Empty, Code, 0x0101, &result, 0), 0);
    EXPECT_NE(dc.dcReset(Keyboard, Empty, Code, 0x0001, nullptr, 0), 0);
    EXPECT_EQ(dc.dcDeviceExist(Keyboard), 0);

    enterBootLoader();
    // One boot loader at a time: the mouse cannot restart into it now.
    EXPECT_NE(dc.dcReset(Mouse, Empty, Code, 0x0001, &result, 0), 0);
    EXPECT_EQ(result, 3);
    // The boot loader also answers to the device's own HardwareID.
    EXPECT_EQ(dc.dcEraseRom(Keyboard, Empty, Code), 0);
    EXPECT_NE(dc.dcEraseRom(Mouse, Empty, Code), 0);
    EXPECT_NE(dc.dcEraseRom(BootLoader, Empty, Code + 1), 0);
}

TEST_F(BootLoaderTest, BlocksMustFitTheFirmwareArea)
{
    enterBootLoader();
    const Bytes block(dc::MaxRomBlock + 1, 0x11);
    // Writing needs an erase first.
    EXPECT_NE(dc.dcBornRom(BootLoader, Empty, Code, block.data(), 16, 0), 0);
    ASSERT_EQ(dc.dcEraseRom(BootLoader, Empty, Code), 0);

    struct Case
    {
        const char *name;
        int32_t length;
        uint32_t offset;
        bool accepted;
    };
    const Case cases[] = {
        {"full block", dc::MaxRomBlock, 0, true},
        {"block too long", dc::MaxRomBlock + 1, 0, false},
        {"negative length", -1, 0, false},
        {"empty block", 0, 100, true},
        {"ends at the area end", 100, FirmwareAreaSize - 100, true},
        {"one byte past the end", 101, FirmwareAreaSize - 100, false},
        {"starts past the end", 1, FirmwareAreaSize, false},
        {"offset wraps", 2, 0xFFFFFFFF, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dc.dcBornRom(BootLoader, Empty, Code, block.data(), c.length, c.offset) == 0,
                  c.accepted);
    }
    EXPECT_NE(dc.dcBornRom(BootLoader, Empty, Code, nullptr, 4, 0), 0);

    // What was accepted is exactly what the area holds.
    Bytes area(FirmwareAreaSize, 0xFF);
    std::fill(area.begin(), area.begin() + dc::MaxRomBlock, 0x11);
    std::fill(area.end() - 100, area.end(), 0x11);
    EXPECT_EQ(dc.dcCheckRom(BootLoader, Empty, Code, FirmwareAreaSize,
                            referenceCrc32(area.data(), area.size())),
              0);
    EXPECT_NE(dc.dcCheckRom(BootLoader, Empty, Code, FirmwareAreaSize + 1, 0), 0);
}

TEST_F(BootLoaderTest, TheCheckValueIsZlibCrc32)
{
    enterBootLoader();
    ASSERT_EQ(dc.dcEraseRom(BootLoader, Empty, Code), 0);
    const char digits[] = "123456789";
    ASSERT_EQ(
        dc.dcBornRom(BootLoader, Empty, Code, reinterpret_cast<const uint8_t *>(digits), 9, 0), 0);
    EXPECT_EQ(dc.dcCheckRom(BootLoader, Empty, Code, 9, 0xCBF43926u), 0);
    EXPECT_EQ(dc.dcCheckRom(BootLoader, Empty, Code, 0, 0), 0);
    EXPECT_EQ(dc.dcCheckRom(BootLoader, Empty, Code, 1, 0x83DCEFB7u), 0); // "1"

    // A version-only image.
    ASSERT_EQ(dc.dcEraseRom(BootLoader, Empty, Code), 0);
    ASSERT_EQ(writeImage(firmwareImage("2.1.7", 17)), 0);
    EXPECT_EQ(dc.dcCheckRom(BootLoader, Empty, Code, 17, 0x1A35FB3Du), 0);
}

TEST_F(BootLoaderTest, AnImageWithoutVersionTextIsNotStarted)
{
    enterBootLoader();
    ASSERT_EQ(dc.dcEraseRom(BootLoader, Empty, Code), 0);
    EXPECT_NE(dc.dcFinishUpdateRom(BootLoader, Empty, Code), 0); // all 0xFF

    const Bytes badText = {'2', '.', 0x01, '0'};
    ASSERT_EQ(dc.dcBornRom(BootLoader, Empty, Code, badText.data(), 4, 0), 0);
    EXPECT_NE(dc.dcFinishUpdateRom(BootLoader, Empty, Code), 0);

    // A text filling all 17 bytes is fine.
    ASSERT_EQ(writeImage(firmwareImage("10.20.30-rc.12345", 17)), 0);
    ASSERT_EQ(dc.dcFinishUpdateRom(BootLoader, Empty, Code), 0);
    CallbackLog::waitFor(20);
    EXPECT_EQ(listedVersion(), "10.20.30-rc.12345");
    EXPECT_EQ(readProp(Keyboard, 1, 3), (Bytes{10, 20, 30}));
}

TEST_F(BootLoaderTest, FinishingWithoutWritingKeepsTheRunningImage)
{
    enterBootLoader();
    ASSERT_EQ(dc.dcFinishUpdateRom(BootLoader, Empty, Code), 0);
    CallbackLog::waitFor(20);
    EXPECT_EQ(dc.dcDeviceExist(Keyboard), 0);
    EXPECT_EQ(listedVersion(), "1.0.0");
}

TEST_F(BootLoaderTest, TheBootLoaderStaysAcrossUnplugAndPlug)
{
    enterBootLoader();
    ASSERT_EQ(dc.dcsim_unplug(0), 0);
    ASSERT_EQ(dc.dcsim_flush_events(), 0);
    EXPECT_NE(dc.dcDeviceExist(BootLoader), 0);
    EXPECT_NE(dc.dcEraseRom(BootLoader, Empty, Code), 0);

    ASSERT_EQ(dc.dcsim_plug(0), 0);
    ASSERT_EQ(dc.dcsim_flush_events(), 0);
    EXPECT_EQ(dc.dcDeviceExist(BootLoader), 0);
    EXPECT_NE(dc.dcDeviceExist(Keyboard), 0);
    const std::vector<uint32_t> events = CallbackLog::events();
    ASSERT_EQ(events.size(), 20u);
    EXPECT_EQ(std::vector<uint32_t>(events.begin() + 10, events.end()),
              concat(burst(BootLoaderFlag | KeyboardRecord | Removal),
                     burst(BootLoaderFlag | KeyboardRecord | Arrival)));
}

TEST_F(BootLoaderTest, AResetCancelsAPendingRestart)
{
    ASSERT_EQ(dc.dcsim_set_boot_loader_delay(60000), 0);
    uint8_t result = 0;
    ASSERT_EQ(dc.dcReset(Keyboard, Empty, Code, 0x0001, &result, 0), 0);
    EXPECT_NE(dc.dcDeviceExist(Keyboard), 0);
    EXPECT_NE(dc.dcDeviceExist(BootLoader), 0);

    ASSERT_EQ(dc.dcsim_reset_state(), 0);
    EXPECT_EQ(dc.dcDeviceExist(Keyboard), 0);
    EXPECT_NE(dc.dcDeviceExist(BootLoader), 0);
    EXPECT_EQ(deviceCount(), 2);
    // The restart of a reset device may start over.
    ASSERT_EQ(dc.dcsim_set_boot_loader_delay(Delay), 0);
    enterBootLoader();
}

} // namespace
} // namespace libdctest
