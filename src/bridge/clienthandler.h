#pragma once

#include "commands/queryreply.h"
#include "common/eventsink.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;
class QWidget;

namespace vorn {

class MessageEvent;
class VornWebPage;
class VornWebView;
class vorn;

// The one browser client of the process (sharedClientHandler()). It owns the browser profile
// and the settings every page gets, keeps track of the pages ("browsers": the first one
// created, the popups), of the listener (the view in front, which receives page requests) and
// of the window that window requests act on, applies the browser behaviours (no context menu,
// downloads, drags, permissions, popups, load errors, render-process recovery, unknown URL
// schemes) and sends the six events to the first page.
//
// Main thread, except the event senders, which any thread may call: each event is posted to
// the main thread and from there sent to the page, so events arrive in the order they were
// sent. Create it before the first view and destroy it after the last one.
class ClientHandler : public QObject, public EventSink
{
    Q_OBJECT

public:
    // The view that receives the page requests the query channel hands on.
    class Listener
    {
    public:
        // A listener that goes away stops being the shared handler's listener.
        virtual ~Listener();
        // Takes ownership of event and posts it to the view's own event queue.
        virtual void DeliverMessageEvent(MessageEvent *event) = 0;
    };

    // arguments: the program's command line as QCoreApplication::arguments() gives it, program
    // first. Read: "--url=<address>" (the start address) and
    // "--mouse-cursor-change-disabled" (the page never changes the mouse cursor); a single
    // leading dash works as well, and "--" ends the switches. May be constructed before the
    // QApplication; the browser profile is made when the first page needs it.
    explicit ClientHandler(const QStringList &arguments = {}, QObject *parent = nullptr);
    ~ClientHandler() override;

    // The profile of every page: cache and storage below QDir::tempPath() + "/Cache",
    // persistent session cookies, downloads to the Documents folder.
    QWebEngineProfile *profile();

    // A new page with the handler's settings and the bridge script. The first page created is
    // "the browser" that receives the events; popups are tracked until they close. A page
    // created as the successor of another takes its place among them.
    VornWebPage *createPage(QObject *parent, bool popup = false,
                            VornWebPage *predecessor = nullptr);

    void SetListener(Listener *listener);
    Listener *listener() const { return m_listener; }

    // The top-level window that "moveWindow" and "minisizeWindow" act on: the main window, or
    // the secondary window while that is in front.
    void SetMainWindowHandle(QWidget *window);
    QWidget *MainWindowHandle() const;

    // The main window, whose documents "minisizeWindow" writes before minimising.
    void setMainWindow(vorn *window);
    vorn *mainWindow() const;

    // The first page created, while it exists. Any thread.
    QWebEnginePage *FirstBrowser() const;
    QList<QWebEnginePage *> popupBrowsers() const;
    int browserCount() const { return m_browserCount; }

    QString startupUrl() const { return m_startupUrl; }
    void setStartupUrl(const QString &url) { m_startupUrl = url; }
    bool mouseCursorChangeDisabled() const { return m_mouseCursorChangeDisabled; }

    // One page request; callback answers the page that asked. The window commands
    // "moveWindow" and "minisizeWindow" are done here; every other request goes to the
    // listener as a MessageEvent. Main thread.
    void handleQuery(const QString &request, const ReplyHandle &callback);

    // How long (ms) a page that has been reloaded after its render process ended must live
    // before another end of its render process reloads it again (10 s by default).
    void setRecoveryInterval(int milliseconds) { m_recoveryInterval = milliseconds; }

protected:
    void deliverEvent(const QString &name, const QVariantList &arguments) override;

private:
    friend class VornWebPage;

    void pageClosing(VornWebPage *page);
    QWebEnginePage *createPopup(VornWebPage *opener);
    void handleUnknownScheme(VornWebPage *page, const QUrl &url, bool isMainFrame);
    void handleLoadError(VornWebPage *page, const QUrl &failedUrl, const QString &errorText,
                         int errorCode);
    void handleRenderProcessEnd(VornWebPage *page);
    void recoverPage(VornWebPage *page, const QUrl &url);
    void handleDownload(QWebEngineDownloadRequest *download);
    void sendToFirstBrowser(const QString &name, const QVariantList &arguments);

    QString m_startupUrl;
    bool m_mouseCursorChangeDisabled = false;
    int m_recoveryInterval = 10000;

    mutable QMutex m_lock; // guards m_browser
    QPointer<VornWebPage> m_browser;
    QList<VornWebPage *> m_popupBrowsers;
    QList<QPointer<VornWebView>> m_popupViews;
    int m_browserCount = 0;

    Listener *m_listener = nullptr;
    QPointer<QWidget> m_mainWindowHandle;
    QPointer<vorn> m_mainWindow;
    QWebEngineProfile *m_profile = nullptr;
};

// The process-wide client handler, set by main() once it is created; null before.
ClientHandler *sharedClientHandler();
void setSharedClientHandler(ClientHandler *handler);

} // namespace vorn
