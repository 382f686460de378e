// Arbitrary bytes as an exchange file, and as the XML text inside a well-formed one: decoded
// in memory and read from disk (the two must agree), re-encoded when accepted, and imported
// into a fixture document by modifyReplaceProfileEx on a store that keeps parsed trees and on
// one that parses every time (answers and texts must agree, kept trees must equal fresh
// parses).

#include "commands/dispatcher.h"
#include "commands/exchangefile.h"
#include "common/apppaths.h"
#include "config/profilestore.h"
#include "treecompare.h"

#include <QFile>
#include <QJsonObject>
#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace vorn;
using namespace Qt::StringLiterals;

QString s_exchangePath;

class RecordingCallback final : public QueryCallback
{
public:
    int kind = 0;
    QString text;

protected:
    void deliverSuccess(const QString &response) override
    {
        kind = 1;
        text = response;
    }
    void deliverFailure(int, const QString &message) override
    {
        kind = 2;
        text = message;
    }
};

std::pair<int, QString> run(const CommandDispatcher &dispatcher, const QJsonObject &request)
{
    auto callback = QSharedPointer<RecordingCallback>::create();
    dispatcher.dispatchCommand(u"modifyReplaceProfileEx"_s, request, callback);
    return {callback->kind, callback->text};
}

[[noreturn]] void finding(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(u"vorn.*=false"_s);
    static char folderTemplate[] = "/tmp/vorn-fuzz-exchange-XXXXXX";
    const char *folder = mkdtemp(folderTemplate);
    if (!folder)
        std::abort();
    const QString appFolder = QString::fromLocal8Bit(folder);
    if (!QFile::copy(QStringLiteral(VORN_FIXTURES_DIR "/profiles/keyboard.xml"),
                     appFolder + u"/keyboard.xml"_s))
        std::abort();
    setAppFolderPath(appFolder);
    s_exchangePath = appFolder + u"/input.pfd"_s;
    return 0;
}

// Imports the exchange file holding bytes into the fixture document at a few targets.
static void import(const QByteArray &bytes)
{
    QFile file(s_exchangePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::abort();
    file.close();
    if (exchange::readFile(s_exchangePath) != exchange::decode(bytes))
        finding("reading the file and decoding the bytes disagree");

    ProfileStore reusing;
    ProfileStore parsing;
    parsing.setReuseParsedTrees(false);
    const CommandDispatcher withReuse(CommandContext{.profiles = &reusing});
    const CommandDispatcher withoutReuse(CommandContext{.profiles = &parsing});
    const QString path = ProfileStore::fullPath(u"keyboard.xml"_s);
    for (const QString &target : {u"/root/profile[2]"_s, u"/"_s, u"//key"_s}) {
        const QJsonObject request{{u"srcFilePath"_s, s_exchangePath},
                                  {u"desFilePath"_s, u"keyboard.xml"_s},
                                  {u"srcXpath"_s, QString()},
                                  {u"desXpath"_s, target}};
        if (run(withReuse, request) != run(withoutReuse, request))
            finding("answers differ");
        if (reusing.profileText(path) != parsing.profileText(path))
            finding("texts differ");
        if (!testing::keptTreeMatchesText(reusing, path))
            finding("kept tree differs from a fresh parse");
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto decoded = exchange::decode(bytes);
    if (decoded && exchange::decode(exchange::encode(*decoded)) != decoded)
        finding("re-encoded file decodes differently");
    // The bytes as a file, and the bytes as the XML text of a well-formed file.
    import(bytes);
    import(exchange::encode(bytes));
    return 0;
}
