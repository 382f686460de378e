#pragma once

#include "bridge/clienthandler.h"
#include "commands/queryreply.h"

#include <QWebEngineView>

namespace vorn {

class VornWebPage;

// A view of one page of the shared client handler. It shows no context menu, refuses drags
// that offer a link, and, as the handler's listener, turns the page requests handed to it
// into its jsMessage signal on the main thread.
class VornWebView : public QWebEngineView, public ClientHandler::Listener
{
    Q_OBJECT

public:
    enum class Kind
    {
        Window, // a view of the program's windows
        Popup,  // a window a page opened
    };

    explicit VornWebView(QWidget *parent = nullptr, Kind kind = Kind::Window);
    ~VornWebView() override;

    VornWebPage *webPage() const { return m_page; }

    // Becomes the handler's listener and loads url.
    using QWebEngineView::load;
    void load(const QUrl &url);

    void DeliverMessageEvent(MessageEvent *event) override;

    // Shows a new page in place of the current one, which is deleted; the new page takes the
    // old one's place in the client handler. Returns the new page, which has loaded nothing.
    VornWebPage *replacePage();

Q_SIGNALS:
    // One page request the query channel handed on; emitted on the main thread.
    void jsMessage(const QString &name, const ReplyHandle &callback);

public Q_SLOTS:
    // Runs the script in the page's main frame; true once it is on its way.
    QVariant evaluateJavaScript(const QString &scriptSource);

protected:
    bool event(QEvent *event) override;
    void customEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
#if QT_CONFIG(draganddrop)
    void dragEnterEvent(QDragEnterEvent *event) override;
#endif

private:
    VornWebPage *m_page;
};

} // namespace vorn
