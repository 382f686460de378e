// The profile store: reading documents once, flushing them atomically, and keeping parsed
// trees only where they equal a fresh parse of the text.

#include "profiletesting.h"

using namespace vorn;
using namespace vorn::testing;

namespace {

QJsonObject request(const QString &funcname, const QJsonObject &members)
{
    QJsonObject r = members;
    r.insert(u"funcname"_s, funcname);
    return r;
}

} // namespace

class tst_ProfileStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsFileAsText_data();
    void readsFileAsText();
    void unreadableFilesAreNotCached();
    void cachedTextIsNeverReloaded();
    void pathsAreNotNormalised();
    void flushStopsAtFirstFailureAndRetriesAll();
    void flushOnlyWhatChanged();
    void reparsesIdenticallyIsExact_data();
    void reparsesIdenticallyIsExact();
    void keptTreesAnswerLikeFreshParses();
};

void tst_ProfileStore::readsFileAsText_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("plain") << QByteArray("<a/>\n") << QByteArray("<a/>\n");
    QTest::newRow("byte-order mark skipped")
        << QByteArray("\xEF\xBB\xBF<a/>") << QByteArray("<a/>");
    QTest::newRow("CR LF becomes LF, a lone CR stays")
        << QByteArray("<a>\r\n<b/>\r</a>\r\n") << QByteArray("<a>\n<b/>\r</a>\n");
    QTest::newRow("mark only at the start")
        << QByteArray("<a>\xEF\xBB\xBF</a>") << QByteArray("<a>\xEF\xBB\xBF</a>");
    QTest::newRow("bytes that are not UTF-8 become U+FFFD")
        << QByteArray("<a>\xFF</a>") << QByteArray("<a>\xEF\xBF\xBD</a>");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void tst_ProfileStore::readsFileAsText()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, text);
    ProfileFolder folder;
    QVERIFY(writeFile(folder.path(u"doc.xml"_s), file));
    const QString path = ProfileStore::fullPath(u"doc.xml"_s);
    QCOMPARE(path, folder.path(u"doc.xml"_s));
    QVERIFY(folder.store().loadProfileText(path));
    QCOMPARE(folder.store().profileText(path), text);
    QVERIFY(folder.store().modifiedProfiles().isEmpty());
}

void tst_ProfileStore::unreadableFilesAreNotCached()
{
    ProfileFolder folder;
    ProfileStore &store = folder.store();
    QVERIFY(!store.loadProfileText(folder.path(u"missing.xml"_s)));
    QVERIFY(QDir().mkdir(folder.path(u"folder.xml"_s)));
    QVERIFY(!store.loadProfileText(folder.path(u"folder.xml"_s)));
    // A device never ends: it is no document.
    QVERIFY(!store.loadProfileText(u"/dev/zero"_s));
    QVERIFY(store.profileCache().isEmpty());
    // Nothing cached: a flush does nothing at all.
    QCOMPARE(store.flush(), ProfileStore::FlushResult::NothingCached);
}

void tst_ProfileStore::cachedTextIsNeverReloaded()
{
    ProfileFolder folder;
    ProfileStore &store = folder.store();
    const QString path = folder.path(u"keyboard.xml"_s);
    QVERIFY(store.loadProfileText(path));
    const QByteArray first = store.profileText(path);
    QVERIFY(writeFile(path, "<other/>"));
    QVERIFY(store.loadProfileText(path));
    QCOMPARE(store.profileText(path), first);
    QVERIFY(QFile::remove(path));
    QVERIFY(store.loadProfileText(path));
    QCOMPARE(store.profileText(path), first);
}

void tst_ProfileStore::pathsAreNotNormalised()
{
    ProfileFolder folder;
    const QJsonObject edit{
        {u"xpath"_s, u"/root"_s}, {u"attribute"_s, u"version"_s}, {u"attributeValue"_s, u"3"_s}};
    QJsonObject viaDot = edit;
    viaDot.insert(u"filePath"_s, u"./keyboard.xml"_s);
    QCOMPARE(folder.run(request(u"modifyProfile"_s, viaDot)), success(u"modifyProfile success!"_s));
    // The plain name is another document: it still has the file's text.
    QCOMPARE(folder
                 .run(request(u"queryProfile"_s, {{u"filePath"_s, u"keyboard.xml"_s},
                                                  {u"xpath"_s, u"/root/@version"_s}}))
                 .kind,
             Answer::Success);
    QVERIFY(folder.cached(u"keyboard.xml"_s).contains("version=\"2\""));
    QVERIFY(folder.cached(u"./keyboard.xml"_s).contains("version=\"3\""));
    QCOMPARE(folder.store().modifiedProfiles(), QStringList{folder.path(u"./keyboard.xml"_s)});
}

void tst_ProfileStore::flushStopsAtFirstFailureAndRetriesAll()
{
    ProfileFolder folder;
    ProfileStore &store = folder.store();
    const QStringList names = {u"keyboard.xml"_s, u"library.xml"_s, u"reparse.xml"_s};
    QStringList paths;
    for (const QString &name : names) {
        paths.append(folder.path(name));
        QVERIFY(store.loadProfileText(paths.last()));
        store.setProfileText(paths.last(), "<new name=\"" + name.toUtf8() + "\"/>\n");
    }
    // Changing a document again keeps its place in the order of first changes.
    store.setProfileText(paths[0], "<newer/>\n");
    QCOMPARE(store.modifiedProfiles(), paths);

    // The second file cannot be written: a folder took its place.
    const QByteArray oldThird = folder.onDisk(names[2]);
    QVERIFY(QFile::remove(paths[1]));
    QVERIFY(QDir().mkdir(paths[1]));
    QCOMPARE(store.flush(), ProfileStore::FlushResult::Failed);
    QVERIFY(!store.flushPending());
    QCOMPARE(folder.onDisk(names[0]), QByteArray("<newer/>\n"));
    QCOMPARE(folder.onDisk(names[2]), oldThird);
    QCOMPARE(store.modifiedProfiles(), paths);

    // Once it can be written, the next flush writes every document again.
    QVERIFY(QDir().rmdir(paths[1]));
    QVERIFY(writeFile(paths[0], "<changed on disk/>"));
    QVERIFY(store.flushPending());
    QCOMPARE(folder.onDisk(names[0]), QByteArray("<newer/>\n"));
    QCOMPARE(folder.onDisk(names[1]), QByteArray("<new name=\"library.xml\"/>\n"));
    QCOMPARE(folder.onDisk(names[2]), QByteArray("<new name=\"reparse.xml\"/>\n"));
    QVERIFY(store.modifiedProfiles().isEmpty());
    QCOMPARE(QDir(folder.path({})).entryList(QDir::Files | QDir::Hidden).size(),
             QDir(fixturePath({})).entryList(QDir::Files).size());
}

void tst_ProfileStore::flushOnlyWhatChanged()
{
    ProfileFolder folder;
    ProfileStore &store = folder.store();
    const QString path = folder.path(u"keyboard.xml"_s);
    QVERIFY(store.loadProfileText(path));
    QVERIFY(QFile::remove(path));
    QCOMPARE(store.flush(), ProfileStore::FlushResult::Written);
    QVERIFY(!QFile::exists(path)); // only modified documents are written
}

void tst_ProfileStore::reparsesIdenticallyIsExact_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("edit");
    QTest::addColumn<bool>("identical");

    enum Edit
    {
        None,
        RemoveFirstElementChild,
        AddChildWithEmptyName,
        AddChildWithSpaceInName,
        AddAttributeWithBadName,
        SetTabAndNewlineAttribute,
        CopyTextToTop,
    };
    QTest::newRow("plain") << QByteArray("<r><a x=\"1\">t</a><![CDATA[c]]></r>") << int(None)
                           << true;
    QTest::newRow("escaped tab and line feed in an attribute")
        << QByteArray("<r a=\"x&#9;y&#10;z&#13;\"/>") << int(None) << true;
    QTest::newRow("empty CDATA") << QByteArray("<r><![CDATA[]]></r>") << int(None) << true;
    QTest::newRow("several top-level elements") << QByteArray("<r/><s/>") << int(None) << true;
    QTest::newRow("texts either side of a dropped comment")
        << QByteArray("<r>one<!--c-->two</r>") << int(None) << false;
    QTest::newRow("escaped carriage return in text")
        << QByteArray("<r>a&#13;b</r>") << int(None) << false;
    QTest::newRow("escaped space only") << QByteArray("<r>&#32;</r>") << int(None) << false;
    QTest::newRow("removed element between texts")
        << QByteArray("<r>x<b/>y</r>") << int(RemoveFirstElementChild) << false;
    QTest::newRow("removed root element")
        << QByteArray("<r/>") << int(RemoveFirstElementChild) << false;
    QTest::newRow("element without a name")
        << QByteArray("<r/>") << int(AddChildWithEmptyName) << false;
    QTest::newRow("element name with a space")
        << QByteArray("<r/>") << int(AddChildWithSpaceInName) << false;
    QTest::newRow("attribute name with '='")
        << QByteArray("<r/>") << int(AddAttributeWithBadName) << false;
    QTest::newRow("tab and line feed set in an attribute")
        << QByteArray("<r a=\"1\"/>") << int(SetTabAndNewlineAttribute) << true;
    QTest::newRow("text at the top") << QByteArray("<r>t</r>") << int(CopyTextToTop) << false;
}

void tst_ProfileStore::reparsesIdenticallyIsExact()
{
    QFETCH(QByteArray, text);
    QFETCH(int, edit);
    QFETCH(bool, identical);
    pugi::xml_document document;
    QVERIFY(xml::parse(document, text));
    pugi::xml_node root = document.first_child();
    switch (edit) {
    case 1:
        if (root.child("b"))
            root.remove_child(root.child("b"));
        else
            document.remove_child(root);
        break;
    case 2:
        root.append_child("");
        break;
    case 3:
        root.append_child("a b");
        break;
    case 4:
        root.append_attribute("x=y").set_value("1");
        break;
    case 5:
        root.attribute("a").set_value("\t\n");
        break;
    case 6:
        document.append_copy(root.first_child());
        break;
    }

    // The answer is right both ways: where it says identical, a fresh parse gives the same
    // tree; where it says not, parsing really gives something else (or fails).
    QCOMPARE(reparsesIdentically(document), identical);
    pugi::xml_document reparsed;
    const bool parses = xml::parse(reparsed, xml::save(document));
    QCOMPARE(parses && sameTree(document, reparsed), identical);
}

void tst_ProfileStore::keptTreesAnswerLikeFreshParses()
{
    // The same requests on two stores: one keeps parsed trees, one parses every time. Every
    // answer and every text must be the same, and every kept tree must equal a fresh parse.
    ProfileFolder folder;
    ProfileStore reusing;
    ProfileStore parsing;
    parsing.setReuseParsedTrees(false);
    const CommandDispatcher withReuse(CommandContext{.profiles = &reusing});
    const CommandDispatcher withoutReuse(CommandContext{.profiles = &parsing});

    const auto edit = [](const QString &funcname, const QString &file, const QString &xpath,
                         QJsonObject members = {}) {
        members.insert(u"filePath"_s, file);
        members.insert(u"xpath"_s, xpath);
        return request(funcname, members);
    };
    const auto count = [&](const QString &file, const QString &xpath) {
        return edit(u"nodeCounterProfile"_s, file, xpath);
    };
    const auto print = [&](const QString &file) { return edit(u"queryProfile"_s, file, u"/"_s); };
    const QString keyboard = u"keyboard.xml"_s;
    const QString reparse = u"reparse.xml"_s;
    const QJsonObject setName{{u"attribute"_s, u"name"_s}, {u"attributeValue"_s, u"x\ty"_s}};

    const QList<QJsonObject> steps = {
        print(keyboard),
        edit(u"modifyProfile"_s, keyboard, u"//key"_s, setName),
        count(keyboard, u"//keys"_s),
        edit(u"modifyAddProfile"_s, keyboard, u"//keys"_s,
             {{u"addNodeName"_s, u"k"_s}, {u"attribute"_s, u"a"_s}, {u"attributeValue"_s, u"1"_s}}),
        print(keyboard),
        // A nameless element: the text names it ":anonymous".
        edit(u"modifyAddProfile"_s, keyboard, u"//light"_s,
             {{u"attribute"_s, u"a"_s}, {u"attributeValue"_s, u"1"_s}}),
        edit(u"queryProfile"_s, keyboard, u"//*[name()='']"_s),
        edit(u"queryProfile"_s, keyboard, u"//*[name()=':anonymous']"_s),
        // Taking the element out of "then" CDATA/text leaves two texts side by side.
        edit(u"modifyProfileEx"_s, keyboard, u"//macro"_s, {{u"subTreeString"_s, u"<a/>"_s}}),
        edit(u"modifyAddProfile"_s, keyboard, u"//macro"_s,
             {{u"addNodeName"_s, u"b"_s}, {u"attribute"_s, u""_s}, {u"attributeValue"_s, u""_s}}),
        edit(u"modifyReplaceProfile"_s, keyboard, {},
             {{u"srcFilePath"_s, reparse},
              {u"desFilePath"_s, keyboard},
              {u"srcXpath"_s, u"//note/text()"_s},
              {u"desXpath"_s, u"//macro/b"_s}}),
        count(keyboard, u"//macro"_s),
        edit(u"modifyRemoveProfile"_s, keyboard, u"//macro/a"_s),
        count(keyboard, u"//macro"_s),
        print(keyboard),
        // A document whose first parse does not survive serialisation.
        count(reparse, u"//note"_s),
        edit(u"modifyProfile"_s, reparse, u"//item"_s,
             {{u"attribute"_s, u"key"_s}, {u"attributeValue"_s, u"v"_s}}),
        count(reparse, u"//note"_s),
        count(reparse, u"//blank"_s),
        edit(u"queryProfile"_s, reparse, u"//line/text()"_s),
        // Edits that leave no element: the text no longer parses.
        edit(u"modifyRemoveProfile"_s, reparse, u"/root"_s),
        print(reparse),
        edit(u"resetProfile"_s, {}, {},
             {{u"srcFilePath"_s, keyboard}, {u"desFilePath"_s, reparse}}),
        print(reparse),
        edit(u"modifyReplaceProfile"_s, {}, {},
             {{u"srcFilePath"_s, keyboard},
              {u"desFilePath"_s, keyboard},
              {u"srcXpath"_s, u"//macro/text()"_s},
              {u"desXpath"_s, u"/root"_s}}),
        print(keyboard),
    };

    bool keptAfterEdit = false;
    for (const QJsonObject &step : steps) {
        const QByteArray name = QJsonDocument(step).toJson(QJsonDocument::Compact);
        const Answer expected = runOn(withoutReuse, step);
        QCOMPARE(runOn(withReuse, step), expected);
        for (const QString &file : {keyboard, reparse}) {
            const QString path = ProfileStore::fullPath(file);
            QVERIFY2(reusing.profileText(path) == parsing.profileText(path), name.constData());
            QVERIFY2(keptTreeMatchesText(reusing, path), name.constData());
        }
        if (step.value(u"funcname"_s).toString().startsWith(u"modify") &&
            reusing.keptTree(ProfileStore::fullPath(keyboard)))
            keptAfterEdit = true;
    }
    // The trees really are kept where they can be.
    QVERIFY(keptAfterEdit);
}

QTEST_GUILESS_MAIN(tst_ProfileStore)
#include "tst_profilestore.moc"
