#include "bridge/vorn.h"

#include "bridge/bridgelog.h"
#include "bridge/clienthandler.h"
#include "bridge/pageaddress.h"
#include "bridge/popwidget.h"
#include "bridge/vornwebview.h"
#include "commands/request.h"
#include "common/quit.h"
#include "config/appconfig.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

namespace vorn {

using namespace Qt::StringLiterals;

namespace {

constexpr QSize DefaultClientSize(800, 600);

ClientHandler &handler()
{
    ClientHandler *shared = sharedClientHandler();
    if (!shared)
        qFatal("vorn: the main window needs the shared client handler; create it first");
    return *shared;
}

} // namespace

vorn::vorn(const CommandContext &appServices, QWidget *parent)
    : QWidget(parent)
    , m_dispatcher(withOwnServices(appServices))
{
    if (objectName().isEmpty())
        setObjectName(u"vornClass"_s);

    const QSize size = clientSizeFrom(
        appServices.config ? appServices.config->clientValue(u"clientSize"_s) : QString());
    resize(size);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    setWindowIcon(QIcon(u":/vorn/desk_icon"_s));

    m_webView = new VornWebView(this);
    m_webView->resize(size);
    setMinimumSize(size);
    setMouseTracking(true);

    handler().setMainWindow(this);
    handler().SetMainWindowHandle(this);
    const QUrl startPage = startPageUrl();
    handler().setStartupUrl(startPage.toString(QUrl::FullyEncoded));
    m_webView->load(startPage);
    connect(m_webView, &VornWebView::jsMessage, this, &vorn::onJsMessage);

    // The configurable global hot keys ("showConf" toggles showMouseConf) are registered
    // here by the desktop layer.

    installEventFilter(this);

    // The process monitor, which reports mode programs starting and stopping, starts here.

    setWindowTitle(u"Taviro gaming keyboard"_s);
}

vorn::~vorn()
{
    delete m_popWidget.data();
}

CommandContext vorn::withOwnServices(const CommandContext &appServices)
{
    CommandContext context = appServices;
    context.profiles = &m_profiles;
    return context;
}

QSize vorn::clientSizeFrom(const QString &value)
{
    QSize size = DefaultClientSize;
    if (value.isEmpty())
        return size;
    const QStringList parts = value.split(u',', Qt::KeepEmptyParts);
    bool ok = false;
    const int width = parts.value(0).toInt(&ok);
    if (ok && width > 0)
        size.setWidth(width);
    const int height = parts.size() > 1 ? parts[1].toInt(&ok) : 0;
    if (parts.size() > 1 && ok && height > 0)
        size.setHeight(height);
    return size;
}

bool vorn::flushPending()
{
    if (!m_profiles.flushPending()) {
        qCWarning(lcBridge) << "a modified profile document could not be written";
        return false;
    }
    return true;
}

void vorn::loadPage(const QString &path)
{
    const QUrl address = applicationFolderUrl(path);
    if (address.isEmpty())
        return;
    if (QWebEnginePage *page = handler().FirstBrowser())
        page->load(address);
}

void vorn::maximizeToWorkArea()
{
    m_savedGeometry = geometry();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
}

void vorn::restoreSavedGeometry()
{
    setGeometry(m_savedGeometry);
}

void vorn::dispatchCommand(const QString &funcname, const RequestParameters &parameters,
                           const ReplyHandle &callback)
{
    m_dispatcher.dispatchCommand(funcname, parameters, callback);
}

void vorn::quitApp()
{
    hide();
    flushPending();
}

void vorn::onJsMessage(const QString &name, const ReplyHandle &callback)
{
    const ParsedRequest request = parseRequest(name);
    switch (request.kind) {
    case ParsedRequest::Kind::MaximizeWindow:
        maximizeToWorkArea();
        return;
    case ParsedRequest::Kind::RestoreWindow:
        restoreSavedGeometry();
        return;
    case ParsedRequest::Kind::Command:
        dispatchCommand(request.funcname, request.parameters, callback);
        return;
    default:
        return; // not a command: no answer
    }
}

void vorn::onCurrentPropChanged(int propIndex, int proMode)
{
    handler().SendCurrentPropChanged(propIndex, proMode);
}

void vorn::onshowWidget()
{
    show();
}

void vorn::oncloseApp()
{
    flushPending();
    requestQuit();
}

void vorn::showMouseConf()
{
    if (!m_popWidget) {
        m_popWidget = new PopWidget(this);
        connect(m_popWidget->webView(), &VornWebView::jsMessage, this, &vorn::onJsMessage);
    }
    if (!m_popWidget->isVisible()) {
        handler().SetListener(m_popWidget->webView());
        handler().SetMainWindowHandle(m_popWidget);
        m_popWidget->show();
        return;
    }
    handler().SetListener(m_webView);
    handler().SetMainWindowHandle(this);
    m_popWidget->deleteLater();
    m_popWidget = nullptr;
}

bool vorn::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this && event->type() == QEvent::WindowActivate) {
        handler().SetListener(m_webView);
        handler().SetMainWindowHandle(this);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void vorn::resizeEvent(QResizeEvent *event)
{
    m_webView->resize(event->size());
    QWidget::resizeEvent(event);
}

void vorn::closeEvent(QCloseEvent *event)
{
    hide();
    event->ignore();
}

} // namespace vorn
