// Profile commands with arbitrary XPath, subtree, attribute and argument texts over the
// fixture documents, run on two stores: one keeps parsed trees, one parses on every request.
// Any crash, any difference in answers or texts, or a kept tree that differs from a fresh
// parse of its text is a finding.
//
// Input: records separated by 0x1E, each a command byte, a document byte and up to four
// fields separated by 0x1F.

#include "commands/dispatcher.h"
#include "common/apppaths.h"
#include "config/profilestore.h"
#include "treecompare.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using namespace vorn;
using namespace Qt::StringLiterals;

const QStringList Documents = {u"keyboard.xml"_s, u"library.xml"_s, u"reparse.xml"_s,
                               u"broken.xml"_s};
QString s_exchangePath;

struct Answer
{
    int kind = 0; // 0 none, 1 success, 2 failure
    int code = 0;
    QString text;
    bool operator==(const Answer &) const = default;
};

class RecordingCallback final : public QueryCallback
{
public:
    Answer answer;

protected:
    void deliverSuccess(const QString &response) override { answer = {1, 0, response}; }
    void deliverFailure(int code, const QString &message) override { answer = {2, code, message}; }
};

Answer run(const CommandDispatcher &dispatcher, const QJsonObject &request)
{
    auto callback = QSharedPointer<RecordingCallback>::create();
    dispatcher.dispatchCommand(request.value(u"funcname"_s).toString(), request, callback);
    return callback->answer;
}

[[noreturn]] void finding(const char *what, const QJsonObject &request)
{
    std::fprintf(stderr, "%s after %s\n", what,
                 QJsonDocument(request).toJson(QJsonDocument::Compact).constData());
    std::abort();
}

// The requests of one record; several for the export-import pair.
QList<QJsonObject> requestsOf(QByteArrayView record)
{
    if (record.size() < 2)
        return {};
    const int kind = static_cast<unsigned char>(record[0]) % 11;
    const QString document = Documents[static_cast<unsigned char>(record[1]) % Documents.size()];
    const QString other =
        Documents[(static_cast<unsigned char>(record[1]) / Documents.size()) % Documents.size()];
    QStringList fields;
    for (const QByteArray &field : record.sliced(2).toByteArray().split('\x1f'))
        fields.append(QString::fromUtf8(field));
    fields.resize(4);

    const auto command = [&](const QString &funcname, QJsonObject members) {
        members.insert(u"funcname"_s, funcname);
        return members;
    };
    const QJsonObject onDocument{{u"filePath"_s, document}, {u"xpath"_s, fields[0]}};
    QJsonObject members = onDocument;
    switch (kind) {
    case 0:
        return {command(u"queryProfile"_s, onDocument)};
    case 1:
        return {command(u"nodeCounterProfile"_s, onDocument)};
    case 2:
        members.insert(u"attribute"_s, fields[1]);
        members.insert(u"attributeValue"_s, fields[2]);
        return {command(u"modifyProfile"_s, members)};
    case 3:
        members.insert(u"subTreeString"_s, fields[1]);
        return {command(u"modifyProfileEx"_s, members)};
    case 4:
        return {command(u"modifyRemoveProfile"_s, onDocument)};
    case 5:
        members.insert(u"attribute"_s, fields[1]);
        members.insert(u"attributeValue"_s, fields[2]);
        members.insert(u"addNodeName"_s, fields[3]);
        return {command(u"modifyAddProfile"_s, members)};
    case 6:
        return {command(u"modifyReplaceProfile"_s, {{u"srcFilePath"_s, other},
                                                    {u"desFilePath"_s, document},
                                                    {u"srcXpath"_s, fields[1]},
                                                    {u"desXpath"_s, fields[0]}})};
    case 7:
        return {
            command(u"resetProfile"_s, {{u"srcFilePath"_s, other}, {u"desFilePath"_s, document}})};
    case 8:
        members.insert(u"args"_s, fields[1]);
        return {command(u"queryHexByte"_s, members)};
    case 9:
        return {command(u"saveXmlAs"_s, {{u"srcFilePath"_s, document},
                                         {u"desFilePath"_s, s_exchangePath},
                                         {u"xpath"_s, fields[0]}}),
                command(u"modifyReplaceProfileEx"_s, {{u"srcFilePath"_s, s_exchangePath},
                                                      {u"desFilePath"_s, other},
                                                      {u"srcXpath"_s, QString()},
                                                      {u"desXpath"_s, fields[1]}})};
    default:
        return {command(u"queryProfile"_s, {{u"filePath"_s, document}, {u"xpath"_s, u"/"_s}})};
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(u"vorn.*=false"_s);
    static char folderTemplate[] = "/tmp/vorn-fuzz-profiles-XXXXXX";
    const char *folder = mkdtemp(folderTemplate);
    if (!folder)
        std::abort();
    const QString appFolder = QString::fromLocal8Bit(folder);
    for (const QString &name : Documents) {
        if (!QFile::copy(QStringLiteral(VORN_FIXTURES_DIR "/profiles/") + name,
                         appFolder + u'/' + name))
            std::abort();
    }
    setAppFolderPath(appFolder);
    s_exchangePath = appFolder + u"/exchange.pfd"_s;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ProfileStore reusing;
    ProfileStore parsing;
    parsing.setReuseParsedTrees(false);
    const CommandDispatcher withReuse(CommandContext{.profiles = &reusing});
    const CommandDispatcher withoutReuse(CommandContext{.profiles = &parsing});

    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    int records = 0;
    for (const QByteArray &record : input.toByteArray().split('\x1e')) {
        if (++records > 16)
            break;
        const QList<QJsonObject> requests = requestsOf(record);
        // The export writes the shared exchange file: each store runs the pair in turn.
        QList<Answer> expected;
        for (const QJsonObject &request : requests)
            expected.append(run(withoutReuse, request));
        for (qsizetype i = 0; i < requests.size(); ++i) {
            if (!(run(withReuse, requests[i]) == expected[i]))
                finding("answers differ", requests[i]);
        }
        for (const QString &name : Documents) {
            const QString path = ProfileStore::fullPath(name);
            if (reusing.profileText(path) != parsing.profileText(path))
                finding("texts differ", requests.value(0));
            if (!testing::keptTreeMatchesText(reusing, path))
                finding("kept tree differs from a fresh parse", requests.value(0));
        }
    }
    return 0;
}
