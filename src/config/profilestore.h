#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <pugixml.hpp>

#include <memory>
#include <unordered_map>

class QThread;

namespace vorn {

// The page's XML profile documents: read from disk once, then kept as text and edited in
// memory until a flush writes the modified ones back.
//
// A document is named by its full path, appFolderPath() followed by the page's relative path
// unchanged (not normalised: two texts naming one file are two documents). Its text is held
// as UTF-8 exactly as it will be written. Each text change makes a new version; the parse of
// the current version is kept, so a request on an unchanged document does not parse again.
// After an edit the edited tree is kept as the parse of the new text only when parsing that
// text again is known to give the same tree; otherwise the next request parses.
//
// Main thread only: every entry point asserts the thread that created the store.
class ProfileStore
{
public:
    ProfileStore();
    ~ProfileStore();
    ProfileStore(const ProfileStore &) = delete;
    ProfileStore &operator=(const ProfileStore &) = delete;

    // appFolderPath() + relativePath, unchanged.
    static QString fullPath(const QString &relativePath);

    // Makes sure the document is cached. The first use reads the whole file as UTF-8 (a
    // byte-order mark is skipped, CR LF becomes LF); later uses keep the cached text whatever
    // the file now holds. Returns false when the document is not cached and its file cannot
    // be read; the request then ends without an answer.
    bool loadProfileText(const QString &path);

    bool isCached(const QString &path) const;
    // The cached text (empty when not cached).
    QByteArray profileText(const QString &path) const;

    // The parse of the cached text with the default parse options, or nullptr when the text
    // does not parse. The document must be cached. The tree stays valid until the next call
    // that changes or parses this document; it must not be changed.
    const pugi::xml_document *parsedDocument(const QString &path);

    // A parse of the cached text that the caller may change and then hand to commitProfile;
    // nullptr when the text does not parse. The document must be cached.
    std::unique_ptr<pugi::xml_document> takeParsedDocument(const QString &path);

    // Stores the document's serialisation (default save settings) as the text of path and
    // marks path modified.
    void commitProfile(std::unique_ptr<pugi::xml_document> document, const QString &path);

    // Replaces the text of path (cached) and marks it modified.
    void setProfileText(const QString &path, const QByteArray &utf8Text);

    enum class FlushResult
    {
        NothingCached, // no document was ever used: nothing happened
        Written,       // every modified document was written (possibly none)
        Failed,        // a file could not be written; the modified list is unchanged
    };

    // Writes every modified document in the order of its first change, each atomically
    // (a failed or interrupted write leaves the previous file whole). Stops at the first file
    // that cannot be written and keeps the whole list, so the next flush writes them all
    // again; after a complete pass the list is empty.
    FlushResult flush();
    // The quit paths' flush. Returns false when a file could not be written.
    bool flushPending() { return flush() != FlushResult::Failed; }

    QStringList modifiedProfiles() const;
    // Full path to text of every document used since the store was created.
    QHash<QString, QByteArray> profileCache() const;

    // Whether parsed trees are kept between requests (on by default). Off, every request
    // parses the cached text: the behaviour the cache must not change, for tests and
    // benchmarks.
    void setReuseParsedTrees(bool reuse);

    // For tests: the tree kept as the parse of the current text, if any.
    const pugi::xml_document *keptTree(const QString &path) const;

private:
    struct CachedProfile
    {
        QByteArray text;
        quint64 version = 0;
        // The parse of `text` when parsedVersion == version: the tree, or null when the text
        // does not parse.
        quint64 parsedVersion = 0;
        std::unique_ptr<pugi::xml_document> tree;
    };

    CachedProfile &cached(const QString &path);
    void parseCurrent(CachedProfile &profile) const;
    void markModified(const QString &path);
    void assertThread() const;

    std::unordered_map<QString, CachedProfile> m_profileCache;
    QStringList m_modifiedProfiles;
    quint64 m_lastVersion = 0;
    bool m_reuseParsedTrees = true;
    QThread *m_thread;
};

// Whether parsing the default serialisation of document gives a tree equal to document:
// same nodes of the same types, names, values and attributes, in the same order, and a
// successful parse. Conservative: false whenever that is not certain.
bool reparsesIdentically(const pugi::xml_document &document);

} // namespace vorn
