#include "bridge/vornwebview.h"

#include "bridge/messageevent.h"
#include "bridge/vornwebpage.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QWindow>

namespace vorn {

namespace {

ClientHandler &handler()
{
    ClientHandler *shared = sharedClientHandler();
    if (!shared)
        qFatal("vorn: a web view needs the shared client handler; create it first");
    return *shared;
}

} // namespace

VornWebView::VornWebView(QWidget *parent, Kind kind)
    : QWebEngineView(parent)
    , m_page(handler().createPage(this, kind == Kind::Popup))
{
    setPage(m_page);
    setContextMenuPolicy(Qt::NoContextMenu);
}

VornWebView::~VornWebView() = default;

void VornWebView::load(const QUrl &url)
{
    handler().SetListener(this);
    QWebEngineView::load(url);
}

void VornWebView::DeliverMessageEvent(MessageEvent *event)
{
    QCoreApplication::postEvent(this, event, Qt::HighEventPriority);
}

VornWebPage *VornWebView::replacePage()
{
    VornWebPage *old = m_page;
    m_page = handler().createPage(this, old->isPopup(), old);
    m_page->m_lastRecovery = old->m_lastRecovery;
    setPage(m_page);
    delete old;
    return m_page;
}

QVariant VornWebView::evaluateJavaScript(const QString &scriptSource)
{
    m_page->runJavaScript(scriptSource);
    return true;
}

bool VornWebView::event(QEvent *event)
{
    // The page's cursors are shown through the top-level window; watch it when the command
    // line asks for a fixed cursor.
    if (event->type() == QEvent::Show && handler().mouseCursorChangeDisabled()) {
        if (QWindow *top = window()->windowHandle())
            top->installEventFilter(this);
    }
    return QWebEngineView::event(event);
}

void VornWebView::customEvent(QEvent *event)
{
    if (event->type() == MessageEvent::messageEventType()) {
        const auto *message = static_cast<MessageEvent *>(event);
        Q_EMIT jsMessage(message->name(), message->callback());
        return;
    }
    QWebEngineView::customEvent(event);
}

bool VornWebView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::CursorChange && watched->isWindowType()) {
        auto *top = static_cast<QWindow *>(watched);
        if (top->cursor().shape() != Qt::ArrowCursor)
            top->setCursor(Qt::ArrowCursor);
    }
    return QWebEngineView::eventFilter(watched, event);
}

#if QT_CONFIG(draganddrop)
void VornWebView::dragEnterEvent(QDragEnterEvent *event)
{
    // A drag that may end as a link is refused; every other drag goes to the page.
    if (event->possibleActions() & Qt::LinkAction) {
        event->ignore();
        return;
    }
    QWebEngineView::dragEnterEvent(event);
}
#endif

} // namespace vorn
