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
    const auto isNumber = [](const QVariant &value) {
        return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Int ||
               value.typeId() == QMetaType::LongLong;
    };
    if (request.size() != 3 || !isNumber(request[0]) || !isNumber(request[1]) ||
        request[2].typeId() != QMetaType::QString)
        return; // not from the bridge script
    const QJsonArray address{QJsonValue::fromVariant(request[0]),
                             QJsonValue::fromVariant(request[1])};
    if (ClientHandler *handler = sharedClientHandler())
        handler->handleQuery(request[2].toString(),
                             ReplyHandle(new PageQueryCallback(this, address)));
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

void PageBridge::answer(quint64 generation, const QJsonArray &address, const QJsonArray &result)
{
    if (generation != m_generation)
        return;
    QJsonArray answer = address;
    for (const QJsonValue &value : result)
        answer.append(value);
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

PageQueryCallback::PageQueryCallback(PageBridge *bridge, QJsonArray address)
    : m_bridge(bridge)
    , m_generation(bridge->generation())
    , m_address(std::move(address))
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
    const auto give = [bridge = m_bridge, generation = m_generation, address = m_address,
                       answer = std::move(answer)] {
        if (bridge)
            bridge->answer(generation, address, answer);
    };
    // Answers may be given on any thread; the page is answered on the main thread.
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        give();
    else if (app)
        QMetaObject::invokeMethod(app, give, Qt::QueuedConnection);
}

} // namespace vorn
