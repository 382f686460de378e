// Profile documents through the real vornctl executable: edits, savexml and the flush at the
// end of input reach the disk byte for byte, and a process killed in the middle of a flush
// leaves the previous file whole.

#include "profiletesting.h"

#include <QProcess>

#include <functional>

#include <sys/resource.h>

using namespace vorn::testing;

namespace {

const QString Vornctl = QStringLiteral(VORN_APP_DIR "/vornctl");

struct Run
{
    QList<QByteArray> lines;
    QProcess::ExitStatus status = QProcess::NormalExit;
    int exitCode = -1;
};

// Runs vornctl on the folder with the requests as standard input, then end of input.
Run runVornctl(const QString &folder, const QList<QByteArray> &requests,
               const std::function<void()> &childSetup = {})
{
    QProcess process;
    if (childSetup)
        process.setChildProcessModifier(childSetup);
    process.start(Vornctl, {u"--app-folder"_s, folder});
    Run run;
    if (!process.waitForStarted())
        return run;
    for (const QByteArray &request : requests)
        process.write(request + '\n');
    process.closeWriteChannel();
    process.waitForFinished(60000);
    run.status = process.exitStatus();
    run.exitCode = process.exitCode();
    run.lines = process.readAllStandardOutput().split('\n');
    if (!run.lines.isEmpty() && run.lines.last().isEmpty())
        run.lines.removeLast();
    return run;
}

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

class tst_ProfileVornctl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editSaveAndQuitReachTheDisk();
    void flushKilledHalfwayLeavesOldFileWhole();
};

void tst_ProfileVornctl::editSaveAndQuitReachTheDisk()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(u"profiles"_s)));
    const QString document = dir.filePath(u"profiles/keyboard.xml"_s);
    QVERIFY(QFile::copy(fixturePath(u"keyboard.xml"_s), document));

    const QByteArray afterSave = "<?xml version=\"1.0\"?>\n"
                                 "<root version=\"2\">\n"
                                 "\t<profile index=\"1\" name=\"Game\">\n"
                                 "\t\t<keys>\n"
                                 "\t\t\t<key id=\"1\" name=\"A\" code=\"0x01,%,%,0x00\" />\n"
                                 "\t\t\t<key id=\"2\" code=\"0x02,0x04,0x00,0x00\" />\n"
                                 "\t\t\t<key id=\"3\" code=\"%,0x05\" />\n"
                                 "\t\t\t<key id=\"4\" code=\"%,%,%,%,%\" />\n"
                                 "\t\t</keys>\n"
                                 "\t\t<light mode=\"5\" speed=\"3\">\n"
                                 "\t\t\t<color r=\"255\" g=\"0\" b=\"0\" />\n"
                                 "\t\t</light>\n"
                                 "\t</profile>\n"
                                 "\t<profile index=\"2\" name=\"Work\">\n"
                                 "\t\t<keys>\n"
                                 "\t\t\t<key id=\"1\" code=\"0x04\" />\n"
                                 "\t\t</keys>\n"
                                 "\t\t<macro><![CDATA[press A]]>then &amp; release</macro>\n"
                                 "\t</profile>\n"
                                 "</root>\n";
    const QByteArray modifyLight =
        R"({"funcname":"modifyProfile","filePath":"profiles/keyboard.xml","xpath":"//light",)"
        R"("attribute":"mode","attributeValue":"5"})";
    const QByteArray addKey =
        R"({"funcname":"modifyAddProfile","filePath":"profiles/keyboard.xml",)"
        R"("xpath":"/root/profile[2]/keys","addNodeName":"key","attribute":"id;code",)"
        R"("attributeValue":"1;0x04"})";
    const QByteArray queryKey = R"({"funcname":"queryHexByte","filePath":"profiles/keyboard.xml",)"
                                R"("xpath":"/root/profile[2]/keys/key","args":""})";
    const QByteArray save = R"({"funcname":"savexml"})";

    // Before anything is cached, savexml has no answer; an edit stays in memory until
    // savexml.
    const Run first = runVornctl(dir.path(), {save, modifyLight, addKey, queryKey, save});
    QCOMPARE(first.status, QProcess::NormalExit);
    QCOMPARE(first.exitCode, 0);
    QCOMPARE(first.lines, (QList<QByteArray>{
                              line({{u"noreply"_s, true}}),
                              line({{u"success"_s, u"modifyProfile success!"_s}}),
                              line({{u"success"_s, u"modifyAddProfile success"_s}}),
                              line({{u"success"_s, u"0x04"_s}}),
                              line({{u"success"_s, u"save xml success"_s}}),
                          }));
    QCOMPARE(readFile(document), afterSave);

    // Without savexml, the end of input (the quit path) writes the modified documents.
    const QByteArray removeMacro =
        R"({"funcname":"modifyRemoveProfile","filePath":"profiles/keyboard.xml",)"
        R"("xpath":"//macro"})";
    const Run second = runVornctl(dir.path(), {removeMacro});
    QCOMPARE(second.lines,
             QList<QByteArray>{line({{u"success"_s, u"modifyRemoveProfile success"_s}})});
    QByteArray afterQuit = afterSave;
    afterQuit.replace("\t\t<macro><![CDATA[press A]]>then &amp; release</macro>\n", "");
    QCOMPARE(readFile(document), afterQuit);
}

void tst_ProfileVornctl::flushKilledHalfwayLeavesOldFileWhole()
{
    // A document of about 2 MB; the child may write files of at most half that size, so the
    // kernel kills it (SIGXFSZ) in the middle of writing the document.
    QTemporaryDir dir;
    const QString document = dir.filePath(u"big.xml"_s);
    QByteArray big = "<?xml version=\"1.0\"?>\n<root>\n";
    for (int i = 0; big.size() < 2'000'000; ++i)
        big += "\t<key id=\"" + QByteArray::number(i) + "\" code=\"0x01,0x02,0x03,0x04\" />\n";
    big += "</root>\n";
    QVERIFY(writeFile(document, big));

    const rlim_t limit = rlim_t(big.size() / 2);
    const Run run =
        runVornctl(dir.path(),
                   {R"({"funcname":"modifyProfile","filePath":"big.xml","xpath":"//key",)"
                    R"("attribute":"code","attributeValue":"0x01,0x02,0x03,0x05"})"},
                   [limit] {
                       const rlimit fileSize{limit, limit};
                       ::setrlimit(RLIMIT_FSIZE, &fileSize);
                   });
    QCOMPARE(run.lines, QList<QByteArray>{line({{u"success"_s, u"modifyProfile success!"_s}})});
    QCOMPARE(run.status, QProcess::CrashExit); // killed while writing
    QCOMPARE(readFile(document), big);
}

QTEST_GUILESS_MAIN(tst_ProfileVornctl)
#include "tst_profilevornctl.moc"
