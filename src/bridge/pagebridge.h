#pragma once

#include "commands/queryreply.h"

#include <QFuture>
#include <QJsonArray>
#include <QObject>
#include <QPromise>
#include <QVariantList>

#include <unordered_map>

namespace vorn {

class VornWebPage;

// The host object of one page on the page's web channel ("vornHost"). Every public slot,
// invokable and signal of this class is visible to the page's script, so it has only these.
//
// A query's answer travels back as the result of the page's call: [true, text] or
// [false, code, text]. A query that gets no answer (refused, dropped, never answered by its
// command) is completed with nothing, which the page's script ignores.
class PageBridge : public QObject
{
    Q_OBJECT

public:
    explicit PageBridge(VornWebPage *page);
    ~PageBridge() override;

    // From the page's script: one request text. Main thread.
    Q_INVOKABLE QFuture<QJsonArray> query(const QString &request);
    // From the page's script once its channel is connected and its event handler is set.
    Q_INVOKABLE void ready();

    // Not visible to the page (plain members):
    // Completes every pending query with nothing: the page navigates, closes or lost its
    // render process, and the document that asked is gone.
    void dropPendingQueries();
    void sendEvent(const QString &name, const QVariantList &arguments);
    // Answers a pending query (at most once). Main thread.
    void complete(quint64 key, const QJsonArray &answer);
    // Gives a pending query up without an answer. Main thread.
    void abandon(quint64 key);
    qsizetype pendingCount() const { return qsizetype(m_pending.size()); }

Q_SIGNALS:
    // The page's script receives the six events through this signal.
    void eventSent(const QString &name, const QVariantList &arguments);

private:
    VornWebPage *m_page;
    quint64 m_nextKey = 1;
    std::unordered_map<quint64, QPromise<QJsonArray>> m_pending;
    bool m_refusalLogged = false;
};

// The reply handle of one page query: the answer goes to the page that asked, on the main
// thread, and only while the document that asked is still there.
class PageQueryCallback final : public QueryCallback
{
public:
    PageQueryCallback(PageBridge *bridge, quint64 key);
    ~PageQueryCallback() override;

protected:
    void deliverSuccess(const QString &response) override;
    void deliverFailure(int errorCode, const QString &errorMessage) override;

private:
    void deliver(const QJsonArray &answer);

    QPointer<PageBridge> m_bridge;
    quint64 m_key;
};

} // namespace vorn
