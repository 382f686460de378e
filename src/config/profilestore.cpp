#include "config/profilestore.h"

#include "common/apppaths.h"
#include "common/atomicfile.h"
#include "config/xmltext.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QThread>

#include <cstring>

Q_LOGGING_CATEGORY(lcProfiles, "vorn.profiles")

namespace vorn {

namespace {

// The text as the program keeps it: UTF-8 without byte-order mark and with LF line ends, as
// a text-mode read gives it. Bytes that are not UTF-8 become U+FFFD, as decoding them does.
QByteArray textFromFileBytes(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    bytes.replace("\r\n", "\n");
    return QString::fromUtf8(bytes).toUtf8();
}

// The parser's name characters: a name starts with a letter, "_", ":" or any byte of a
// multi-byte UTF-8 sequence, and goes on with those, digits, "-" and ".".
bool isNameStart(unsigned char c)
{
    return c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}

bool isNameChar(unsigned char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isParsableName(const char *name)
{
    if (!isNameStart(static_cast<unsigned char>(*name)))
        return false;
    for (++name; *name; ++name) {
        if (!isNameChar(static_cast<unsigned char>(*name)))
            return false;
    }
    return true;
}

bool isWhiteSpaceOnly(const char *text)
{
    for (; *text; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r')
            return false;
    }
    return true;
}

// Whether one node comes back unchanged from its serialisation.
bool nodeReparsesIdentically(const pugi::xml_node &node)
{
    switch (node.type()) {
    case pugi::node_element:
        // Empty names are written as ":anonymous"; other non-names break the markup.
        if (!isParsableName(node.name()))
            return false;
        for (const pugi::xml_attribute &attribute : node.attributes()) {
            // Values are written with every special and control character escaped.
            if (!isParsableName(attribute.name()))
                return false;
        }
        return true;
    case pugi::node_pcdata:
        // The parser drops white-space-only text, turns CR into LF, and reads two texts
        // written one after the other as one.
        return !isWhiteSpaceOnly(node.value()) && !std::strchr(node.value(), '\r') &&
               node.previous_sibling().type() != pugi::node_pcdata;
    case pugi::node_cdata:
        return !std::strchr(node.value(), '\r') && !std::strstr(node.value(), "]]>");
    default:
        // Comments, declarations and the like never enter a tree parsed with the default
        // options.
        return false;
    }
}

} // namespace

bool reparsesIdentically(const pugi::xml_document &document)
{
    // At the top the parser keeps elements only (text there is skipped) and needs at least
    // one of them.
    if (!document.first_child())
        return false;
    for (const pugi::xml_node &child : document.children()) {
        if (child.type() != pugi::node_element)
            return false;
    }

    // Every node below, in document order, without recursion (trees may be deep).
    pugi::xml_node node = document.first_child();
    for (;;) {
        if (!nodeReparsesIdentically(node))
            return false;
        if (const pugi::xml_node child = node.first_child()) {
            node = child;
            continue;
        }
        while (!node.next_sibling()) {
            node = node.parent();
            if (node == document)
                return true;
        }
        node = node.next_sibling();
    }
}

ProfileStore::ProfileStore()
    : m_thread(QThread::currentThread())
{}

ProfileStore::~ProfileStore() = default;

void ProfileStore::assertThread() const
{
    Q_ASSERT_X(QThread::currentThread() == m_thread, "ProfileStore",
               "profile documents are used on the main thread only");
}

QString ProfileStore::fullPath(const QString &relativePath)
{
    return appFolderPath() + relativePath;
}

bool ProfileStore::loadProfileText(const QString &path)
{
    assertThread();
    if (m_profileCache.contains(path))
        return true;

    // Only regular files (or links to them): a device or a pipe could be endless or block.
    if (!QFileInfo(path).isFile()) {
        qCInfo(lcProfiles) << "cannot read" << path << ": not a file";
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCInfo(lcProfiles) << "cannot read" << path << ":" << file.errorString();
        return false;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        qCInfo(lcProfiles) << "cannot read" << path << ":" << file.errorString();
        return false;
    }

    CachedProfile &profile = m_profileCache[path];
    profile.text = textFromFileBytes(std::move(bytes));
    profile.version = ++m_lastVersion;
    return true;
}

bool ProfileStore::isCached(const QString &path) const
{
    assertThread();
    return m_profileCache.contains(path);
}

QByteArray ProfileStore::profileText(const QString &path) const
{
    assertThread();
    const auto it = m_profileCache.find(path);
    return it == m_profileCache.end() ? QByteArray() : it->second.text;
}

ProfileStore::CachedProfile &ProfileStore::cached(const QString &path)
{
    const auto it = m_profileCache.find(path);
    Q_ASSERT_X(it != m_profileCache.end(), "ProfileStore", "document used before it was loaded");
    if (it == m_profileCache.end()) {
        // Without assertions: an empty text, which does not parse.
        CachedProfile &profile = m_profileCache[path];
        profile.version = ++m_lastVersion;
        return profile;
    }
    return it->second;
}

void ProfileStore::parseCurrent(CachedProfile &profile) const
{
    auto document = std::make_unique<pugi::xml_document>();
    if (xml::parse(*document, profile.text))
        profile.tree = std::move(document);
    else
        profile.tree.reset();
    profile.parsedVersion = profile.version;
}

const pugi::xml_document *ProfileStore::parsedDocument(const QString &path)
{
    assertThread();
    CachedProfile &profile = cached(path);
    if (!m_reuseParsedTrees || profile.parsedVersion != profile.version)
        parseCurrent(profile);
    return profile.tree.get();
}

std::unique_ptr<pugi::xml_document> ProfileStore::takeParsedDocument(const QString &path)
{
    assertThread();
    CachedProfile &profile = cached(path);
    if (!m_reuseParsedTrees || profile.parsedVersion != profile.version)
        parseCurrent(profile);
    if (!profile.tree)
        return nullptr; // the failed parse stays recorded for this version
    // The caller changes the tree: it is no longer the parse of the cached text.
    profile.parsedVersion = 0;
    return std::move(profile.tree);
}

void ProfileStore::commitProfile(std::unique_ptr<pugi::xml_document> document, const QString &path)
{
    assertThread();
    CachedProfile &profile = m_profileCache[path];
    profile.text = xml::save(*document);
    profile.version = ++m_lastVersion;
    if (m_reuseParsedTrees && reparsesIdentically(*document)) {
        profile.tree = std::move(document);
        profile.parsedVersion = profile.version;
    } else {
        profile.tree.reset();
        profile.parsedVersion = 0;
    }
    markModified(path);
}

void ProfileStore::setProfileText(const QString &path, const QByteArray &utf8Text)
{
    assertThread();
    CachedProfile &profile = m_profileCache[path];
    profile.text = utf8Text;
    profile.version = ++m_lastVersion;
    profile.tree.reset();
    profile.parsedVersion = 0;
    markModified(path);
}

void ProfileStore::markModified(const QString &path)
{
    if (!m_modifiedProfiles.contains(path))
        m_modifiedProfiles.append(path);
}

ProfileStore::FlushResult ProfileStore::flush()
{
    assertThread();
    if (m_profileCache.empty())
        return FlushResult::NothingCached;
    for (const QString &path : std::as_const(m_modifiedProfiles)) {
        QString error;
        if (!writeFileAtomically(path, m_profileCache[path].text, &error)) {
            qCWarning(lcProfiles) << "cannot write" << path << ":" << error;
            return FlushResult::Failed;
        }
    }
    m_modifiedProfiles.clear();
    return FlushResult::Written;
}

QStringList ProfileStore::modifiedProfiles() const
{
    assertThread();
    return m_modifiedProfiles;
}

QHash<QString, QByteArray> ProfileStore::profileCache() const
{
    assertThread();
    QHash<QString, QByteArray> texts;
    for (const auto &[path, profile] : m_profileCache)
        texts.insert(path, profile.text);
    return texts;
}

void ProfileStore::setReuseParsedTrees(bool reuse)
{
    assertThread();
    m_reuseParsedTrees = reuse;
}

const pugi::xml_document *ProfileStore::keptTree(const QString &path) const
{
    assertThread();
    const auto it = m_profileCache.find(path);
    if (it == m_profileCache.end() || it->second.parsedVersion != it->second.version)
        return nullptr;
    return it->second.tree.get();
}

} // namespace vorn
