#include "bridge/popwidget.h"

#include "bridge/clienthandler.h"
#include "bridge/pageaddress.h"
#include "bridge/vornwebview.h"

#include <QEvent>

namespace vorn {

PopWidget::PopWidget(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_webView(new VornWebView(this))
{
    resize(1000, 670);
    m_webView->resize(1000, 1000);
    m_webView->load(startPageUrl());
    installEventFilter(this);
}

bool PopWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this && event->type() == QEvent::WindowActivate) {
        if (ClientHandler *handler = sharedClientHandler()) {
            handler->SetListener(m_webView);
            handler->SetMainWindowHandle(this);
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vorn
