// Profile commands on a generated 1 MB profile document.
//
// Read commands answer from the kept parse of an unchanged document; the baseline is the same
// command on a store that parses the cached text on every request. Goal: at least 10 times
// faster. Edit commands keep the edited tree as the parse of the new text; the baseline is
// one parse and one serialisation of the same document. Goal: ratio at most 1.2.

#include "benchharness.h"

#include "commands/dispatcher.h"
#include "common/apppaths.h"
#include "config/profilestore.h"
#include "config/xmltext.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace vorn;
using namespace Qt::StringLiterals;

class CountingCallback final : public QueryCallback
{
public:
    static inline long long successes = 0;
    static inline long long failures = 0;

protected:
    void deliverSuccess(const QString &) override { ++successes; }
    void deliverFailure(int, const QString &) override { ++failures; }
};

// About 1 MB: profiles of keys with codes, lights and macros, in the default layout.
QByteArray generateDocument()
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- generated -->\n"
                      "<root version=\"2\">\n";
    for (int profile = 1; text.size() < 1'000'000; ++profile) {
        text += "\t<profile index=\"" + QByteArray::number(profile) + "\" name=\"Profile " +
                QByteArray::number(profile) + "\">\n\t\t<keys>\n";
        for (int key = 1; key <= 120; ++key) {
            text += "\t\t\t<key id=\"" + QByteArray::number(key) + "\" name=\"K" +
                    QByteArray::number(key) + "\" code=\"0x0" + QByteArray::number(key % 8) +
                    ",%,%,0x00\" mode=\"1\" />\n";
        }
        text += "\t\t</keys>\n\t\t<light mode=\"2\" speed=\"3\">\n"
                "\t\t\t<color r=\"255\" g=\"0\" b=\"0\" />\n\t\t</light>\n"
                "\t\t<macro name=\"m\"><![CDATA[press A]]>then release</macro>\n\t</profile>\n";
    }
    text += "</root>\n";
    return text;
}

QJsonObject request(const QString &funcname, QJsonObject members)
{
    members.insert(u"funcname"_s, funcname);
    members.insert(u"filePath"_s, u"profile.xml"_s);
    return members;
}

void dispatch(const CommandDispatcher &dispatcher, const QJsonObject &request)
{
    dispatcher.dispatchCommand(request.value(u"funcname"_s).toString(), request,
                               QSharedPointer<CountingCallback>::create());
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QByteArray document = generateDocument();
    {
        QFile file(dir.filePath(u"profile.xml"_s));
        if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size()) {
            std::fprintf(stderr, "cannot write the document\n");
            return 1;
        }
    }
    setAppFolderPath(dir.path());
    std::printf("profile document: %lld bytes\n", static_cast<long long>(document.size()));

    ProfileStore reusing;
    ProfileStore parsing;
    parsing.setReuseParsedTrees(false);
    const CommandDispatcher fast(CommandContext{.profiles = &reusing});
    const CommandDispatcher baseline(CommandContext{.profiles = &parsing});

    // Reads.
    const QString key = u"/root/profile[@index='7']/keys/key[@id='42']"_s;
    const QList<std::pair<const char *, QJsonObject>> reads = {
        {"queryProfile (one key)", request(u"queryProfile"_s, {{u"xpath"_s, key}})},
        {"nodeCounterProfile",
         request(u"nodeCounterProfile"_s, {{u"xpath"_s, u"/root/profile[@index='7']/keys"_s}})},
        {"queryHexByte",
         request(u"queryHexByte"_s, {{u"xpath"_s, key}, {u"args"_s, u"0x10,0x20"_s}})},
    };
    for (const auto &[name, read] : reads) {
        const bench::Measurement parsed = bench::measure(
            [&](long long n) {
                for (long long i = 0; i < n; ++i)
                    dispatch(baseline, read);
            },
            10);
        const bench::Measurement kept = bench::measure(
            [&](long long n) {
                for (long long i = 0; i < n; ++i)
                    dispatch(fast, read);
            },
            2000);
        bench::report(name, kept, parsed, 10.0, false);
    }

    // Edits, each against one parse and one serialisation of the current document.
    long long sink = 0;
    const bench::Measurement parseAndSave = bench::measure(
        [&](long long n) {
            const QByteArray text = reusing.profileText(ProfileStore::fullPath(u"profile.xml"_s));
            for (long long i = 0; i < n; ++i) {
                pugi::xml_document tree;
                xml::parse(tree, text);
                sink += xml::save(tree).size();
            }
        },
        10);

    int flip = 0;
    const auto measureEdits = [&](const std::function<void()> &edit) {
        return bench::measure(
            [&](long long n) {
                for (long long i = 0; i < n; ++i)
                    edit();
            },
            10);
    };
    const bench::Measurement modify = measureEdits([&] {
        const QString values = QString::number(++flip % 2) + u";K"_s;
        dispatch(fast, request(u"modifyProfile"_s, {{u"xpath"_s, key},
                                                    {u"attribute"_s, u"mode;name"_s},
                                                    {u"attributeValue"_s, values}}));
    });
    bench::report("modifyProfile", modify, parseAndSave, 1.2, true);

    const bench::Measurement modifyEx = measureEdits([&] {
        dispatch(fast, request(u"modifyProfileEx"_s,
                               {{u"xpath"_s, u"/root/profile[@index='3']/light"_s},
                                {u"subTreeString"_s,
                                 u"<color r=\"%1\" g=\"0\" b=\"0\"/>"_s.arg(++flip % 256)}}));
    });
    bench::report("modifyProfileEx", modifyEx, parseAndSave, 1.2, true);

    // An added key is removed again, so the document keeps its size: two edits per round.
    const bench::Measurement addRemove = measureEdits([&] {
        dispatch(fast,
                 request(u"modifyAddProfile"_s, {{u"xpath"_s, u"/root/profile[@index='5']/keys"_s},
                                                 {u"addNodeName"_s, u"key"_s},
                                                 {u"attribute"_s, u"id;code"_s},
                                                 {u"attributeValue"_s, u"999;0x01"_s}}));
        dispatch(fast, request(u"modifyRemoveProfile"_s,
                               {{u"xpath"_s, u"/root/profile[@index='5']/keys/key[@id='999']"_s}}));
    });
    bench::report("modifyAddProfile + modifyRemoveProfile (per edit)",
                  {addRemove.nanosecondsPerOperation / 2, addRemove.operations * 2}, parseAndSave,
                  1.2, true);

    std::printf("answers: %lld successes, %lld failures (checksum %lld)\n",
                CountingCallback::successes, CountingCallback::failures, sink);
    return CountingCallback::failures == 0 ? 0 : 1;
}
