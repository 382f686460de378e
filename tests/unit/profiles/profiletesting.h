#pragma once

// Shared pieces of the profile tests: an application folder in a temporary directory with
// the fixture documents, a dispatcher over a profile store, and answers recorded as values.

#include "commands/dispatcher.h"
#include "commands/queryreply.h"
#include "commands/services.h"
#include "common/apppaths.h"
#include "config/profilestore.h"
#include "config/xmltext.h"
#include "treecompare.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace vorn::testing {

using namespace Qt::StringLiterals;

// What a request got: nothing, a success text or a failure code and text.
struct Answer
{
    enum Kind
    {
        None,
        Success,
        Failure,
    };
    Kind kind = None;
    int code = -1;
    QString text;

    bool operator==(const Answer &) const = default;
    QString toString() const
    {
        switch (kind) {
        case None:
            return u"<no answer>"_s;
        case Success:
            return u"success: "_s + text;
        case Failure:
            return u"failure "_s + QString::number(code) + u": "_s + text;
        }
        return {};
    }
};

inline Answer success(const QString &text)
{
    return {Answer::Success, -1, text};
}
inline Answer failure(const QString &text)
{
    return {Answer::Failure, 0, text};
}
inline const Answer noAnswer{};

class RecordingCallback final : public QueryCallback
{
public:
    Answer answer;

protected:
    void deliverSuccess(const QString &response) override
    {
        answer = {Answer::Success, -1, response};
    }
    void deliverFailure(int errorCode, const QString &errorMessage) override
    {
        answer = {Answer::Failure, errorCode, errorMessage};
    }
};

class RecordingDesktop final : public DesktopServices
{
public:
    QList<int> doubleClickPositions;
    bool setDoubleClickSpeed(int position) override
    {
        doubleClickPositions.append(position);
        return true;
    }
};

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QString fixturePath(const QString &name)
{
    return QStringLiteral(VORN_FIXTURES_DIR "/profiles/") + name;
}

inline QByteArray fixture(const QString &name)
{
    return readFile(fixturePath(name));
}

inline Answer runOn(const CommandDispatcher &dispatcher, const QJsonObject &request)
{
    auto callback = QSharedPointer<RecordingCallback>::create();
    dispatcher.dispatchCommand(request.value(u"funcname"_s).toString(), request, callback);
    return callback->answer;
}

// An application folder holding copies of the fixture documents, and a dispatcher with a
// fresh profile store on it.
class ProfileFolder
{
public:
    ProfileFolder()
    {
        for (const QString &name : QDir(fixturePath({})).entryList(QDir::Files))
            QFile::copy(fixturePath(name), m_dir.filePath(name));
        setAppFolderPath(m_dir.path());
        resetStore();
    }

    // Forgets every cached document, as a program start does.
    void resetStore(bool reuseParsedTrees = true)
    {
        m_store = std::make_unique<ProfileStore>();
        m_store->setReuseParsedTrees(reuseParsedTrees);
        m_dispatcher = std::make_unique<CommandDispatcher>(
            CommandContext{.profiles = m_store.get(), .desktop = &desktop});
    }

    Answer run(const QJsonObject &request) { return runOn(*m_dispatcher, request); }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray onDisk(const QString &name) const { return readFile(path(name)); }
    QByteArray cached(const QString &name) const
    {
        return m_store->profileText(ProfileStore::fullPath(name));
    }
    ProfileStore &store() { return *m_store; }

    RecordingDesktop desktop;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ProfileStore> m_store;
    std::unique_ptr<CommandDispatcher> m_dispatcher;
};

} // namespace vorn::testing

namespace QTest {
template <> inline char *toString(const vorn::testing::Answer &answer)
{
    return qstrdup(answer.toString().toUtf8().constData());
}
} // namespace QTest
