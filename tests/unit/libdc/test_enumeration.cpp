// Exports, the device list block and dcDeviceExist.

#include "libdc_fixture.h"

#include <cstring>
#include <elf.h>
#include <fstream>
#include <iterator>
#include <set>

namespace libdctest {
namespace {

// The defined global symbols in the dynamic symbol table of an ELF64 file.
std::set<std::string> exportedSymbols(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file{std::istreambuf_iterator<char>(in), {}};
    std::set<std::string> names;
    const auto fits = [&](uint64_t offset, uint64_t size) {
        return offset <= file.size() && size <= file.size() - offset;
    };
    if (!fits(0, sizeof(Elf64_Ehdr)))
        return names;
    const auto *header = reinterpret_cast<const Elf64_Ehdr *>(file.data());
    if (!fits(header->e_shoff, uint64_t(header->e_shnum) * sizeof(Elf64_Shdr)))
        return names;
    const auto *sections = reinterpret_cast<const Elf64_Shdr *>(file.data() + header->e_shoff);
    for (int i = 0; i < header->e_shnum; ++i) {
        const Elf64_Shdr &symtab = sections[i];
        if (symtab.sh_type != SHT_DYNSYM || symtab.sh_link >= header->e_shnum)
            continue;
        const Elf64_Shdr &strtab = sections[symtab.sh_link];
        if (!fits(symtab.sh_offset, symtab.sh_size) || !fits(strtab.sh_offset, strtab.sh_size))
            return names;
        const auto *symbols = reinterpret_cast<const Elf64_Sym *>(file.data() + symtab.sh_offset);
        for (std::size_t s = 0; s < symtab.sh_size / sizeof(Elf64_Sym); ++s) {
            const Elf64_Sym &sym = symbols[s];
            const int bind = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK) ||
                sym.st_name >= strtab.sh_size)
                continue;
            const char *name = file.data() + strtab.sh_offset + sym.st_name;
            names.insert(std::string(name, strnlen(name, strtab.sh_size - sym.st_name)));
        }
    }
    return names;
}

std::vector<uint8_t> narrow(const char *text, std::size_t fieldSize)
{
    std::vector<uint8_t> field(fieldSize, 0);
    std::memcpy(field.data(), text, std::min(fieldSize, std::strlen(text)));
    return field;
}

std::vector<uint8_t> wide(const char16_t *text)
{
    std::vector<uint8_t> field(dc::WideFieldSize, 0);
    for (std::size_t i = 0; text[i] != 0; ++i) {
        field[2 * i] = uint8_t(text[i] & 0xFF);
        field[2 * i + 1] = uint8_t(text[i] >> 8);
    }
    return field;
}

std::vector<uint8_t> field(const std::vector<uint8_t> &block, int record, std::size_t offset,
                           std::size_t size)
{
    const auto begin = block.begin() + long(dc::RecordsOffset + dc::RecordSize * record + offset);
    return {begin, begin + long(size)};
}

std::vector<uint8_t> afterRecords(const std::vector<uint8_t> &block, int records)
{
    return {block.begin() + long(dc::RecordsOffset + dc::RecordSize * records),
            block.begin() + long(dc::DeviceListSize)};
}

bool allZero(const std::vector<uint8_t> &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

TEST_F(LibdcTest, ExportsExactlyTheEntryPointsAndControlFunctions)
{
    const std::set<std::string> expected = {"dcDeviceExist",
                                            "dcDevices",
                                            "dcOnDeviceEvent",
                                            "dconDeviceData",
                                            "dcAsk",
                                            "dcReset",
                                            "dcNotify",
                                            "dcRead",
                                            "dcWrite",
                                            "dcReadProp",
                                            "dcWriteProp",
                                            "dcScriptOut",
                                            "dcIDWrite",
                                            "dcRebootRom",
                                            "dcFinishUpdateRom",
                                            "dcCheckRom",
                                            "dcBornRom",
                                            "dcEraseRom",
                                            "dcsim_reset_state",
                                            "dcsim_plug",
                                            "dcsim_unplug",
                                            "dcsim_report",
                                            "dcsim_set_boot_loader_delay",
                                            "dcsim_set_identity",
                                            "dcsim_set_reported_count",
                                            "dcsim_memory",
                                            "dcsim_flush_events"};
    EXPECT_EQ(exportedSymbols(VORN_LIBDC_PATH), expected);
    EXPECT_EQ(dc.dcAsk(), 0);
    EXPECT_EQ(dc.dcScriptOut(), 0);
    EXPECT_EQ(dc.dcIDWrite(), 0);
    EXPECT_EQ(dc.dcRebootRom(), 0);
}

TEST_F(LibdcTest, ListsBothDevicesWithTheirIdentities)
{
    struct Expected
    {
        const char *deviceId, *sn, *mask;
        const char16_t *path, *hardwareId;
    };
    const Expected records[] = {
        {"04D9A100", "K100000001", "01", KeyboardPath, Keyboard},
        {"04D9A200", "M200000001", "02", MousePath, Mouse},
    };
    const std::vector<uint8_t> block = listDevices();
    EXPECT_EQ(block[0], 2);
    EXPECT_EQ(block[1], 0);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const Expected &e = records[i];
        EXPECT_EQ(field(block, i, dc::DeviceIdOffset, dc::DeviceIdSize),
                  narrow(e.deviceId, dc::DeviceIdSize));
        EXPECT_EQ(field(block, i, dc::VersionOffset, dc::VersionSize),
                  narrow("1.0.0", dc::VersionSize));
        EXPECT_EQ(field(block, i, dc::SnOffset, dc::SnSize), narrow(e.sn, dc::SnSize));
        EXPECT_EQ(field(block, i, dc::MaskOffset, dc::MaskSize), narrow(e.mask, dc::MaskSize));
        EXPECT_EQ(field(block, i, dc::DevicePathOffset, dc::WideFieldSize), wide(e.path));
        EXPECT_EQ(field(block, i, dc::HardwareIdOffset, dc::WideFieldSize), wide(e.hardwareId));
        EXPECT_EQ(dc.dcDeviceExist(e.hardwareId), 0);
    }
    EXPECT_TRUE(allZero(afterRecords(block, 2)));
}

TEST_F(LibdcTest, RefusesAWrongFilterOrShortBufferWithoutTouchingIt)
{
    DcDeviceListFilter wrongWord = dc::DeviceListFilter;
    wrongWord.words[1] = 0xFFAA0002u;
    DcDeviceListFilter extraWord = dc::DeviceListFilter;
    extraWord.words[19] = 1;
    struct Case
    {
        const char *name;
        DcDeviceListFilter filter;
        int32_t size;
    };
    const Case cases[] = {
        {"short buffer", dc::DeviceListFilter, int32_t(dc::DeviceListSize) - 1},
        {"negative size", dc::DeviceListFilter, -1},
        {"wrong filter word", wrongWord, int32_t(dc::DeviceListSize)},
        {"non-zero tail word", extraWord, int32_t(dc::DeviceListSize)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> block(dc::DeviceListSize + 16, 0xAA);
        EXPECT_NE(dc.dcDevices(c.filter, block.data(), c.size), 0);
        EXPECT_EQ(block, std::vector<uint8_t>(block.size(), 0xAA));
    }
    EXPECT_NE(dc.dcDevices(dc::DeviceListFilter, nullptr, int32_t(dc::DeviceListSize)), 0);

    // A larger buffer is fine, and nothing past the block is written.
    std::vector<uint8_t> large(dc::DeviceListSize + 16, 0xAA);
    ASSERT_EQ(dc.dcDevices(dc::DeviceListFilter, large.data(), int32_t(large.size())), 0);
    EXPECT_EQ(large[0], 2);
    EXPECT_EQ(std::vector<uint8_t>(large.end() - 16, large.end()), std::vector<uint8_t>(16, 0xAA));
}

TEST_F(LibdcTest, ListsOnlyPluggedDevicesInRecordOrder)
{
    ASSERT_EQ(dc.dcsim_unplug(0), 0);
    std::vector<uint8_t> block = listDevices();
    EXPECT_EQ(block[0], 1);
    EXPECT_EQ(field(block, 0, dc::HardwareIdOffset, dc::WideFieldSize), wide(Mouse));
    EXPECT_TRUE(allZero(afterRecords(block, 1)));
    EXPECT_NE(dc.dcDeviceExist(Keyboard), 0);
    EXPECT_EQ(dc.dcDeviceExist(Mouse), 0);

    ASSERT_EQ(dc.dcsim_unplug(1), 0);
    EXPECT_EQ(deviceCount(), 0);
    EXPECT_NE(dc.dcDeviceExist(Mouse), 0);

    ASSERT_EQ(dc.dcsim_plug(1), 0);
    ASSERT_EQ(dc.dcsim_plug(0), 0);
    block = listDevices();
    EXPECT_EQ(block[0], 2);
    EXPECT_EQ(field(block, 0, dc::HardwareIdOffset, dc::WideFieldSize), wide(Keyboard));

    EXPECT_NE(dc.dcsim_plug(2), 0);
    EXPECT_NE(dc.dcsim_unplug(-1), 0);
    EXPECT_NE(dc.dcDeviceExist(nullptr), 0);
    EXPECT_NE(dc.dcDeviceExist(u"HID\\Vid_04d9&Pid_a10"), 0); // a prefix is not a match
    EXPECT_NE(dc.dcDeviceExist(dc::BootLoaderPath), 0);
}

TEST_F(LibdcTest, RawIdentityFieldsAreListedAsSet)
{
    // A DeviceID filling all 40 bytes has no terminator; the Version after it stays intact.
    std::vector<uint8_t> deviceId(dc::DeviceIdSize);
    for (std::size_t i = 0; i < deviceId.size(); ++i)
        deviceId[i] = uint8_t('A' + i % 26);
    ASSERT_EQ(dc.dcsim_set_identity(0, "DeviceID", deviceId.data(), deviceId.size()), 0);

    // A UTF-16 field filled to its last unit, without terminator.
    const std::vector<char16_t> fullPath(dc::WideFieldSize / 2, u'p');
    ASSERT_EQ(dc.dcsim_set_identity(0, "DevicePath", fullPath.data(), dc::WideFieldSize), 0);

    // A HardwareID with non-ASCII units is what the device answers to from then on.
    const char16_t oddId[] = u"HID\\Vid_04d9&Pid_a200&\u00e9\u4e2d";
    ASSERT_EQ(dc.dcsim_set_identity(1, "HardwareID", oddId, sizeof oddId), 0);

    const std::vector<uint8_t> block = listDevices();
    EXPECT_EQ(field(block, 0, dc::DeviceIdOffset, dc::DeviceIdSize), deviceId);
    EXPECT_EQ(field(block, 0, dc::VersionOffset, dc::VersionSize),
              narrow("1.0.0", dc::VersionSize));
    std::vector<uint8_t> fullPathBytes(dc::WideFieldSize, 0);
    for (std::size_t i = 0; i < fullPathBytes.size(); i += 2)
        fullPathBytes[i] = 'p';
    EXPECT_EQ(field(block, 0, dc::DevicePathOffset, dc::WideFieldSize), fullPathBytes);
    EXPECT_EQ(field(block, 0, dc::HardwareIdOffset, dc::WideFieldSize), wide(Keyboard));
    EXPECT_EQ(field(block, 1, dc::HardwareIdOffset, dc::WideFieldSize), wide(oddId));
    EXPECT_EQ(dc.dcDeviceExist(oddId), 0);
    EXPECT_NE(dc.dcDeviceExist(Mouse), 0);

    // A HardwareID filling its field matches a text of exactly that length, not a longer one.
    std::u16string fullId(dc::WideFieldSize / 2, u'h');
    ASSERT_EQ(dc.dcsim_set_identity(0, "HardwareID", fullId.data(), dc::WideFieldSize), 0);
    EXPECT_EQ(dc.dcDeviceExist(fullId.c_str()), 0);
    EXPECT_NE(dc.dcDeviceExist((fullId + u'h').c_str()), 0);

    const uint8_t big[dc::WideFieldSize + 1] = {};
    EXPECT_NE(dc.dcsim_set_identity(0, "HardwareID", big, sizeof big), 0);
    EXPECT_NE(dc.dcsim_set_identity(0, "MASK", "012", 3), 0);
    EXPECT_NE(dc.dcsim_set_identity(0, "Colour", "x", 1), 0);
    EXPECT_NE(dc.dcsim_set_identity(2, "SN", "x", 1), 0);

    // A reset brings the original identities back.
    ASSERT_EQ(dc.dcsim_reset_state(), 0);
    EXPECT_EQ(field(listDevices(), 1, dc::HardwareIdOffset, dc::WideFieldSize), wide(Mouse));
}

TEST_F(LibdcTest, AForcedCountIsWrittenWithZeroRecordsBeyondTheRealOnes)
{
    ASSERT_EQ(dc.dcsim_set_reported_count(25), 0);
    const std::vector<uint8_t> block = listDevices();
    EXPECT_EQ(block[0] | (block[1] << 8), 25);
    EXPECT_EQ(field(block, 1, dc::HardwareIdOffset, dc::WideFieldSize), wide(Mouse));
    EXPECT_TRUE(allZero(afterRecords(block, 2)));

    ASSERT_EQ(dc.dcsim_set_reported_count(-1), 0);
    EXPECT_EQ(deviceCount(), 2);
    EXPECT_NE(dc.dcsim_set_reported_count(-2), 0);
    EXPECT_NE(dc.dcsim_set_reported_count(0x10000), 0);
}

} // namespace
} // namespace libdctest
