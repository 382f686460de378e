#pragma once

#include <QElapsedTimer>
#include <QWebEnginePage>

class QWebChannel;

namespace vorn {

class ClientHandler;
class PageBridge;

// A page of the program ("browser" in the client handler's terms): the client handler's
// settings and behaviours, its web channel with the host object, and its place among the
// handler's pages. Created only by ClientHandler::createPage.
class VornWebPage : public QWebEnginePage
{
    Q_OBJECT

public:
    ~VornWebPage() override;

    PageBridge *bridge() const { return m_bridge; }
    // Whether the current document's script is connected to the host object.
    bool isBridgeReady() const { return m_bridgeReady; }
    bool isPopup() const { return m_popup; }

Q_SIGNALS:
    // The page's script has connected to the host object (once per document).
    void bridgeReady();

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceId) override;

private:
    friend class ClientHandler;
    friend class PageBridge;
    friend class VornWebView;
    VornWebPage(ClientHandler *handler, QWebEngineProfile *profile, bool popup, QObject *parent);

    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void onRenderProcessTerminated(RenderProcessTerminationStatus status, int exitCode);
    void setBridgeReady();

    ClientHandler *m_handler;
    bool m_popup;
    QWebChannel *m_channel;
    PageBridge *m_bridge;
    // When this page last reloaded its start address after its render process ended.
    QElapsedTimer m_lastRecovery;
    bool m_bridgeReady = false;
};

} // namespace vorn
