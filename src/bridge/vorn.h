#pragma once

#include "bridge/popwidget.h"
#include "commands/commandcontext.h"
#include "commands/dispatcher.h"
#include "commands/queryreply.h"
#include "config/profilestore.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

namespace vorn {

class VornWebView;

// The main window: frameless, filled by the view of the application's start page
// (view/index.html). The page moves, minimises, maximises and restores it through its
// requests; closing it only hides it. It owns the profile document store and the command
// dispatcher that answers the page requests the query channel hands on, and the secondary
// window (PopWidget) while that exists.
//
// Needs the shared client handler (sharedClientHandler()) and appFolderPath().
class vorn : public QWidget
{
    Q_OBJECT

public:
    // appServices: the application's configuration, devices and desktop services; the window
    // adds its own profile store. The configuration's "clientSize" ("width,height") gives the
    // size, which is also the minimum size (800 x 600 without it; a part that is missing or
    // not a positive number keeps its default).
    explicit vorn(const CommandContext &appServices, QWidget *parent = nullptr);
    ~vorn() override;

    // Writes the modified profile documents. Returns false when one could not be written.
    bool flushPending();
    // Loads a page of the application folder (path starts with "/") into the first page.
    void loadPage(const QString &path);
    // Keeps the current geometry and covers the primary screen's work area.
    void maximizeToWorkArea();
    // Returns to the geometry kept by the last maximizeToWorkArea; before the first one the
    // window goes to the top left corner at its minimum size.
    void restoreSavedGeometry();
    void dispatchCommand(const QString &funcname, const RequestParameters &parameters,
                         const ReplyHandle &callback);

    ProfileStore &profiles() { return m_profiles; }
    const CommandContext &commandContext() const { return m_dispatcher.context(); }
    VornWebView *webView() const { return m_webView; }
    PopWidget *popWidget() const { return m_popWidget.data(); }
    QRect savedGeometry() const { return m_savedGeometry; }

    static QSize clientSizeFrom(const QString &value);

public Q_SLOTS:
    // Hides the window, then writes the modified documents.
    void quitApp();
    // A page request handed on by the query channel (from any of the program's views).
    void onJsMessage(const QString &name, const ReplyHandle &callback);
    void onCurrentPropChanged(int propIndex, int proMode);
    void onshowWidget();
    // Writes the modified documents, then ends the program.
    void oncloseApp();
    // Shows the secondary window, or removes it when it is shown.
    void showMouseConf();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    CommandContext withOwnServices(const CommandContext &appServices);

    ProfileStore m_profiles;
    CommandDispatcher m_dispatcher;
    VornWebView *m_webView = nullptr;
    QPointer<PopWidget> m_popWidget;
    QRect m_savedGeometry;
};

} // namespace vorn
