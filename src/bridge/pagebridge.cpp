#include "bridge/pagebridge.h"

#include "bridge/bridgelog.h"
#include "bridge/clienthandler.h"
#include "bridge/pageaddress.h"
#include "bridge/vornwebpage.h"

#include <QCoreApplication>
#include <QThread>

namespace vorn {

namespace {

bool onMainThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Runs work on the main thread: at once when already there, else queued.
template <typename Work> void onMainThreadDo(Work &&work)
{
    if (onMainThread())
        work();
    else if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::forward<Work>(work), Qt::QueuedConnection);
}

} // namespace

PageBridge::PageBridge(VornWebPage *page)
    : QObject(page)
    , m_page(page)
{
    setObjectName(QStringLiteral("vornHost"));
}

PageBridge::~PageBridge()
{
    dropPendingQueries();
}

QFuture<QJsonArray> PageBridge::query(const QString &request)
{
    if (!isApplicationPage(m_page->url())) {
        if (!m_refusalLogged) {
            qCWarning(lcBridge).noquote()
                << "query of a page outside the application's view folder dropped:"
                << m_page->url().toString(QUrl::FullyEncoded);
            m_refusalLogged = true;
        }
        return QFuture<QJsonArray>(); // an empty future: completed with nothing
    }

    const quint64 key = m_nextKey++;
    QPromise<QJsonArray> &promise = m_pending[key];
    promise.start();
    QFuture<QJsonArray> future = promise.future();

    if (ClientHandler *handler = sharedClientHandler())
        handler->handleQuery(m_page, request, ReplyHandle(new PageQueryCallback(this, key)));
    else
        abandon(key);
    return future;
}

void PageBridge::ready()
{
    m_page->setBridgeReady();
}

void PageBridge::dropPendingQueries()
{
    m_refusalLogged = false;
    auto pending = std::move(m_pending);
    m_pending.clear();
    for (auto &[key, promise] : pending) {
        promise.future().cancel();
        promise.finish();
    }
}

void PageBridge::sendEvent(const QString &name, const QVariantList &arguments)
{
    Q_EMIT eventSent(name, arguments);
}

void PageBridge::complete(quint64 key, const QJsonArray &answer)
{
    const auto found = m_pending.find(key);
    if (found == m_pending.end())
        return;
    QPromise<QJsonArray> promise = std::move(found->second);
    m_pending.erase(found);
    promise.addResult(answer);
    promise.finish();
}

void PageBridge::abandon(quint64 key)
{
    const auto found = m_pending.find(key);
    if (found == m_pending.end())
        return;
    QPromise<QJsonArray> promise = std::move(found->second);
    m_pending.erase(found);
    promise.future().cancel();
    promise.finish();
}

PageQueryCallback::PageQueryCallback(PageBridge *bridge, quint64 key)
    : m_bridge(bridge)
    , m_key(key)
{}

PageQueryCallback::~PageQueryCallback()
{
    // Unanswered: the page's call completes with nothing (a no-op once answered).
    onMainThreadDo([bridge = m_bridge, key = m_key] {
        if (bridge)
            bridge->abandon(key);
    });
}

void PageQueryCallback::deliverSuccess(const QString &response)
{
    deliver(QJsonArray{true, response});
}

void PageQueryCallback::deliverFailure(int errorCode, const QString &errorMessage)
{
    deliver(QJsonArray{false, errorCode, errorMessage});
}

void PageQueryCallback::deliver(const QJsonArray &answer)
{
    onMainThreadDo([bridge = m_bridge, key = m_key, answer] {
        if (bridge)
            bridge->complete(key, answer);
    });
}

} // namespace vorn
