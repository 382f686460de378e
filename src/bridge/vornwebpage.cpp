#include "bridge/vornwebpage.h"

#include "bridge/bridgelog.h"
#include "bridge/clienthandler.h"
#include "bridge/pageaddress.h"
#include "bridge/pagebridge.h"

#include <QColor>
#include <QWebChannel>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineQuotaRequest>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWidget>

namespace vorn {

namespace {
constexpr qint64 MaximumGrantedQuota = 20 * 1024 * 1024;
}

VornWebPage::VornWebPage(ClientHandler *handler, QWebEngineProfile *profile, bool popup,
                         QObject *parent)
    : QWebEnginePage(profile, parent)
    , m_handler(handler)
    , m_popup(popup)
{
    QWebEngineSettings *pageSettings = settings();
    pageSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    pageSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    pageSettings->setAttribute(QWebEngineSettings::LinksIncludedInFocusChain, false);
    pageSettings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    // Load errors show the program's own error page.
    pageSettings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    // Every unknown scheme comes to acceptNavigationRequest, which decides.
    pageSettings->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
    setBackgroundColor(QColor(0x22, 0x25, 0x29));

    // The channel before the host object: the channel goes first when the page is destroyed.
    m_channel = new QWebChannel(this);
    m_bridge = new PageBridge(this);
    m_channel->registerObject(m_bridge->objectName(), m_bridge);
    setWebChannel(m_channel);

    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl &origin, Feature feature) {
                // Geolocation is granted; nothing else is, and no request is left waiting.
                setFeaturePermission(origin, feature,
                                     feature == Geolocation ? PermissionGrantedByUser
                                                            : PermissionDeniedByUser);
            });
    connect(this, &QWebEnginePage::quotaRequested, this, [](QWebEngineQuotaRequest request) {
        if (request.requestedSize() <= MaximumGrantedQuota)
            request.accept();
        else
            request.reject();
    });
    const auto sendNavigationState = [this] {
        m_handler->SendNavStateChanged(history()->canGoBack(), history()->canGoForward());
    };
    connect(this, &QWebEnginePage::loadStarted, this, sendNavigationState);
    connect(this, &QWebEnginePage::loadFinished, this, sendNavigationState);
    connect(this, &QWebEnginePage::loadingChanged, this, &VornWebPage::onLoadingChanged);
    connect(this, &QWebEnginePage::renderProcessTerminated, this,
            &VornWebPage::onRenderProcessTerminated);
    connect(this, &QWebEnginePage::windowCloseRequested, this, [this] {
        if (m_popup) {
            if (QWidget *window = qobject_cast<QWidget *>(this->parent()))
                window->close();
        }
    });
}

VornWebPage::~VornWebPage()
{
    m_bridge->dropPendingQueries();
    m_handler->pageClosing(this);
}

bool VornWebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    Q_UNUSED(type);
    if (!isKnownScheme(url.scheme())) {
        m_handler->handleUnknownScheme(this, url, isMainFrame);
        return false;
    }
    // The document that asked the pending queries goes away.
    if (isMainFrame) {
        m_bridge->dropPendingQueries();
        m_bridgeReady = false;
    }
    return true;
}

QWebEnginePage *VornWebPage::createWindow(WebWindowType type)
{
    Q_UNUSED(type);
    return m_handler->createPopup(this);
}

void VornWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                           const QString &message, int lineNumber,
                                           const QString &sourceId)
{
    Q_UNUSED(level);
    qCInfo(lcPageConsole).noquote()
        << QStringLiteral("%1(%2): %3").arg(sourceId).arg(lineNumber).arg(message);
}

void VornWebPage::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
        return;
    // An HTTP error status comes with a page of its own, which is shown.
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
        return;
    m_handler->handleLoadError(this, info.url(), info.errorString(), info.errorCode());
}

void VornWebPage::setBridgeReady()
{
    m_bridgeReady = true;
    Q_EMIT bridgeReady();
}

void VornWebPage::onRenderProcessTerminated(RenderProcessTerminationStatus status, int exitCode)
{
    if (status == NormalTerminationStatus)
        return;
    qCWarning(lcBridge) << "render process ended:" << status << exitCode;
    m_bridgeReady = false;
    m_handler->handleRenderProcessEnd(this);
}

} // namespace vorn
