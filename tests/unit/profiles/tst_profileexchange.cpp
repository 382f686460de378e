// Exchange files: the format against an independent reader and writer (Python's struct and
// base64), refusals of anything that is not exactly one exchange file, and the export and
// import commands.

#include "commands/exchangefile.h"
#include "profiletesting.h"

#include <QProcess>
#include <QtEndian>

using namespace vorn;
using namespace vorn::testing;

namespace {

// Reads an exchange file as its format describes it and prints the XML text.
const char PythonReader[] = R"(import base64, struct, sys
data = open(sys.argv[1], 'rb').read()
magic, length = struct.unpack('>II', data[:8])
assert magic == 0x0A0B0C0D, hex(magic)
payload = data[8:]
assert length == len(payload), (length, len(payload))
sys.stdout.buffer.write(base64.b64decode(payload, validate=True))
)";

// Writes the XML text read from standard input as an exchange file.
const char PythonWriter[] = R"(import base64, struct, sys
payload = base64.b64encode(sys.stdin.buffer.read())
open(sys.argv[1], 'wb').write(struct.pack('>II', 0x0A0B0C0D, len(payload)) + payload)
)";

QByteArray python(const char *script, const QString &file, const QByteArray &input = {})
{
    QProcess process;
    process.start(u"python3"_s, {u"-c"_s, QString::fromUtf8(script), file});
    if (!process.waitForStarted())
        return "<python3 did not start>";
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return "<python3 failed: " + process.readAllStandardError() + ">";
    return process.readAllStandardOutput();
}

QByteArray header(quint32 magic, quint32 length)
{
    QByteArray bytes(8, Qt::Uninitialized);
    qToBigEndian(magic, bytes.data());
    qToBigEndian(length, bytes.data() + 4);
    return bytes;
}

QByteArray file(const QByteArray &payload)
{
    return header(exchange::Magic, quint32(payload.size())) + payload;
}

QJsonObject saveXmlAs(const QString &exchangePath, const QString &xpath)
{
    return {{u"funcname"_s, u"saveXmlAs"_s},
            {u"srcFilePath"_s, u"keyboard.xml"_s},
            {u"desFilePath"_s, exchangePath},
            {u"xpath"_s, xpath}};
}

QJsonObject importInto(const QString &exchangePath, const QString &desXpath)
{
    return {{u"funcname"_s, u"modifyReplaceProfileEx"_s},
            {u"srcFilePath"_s, exchangePath},
            {u"desFilePath"_s, u"keyboard.xml"_s},
            {u"srcXpath"_s, u"ignored"_s},
            {u"desXpath"_s, desXpath}};
}

QJsonObject query(const QString &xpath)
{
    return {{u"funcname"_s, u"queryProfile"_s},
            {u"filePath"_s, u"keyboard.xml"_s},
            {u"xpath"_s, xpath}};
}

const Answer ImportFailure = failure(u"modifyReplaceProfile load xml file failed!"_s);

} // namespace

class tst_ProfileExchange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodeRefusesAllButTheFormat_data();
    void decodeRefusesAllButTheFormat();
    void encodeDecodeRoundTrip();
    void exportReadByIndependentReader();
    void importOfIndependentlyWrittenFile();
    void exportThenImportRestoresChildren();
    void importFailuresChangeNothing();
    void exportEdgeCases();
};

void tst_ProfileExchange::decodeRefusesAllButTheFormat_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("text");

    const QByteArray magic("\x0A\x0B\x0C\x0D", 4);
    QTest::newRow("empty file") << QByteArray() << false << QByteArray();
    QTest::newRow("one byte") << magic.left(1) << false << QByteArray();
    QTest::newRow("three bytes") << magic.left(3) << false << QByteArray();
    QTest::newRow("magic without length") << magic << false << QByteArray();
    QTest::newRow("little-endian magic")
        << QByteArray("\x0D\x0C\x0B\x0A", 4) + file("PGEvPg==").mid(4) << false << QByteArray();
    QTest::newRow("null block") << header(exchange::Magic, 0xFFFFFFFF) << true << QByteArray();
    QTest::newRow("null block followed by bytes")
        << header(exchange::Magic, 0xFFFFFFFF) + "PGEvPg==" << false << QByteArray();
    QTest::newRow("empty block") << file({}) << true << QByteArray();
    QTest::newRow("valid") << file("PGEvPg==") << true << QByteArray("<a/>");
    QTest::newRow("length beyond the file, never allocated")
        << header(exchange::Magic, 0xFFFFFFFE) + "PGEvPg==" << false << QByteArray();
    QTest::newRow("file ends inside the block")
        << file("PGEvPg==").chopped(1) << false << QByteArray();
    QTest::newRow("bytes after the block") << file("PGEvPg==") + "\n" << false << QByteArray();
    QTest::newRow("line break in the Base64 text") << file("PGEv\nPg==") << false << QByteArray();
    QTest::newRow("character outside the alphabet") << file("PGEv*g==") << false << QByteArray();
    QTest::newRow("URL-safe alphabet") << file("P-_v") << false << QByteArray();
    QTest::newRow("padding missing") << file("PGEvPg") << false << QByteArray();
    QTest::newRow("padding in the middle") << file("PG==PGEv") << false << QByteArray();
    QTest::newRow("three padding characters") << file("P===") << false << QByteArray();
}

void tst_ProfileExchange::decodeRefusesAllButTheFormat()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, text);
    const auto decoded = exchange::decode(bytes);
    QCOMPARE(decoded.has_value(), accepted);
    if (accepted)
        QCOMPARE(*decoded, text);

    // Read from a file, the same.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"x.pfd"_s);
    QVERIFY(writeFile(path, bytes));
    const auto read = exchange::readFile(path);
    QCOMPARE(read.has_value(), accepted);
    if (accepted)
        QCOMPARE(*read, text);
}

void tst_ProfileExchange::encodeDecodeRoundTrip()
{
    const QByteArray text = "<?xml version=\"1.0\"?>\n<a b=\"\xC3\xA4\" />\n";
    const QByteArray bytes = exchange::encode(text);
    QCOMPARE(bytes.left(8), header(exchange::Magic, quint32(text.toBase64().size())));
    QCOMPARE(bytes.mid(8), text.toBase64());
    QCOMPARE(exchange::decode(bytes), std::optional<QByteArray>(text));
}

void tst_ProfileExchange::exportReadByIndependentReader()
{
    ProfileFolder folder;
    const QString exchangePath = folder.path(u"game.pfd"_s);
    QCOMPARE(folder.run(saveXmlAs(exchangePath, u"/root/profile[1]/light"_s)),
             success(u"saveXmlAs success"_s));
    QCOMPARE(python(PythonReader, exchangePath),
             QByteArray("<?xml version=\"1.0\"?>\n"
                        "<light mode=\"2\" speed=\"3\">\n"
                        "\t<color r=\"255\" g=\"0\" b=\"0\" />\n"
                        "</light>\n"));
    // Exporting changes nothing in the profile documents.
    QVERIFY(folder.store().modifiedProfiles().isEmpty());
}

void tst_ProfileExchange::importOfIndependentlyWrittenFile()
{
    ProfileFolder folder;
    const QString exchangePath = folder.path(u"other.pfd"_s);
    QCOMPARE(python(PythonWriter, exchangePath,
                    "<?xml version=\"1.0\"?>\n<profile index=\"5\">\n\t<keys>\n\t\t<key id=\"5\" "
                    "/>\n\t</keys>\n\tfree text\n</profile>\n"),
             QByteArray());
    QCOMPARE(folder.run(importInto(exchangePath, u"/root/profile[2]"_s)),
             success(u"modifyReplaceProfile success"_s));
    // The target keeps its attributes and gets the exported element's children.
    QCOMPARE(folder.run(query(u"/root/profile[2]"_s)),
             success(u"<profile index=\"2\" name=\"Work\">\n\t<keys>\n\t\t<key id=\"5\" />\n"
                     "\t</keys>\n\tfree text\n</profile>\n"_s));
    QCOMPARE(folder.store().modifiedProfiles(), QStringList{folder.path(u"keyboard.xml"_s)});
}

void tst_ProfileExchange::exportThenImportRestoresChildren()
{
    ProfileFolder folder;
    const QString exchangePath = folder.path(u"keys.pfd"_s);
    const Answer keys = folder.run(query(u"/root/profile[1]/keys"_s));
    QCOMPARE(folder.run(saveXmlAs(exchangePath, u"/root/profile[1]/keys"_s)),
             success(u"saveXmlAs success"_s));
    QCOMPARE(folder.run(importInto(exchangePath, u"/root/profile[2]/keys"_s)),
             success(u"modifyReplaceProfile success"_s));
    QCOMPARE(folder.run(query(u"/root/profile[2]/keys"_s)), keys);

    // Exporting over an existing file replaces it whole.
    QCOMPARE(folder.run(saveXmlAs(exchangePath, u"//color"_s)), success(u"saveXmlAs success"_s));
    QCOMPARE(exchange::readFile(exchangePath),
             std::optional<QByteArray>("<?xml version=\"1.0\"?>\n<color r=\"255\" g=\"0\" "
                                       "b=\"0\" />\n"));
}

void tst_ProfileExchange::importFailuresChangeNothing()
{
    ProfileFolder folder;
    const QString exchangePath = folder.path(u"x.pfd"_s);
    const QList<QByteArray> refused = {
        QByteArray("\x0A\x0B\x0C", 3),
        header(exchange::Magic, 0xFFFFFFFF),
        file("PGE+"),                                             // "<a>": does not parse
        file(QByteArray("<?xml version=\"1.0\"?>\n").toBase64()), // no element
        header(exchange::Magic, 0x7FFFFFFF) + "PGEvPg==",
    };
    const QByteArray before = fixture(u"keyboard.xml"_s);
    for (const QByteArray &bytes : refused) {
        QVERIFY(writeFile(exchangePath, bytes));
        QCOMPARE(folder.run(importInto(exchangePath, u"//keys"_s)), ImportFailure);
    }
    QCOMPARE(folder.run(importInto(folder.path(u"missing.pfd"_s), u"//keys"_s)), ImportFailure);
    QCOMPARE(folder.run(importInto(folder.path({}), u"//keys"_s)), ImportFailure);
    QVERIFY(writeFile(exchangePath, file("PGEvPg==")));
    QCOMPARE(folder.run(importInto(exchangePath, u"//keys["_s)), ImportFailure);
    QVERIFY(folder.store().modifiedProfiles().isEmpty());
    QCOMPARE(folder.cached(u"keyboard.xml"_s), before);

    // A destination that does not parse, or that cannot be read.
    QJsonObject request = importInto(exchangePath, u"/root"_s);
    request[u"desFilePath"_s] = u"broken.xml"_s;
    QCOMPARE(folder.run(request), ImportFailure);
    request[u"desFilePath"_s] = u"missing.xml"_s;
    QCOMPARE(folder.run(request), noAnswer);

    // A target that matches nothing: no node changes, but the document is re-serialised
    // and marked modified.
    QCOMPARE(folder.run(importInto(exchangePath, u"//missing"_s)),
             success(u"modifyReplaceProfile success"_s));
    QVERIFY(folder.cached(u"keyboard.xml"_s).startsWith("<?xml version=\"1.0\"?>\n<root"));
    QCOMPARE(folder.store().modifiedProfiles(), QStringList{folder.path(u"keyboard.xml"_s)});
}

void tst_ProfileExchange::exportEdgeCases()
{
    ProfileFolder folder;
    // Nothing selected: only the declaration, which cannot be imported.
    const QString empty = folder.path(u"empty.pfd"_s);
    QCOMPARE(folder.run(saveXmlAs(empty, u"//missing"_s)), success(u"saveXmlAs success"_s));
    QCOMPARE(python(PythonReader, empty), QByteArray("<?xml version=\"1.0\"?>\n"));
    QCOMPARE(folder.run(importInto(empty, u"//keys"_s)), ImportFailure);

    // A target that cannot be written.
    const Answer unwritable = failure(u"saveXmlAs desFilePath is failed!"_s);
    QCOMPARE(folder.run(saveXmlAs(folder.path(u"no/such/folder/x.pfd"_s), u"//keys"_s)),
             unwritable);
    QCOMPARE(folder.run(saveXmlAs(folder.path({}), u"//keys"_s)), unwritable);
    QCOMPARE(folder.run(saveXmlAs(QString(), u"//keys"_s)), unwritable);

    // A document that does not parse, or an XPath that is not a node set: no file.
    QJsonObject request = saveXmlAs(folder.path(u"broken.pfd"_s), u"/root"_s);
    request[u"srcFilePath"_s] = u"broken.xml"_s;
    QCOMPARE(folder.run(request), failure(u"saveXmlAs load xml file failed!"_s));
    QCOMPARE(folder.run(saveXmlAs(folder.path(u"broken.pfd"_s), u"string(/)"_s)),
             failure(u"saveXmlAs load xml file failed!"_s));
    QVERIFY(!QFile::exists(folder.path(u"broken.pfd"_s)));
    request[u"srcFilePath"_s] = u"missing.xml"_s;
    QCOMPARE(folder.run(request), noAnswer);
}

QTEST_GUILESS_MAIN(tst_ProfileExchange)
#include "tst_profileexchange.moc"
