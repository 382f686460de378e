#include "bridge/pagebridge.h"

#include "bridge/bridgelog.h"
#include "bridge/clienthandler.h"
#include "bridge/pageaddress.h"
#include "bridge/vornwebpage.h"

#include <QCoreApplication>
#include <QThread>

namespace vorn {

PageBridge::PageBridge(VornWebPage *page)
    : QObject(page)
    , m_page(page)
{
    setObjectName(QStringLiteral("vornHost"));
}

PageBridge::~PageBridge() = default;

void PageBridge::setRequest(const QVariantList &request)
{
    if (!isApplicationPage(m_page->url())) {
        if (!m_refusalLogged) {
            qCWarning(lcBridge).noquote()
                << "query of a page outside the application's view folder dropped:"
                << m_page->url().toString(QUrl::FullyEncoded);
            m_refusalLogged = true;
        }
        return;
    }
    bool isNumber = false;
    const int id = request.value(0).toInt(&isNumber);
    if (request.size() != 2 || !isNumber || request[1].typeId() != QMetaType::QString)
        return; // not from the bridge script
    if (ClientHandler *handler = sharedClientHandler())
        handler->handleQuery(m_page, request[1].toString(),
                             ReplyHandle(new PageQueryCallback(this, id)));
}

void PageBridge::ready()
{
    m_page->setBridgeReady();
}

void PageBridge::dropPendingQueries()
{
    ++m_generation;
    m_outgoing = QJsonArray();
    m_refusalLogged = false;
}

void PageBridge::sendEvent(const QString &name, const QVariantList &arguments)
{
    Q_EMIT eventSent(name, arguments);
}

void PageBridge::answer(quint64 generation, int id, QJsonArray answer)
{
    if (generation != m_generation)
        return;
    answer.prepend(id);
    // The first answer of an event-loop pass goes at once; the answers given after it in the
    // same pass follow together at the end of the pass.
    if (!m_batching) {
        m_batching = true;
        QMetaObject::invokeMethod(this, &PageBridge::flushAnswers, Qt::QueuedConnection);
        Q_EMIT answered(QJsonArray{answer});
        return;
    }
    m_outgoing.append(answer);
}

void PageBridge::flushAnswers()
{
    m_batching = false;
    if (m_outgoing.isEmpty())
        return;
    Q_EMIT answered(std::exchange(m_outgoing, QJsonArray()));
}

PageQueryCallback::PageQueryCallback(PageBridge *bridge, int id)
    : m_bridge(bridge)
    , m_generation(bridge->generation())
    , m_id(id)
{}

void PageQueryCallback::deliverSuccess(const QString &response)
{
    deliver(QJsonArray{true, response});
}

void PageQueryCallback::deliverFailure(int errorCode, const QString &errorMessage)
{
    deliver(QJsonArray{false, errorCode, errorMessage});
}

void PageQueryCallback::deliver(QJsonArray answer)
{
    const auto give = [bridge = m_bridge, generation = m_generation, id = m_id,
                       answer = std::move(answer)] {
        if (bridge)
            bridge->answer(generation, id, answer);
    };
    // Answers may be given on any thread; the page is answered on the main thread.
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        give();
    else if (app)
        QMetaObject::invokeMethod(app, give, Qt::QueuedConnection);
}

} // namespace vorn
