#include "commands/conversions.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace vorn::conversions;
using namespace Qt::StringLiterals;

// Reads the member "v" of a JSON object text, so each row states the value as the page
// sends it.
static QJsonValue member(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(R"({"v":)") + json + '}').object().value("v"_L1);
}

class tst_Conversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void integer_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("expected");
        QTest::newRow("number") << QByteArray("8") << 8;
        QTest::newRow("number rounds to nearest") << QByteArray("2.6") << 3;
        QTest::newRow("negative number") << QByteArray("-2.4") << -2;
        QTest::newRow("huge number clamps")
            << QByteArray("1e20") << std::numeric_limits<int>::max();
        QTest::newRow("decimal text") << QByteArray(R"("8")") << 8;
        QTest::newRow("signed text") << QByteArray(R"("-12")") << -12;
        QTest::newRow("plus text") << QByteArray(R"("+7")") << 7;
        QTest::newRow("hex text is not decimal") << QByteArray(R"("0x8")") << 0;
        QTest::newRow("text with space") << QByteArray(R"(" 8")") << 0;
        QTest::newRow("text out of range") << QByteArray(R"("99999999999")") << 0;
        QTest::newRow("true") << QByteArray("true") << 1;
        QTest::newRow("false") << QByteArray("false") << 0;
        QTest::newRow("null") << QByteArray("null") << 0;
        QTest::newRow("array") << QByteArray("[1]") << 0;
    }
    void integer()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, expected);
        QCOMPARE(toInteger(member(json.constData())), expected);
    }

    void text_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("expected");
        QTest::newRow("string") << QByteArray(R"("a;b")") << u"a;b"_s;
        QTest::newRow("number 16") << QByteArray("16") << u"16"_s;
        QTest::newRow("fraction") << QByteArray("1.5") << u"1.5"_s;
        QTest::newRow("negative") << QByteArray("-3") << u"-3"_s;
        QTest::newRow("true") << QByteArray("true") << u"true"_s;
        QTest::newRow("false") << QByteArray("false") << u"false"_s;
        QTest::newRow("null") << QByteArray("null") << QString();
        QTest::newRow("object") << QByteArray("{}") << QString();
    }
    void text()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, expected);
        QCOMPARE(toText(member(json.constData())), expected);
    }

    void hex_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("expected");
        // A number is read through its decimal text: 16 addresses 0x16.
        QTest::newRow("number 16") << QByteArray("16") << 0x16;
        QTest::newRow("text 0x10") << QByteArray(R"("0x10")") << 0x10;
        QTest::newRow("text 10") << QByteArray(R"("10")") << 0x10;
        QTest::newRow("upper prefix") << QByteArray(R"("0X1A00")") << 0x1A00;
        QTest::newRow("leading space and sign") << QByteArray(R"("  -0x1f")") << -0x1F;
        QTest::newRow("stops at non-digit") << QByteArray(R"("12zz")") << 0x12;
        QTest::newRow("no digits") << QByteArray(R"("zz")") << 0;
        QTest::newRow("prefix only") << QByteArray(R"("0x")") << 0;
        QTest::newRow("empty") << QByteArray(R"("")") << 0;
        QTest::newRow("clamped high") << QByteArray(R"("fffffffff")") << 0x7FFFFFFF;
        QTest::newRow("clamped low")
            << QByteArray(R"("-fffffffff")") << std::numeric_limits<int>::min();
    }
    void hex()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, expected);
        QCOMPARE(toHexNumber(member(json.constData())), expected);
    }

    void byteList_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("items");
        QTest::newRow("hex items")
            << QByteArray(R"("0x10,20,ff")") << QByteArray("\x10\x20\xff", 3) << 3;
        QTest::newRow("empty middle item")
            << QByteArray(R"("1,,ff")") << QByteArray("\x01\x00\xff", 3) << 3;
        QTest::newRow("low 8 bits") << QByteArray(R"("1ff,-1")") << QByteArray("\xff\xff", 2) << 2;
        QTest::newRow("number is decimal text") << QByteArray("16") << QByteArray("\x16", 1) << 1;
    }
    void byteList()
    {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, expected);
        QFETCH(int, items);
        std::array<uint8_t, 8> out{};
        QCOMPARE(toByteList(member(json.constData()), out), qsizetype(items));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), expected.size()), expected);
    }

    void byteListNeverWritesPastTheBuffer()
    {
        std::array<uint8_t, 4> out{};
        QCOMPARE(toByteList(member(R"("1,2,3,4,5,6")"), std::span(out).first(2)), 6);
        QCOMPARE(out, (std::array<uint8_t, 4>{1, 2, 0, 0}));
    }

    void nameList()
    {
        QCOMPARE(toNameList(member(R"("a;;b;")"), u';', true),
                 QStringList({u"a"_s, QString(), u"b"_s, QString()}));
        QCOMPARE(toNameList(member(R"("a;;b;")"), u';', false), QStringList({u"a"_s, u"b"_s}));
        QCOMPARE(toNameList(member(R"("0x10,0x20")"), u',', false),
                 QStringList({u"0x10"_s, u"0x20"_s}));
    }

    void formatBytes()
    {
        const std::array<uint8_t, 3> bytes{1, 171, 0};
        QCOMPARE(formatByteList(bytes), u"0x01,0xab,0x00"_s);
        QCOMPARE(formatByteList({}), QString());
    }
};

QTEST_GUILESS_MAIN(tst_Conversions)
#include "tst_conversions.moc"
