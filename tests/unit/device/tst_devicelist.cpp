#include "device/devicelist.h"
#include "device/devicetable.h"

#include <QTest>

#include <cstring>

using namespace vorn;
using namespace Qt::StringLiterals;

namespace {

uint8_t *record(DeviceListBlock &block, int index)
{
    return block.data() + dc::RecordsOffset + dc::RecordSize * std::size_t(index);
}

void setCount(DeviceListBlock &block, unsigned count)
{
    block[0] = uint8_t(count & 0xFF);
    block[1] = uint8_t(count >> 8);
}

void putNarrow(uint8_t *field, const QByteArray &bytes)
{
    std::memcpy(field, bytes.constData(), std::size_t(bytes.size()));
}

void putWide(uint8_t *field, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        field[2 * i] = uint8_t(text[i].unicode() & 0xFF);
        field[2 * i + 1] = uint8_t(text[i].unicode() >> 8);
    }
}

DeviceListBlock blockWithIds(const QList<QByteArray> &ids)
{
    DeviceListBlock block{};
    setCount(block, unsigned(ids.size()));
    for (int i = 0; i < ids.size(); ++i)
        putNarrow(record(block, i) + dc::DeviceIdOffset, ids[i]);
    return block;
}

} // namespace

class tst_DeviceList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsEveryField()
    {
        DeviceListBlock block{};
        setCount(block, 1);
        uint8_t *r = record(block, 0);
        putNarrow(r + dc::DeviceIdOffset, "04D9A100");
        putNarrow(r + dc::VersionOffset, "1.2.3");
        putNarrow(r + dc::SnOffset, "SN\xC3\xA9");
        putNarrow(r + dc::MaskOffset, "01");
        putWide(r + dc::DevicePathOffset, u"/dev/キーボード"_s);
        putWide(r + dc::HardwareIdOffset, u"HID\\Vid_04d9&Pid_a100"_s);

        const QList<DeviceEntry> records = readDeviceRecords(block);
        QCOMPARE(records.size(), 1);
        const DeviceEntry expected{u"04D9A100"_s,        u"SNé"_s,
                                   u"1.2.3"_s,           u"HID\\Vid_04d9&Pid_a100"_s,
                                   u"/dev/キーボード"_s, u"01"_s};
        QCOMPARE(records[0], expected);
    }

    void fieldsWithoutTerminatorStayWithinTheirField()
    {
        DeviceListBlock block{};
        setCount(block, 2);
        uint8_t *r = record(block, 0);
        // Every byte of the record is non-zero, so no field has a terminator.
        std::memset(r, 'A', dc::RecordSize);
        putNarrow(r + dc::DeviceIdOffset, QByteArray(40, 'D'));
        putNarrow(r + dc::VersionOffset, QByteArray(17, 'V'));
        putNarrow(r + dc::MaskOffset, "MM");
        putWide(r + dc::HardwareIdOffset, QString(255, u'h'));

        const DeviceEntry entry = readDeviceRecord(block, 0);
        QCOMPARE(entry.DeviceID, QString(40, u'D'));
        QCOMPARE(entry.Version, QString(17, u'V'));
        QCOMPARE(entry.MASK, u"MM"_s);
        QCOMPARE(entry.HardwareID, QString(255, u'h'));
        QCOMPARE(entry.DevicePath.size(), 255);
        QCOMPARE(readDeviceRecord(block, 1).DeviceID, QString());
    }

    void countIsCappedAtTwenty_data()
    {
        QTest::addColumn<unsigned>("count");
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << 0u << 0;
        QTest::newRow("twenty") << 20u << 20;
        QTest::newRow("twenty-one") << 21u << 20;
        QTest::newRow("maximum word") << 0xFFFFu << 20;
    }
    void countIsCappedAtTwenty()
    {
        QFETCH(unsigned, count);
        QFETCH(int, expected);
        DeviceListBlock block{};
        std::memset(block.data() + 2, 'x', block.size() - 2);
        setCount(block, count);
        QCOMPARE(deviceCount(block), expected);
        QCOMPARE(readDeviceRecords(block).size(), expected);
    }

    void tableKeepsTheLaterOfTwoEqualIds()
    {
        DeviceListBlock block = blockWithIds({"B", "A", "B"});
        putNarrow(record(block, 2) + dc::SnOffset, "second");
        DeviceTable table;
        table.rebuild(block);
        QCOMPARE(table.entries().keys(), QStringList({u"A"_s, u"B"_s}));
        QCOMPARE(table.entries().value(u"B"_s).SN, u"second"_s);
        QCOMPARE(table.first()->DeviceID, u"A"_s);

        table.rebuild(DeviceListBlock{});
        QVERIFY(table.entries().isEmpty());
        QVERIFY(!table.first());
    }
};

QTEST_GUILESS_MAIN(tst_DeviceList)
#include "tst_devicelist.moc"
