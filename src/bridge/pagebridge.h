#pragma once

#include "commands/queryreply.h"

#include <QJsonArray>
#include <QObject>
#include <QPointer>
#include <QVariantList>

namespace vorn {

class VornWebPage;

// The host object of one page on the page's web channel ("vornHost"). Every public slot,
// invokable, property and signal of this class is visible to the page's script, so it has
// only these.
//
// The page sends a query by writing [document token, id, request text] to the property
// "request": a write is a message of its own, which the channel does not answer. Answers go
// back through the signal "answered", each as [token, id, true, text] or
// [token, id, false, code, text]; the token names the document that asked. The first answer of
// a pass of the event loop goes at once, the others given in the same pass travel together at
// its end, so many queries in flight cost few messages. The page's script drops answers to
// ids it no longer waits for.
class PageBridge : public QObject
{
    Q_OBJECT
    // Write-only in effect; the channel wants a notify signal on every property.
    Q_PROPERTY(QVariantList request READ request WRITE setRequest NOTIFY requestChanged)

public:
    explicit PageBridge(VornWebPage *page);
    ~PageBridge() override;

    // From the page's script once its channel is connected and its event handler is set.
    Q_INVOKABLE void ready();

    // Not visible to the page (plain members):
    QVariantList request() const { return {}; }
    // One query from the page's script: [document token, id, request text]. Main thread.
    void setRequest(const QVariantList &request);

    // Forgets every query asked so far: the page navigates, closes or lost its render
    // process, and the document that asked is gone. Later answers to them go nowhere.
    void dropPendingQueries();
    void sendEvent(const QString &name, const QVariantList &arguments);
    // Answers a query of the document generation that asked it (main thread); address is
    // [token, id].
    void answer(quint64 generation, const QJsonArray &address, const QJsonArray &answer);
    quint64 generation() const { return m_generation; }

Q_SIGNALS:
    void requestChanged();
    // Answers to the page's queries, in the order they were given.
    void answered(const QJsonArray &answers);
    // The page's script receives the six events through this signal.
    void eventSent(const QString &name, const QVariantList &arguments);

private:
    void flushAnswers();

    VornWebPage *m_page;
    quint64 m_generation = 1;
    QJsonArray m_outgoing;
    bool m_batching = false;
    bool m_refusalLogged = false;
};

// The reply handle of one page query: the answer goes to the page that asked, on the main
// thread, and only while the document that asked is still there.
class PageQueryCallback final : public QueryCallback
{
public:
    // address: [document token, id] of the query.
    PageQueryCallback(PageBridge *bridge, QJsonArray address);

protected:
    void deliverSuccess(const QString &response) override;
    void deliverFailure(int errorCode, const QString &errorMessage) override;

private:
    void deliver(QJsonArray answer);

    QPointer<PageBridge> m_bridge;
    quint64 m_generation;
    QJsonArray m_address;
};

} // namespace vorn
