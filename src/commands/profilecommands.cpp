#include "commands/profilecommands.h"

#include "commands/exchangefile.h"
#include "commands/services.h"
#include "config/profilestore.h"
#include "config/xmltext.h"

#include <QLoggingCategory>

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <vector>

Q_LOGGING_CATEGORY(lcProfileCommands, "vorn.profiles.commands")

namespace vorn::commands {

namespace {

using namespace Qt::StringLiterals;

constexpr QLatin1StringView FilePath = "filePath"_L1;
constexpr QLatin1StringView Xpath = "xpath"_L1;
constexpr QLatin1StringView Attribute = "attribute"_L1;
constexpr QLatin1StringView AttributeValue = "attributeValue"_L1;
constexpr QLatin1StringView SubTreeString = "subTreeString"_L1;
constexpr QLatin1StringView AddNodeName = "addNodeName"_L1;
constexpr QLatin1StringView SrcFilePath = "srcFilePath"_L1;
constexpr QLatin1StringView DesFilePath = "desFilePath"_L1;
constexpr QLatin1StringView SrcXpath = "srcXpath"_L1;
constexpr QLatin1StringView DesXpath = "desXpath"_L1;
constexpr QLatin1StringView Args = "args"_L1;

void fail(CommandRequest &request, const QString &text)
{
    request.reply.Failure(0, text);
}

// A compiled XPath expression that yields a node set, or nothing when the text does not
// compile or yields another type (a number, a string, a boolean).
std::optional<pugi::xpath_query> compileNodeQuery(const QString &xpath)
{
    try {
        pugi::xpath_query query(xpath.toUtf8().constData());
        if (query.return_type() != pugi::xpath_type_node_set)
            return std::nullopt;
        return query;
    } catch (const std::exception &error) {
        qCInfo(lcProfileCommands) << "XPath refused:" << xpath << ":" << error.what();
        return std::nullopt;
    }
}

// Every node the query selects, in document order; nothing when evaluation runs out of
// memory.
std::optional<pugi::xpath_node_set> selectAll(const pugi::xpath_query &query,
                                              const pugi::xml_node &root)
{
    try {
        pugi::xpath_node_set nodes = query.evaluate_node_set(root);
        nodes.sort();
        return nodes;
    } catch (const std::exception &error) {
        qCInfo(lcProfileCommands) << "XPath evaluation failed:" << error.what();
        return std::nullopt;
    }
}

// The first selected node in document order; an empty node when nothing, or only an
// attribute, is selected.
std::optional<pugi::xml_node> selectFirst(const pugi::xpath_query &query,
                                          const pugi::xml_node &root)
{
    try {
        return query.evaluate_node(root).node();
    } catch (const std::exception &error) {
        qCInfo(lcProfileCommands) << "XPath evaluation failed:" << error.what();
        return std::nullopt;
    }
}

// The full path of the document named by member, once it is cached; nothing when it is not
// cached and cannot be read (the request then ends without an answer) or when there is no
// profile store.
std::optional<QString> loadDocument(const CommandRequest &request, QLatin1StringView member)
{
    ProfileStore *store = request.context.profiles;
    if (!store)
        return std::nullopt;
    QString path = ProfileStore::fullPath(request.text(member));
    if (!store->loadProfileText(path))
        return std::nullopt;
    return path;
}

// The text as a text-mode UTF-8 read leaves it: bytes that are not UTF-8 become U+FFFD.
QByteArray asUtf8Text(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8();
}

QList<QByteArray> utf8List(const QStringList &texts)
{
    QList<QByteArray> list;
    list.reserve(texts.size());
    for (const QString &text : texts)
        list.append(text.toUtf8());
    return list;
}

void removeAllChildren(pugi::xml_node &node)
{
    while (const pugi::xml_node child = node.first_child())
        node.remove_child(child);
}

// An edit of every node that `xpath` selects in the document named by `filePath`.
struct SelectionEdit
{
    QString path;
    std::unique_ptr<pugi::xml_document> document; // a parse the edit may change
    pugi::xpath_node_set nodes;                   // in document order
};

// Caches and parses the document and evaluates the selection. Nothing when the request has
// ended: without an answer when the document cannot be read, otherwise with `failure`.
std::optional<SelectionEdit> beginSelectionEdit(CommandRequest &request, const QString &failure)
{
    auto path = loadDocument(request, FilePath);
    if (!path)
        return std::nullopt;
    const auto query = compileNodeQuery(request.text(Xpath));
    auto document = query ? request.context.profiles->takeParsedDocument(*path) : nullptr;
    auto nodes = document ? selectAll(*query, *document) : std::nullopt;
    if (!nodes) {
        fail(request, failure);
        return std::nullopt;
    }
    return SelectionEdit{std::move(*path), std::move(document), std::move(*nodes)};
}

void commitEdit(CommandRequest &request, SelectionEdit &edit, const QString &success)
{
    request.context.profiles->commitProfile(std::move(edit.document), edit.path);
    request.reply.Success(success);
}

} // namespace

void queryProfile(CommandRequest &request)
{
    const QString failure = u"queryProfile load xml file failed!"_s;
    const auto path = loadDocument(request, FilePath);
    if (!path)
        return;
    const pugi::xml_document *document = request.context.profiles->parsedDocument(*path);
    const auto query = compileNodeQuery(request.text(Xpath));
    if (!document || !query)
        return fail(request, failure);
    const auto nodes = selectAll(*query, *document);
    if (!nodes)
        return fail(request, failure);

    QByteArray text;
    for (const pugi::xpath_node &selected : *nodes) {
        if (selected.node()) // a selected attribute prints nothing
            xml::appendPrinted(text, selected.node());
    }
    request.reply.Success(QString::fromUtf8(text));
}

void nodeCounterProfile(CommandRequest &request)
{
    const QString failure = u"nodeCounterProfile load xml file failed!"_s;
    const auto path = loadDocument(request, FilePath);
    if (!path)
        return;
    const pugi::xml_document *document = request.context.profiles->parsedDocument(*path);
    const auto query = compileNodeQuery(request.text(Xpath));
    if (!document || !query)
        return fail(request, failure);
    const auto node = selectFirst(*query, *document);
    if (!node)
        return fail(request, failure);

    int count = 0;
    for (pugi::xml_node child = node->first_child(); child; child = child.next_sibling())
        ++count;
    request.reply.Success(QString::number(count));
}

void modifyProfileResetDoubleClick(CommandRequest &request)
{
    if (DesktopServices *desktop = request.context.desktop)
        desktop->setDoubleClickSpeed(0);
}

void modifyProfile(CommandRequest &request)
{
    const QString failure = u"modifyProfile load xml file failed!"_s;
    auto edit = beginSelectionEdit(request, failure);
    if (!edit)
        return;

    const QList<QByteArray> names =
        utf8List(conversions::toNameList(request.value(Attribute), u';', false));
    QList<QByteArray> values =
        utf8List(conversions::toNameList(request.value(AttributeValue), u';', true));
    // Names without a value set the empty text.
    values.resize(std::max(values.size(), names.size()));
    for (const pugi::xpath_node &selected : edit->nodes) {
        const pugi::xml_node node = selected.node();
        for (qsizetype k = 0; k < names.size(); ++k) {
            // Only existing attributes are set; missing ones are not created.
            if (pugi::xml_attribute attribute = node.attribute(names[k].constData()))
                attribute.set_value(values[k].constData());
        }
    }
    commitEdit(request, *edit, u"modifyProfile success!"_s);
}

void modifyProfileEx(CommandRequest &request)
{
    const QString failure = u"modifyProfileEx load xml file failed!"_s;
    const auto path = loadDocument(request, FilePath);
    if (!path)
        return;
    ProfileStore &store = *request.context.profiles;

    // Whatever the parser builds from the subtree text is used, even when it reports an
    // error. It is parsed once, whatever the selection.
    pugi::xml_document subtree;
    xml::parse(subtree, request.text(SubTreeString));

    const auto query = compileNodeQuery(request.text(Xpath));
    if (!query)
        return fail(request, failure);
    auto document = store.takeParsedDocument(*path);
    if (!document)
        return fail(request, failure);
    auto node = selectFirst(*query, *document);
    if (!node)
        return fail(request, failure);

    // The first selected node gets the top-level nodes of the subtree as its children.
    if (*node) {
        removeAllChildren(*node);
        for (const pugi::xml_node &top : subtree.children())
            node->append_copy(top);
    }
    store.commitProfile(std::move(document), *path);
    request.reply.Success(u"modifyProfileEx success"_s);
}

void modifyRemoveProfile(CommandRequest &request)
{
    const QString failure = u"modifyProfile load xml file failed!"_s;
    auto edit = beginSelectionEdit(request, failure);
    if (!edit)
        return;

    // A node inside another selected node goes with it; it is skipped, and all of this is
    // decided before anything is removed (a removed node's handle is no longer valid). The
    // document itself has no parent and is never removed, so it hides nothing.
    std::unordered_set<const void *> removed;
    for (const pugi::xpath_node &selected : edit->nodes) {
        if (selected.node() && selected.node().parent())
            removed.insert(selected.node().internal_object());
    }
    std::vector<pugi::xml_node> outermost;
    for (const pugi::xpath_node &selected : edit->nodes) {
        const pugi::xml_node node = selected.node();
        if (!node || !node.parent())
            continue; // an attribute, or the document
        bool insideRemoved = false;
        for (pugi::xml_node above = node.parent(); above && !insideRemoved; above = above.parent())
            insideRemoved = removed.contains(above.internal_object());
        if (!insideRemoved)
            outermost.push_back(node);
    }
    for (pugi::xml_node &node : outermost)
        node.parent().remove_child(node);

    commitEdit(request, *edit, u"modifyRemoveProfile success"_s);
}

void modifyAddProfile(CommandRequest &request)
{
    const QString failure = u"modifyProfile load xml file failed!"_s;
    auto edit = beginSelectionEdit(request, failure);
    if (!edit)
        return;

    const QByteArray name = request.text(AddNodeName).toUtf8();
    const QList<QByteArray> names =
        utf8List(conversions::toNameList(request.value(Attribute), u';', false));
    const QList<QByteArray> values =
        utf8List(conversions::toNameList(request.value(AttributeValue), u';', false));
    // Only the names that have a value are added.
    const qsizetype pairs = std::min(names.size(), values.size());
    for (const pugi::xpath_node &selected : edit->nodes) {
        pugi::xml_node child = selected.node().append_child(name.constData());
        for (qsizetype k = 0; k < pairs; ++k)
            child.append_attribute(names[k].constData()).set_value(values[k].constData());
    }
    commitEdit(request, *edit, u"modifyAddProfile success"_s);
}

void modifyReplaceProfile(CommandRequest &request)
{
    const QString failure = u"modifyReplaceProfile load xml file failed!"_s;
    const auto sourcePath = loadDocument(request, SrcFilePath);
    if (!sourcePath)
        return;
    const auto destinationPath = loadDocument(request, DesFilePath);
    if (!destinationPath)
        return;
    ProfileStore &store = *request.context.profiles;
    const auto sourceQuery = compileNodeQuery(request.text(SrcXpath));
    const auto destinationQuery = compileNodeQuery(request.text(DesXpath));
    if (!sourceQuery || !destinationQuery)
        return fail(request, failure);

    // The source is a parse of its own: when both name the same document, the node to copy
    // may lie inside the node that is removed.
    pugi::xml_document ownSource;
    const pugi::xml_document *source = nullptr;
    if (*sourcePath == *destinationPath) {
        if (xml::parse(ownSource, store.profileText(*sourcePath)))
            source = &ownSource;
    } else {
        source = store.parsedDocument(*sourcePath);
    }
    if (!source)
        return fail(request, failure);
    auto destination = store.takeParsedDocument(*destinationPath);
    if (!destination)
        return fail(request, failure);
    const auto copied = selectFirst(*sourceQuery, *source);
    const auto replaced = selectFirst(*destinationQuery, *destination);
    if (!copied || !replaced)
        return fail(request, failure);

    // The copy takes the replaced node's place. With nothing to replace, nothing changes;
    // with nothing to copy, the replaced node is only removed.
    pugi::xml_node parent = replaced->parent();
    if (parent.first_child() == *replaced) {
        parent.remove_child(*replaced);
        parent.prepend_copy(*copied);
    } else {
        const pugi::xml_node before = replaced->previous_sibling();
        parent.remove_child(*replaced);
        parent.insert_copy_after(*copied, before);
    }
    store.commitProfile(std::move(destination), *destinationPath);
    request.reply.Success(u"modifyReplaceProfile success"_s);
}

void modifyReplaceProfileEx(CommandRequest &request)
{
    const QString failure = u"modifyReplaceProfile load xml file failed!"_s;
    const auto path = loadDocument(request, DesFilePath);
    if (!path)
        return;
    ProfileStore &store = *request.context.profiles;
    const auto query = compileNodeQuery(request.text(DesXpath));
    if (!query || !store.parsedDocument(*path))
        return fail(request, failure);

    // The exchange file path is used as given, not below the application folder.
    const QString exchangePath = request.text(SrcFilePath);
    const auto xmlText = exchange::readFile(exchangePath);
    if (!xmlText) {
        qCInfo(lcProfileCommands) << "not an exchange file:" << exchangePath;
        return fail(request, failure);
    }
    pugi::xml_document imported;
    if (!xml::parse(imported, asUtf8Text(*xmlText)))
        return fail(request, failure);

    auto document = store.takeParsedDocument(*path);
    if (!document)
        return fail(request, failure);
    auto target = selectFirst(*query, *document);
    if (!target)
        return fail(request, failure);

    // The target keeps its own attributes and gets the children of the exported element.
    const pugi::xml_node exported = imported.first_child();
    if (*target) {
        removeAllChildren(*target);
        for (const pugi::xml_node &child : exported.children())
            target->append_copy(child);
    }
    store.commitProfile(std::move(document), *path);
    request.reply.Success(u"modifyReplaceProfile success"_s);
}

void resetProfile(CommandRequest &request)
{
    const auto sourcePath = loadDocument(request, SrcFilePath);
    if (!sourcePath)
        return;
    const auto destinationPath = loadDocument(request, DesFilePath);
    if (!destinationPath)
        return;
    ProfileStore &store = *request.context.profiles;
    store.setProfileText(*destinationPath, store.profileText(*sourcePath));
    request.reply.Success(u"resetProfile success"_s);
}

void queryHexByte(CommandRequest &request)
{
    const QString failure = u"modifyProfile load xml file failed!"_s;
    const auto path = loadDocument(request, FilePath);
    if (!path)
        return;
    const pugi::xml_document *document = request.context.profiles->parsedDocument(*path);
    const auto query = compileNodeQuery(request.text(Xpath));
    if (!document || !query)
        return fail(request, failure);
    const auto node = selectFirst(*query, *document);
    if (!node)
        return fail(request, failure);

    QString code = QString::fromUtf8(node->attribute("code").value());
    if (code.contains(u'%')) {
        // The first four items of the code may be placeholders, filled from args in order; a
        // placeholder without an args item stays as it is.
        const QStringList args = conversions::toNameList(request.value(Args), u',', false);
        QStringList parts = code.split(u',', Qt::KeepEmptyParts);
        qsizetype next = 0;
        for (qsizetype i = 0; i < std::min<qsizetype>(4, parts.size()); ++i) {
            if (parts[i] == u"%" && next < args.size())
                parts[i] = args[next++];
        }
        code = parts.join(u',');
    }
    request.reply.Success(code);
}

void savexml(CommandRequest &request)
{
    ProfileStore *store = request.context.profiles;
    if (!store)
        return;
    // Nothing ever cached, or a file that cannot be written: no answer.
    if (store->flush() == ProfileStore::FlushResult::Written)
        request.reply.Success(u"save xml success"_s);
}

void saveXmlAs(CommandRequest &request)
{
    const auto path = loadDocument(request, SrcFilePath);
    if (!path)
        return;
    const pugi::xml_document *document = request.context.profiles->parsedDocument(*path);
    const auto query = compileNodeQuery(request.text(Xpath));
    if (!document || !query)
        return fail(request, u"saveXmlAs load xml file failed!"_s);
    const auto node = selectFirst(*query, *document);
    if (!node)
        return fail(request, u"saveXmlAs load xml file failed!"_s);

    // The element alone as a document; nothing selected gives only the declaration.
    pugi::xml_document exported;
    if (*node)
        exported.append_copy(*node);

    // The exchange file path is used as given, not below the application folder.
    const QString exchangePath = request.text(DesFilePath);
    QString error;
    if (!exchange::writeFile(exchangePath, xml::save(exported), &error)) {
        qCInfo(lcProfileCommands) << "cannot write" << exchangePath << ":" << error;
        return fail(request, u"saveXmlAs desFilePath is failed!"_s);
    }
    request.reply.Success(u"saveXmlAs success"_s);
}

} // namespace vorn::commands
