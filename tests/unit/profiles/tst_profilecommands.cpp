// The profile document commands through the dispatcher, over the fixture documents.

#include "profiletesting.h"

using namespace vorn;
using namespace vorn::testing;

namespace {

QJsonObject command(const QString &funcname, const QJsonObject &members = {})
{
    QJsonObject request = members;
    request.insert(u"funcname"_s, funcname);
    return request;
}

QJsonObject query(const QString &xpath, const QString &file = u"keyboard.xml"_s)
{
    return command(u"queryProfile"_s, {{u"filePath"_s, file}, {u"xpath"_s, xpath}});
}

const QString KeysOfGame = u"<keys>\n"
                           "\t<key id=\"1\" name=\"A\" code=\"0x01,%,%,0x00\" />\n"
                           "\t<key id=\"2\" code=\"0x02,0x04,0x00,0x00\" />\n"
                           "\t<key id=\"3\" code=\"%,0x05\" />\n"
                           "\t<key id=\"4\" code=\"%,%,%,%,%\" />\n"
                           "</keys>\n"_s;

} // namespace

class tst_ProfileCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void queryProfile_data();
    void queryProfile();
    void nodeCounterProfile_data();
    void nodeCounterProfile();
    void queryHexByte_data();
    void queryHexByte();
    void modifyProfile_data();
    void modifyProfile();
    void editSerialisesWithDefaultLayoutAndWaitsForFlush();
    void modifyProfileResetsDoubleClickBeforeMemberTest();
    void modifyProfileEx_data();
    void modifyProfileEx();
    void modifyRemoveProfile_data();
    void modifyRemoveProfile();
    void modifyAddProfile_data();
    void modifyAddProfile();
    void modifyReplaceProfile_data();
    void modifyReplaceProfile();
    void resetProfile();
    void failuresAndSilence_data();
    void failuresAndSilence();
    void savexml();
};

void tst_ProfileCommands::queryProfile_data()
{
    QTest::addColumn<QString>("xpath");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one element") << u"/root/profile[1]/keys"_s << KeysOfGame;
    QTest::newRow("two siblings in document order")
        << u"//key[@id='2'] | //key[@id='1']"_s
        << u"<key id=\"1\" name=\"A\" code=\"0x01,%,%,0x00\" />\n"
           "<key id=\"2\" code=\"0x02,0x04,0x00,0x00\" />\n"_s;
    QTest::newRow("nothing") << u"//missing"_s << QString();
    QTest::newRow("attribute prints nothing") << u"//light/@mode"_s << QString();
    QTest::newRow("CDATA and escaped text")
        << u"//macro"_s << u"<macro><![CDATA[press A]]>then &amp; release</macro>\n"_s;
    QTest::newRow("text nodes, CDATA too")
        << u"//macro/text()"_s << u"<![CDATA[press A]]>then &amp; release"_s;
}

void tst_ProfileCommands::queryProfile()
{
    QFETCH(QString, xpath);
    QFETCH(QString, expected);
    ProfileFolder folder;
    QCOMPARE(folder.run(query(xpath)), success(expected));
    // The second request answers from the kept parse: the same text.
    QCOMPARE(folder.run(query(xpath)), success(expected));
}

void tst_ProfileCommands::nodeCounterProfile_data()
{
    QTest::addColumn<QString>("xpath");
    QTest::addColumn<QString>("expected");

    QTest::newRow("elements with white space between") << u"/root/profile[1]/keys"_s << u"4"_s;
    QTest::newRow("CDATA and text") << u"//macro"_s << u"2"_s;
    QTest::newRow("first of several") << u"//keys"_s << u"4"_s;
    QTest::newRow("empty element") << u"/root/profile[2]/keys"_s << u"0"_s;
    QTest::newRow("nothing") << u"//missing"_s << u"0"_s;
    QTest::newRow("attribute") << u"//@mode"_s << u"0"_s;
    QTest::newRow("document: comment dropped") << u"/"_s << u"1"_s;
}

void tst_ProfileCommands::nodeCounterProfile()
{
    QFETCH(QString, xpath);
    QFETCH(QString, expected);
    ProfileFolder folder;
    QCOMPARE(folder.run(command(u"nodeCounterProfile"_s,
                                {{u"filePath"_s, u"keyboard.xml"_s}, {u"xpath"_s, xpath}})),
             success(expected));
}

void tst_ProfileCommands::queryHexByte_data()
{
    QTest::addColumn<QString>("xpath");
    QTest::addColumn<QJsonValue>("args");
    QTest::addColumn<QString>("expected");

    const QString first = u"//key[@id='1']"_s;
    QTest::newRow("two placeholders")
        << first << QJsonValue(u"0x10,0x20"_s) << u"0x01,0x10,0x20,0x00"_s;
    QTest::newRow("empty args items dropped")
        << first << QJsonValue(u",0x10,,0x20,"_s) << u"0x01,0x10,0x20,0x00"_s;
    QTest::newRow("too few args: placeholder stays")
        << first << QJsonValue(u"0x10"_s) << u"0x01,0x10,%,0x00"_s;
    QTest::newRow("no placeholder")
        << u"//key[@id='2']"_s << QJsonValue(u"0x10"_s) << u"0x02,0x04,0x00,0x00"_s;
    QTest::newRow("fewer than four items")
        << u"//key[@id='3']"_s << QJsonValue(u"0xaa"_s) << u"0xaa,0x05"_s;
    QTest::newRow("only four items examined")
        << u"//key[@id='4']"_s << QJsonValue(u"1,2,3,4,5"_s) << u"1,2,3,4,%"_s;
    QTest::newRow("no code attribute") << u"//light"_s << QJsonValue(u"1"_s) << QString();
    QTest::newRow("nothing selected") << u"//missing"_s << QJsonValue(u"1"_s) << QString();
}

void tst_ProfileCommands::queryHexByte()
{
    QFETCH(QString, xpath);
    QFETCH(QJsonValue, args);
    QFETCH(QString, expected);
    ProfileFolder folder;
    QCOMPARE(folder.run(command(
                 u"queryHexByte"_s,
                 {{u"filePath"_s, u"keyboard.xml"_s}, {u"xpath"_s, xpath}, {u"args"_s, args}})),
             success(expected));
}

void tst_ProfileCommands::modifyProfile_data()
{
    QTest::addColumn<QString>("xpath");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("attributeValue");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("expected");

    QTest::newRow("trailing empty value sets the empty text")
        << u"//key[@id='1']"_s << u"id;name"_s << u"7;"_s << u"//key[1]"_s
        << u"<key id=\"7\" name=\"\" code=\"0x01,%,%,0x00\" />\n"_s;
    QTest::newRow("missing attribute not created, empty names dropped")
        << u"//key[@id='2']"_s << u";missing;code;"_s << u"x;0x09"_s << u"//key[@id='2']"_s
        << u"<key id=\"2\" code=\"0x09\" />\n"_s;
    QTest::newRow("fewer values than names")
        << u"//key[@id='1']"_s << u"name;code"_s << u"B"_s << u"//key[@id='1']"_s
        << u"<key id=\"1\" name=\"B\" code=\"\" />\n"_s;
    QTest::newRow("every selected node")
        << u"//color | //light"_s << u"r;mode"_s << u"9;9"_s << u"//light"_s
        << u"<light mode=\"9\" speed=\"3\">\n\t<color r=\"9\" g=\"0\" b=\"0\" />\n</light>\n"_s;
    QTest::newRow("special characters escaped")
        << u"//key[@id='1']"_s << u"name"_s << u"<\"&>\u00e4\n\t"_s << u"//key[@id='1']"_s
        << u"<key id=\"1\" name=\"&lt;&quot;&amp;>\u00e4&#10;&#09;\" "
           "code=\"0x01,%,%,0x00\" />\n"_s;
}

void tst_ProfileCommands::modifyProfile()
{
    QFETCH(QString, xpath);
    QFETCH(QString, attribute);
    QFETCH(QString, attributeValue);
    QFETCH(QString, check);
    QFETCH(QString, expected);
    ProfileFolder folder;
    QCOMPARE(folder.run(command(u"modifyProfile"_s, {{u"filePath"_s, u"keyboard.xml"_s},
                                                     {u"xpath"_s, xpath},
                                                     {u"attribute"_s, attribute},
                                                     {u"attributeValue"_s, attributeValue}})),
             success(u"modifyProfile success!"_s));
    QCOMPARE(folder.run(query(check)), success(expected));
    // The same through a fresh parse of the cached text.
    folder.store().setReuseParsedTrees(false);
    QCOMPARE(folder.run(query(check)), success(expected));
}

void tst_ProfileCommands::editSerialisesWithDefaultLayoutAndWaitsForFlush()
{
    ProfileFolder folder;
    const QByteArray before = folder.onDisk(u"keyboard.xml"_s);
    QCOMPARE(folder.run(command(u"modifyProfile"_s, {{u"filePath"_s, u"keyboard.xml"_s},
                                                     {u"xpath"_s, u"//key[@id='1']"_s},
                                                     {u"attribute"_s, u"name"_s},
                                                     {u"attributeValue"_s, u"B"_s}})),
             success(u"modifyProfile success!"_s));

    // The declaration without encoding, no comment, one element per line, a tab per level.
    const QByteArray expected = "<?xml version=\"1.0\"?>\n"
                                "<root version=\"2\">\n"
                                "\t<profile index=\"1\" name=\"Game\">\n"
                                "\t\t<keys>\n"
                                "\t\t\t<key id=\"1\" name=\"B\" code=\"0x01,%,%,0x00\" />\n"
                                "\t\t\t<key id=\"2\" code=\"0x02,0x04,0x00,0x00\" />\n"
                                "\t\t\t<key id=\"3\" code=\"%,0x05\" />\n"
                                "\t\t\t<key id=\"4\" code=\"%,%,%,%,%\" />\n"
                                "\t\t</keys>\n"
                                "\t\t<light mode=\"2\" speed=\"3\">\n"
                                "\t\t\t<color r=\"255\" g=\"0\" b=\"0\" />\n"
                                "\t\t</light>\n"
                                "\t</profile>\n"
                                "\t<profile index=\"2\" name=\"Work\">\n"
                                "\t\t<keys />\n"
                                "\t\t<macro><![CDATA[press A]]>then &amp; release</macro>\n"
                                "\t</profile>\n"
                                "</root>\n";
    QCOMPARE(folder.cached(u"keyboard.xml"_s), expected);
    QCOMPARE(folder.onDisk(u"keyboard.xml"_s), before);
    QCOMPARE(folder.store().modifiedProfiles(), QStringList{folder.path(u"keyboard.xml"_s)});

    QCOMPARE(folder.run(command(u"savexml"_s)), success(u"save xml success"_s));
    QCOMPARE(folder.onDisk(u"keyboard.xml"_s), expected);
    QVERIFY(folder.store().modifiedProfiles().isEmpty());
}

void tst_ProfileCommands::modifyProfileResetsDoubleClickBeforeMemberTest()
{
    ProfileFolder folder;
    // Members missing: no answer, but the double-click step has run.
    QCOMPARE(folder.run(command(u"modifyProfile"_s, {{u"filePath"_s, u"keyboard.xml"_s}})),
             noAnswer);
    QCOMPARE(folder.desktop.doubleClickPositions, QList<int>{0});
    QVERIFY(!folder.store().isCached(folder.path(u"keyboard.xml"_s)));

    // Other edits leave the double-click time alone.
    folder.run(command(u"modifyAddProfile"_s, {{u"filePath"_s, u"keyboard.xml"_s},
                                               {u"xpath"_s, u"/root"_s},
                                               {u"attribute"_s, u""_s},
                                               {u"attributeValue"_s, u""_s}}));
    QCOMPARE(folder.desktop.doubleClickPositions, QList<int>{0});

    // Without a desktop service the step is skipped and the edit still works.
    ProfileStore store;
    const CommandDispatcher headless(CommandContext{.profiles = &store});
    QCOMPARE(runOn(headless, command(u"modifyProfile"_s, {{u"filePath"_s, u"keyboard.xml"_s},
                                                          {u"xpath"_s, u"/root"_s},
                                                          {u"attribute"_s, u"version"_s},
                                                          {u"attributeValue"_s, u"3"_s}})),
             success(u"modifyProfile success!"_s));
}

void tst_ProfileCommands::modifyProfileEx_data()
{
    QTest::addColumn<QString>("xpath");
    QTest::addColumn<QString>("subTree");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("expected");

    QTest::newRow("children replaced by the top-level nodes")
        << u"/root/profile[2]/keys"_s << u"<key id=\"7\"/><key id=\"8\">x</key>"_s
        << u"/root/profile[2]/keys"_s
        << u"<keys>\n\t<key id=\"7\" />\n\t<key id=\"8\">x</key>\n</keys>\n"_s;
    QTest::newRow("first of several selected")
        << u"//keys"_s << u"<key id=\"9\"/>"_s << u"//keys"_s
        << u"<keys>\n\t<key id=\"9\" />\n</keys>\n<keys />\n"_s;
    QTest::newRow("broken subtree used as built")
        << u"/root/profile[2]/keys"_s << u"<key id=\"7\"><inner/>"_s << u"/root/profile[2]/keys"_s
        << u"<keys>\n\t<key id=\"7\">\n\t\t<inner />\n\t</key>\n</keys>\n"_s;
    QTest::newRow("text outside elements dropped, CDATA kept")
        << u"//light"_s << u"lead<![CDATA[c]]><a/>tail"_s << u"//light"_s
        << u"<light mode=\"2\" speed=\"3\"><![CDATA[c]]><a />\n</light>\n"_s;
    QTest::newRow("empty subtree empties the node")
        << u"//light"_s << QString() << u"//light"_s << u"<light mode=\"2\" speed=\"3\" />\n"_s;
    QTest::newRow("nothing selected") << u"//missing"_s << u"<a/>"_s << u"//a"_s << QString();
}

void tst_ProfileCommands::modifyProfileEx()
{
    QFETCH(QString, xpath);
    QFETCH(QString, subTree);
    QFETCH(QString, check);
    QFETCH(QString, expected);
    ProfileFolder folder;
    QCOMPARE(folder.run(command(u"modifyProfileEx"_s, {{u"filePath"_s, u"keyboard.xml"_s},
                                                       {u"xpath"_s, xpath},
                                                       {u"subTreeString"_s, subTree}})),
             success(u"modifyProfileEx success"_s));
    QCOMPARE(folder.run(query(check)), success(expected));
    QCOMPARE(folder.store().modifiedProfiles(), QStringList{folder.path(u"keyboard.xml"_s)});
}

void tst_ProfileCommands::modifyRemoveProfile_data()
{
    QTest::addColumn<QString>("xpath");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one node")
        << u"//key[@id='2']"_s << u"/root/profile[1]/keys"_s
        << QString(KeysOfGame).remove(u"\t<key id=\"2\" code=\"0x02,0x04,0x00,0x00\" />\n"_s);
    QTest::newRow("nested selection: inner ones go with the outer")
        << u"//key | //keys | //color"_s << u"/root"_s
        << u"<root version=\"2\">\n"
           "\t<profile index=\"1\" name=\"Game\">\n"
           "\t\t<light mode=\"2\" speed=\"3\" />\n"
           "\t</profile>\n"
           "\t<profile index=\"2\" name=\"Work\">\n"
           "\t\t<macro><![CDATA[press A]]>then &amp; release</macro>\n"
           "\t</profile>\n"
           "</root>\n"_s;
    QTest::newRow("attribute stays")
        << u"//light/@mode"_s << u"//light"_s
        << u"<light mode=\"2\" speed=\"3\">\n\t<color r=\"255\" g=\"0\" b=\"0\" />\n</light>\n"_s;
    QTest::newRow("text nodes, CDATA too")
        << u"//macro/text()"_s << u"//macro"_s << u"<macro />\n"_s;
    QTest::newRow("document selected: its children still go")
        << u"/ | //color"_s << u"//light"_s << u"<light mode=\"2\" speed=\"3\" />\n"_s;
}

void tst_ProfileCommands::modifyRemoveProfile()
{
    QFETCH(QString, xpath);
    QFETCH(QString, check);
    QFETCH(QString, expected);
    ProfileFolder folder;
    QCOMPARE(folder.run(command(u"modifyRemoveProfile"_s,
                                {{u"filePath"_s, u"keyboard.xml"_s}, {u"xpath"_s, xpath}})),
             success(u"modifyRemoveProfile success"_s));
    QCOMPARE(folder.run(query(check)), success(expected));
}

void tst_ProfileCommands::modifyAddProfile_data()
{
    QTest::addColumn<QJsonObject>("members");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty values dropped, pairs in order")
        << QJsonObject{{u"xpath"_s, u"/root/profile[2]/keys"_s},
                       {u"addNodeName"_s, u"key"_s},
                       {u"attribute"_s, u"a;b;c"_s},
                       {u"attributeValue"_s, u"1;;3"_s}}
        << u"/root/profile[2]/keys"_s << u"<keys>\n\t<key a=\"1\" b=\"3\" />\n</keys>\n"_s;
    QTest::newRow("appended as last child of every selected node")
        << QJsonObject{{u"xpath"_s, u"//light | //keys"_s},
                       {u"addNodeName"_s, u"new"_s},
                       {u"attribute"_s, u"id"_s},
                       {u"attributeValue"_s, u"5"_s}}
        << u"/root/profile[2]"_s
        << u"<profile index=\"2\" name=\"Work\">\n\t<keys>\n\t\t<new id=\"5\" />\n\t</keys>\n"
           "\t<macro><![CDATA[press A]]>then &amp; release</macro>\n</profile>\n"_s;
    QTest::newRow("no addNodeName: an element without a name")
        << QJsonObject{{u"xpath"_s, u"/root/profile[2]/keys"_s},
                       {u"attribute"_s, u"a"_s},
                       {u"attributeValue"_s, u"1"_s}}
        << u"/root/profile[2]/keys"_s << u"<keys>\n\t<:anonymous a=\"1\" />\n</keys>\n"_s;
}

void tst_ProfileCommands::modifyAddProfile()
{
    QFETCH(QJsonObject, members);
    QFETCH(QString, check);
    QFETCH(QString, expected);
    ProfileFolder folder;
    members.insert(u"filePath"_s, u"keyboard.xml"_s);
    QCOMPARE(folder.run(command(u"modifyAddProfile"_s, members)),
             success(u"modifyAddProfile success"_s));
    QCOMPARE(folder.run(query(check)), success(expected));
}

void tst_ProfileCommands::modifyReplaceProfile_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("srcXpath");
    QTest::addColumn<QString>("desXpath");
    QTest::addColumn<QString>("expected"); // the first profile of keyboard.xml afterwards

    const QString light = u"\t<light mode=\"2\" speed=\"3\">\n\t\t<color r=\"255\" g=\"0\" "
                          "b=\"0\" />\n\t</light>\n"_s;
    const QString keys = u"\t<keys>\n\t\t<key id=\"1\" name=\"A\" code=\"0x01,%,%,0x00\" />\n"
                         "\t\t<key id=\"2\" code=\"0x02,0x04,0x00,0x00\" />\n"
                         "\t\t<key id=\"3\" code=\"%,0x05\" />\n"
                         "\t\t<key id=\"4\" code=\"%,%,%,%,%\" />\n\t</keys>\n"_s;
    const QString open = u"<profile index=\"1\" name=\"Game\">\n"_s;
    const QString close = u"</profile>\n"_s;

    QTest::newRow("node with a previous sibling")
        << u"library.xml"_s << u"//light"_s << u"/root/profile[1]/light"_s
        << open + keys +
               u"\t<light mode=\"7\" speed=\"1\">\n\t\t<color r=\"0\" g=\"0\" b=\"255\" />\n"
               "\t\t<color r=\"0\" g=\"255\" b=\"0\" />\n\t</light>\n"_s +
               close;
    QTest::newRow("first child")
        << u"library.xml"_s << u"//keys"_s << u"/root/profile[1]/keys"_s
        << open + u"\t<keys>\n\t\t<key id=\"9\" code=\"0x09\" />\n\t</keys>\n"_s + light + close;
    QTest::newRow("source matches nothing: node removed")
        << u"library.xml"_s << u"//missing"_s << u"/root/profile[1]/keys"_s << open + light + close;
    QTest::newRow("destination matches nothing")
        << u"library.xml"_s << u"//light"_s << u"//missing"_s << open + keys + light + close;
    QTest::newRow("same document, copied node inside the replaced one")
        << u"keyboard.xml"_s << u"//key[@id='3']"_s << u"/root/profile[1]/keys"_s
        << open + u"\t<key id=\"3\" code=\"%,0x05\" />\n"_s + light + close;
}

void tst_ProfileCommands::modifyReplaceProfile()
{
    QFETCH(QString, source);
    QFETCH(QString, srcXpath);
    QFETCH(QString, desXpath);
    QFETCH(QString, expected);
    ProfileFolder folder;
    const QByteArray library = folder.onDisk(u"library.xml"_s);
    QCOMPARE(folder.run(command(u"modifyReplaceProfile"_s, {{u"srcFilePath"_s, source},
                                                            {u"desFilePath"_s, u"keyboard.xml"_s},
                                                            {u"srcXpath"_s, srcXpath},
                                                            {u"desXpath"_s, desXpath}})),
             success(u"modifyReplaceProfile success"_s));
    QCOMPARE(folder.run(query(u"/root/profile[1]"_s)), success(expected));
    // Only the destination is changed.
    QCOMPARE(folder.store().modifiedProfiles(), QStringList{folder.path(u"keyboard.xml"_s)});
    if (source == u"library.xml")
        QCOMPARE(folder.cached(u"library.xml"_s), library);
}

void tst_ProfileCommands::resetProfile()
{
    ProfileFolder folder;
    const QJsonObject reset = command(u"resetProfile"_s, {{u"srcFilePath"_s, u"library.xml"_s},
                                                          {u"desFilePath"_s, u"keyboard.xml"_s}});
    QCOMPARE(folder.run(reset), success(u"resetProfile success"_s));
    // The source's text, unparsed and unchanged, before any flush.
    QCOMPARE(folder.cached(u"keyboard.xml"_s), folder.onDisk(u"library.xml"_s));
    QCOMPARE(folder.run(query(u"/library/light/@mode | /library/profile"_s)).text.left(18),
             u"<profile index=\"9\""_s);
    QCOMPARE(folder.store().modifiedProfiles(), QStringList{folder.path(u"keyboard.xml"_s)});

    // An unreadable source or destination: no answer, nothing changes.
    ProfileFolder other;
    QCOMPARE(other.run(command(u"resetProfile"_s, {{u"srcFilePath"_s, u"missing.xml"_s},
                                                   {u"desFilePath"_s, u"keyboard.xml"_s}})),
             noAnswer);
    QCOMPARE(other.run(command(u"resetProfile"_s, {{u"srcFilePath"_s, u"library.xml"_s},
                                                   {u"desFilePath"_s, u"missing.xml"_s}})),
             noAnswer);
    QVERIFY(other.store().modifiedProfiles().isEmpty());
}

void tst_ProfileCommands::failuresAndSilence_data()
{
    QTest::addColumn<QJsonObject>("request");
    QTest::addColumn<Answer>("expected");

    const QString keyboard = u"keyboard.xml"_s;
    const QString broken = u"broken.xml"_s;
    const auto withFile = [](const QString &funcname, const QString &file, const QString &xpath,
                             QJsonObject members = {}) {
        members.insert(u"filePath"_s, file);
        members.insert(u"xpath"_s, xpath);
        return command(funcname, members);
    };
    const QJsonObject attributes{{u"attribute"_s, u"a"_s}, {u"attributeValue"_s, u"1"_s}};
    const QJsonObject subTree{{u"subTreeString"_s, u"<a/>"_s}};
    const QJsonObject args{{u"args"_s, u"1"_s}};

    struct Command
    {
        QString funcname;
        QJsonObject members;
        QString failure;
    };
    const QList<Command> commands = {
        {u"queryProfile"_s, {}, u"queryProfile load xml file failed!"_s},
        {u"nodeCounterProfile"_s, {}, u"nodeCounterProfile load xml file failed!"_s},
        {u"modifyProfile"_s, attributes, u"modifyProfile load xml file failed!"_s},
        {u"modifyProfileEx"_s, subTree, u"modifyProfileEx load xml file failed!"_s},
        {u"modifyRemoveProfile"_s, {}, u"modifyProfile load xml file failed!"_s},
        {u"modifyAddProfile"_s, attributes, u"modifyProfile load xml file failed!"_s},
        {u"queryHexByte"_s, args, u"modifyProfile load xml file failed!"_s},
    };
    for (const Command &c : commands) {
        const QByteArray name = c.funcname.toUtf8();
        QTest::addRow("%s: text does not parse", name.constData())
            << withFile(c.funcname, broken, u"/root"_s, c.members) << failure(c.failure);
        QTest::addRow("%s: XPath does not compile", name.constData())
            << withFile(c.funcname, keyboard, u"//key["_s, c.members) << failure(c.failure);
        QTest::addRow("%s: XPath gives a number", name.constData())
            << withFile(c.funcname, keyboard, u"count(//key)"_s, c.members) << failure(c.failure);
        QTest::addRow("%s: unreadable file", name.constData())
            << withFile(c.funcname, u"missing.xml"_s, u"/root"_s, c.members) << noAnswer;
        QTest::addRow("%s: folder instead of a file", name.constData())
            << withFile(c.funcname, u"."_s, u"/root"_s, c.members) << noAnswer;
    }
    const QJsonObject replace{{u"srcFilePath"_s, u"library.xml"_s},
                              {u"desFilePath"_s, keyboard},
                              {u"srcXpath"_s, u"//light"_s},
                              {u"desXpath"_s, u"//light"_s}};
    const Answer replaceFailure = failure(u"modifyReplaceProfile load xml file failed!"_s);
    QJsonObject request = replace;
    request[u"srcXpath"_s] = u"//light["_s;
    QTest::newRow("modifyReplaceProfile: bad source XPath")
        << command(u"modifyReplaceProfile"_s, request) << replaceFailure;
    request = replace;
    request[u"desXpath"_s] = u"1"_s;
    QTest::newRow("modifyReplaceProfile: destination XPath gives a number")
        << command(u"modifyReplaceProfile"_s, request) << replaceFailure;
    request = replace;
    request[u"srcFilePath"_s] = broken;
    QTest::newRow("modifyReplaceProfile: source does not parse")
        << command(u"modifyReplaceProfile"_s, request) << replaceFailure;
    request = replace;
    request[u"desFilePath"_s] = broken;
    QTest::newRow("modifyReplaceProfile: destination does not parse")
        << command(u"modifyReplaceProfile"_s, request) << replaceFailure;
    request = replace;
    request[u"srcFilePath"_s] = u"missing.xml"_s;
    QTest::newRow("modifyReplaceProfile: source unreadable")
        << command(u"modifyReplaceProfile"_s, request) << noAnswer;
    request = replace;
    request.remove(u"srcXpath"_s);
    QTest::newRow("modifyReplaceProfile: member missing")
        << command(u"modifyReplaceProfile"_s, request) << noAnswer;
    QTest::newRow("queryHexByte: args missing")
        << withFile(u"queryHexByte"_s, keyboard, u"//key"_s) << noAnswer;
}

void tst_ProfileCommands::failuresAndSilence()
{
    QFETCH(QJsonObject, request);
    QFETCH(Answer, expected);
    ProfileFolder folder;
    const QByteArray keyboard = folder.onDisk(u"keyboard.xml"_s);
    QCOMPARE(folder.run(request), expected);
    // Nothing changes, whatever the answer.
    QVERIFY(folder.store().modifiedProfiles().isEmpty());
    if (folder.store().isCached(folder.path(u"keyboard.xml"_s)))
        QCOMPARE(folder.cached(u"keyboard.xml"_s), keyboard);
}

void tst_ProfileCommands::savexml()
{
    ProfileFolder folder;
    const QJsonObject save = command(u"savexml"_s);
    // Nothing cached yet: no answer.
    QCOMPARE(folder.run(save), noAnswer);

    // Cached but not modified: success, nothing written.
    QCOMPARE(folder.run(query(u"/library"_s, u"library.xml"_s)).kind, Answer::Success);
    QVERIFY(QFile::remove(folder.path(u"library.xml"_s)));
    QCOMPARE(folder.run(save), success(u"save xml success"_s));
    QVERIFY(!QFile::exists(folder.path(u"library.xml"_s)));

    // A file that cannot be written: no answer, the document stays modified, and the next
    // savexml writes it.
    QCOMPARE(folder.run(command(u"modifyRemoveProfile"_s, {{u"filePath"_s, u"keyboard.xml"_s},
                                                           {u"xpath"_s, u"//profile[2]"_s}})),
             success(u"modifyRemoveProfile success"_s));
    QVERIFY(QFile::remove(folder.path(u"keyboard.xml"_s)));
    QVERIFY(QDir().mkdir(folder.path(u"keyboard.xml"_s)));
    QCOMPARE(folder.run(save), noAnswer);
    QCOMPARE(folder.store().modifiedProfiles(), QStringList{folder.path(u"keyboard.xml"_s)});
    QVERIFY(QDir().rmdir(folder.path(u"keyboard.xml"_s)));
    QCOMPARE(folder.run(save), success(u"save xml success"_s));
    QCOMPARE(folder.onDisk(u"keyboard.xml"_s), folder.cached(u"keyboard.xml"_s));
    QVERIFY(!folder.onDisk(u"keyboard.xml"_s).contains("Work"));
}

QTEST_GUILESS_MAIN(tst_ProfileCommands)
#include "tst_profilecommands.moc"
