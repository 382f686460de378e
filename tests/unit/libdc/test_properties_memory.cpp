// Properties, memory, notices and the state file.

#include "libdc_fixture.h"

#include <fstream>
#include <iterator>

namespace libdctest {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

TEST_F(LibdcTest, PropertiesStartAtTheirDefaults)
{
    struct Case
    {
        const char16_t *device;
        int32_t property;
        Bytes value;
    };
    const Case cases[] = {
        {Keyboard, 1, {1, 0, 0}}, {Keyboard, 2, {0}}, {Keyboard, 4, {80}},   {Keyboard, 5, {1}},
        {Keyboard, 6, {1}},       {Keyboard, 7, {0}}, {Mouse, 1, {1, 0, 0}}, {Mouse, 2, {0}},
        {Mouse, 3, {0x40, 0x06}}, {Mouse, 4, {80}},   {Mouse, 5, {1}},       {Mouse, 6, {1}},
        {Mouse, 7, {2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.device == Mouse ? "mouse " : "keyboard ") << c.property);
        EXPECT_EQ(readProp(c.device, c.property, int32_t(c.value.size())), c.value);
    }
}

TEST_F(LibdcTest, PropertyReadsFillExactlyTheRequestedLength)
{
    // Longer than the property: its bytes, then zeros; nothing past the length is touched.
    Bytes buffer(12, 0xAA);
    ASSERT_EQ(dc.dcReadProp(Mouse, Empty, Code, buffer.data(), 8, 3), 0);
    EXPECT_EQ(buffer, (Bytes{0x40, 0x06, 0, 0, 0, 0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}));

    // Shorter: the leading bytes only.
    buffer.assign(4, 0xAA);
    ASSERT_EQ(dc.dcReadProp(Mouse, Empty, Code, buffer.data(), 1, 3), 0);
    EXPECT_EQ(buffer, (Bytes{0x40, 0xAA, 0xAA, 0xAA}));

    // A property the device lacks fails and leaves zeros.
    for (int32_t property : {0, 3, 8, -1, 1000}) {
        SCOPED_TRACE(property);
        buffer.assign(12, 0xAA);
        EXPECT_NE(dc.dcReadProp(Keyboard, Empty, Code, buffer.data(), 8, property), 0);
        EXPECT_EQ(buffer, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}));
    }
}

TEST_F(LibdcTest, PropertyWritesAreCheckedAndReadBack)
{
    struct Case
    {
        const char16_t *device;
        int32_t property;
        Bytes value;
        bool accepted;
    };
    const Case cases[] = {
        {Keyboard, 2, {4}, true},
        {Keyboard, 2, {5}, false},
        {Keyboard, 2, {1, 0}, false}, // wrong length
        {Keyboard, 2, {}, false},
        {Mouse, 3, {0x20, 0x03}, true},  // 800 DPI
        {Mouse, 3, {0x80, 0x3E}, true},  // 16000
        {Mouse, 3, {0xB2, 0x3E}, false}, // 16050
        {Mouse, 3, {0x7D, 0x00}, false}, // 125: not a step of 50
        {Keyboard, 3, {0x20, 0x03}, false},
        {Keyboard, 4, {100}, true},
        {Keyboard, 4, {101}, false},
        {Mouse, 5, {8}, true},
        {Mouse, 5, {3}, false},
        {Mouse, 6, {7}, true},
        {Mouse, 6, {8}, false},
        {Keyboard, 7, {1}, true},
        {Keyboard, 7, {2}, false},
        {Mouse, 7, {3}, true},
        {Mouse, 7, {0}, false},
        {Keyboard, 1, {2, 0, 0}, false}, // read-only
        {Keyboard, 9, {1}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.device == Mouse ? "mouse " : "keyboard ")
                                        << c.property << " size " << c.value.size());
        const int32_t size = std::max<int32_t>(1, int32_t(c.value.size()));
        const Bytes before = readProp(c.device, c.property, size);
        const int result = writeProp(c.device, c.property, c.value);
        if (c.accepted) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(readProp(c.device, c.property, size), c.value);
        } else {
            EXPECT_NE(result, 0);
            EXPECT_EQ(readProp(c.device, c.property, size), before);
        }
    }
}

TEST_F(LibdcTest, CallsForNoPresentDeviceOrWithBadArgumentsFail)
{
    uint8_t buffer[dc::TransferSize + 1] = {};
    uint8_t result = 0xEE;
    ASSERT_EQ(dc.dcsim_unplug(1), 0);
    struct Case
    {
        const char *name;
        const char16_t *device;
        int32_t code;
        int32_t length;
    };
    const Case cases[] = {
        {"unknown device", u"HID\\Vid_0000&Pid_0000", Code, 4},
        {"null device", nullptr, Code, 4},
        {"unplugged device", Mouse, Code, 4},
        {"wrong product code", Keyboard, Code + 1, 4},
        {"negative length", Keyboard, Code, -1},
        {"length above a transfer", Keyboard, Code, int32_t(dc::TransferSize) + 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(dc.dcRead(c.device, Empty, c.code, buffer, c.length, 0x1000), 0);
        EXPECT_NE(dc.dcWrite(c.device, Empty, c.code, buffer, c.length, 0x1000), 0);
        EXPECT_NE(dc.dcReadProp(c.device, Empty, c.code, buffer, c.length, 2), 0);
        EXPECT_NE(dc.dcWriteProp(c.device, Empty, c.code, buffer, c.length, 2), 0);
        if (c.length == 4) {
            EXPECT_NE(dc.dcNotify(c.device, Empty, c.code, 0x0101, &result, 0), 0);
            EXPECT_NE(dc.dcReset(c.device, Empty, c.code, 0x0001, &result, 0), 0);
        }
    }
    EXPECT_EQ(result, 0xEE);
    EXPECT_NE(dc.dcRead(Keyboard, Empty, Code, nullptr, 4, 0x1000), 0);
    EXPECT_NE(dc.dcWrite(Keyboard, Empty, Code, nullptr, 4, 0x1000), 0);
    EXPECT_NE(dc.dcReadProp(Keyboard, Empty, Code, nullptr, 1, 2), 0);
    EXPECT_NE(dc.dcNotify(Keyboard, Empty, Code, 0x0101, nullptr, 0), 0);
    EXPECT_EQ(memory(0, 0x1000, 4), Bytes(4, 0)); // nothing was written
}

TEST_F(LibdcTest, MemoryStartsWithTheInfoBlockAndItsAreas)
{
    for (int index = 0; index < 2; ++index) {
        SCOPED_TRACE(index);
        const Bytes info = memory(index, 0, 0x100);
        const Bytes version = {'1', '.', '0', '.', '0', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        EXPECT_EQ(Bytes(info.begin(), info.begin() + 8),
                  (Bytes{'V', 'S', 'I', 'M', 0x16, 0x10, uint8_t(index), 1}));
        EXPECT_EQ(Bytes(info.begin() + 0x08, info.begin() + 0x19), version);
        EXPECT_EQ(info[0x19], index == 0 ? 'K' : 'M');

        EXPECT_EQ(memory(index, 0x0100, 0x7F00), Bytes(0x7F00, 0));    // settings, macros
        EXPECT_EQ(memory(index, 0x8000, 0x7000), Bytes(0x7000, 0));    // lighting
        EXPECT_EQ(memory(index, 0xF000, 0x1000), Bytes(0x1000, 0xFF)); // erased
    }
    // dcRead sees the same bytes.
    Bytes read(dc::TransferSize);
    ASSERT_EQ(dc.dcRead(Mouse, Empty, Code, read.data(), int32_t(read.size()), 0xF000 - 1024), 0);
    EXPECT_EQ(read, memory(1, 0xF000 - 1024, int(dc::TransferSize)));
    EXPECT_EQ(read[1023], 0);
    EXPECT_EQ(read[1024], 0xFF);
}

TEST_F(LibdcTest, MemoryWritesStayInsideTheMemoryAndOutOfTheInfoBlock)
{
    Bytes block(dc::TransferSize);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t(i * 7 + 3);
    ASSERT_EQ(dc.dcWrite(Keyboard, Empty, Code, block.data(), int32_t(block.size()), 0x1000), 0);
    EXPECT_EQ(memory(0, 0x1000, int(block.size())), block);
    EXPECT_EQ(memory(1, 0x1000, int(block.size())), Bytes(block.size(), 0)); // other device

    struct Case
    {
        const char *name;
        uint32_t address;
        int32_t length;
        bool accepted;
    };
    const Case cases[] = {
        {"last byte", 0xFFFF, 1, true},
        {"one past the end", 0xFFFF, 2, false},
        {"start past the end", 0x10000, 1, false},
        {"address wraps", 0xFFFFFFFF, 2, false},
        {"info block", 0x00FF, 2, false},
        {"first settings byte", 0x0100, 2, true},
        {"empty write", 0xFFFF, 0, true},
    };
    const Bytes data(8, 0x5A);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes before = memory(0, 0xF0, 0x20);
        const Bytes tail = memory(0, 0xFFF0, 0x10);
        const int result = dc.dcWrite(Keyboard, Empty, Code, data.data(), c.length, c.address);
        EXPECT_EQ(result == 0, c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(memory(0, 0xF0, 0x20), before);
            EXPECT_EQ(memory(0, 0xFFF0, 0x10), tail);
        }
    }
    EXPECT_EQ(memory(0, 0xFFFF, 1), Bytes{0x5A});
    EXPECT_EQ(memory(0, 0x00FE, 4), (Bytes{0, 0, 0x5A, 0x5A}));
}

TEST_F(LibdcTest, ReadsBeyondTheMemoryFailWithZerosAndNoOverrun)
{
    for (uint32_t address : {0xFFF0u, 0x10000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(address);
        Bytes buffer(48, 0xAA);
        EXPECT_NE(dc.dcRead(Keyboard, Empty, Code, buffer.data(), 32, address), 0);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 32), Bytes(32, 0));
        EXPECT_EQ(Bytes(buffer.begin() + 32, buffer.end()), Bytes(16, 0xAA));
    }
    Bytes out(4);
    EXPECT_NE(dc.dcsim_memory(0, 0xFFFE, out.data(), 4), 0);
    EXPECT_NE(dc.dcsim_memory(2, 0, out.data(), 4), 0);
}

TEST_F(LibdcTest, NoticesChangeTheirPropertyAndReportAResultByte)
{
    struct Case
    {
        uint16_t notice;
        bool accepted;
        uint8_t resultByte;
        int32_t property;
        uint8_t value; // of the property afterwards
    };
    const Case cases[] = {
        {0x0301, true, 0, 2, 3},   // switch mode 3
        {0x0501, false, 2, 2, 3},  // mode 5 does not exist
        {0x0602, true, 0, 6, 6},   // LED effect 6
        {0x0802, false, 2, 6, 6},  // effect 8 does not exist
        {0x3203, true, 0, 4, 50},  // brightness 50
        {0x6503, false, 2, 4, 50}, // brightness 101
        {0x0004, false, 1, 2, 3},  // unknown type
        {0x0100, false, 1, 2, 3},  // type 0 is unknown too
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.notice);
        uint8_t result = 0xEE;
        EXPECT_EQ(dc.dcNotify(Keyboard, Empty, Code, c.notice, &result, 0) == 0, c.accepted);
        EXPECT_EQ(result, c.resultByte);
        EXPECT_EQ(readProp(Keyboard, c.property, 1), Bytes{c.value});
    }
    EXPECT_EQ(readProp(Mouse, 2, 1), Bytes{0}); // the other device is not affected
}

TEST_F(LibdcTest, StatePersistsAcrossAReloadButEveryLoadStartsPlugged)
{
    const Bytes macro = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(writeProp(Mouse, 3, {0x80, 0x0C}), 0); // 3200 DPI
    uint8_t result = 0;
    ASSERT_EQ(dc.dcNotify(Keyboard, Empty, Code, 0x0201, &result, 0), 0);
    ASSERT_EQ(dc.dcWrite(Keyboard, Empty, Code, macro.data(), 8, 0x7FF8), 0);
    ASSERT_EQ(dc.dcsim_unplug(0), 0);
    const Bytes saved = readFile(statePath);

    unload();
    load();
    EXPECT_EQ(deviceCount(), 2);
    EXPECT_EQ(readProp(Mouse, 3, 2), (Bytes{0x80, 0x0C}));
    EXPECT_EQ(readProp(Keyboard, 2, 1), Bytes{2});
    EXPECT_EQ(memory(0, 0x7FF8, 8), macro);
    EXPECT_EQ(memory(0, 0xF000, 4), Bytes(4, 0xFF));
    EXPECT_EQ(readFile(statePath), saved); // loading alone does not rewrite the file

    // A reset goes back to the defaults, in memory and in the file.
    ASSERT_EQ(dc.dcsim_reset_state(), 0);
    EXPECT_EQ(readProp(Mouse, 3, 2), (Bytes{0x40, 0x06}));
    unload();
    load();
    EXPECT_EQ(memory(0, 0x7FF8, 8), Bytes(8, 0));
}

TEST_F(LibdcTest, AnUnusableStateFileMeansDefaults)
{
    ASSERT_EQ(writeProp(Keyboard, 4, {10}), 0);
    const Bytes good = readFile(statePath);
    ASSERT_GT(good.size(), 1000u);

    struct Case
    {
        const char *name;
        Bytes contents;
    };
    Bytes flipped = good;
    flipped[good.size() / 2] ^= 0x01;
    Bytes otherFormat = good; // intact, but of a format this build does not know
    otherFormat[8] = 2;
    const uint32_t crc = referenceCrc32(otherFormat.data(), otherFormat.size() - 4);
    for (int i = 0; i < 4; ++i)
        otherFormat[otherFormat.size() - 4 + i] = uint8_t(crc >> (8 * i));
    Bytes longer = good;
    longer.push_back(0);
    const Case cases[] = {
        {"empty", {}},
        {"truncated", Bytes(good.begin(), good.end() - 1)},
        {"one byte more", longer},
        {"damaged byte", flipped},
        {"other format version", otherFormat},
        {"garbage", Bytes(good.size(), 0x5A)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        unload();
        writeFile(statePath, c.contents);
        load();
        EXPECT_EQ(readProp(Keyboard, 4, 1), Bytes{80});
        EXPECT_EQ(memory(0, 0xF000, 1), Bytes{0xFF});
    }

    unload();
    writeFile(statePath, good);
    load();
    EXPECT_EQ(readProp(Keyboard, 4, 1), Bytes{10});
}

} // namespace
} // namespace libdctest
