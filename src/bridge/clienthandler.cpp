#include "bridge/clienthandler.h"

#include "bridge/bridgelog.h"
#include "bridge/messageevent.h"
#include "bridge/pageaddress.h"
#include "bridge/pagebridge.h"
#include "bridge/vorn.h"
#include "bridge/vornwebpage.h"
#include "bridge/vornwebview.h"
#include "bridge/windowcommands.h"
#include "commands/request.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <atomic>

namespace vorn {

Q_LOGGING_CATEGORY(lcBridge, "vorn.bridge")
Q_LOGGING_CATEGORY(lcPageConsole, "vorn.bridge.console")

using namespace Qt::StringLiterals;

namespace {

std::atomic<ClientHandler *> s_sharedClientHandler{nullptr};

QString resourceText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCCritical(lcBridge) << "resource missing:" << path;
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

// The bridge script: Qt's web channel client and the page side of the bridge, in a scope of
// their own so that neither adds names to the page.
QWebEngineScript bridgeScript()
{
    QWebEngineScript script;
    script.setName(u"vorn-bridge"_s);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(
        u"(function (module) {\n"_s + resourceText(u":/qtwebchannel/qwebchannel.js"_s) +
        u"\n(function (QWebChannel) {\n"_s + resourceText(u":/vorn/bridge/bridge.js"_s) +
        u"\n})(QWebChannel);\n})(undefined);\n"_s);
    return script;
}

// The value of a Chromium-style switch ("--name=value", "-name=value", "--name").
struct Switch
{
    QString name;
    QString value;
};

std::optional<Switch> parseSwitch(const QString &argument)
{
    QStringView text(argument);
    if (text.startsWith(u"--"))
        text = text.mid(2);
    else if (text.startsWith(u'-'))
        text = text.mid(1);
    else
        return std::nullopt;
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0)
        return Switch{text.toString(), QString()};
    return Switch{text.first(equals).toString(), text.mid(equals + 1).toString()};
}

QString documentsFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return QString();
    return folder;
}

} // namespace

ClientHandler::Listener::~Listener()
{
    if (ClientHandler *handler = sharedClientHandler(); handler && handler->listener() == this)
        handler->SetListener(nullptr);
}

ClientHandler::ClientHandler(const QStringList &arguments, QObject *parent)
    : QObject(parent)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == u"--"_s)
            break;
        const std::optional<Switch> option = parseSwitch(arguments[i]);
        if (!option)
            continue;
        if (option->name == u"url"_s)
            m_startupUrl = option->value;
        else if (option->name == u"mouse-cursor-change-disabled"_s)
            m_mouseCursorChangeDisabled = true;
    }
}

ClientHandler::~ClientHandler()
{
    // Popup windows whose opener window is gone go before the profile their pages use.
    for (const QPointer<VornWebView> &view : std::as_const(m_popupViews))
        delete view.data();
    if (m_browserCount > 0)
        qCWarning(lcBridge) << m_browserCount << "pages outlive the client handler";
    delete m_profile;
    ClientHandler *self = this;
    s_sharedClientHandler.compare_exchange_strong(self, nullptr);
}

QWebEngineProfile *ClientHandler::profile()
{
    if (m_profile)
        return m_profile;
    m_profile = new QWebEngineProfile(u"vorn"_s);
    const QString cache = QDir::tempPath() + u"/Cache"_s;
    m_profile->setCachePath(cache);
    m_profile->setPersistentStoragePath(cache);
    m_profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    // The script runs once per document however often it is given: as the profile's it
    // reaches every render process from its start (a popup's first document too), as each
    // page's it reaches the process that follows one that ended.
    m_profile->scripts()->insert(bridgeScript());
    connect(m_profile, &QWebEngineProfile::downloadRequested, this, &ClientHandler::handleDownload);
    return m_profile;
}

VornWebPage *ClientHandler::createPage(QObject *parent, bool popup, VornWebPage *predecessor)
{
    auto *page = new VornWebPage(this, profile(), popup, parent);
    static const QWebEngineScript script = bridgeScript();
    page->scripts().insert(script);
    {
        QMutexLocker locker(&m_lock);
        if (!m_browser || (predecessor && m_browser == predecessor))
            m_browser = page;
    }
    if (popup) {
        const qsizetype at = predecessor ? m_popupBrowsers.indexOf(predecessor) : -1;
        if (at >= 0)
            m_popupBrowsers[at] = page;
        else
            m_popupBrowsers.append(page);
    }
    ++m_browserCount;
    return page;
}

void ClientHandler::pageClosing(VornWebPage *page)
{
    {
        QMutexLocker locker(&m_lock);
        if (m_browser == page)
            m_browser = nullptr;
    }
    m_popupBrowsers.removeAll(page);
    --m_browserCount;
}

void ClientHandler::SetListener(Listener *listener)
{
    m_listener = listener;
}

void ClientHandler::SetMainWindowHandle(QWidget *window)
{
    m_mainWindowHandle = window;
}

QWidget *ClientHandler::MainWindowHandle() const
{
    return m_mainWindowHandle.data();
}

void ClientHandler::setMainWindow(vorn *window)
{
    m_mainWindow = window;
}

vorn *ClientHandler::mainWindow() const
{
    return m_mainWindow.data();
}

QWebEnginePage *ClientHandler::FirstBrowser() const
{
    QMutexLocker locker(&m_lock);
    return m_browser.data();
}

QList<QWebEnginePage *> ClientHandler::popupBrowsers() const
{
    return {m_popupBrowsers.begin(), m_popupBrowsers.end()};
}

void ClientHandler::handleQuery(const QString &request, const ReplyHandle &callback)
{
    const ParsedRequest parsed = parseRequest(request);
    switch (parsed.kind) {
    case ParsedRequest::Kind::MoveWindow:
        if (parsed.moveValues.size() != 4)
            return;
        moveWindowBy(MainWindowHandle(), parsed.moveValues[0], parsed.moveValues[1],
                     parsed.moveValues[2], parsed.moveValues[3]);
        callback->Success(QString());
        return;
    case ParsedRequest::Kind::MinimizeWindow:
        // The documents are written before the window goes, on this (the main) thread.
        if (vorn *window = mainWindow())
            window->flushPending();
        toggleMinimized(MainWindowHandle());
        callback->Success(QString());
        return;
    default:
        if (m_listener)
            m_listener->DeliverMessageEvent(new MessageEvent(request, callback));
        return;
    }
}

QWebEnginePage *ClientHandler::createPopup(VornWebPage *opener)
{
    // A window of its own, owned by the opener's window, so it goes no later than that.
    auto *openerView = qobject_cast<QWidget *>(opener->parent());
    auto *view =
        new VornWebView(openerView ? openerView->window() : nullptr, VornWebView::Kind::Popup);
    view->setWindowFlag(Qt::Window);
    view->setAttribute(Qt::WA_DeleteOnClose);
    m_popupViews.removeAll(nullptr);
    m_popupViews.append(view);
    view->resize(800, 600);
    view->show();
    view->raise();
    view->activateWindow();
    view->setFocus();
    return view->page();
}

void ClientHandler::handleUnknownScheme(VornWebPage *page, const QUrl &url, bool isMainFrame)
{
    if (url.scheme() == u"spotify"_s) {
        QDesktopServices::openUrl(url);
        return;
    }
    if (!isMainFrame) {
        qCInfo(lcBridge).noquote() << "sub-frame address with an unknown scheme refused:"
                                   << url.toString(QUrl::FullyEncoded);
        return;
    }
    handleLoadError(page, url, u"net::ERR_UNKNOWN_URL_SCHEME"_s, -302);
}

void ClientHandler::handleLoadError(VornWebPage *page, const QUrl &failedUrl,
                                    const QString &errorText, int errorCode)
{
    // Aborted loads (a download, a stopped load, an address given to the system) stay silent.
    if (errorCode == -3)
        return;
    const QString html = errorPageHtml(failedUrl, errorText, errorCode);
    // Not from inside the page's own notification.
    QTimer::singleShot(0, page, [page, html, failedUrl] { page->setHtml(html, failedUrl); });
}

void ClientHandler::handleRenderProcessEnd(VornWebPage *page)
{
    page->bridge()->dropPendingQueries();
    const QString address = page->url().toString(QUrl::FullyEncoded);
    if (m_startupUrl.isEmpty() || m_startupUrl == u"chrome://crash"_s || address.isEmpty())
        return;
    // The start address is loaded again, also when it is the address that was shown; a page
    // whose render process ends again soon after such a reload is left as it is, so that a
    // page that ends its process at once does not start it over and over.
    if (page->m_lastRecovery.isValid() && page->m_lastRecovery.elapsed() < m_recoveryInterval) {
        qCWarning(lcBridge).noquote()
            << "render process ended again right after a reload; not reloading" << address;
        return;
    }
    page->m_lastRecovery.start();
    qCInfo(lcBridge).noquote() << "render process ended; loading" << m_startupUrl;
    // Not from inside the page's own notification.
    QTimer::singleShot(0, this,
                       [this, page = QPointer<VornWebPage>(page), startUrl = QUrl(m_startupUrl)] {
                           if (page)
                               recoverPage(page, startUrl);
                       });
}

void ClientHandler::recoverPage(VornWebPage *page, const QUrl &url)
{
    // The view gets a new page in place of the one whose render process ended. Loading into
    // the old page again is not enough: Qt WebEngine gives the new render process of an old
    // page its scripts unreliably, and the page would be left without the bridge.
    if (auto *view = qobject_cast<VornWebView *>(page->parent())) {
        view->replacePage()->load(url);
        return;
    }
    page->load(url);
}

void ClientHandler::handleDownload(QWebEngineDownloadRequest *download)
{
    const QString documents = documentsFolder();
    const QString proposed =
        documents.isEmpty()
            ? QDir(download->downloadDirectory()).filePath(download->downloadFileName())
            : QDir(documents).filePath(download->downloadFileName());
    const QString chosen =
        QFileDialog::getSaveFileName(MainWindowHandle(), tr("Save File"), proposed);
    if (chosen.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(chosen);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    download->accept();
}

void ClientHandler::deliverEvent(const QString &name, const QVariantList &arguments)
{
    // Always through the main thread's queue, so that events of every thread keep the order
    // in which they were sent.
    QMetaObject::invokeMethod(
        this, [this, name, arguments] { sendToFirstBrowser(name, arguments); },
        Qt::QueuedConnection);
}

void ClientHandler::sendToFirstBrowser(const QString &name, const QVariantList &arguments)
{
    VornWebPage *page = m_browser.data();
    // The events are the application's: a page from elsewhere gets none.
    if (!page || !isApplicationPage(page->url()))
        return;
    page->bridge()->sendEvent(name, arguments);
}

ClientHandler *sharedClientHandler()
{
    return s_sharedClientHandler.load();
}

void setSharedClientHandler(ClientHandler *handler)
{
    s_sharedClientHandler.store(handler);
}

} // namespace vorn
