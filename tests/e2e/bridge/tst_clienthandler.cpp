// The browser behaviours of the client handler and the main window's own behaviour, with the
// real window classes and Chromium pages.

#include "bridgetesting.h"

#include "bridge/pageaddress.h"
#include "bridge/popwidget.h"
#include "bridge/vorn.h"
#include "config/appconfig.h"

#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QJsonObject>
#include <QMenu>
#include <QMimeData>
#include <QStandardPaths>

#include <csignal>
#include <sys/types.h>

using namespace bridgetest;
using namespace Qt::StringLiterals;

namespace {

// Stands in for the desktop's handler of "spotify:" addresses.
class SchemeReceiver : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

bool menuShown()
{
    if (QApplication::activePopupWidget())
        return true;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    return std::any_of(widgets.begin(), widgets.end(), [](QWidget *widget) {
        return qobject_cast<QMenu *>(widget) && widget->isVisible();
    });
}

void closeMenus()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMenu *>(widget))
            widget->close();
    }
}

} // namespace

class tst_ClientHandler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void clientSize_data();
    void clientSize();
    void applicationPages_data();
    void applicationPages();
    void errorPageTextIsEscaped();

    void mainWindow();
    void secondaryWindowToggles();
    void errorPages_data();
    void errorPages();
    void spotifyGoesToTheSystem();
    void renderProcessEnd_data();
    void renderProcessEnd();
    void noContextMenu();
    void linkDragsAreRefused();
    void downloadsOfferTheDocumentsFolder();
    void popupsAreAllowedAndTracked();
    void geolocationIsGranted();
    void pagesSetTheCursor();
    void loadPageOfTheApplicationFolder();

private:
    QWebEnginePage *page() const { return m_window->webView()->page(); }
    vorn::ClientHandler *handler() const { return vorn::sharedClientHandler(); }

    std::unique_ptr<AppFolder> m_folder;
    std::unique_ptr<vorn::AppConfig> m_config;
    std::unique_ptr<vorn::vorn> m_window;
};

void tst_ClientHandler::initTestCase()
{
    m_folder = std::make_unique<AppFolder>(uR"(language="en-US")"_s);
    m_config = std::make_unique<vorn::AppConfig>();
    QVERIFY(m_config->loadConf());
    m_window = std::make_unique<vorn::vorn>(vorn::CommandContext{.config = m_config.get()});
    QSignalSpy ready(m_window->webView()->webPage(), &vorn::VornWebPage::bridgeReady);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(waitForBridge(page(), ready));
}

void tst_ClientHandler::cleanupTestCase()
{
    m_window.reset();
}

void tst_ClientHandler::init()
{
    handler()->SetListener(m_window->webView());
    handler()->setRecoveryInterval(0);
    if (page()->url() != vorn::startPageUrl())
        QVERIFY(loadAndWaitForBridge(page(), vorn::startPageUrl()));
}

void tst_ClientHandler::clientSize_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QSize>("size");
    QTest::newRow("absent") << QString() << QSize(800, 600);
    QTest::newRow("width and height") << u"1024,700"_s << QSize(1024, 700);
    QTest::newRow("width only") << u"900"_s << QSize(900, 600);
    QTest::newRow("empty height") << u"1024,"_s << QSize(1024, 600);
    QTest::newRow("empty width") << u",700"_s << QSize(800, 700);
    QTest::newRow("not numbers") << u"wide,high"_s << QSize(800, 600);
    QTest::newRow("not positive") << u"0,-5"_s << QSize(800, 600);
    QTest::newRow("a third part is ignored") << u"1024,700,5"_s << QSize(1024, 700);
}

void tst_ClientHandler::clientSize()
{
    QFETCH(QString, value);
    QFETCH(QSize, size);
    QCOMPARE(vorn::vorn::clientSizeFrom(value), size);
}

void tst_ClientHandler::applicationPages_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("allowed");
    const QString app = QUrl::fromLocalFile(vorn::appFolderPath()).toString();
    QTest::newRow("the start page") << app + u"view/index.html"_s << true;
    QTest::newRow("a page in a sub-folder") << app + u"view/pages/x.html?a=1#b"_s << true;
    QTest::newRow("the view folder itself") << app + u"view/"_s << false;
    QTest::newRow("a sibling folder") << app + u"view2/index.html"_s << false;
    QTest::newRow("out through ..") << app + u"view/../conf.html"_s << false;
    QTest::newRow("out through an encoded ..") << app + u"view/%2E%2E/conf.html"_s << false;
    QTest::newRow("the application folder") << app + u"index.html"_s << false;
    QTest::newRow("another host") << u"file://server"_s + QUrl(app).path() + u"view/index.html"_s
                                  << false;
    QTest::newRow("http") << u"http://localhost"_s + QUrl(app).path() + u"view/index.html"_s
                          << false;
    QTest::newRow("about:blank") << u"about:blank"_s << false;
}

void tst_ClientHandler::applicationPages()
{
    QFETCH(QString, address);
    QFETCH(bool, allowed);
    QCOMPARE(vorn::isApplicationPage(QUrl(address)), allowed);
}

void tst_ClientHandler::errorPageTextIsEscaped()
{
    const QString html =
        vorn::errorPageHtml(QUrl(u"foo:a?b=1&c=2"_s), u"<script>alert(1)</script>"_s, -302);
    QCOMPARE(html, u"<html><body bgcolor=\"white\"><h2>Failed to load URL foo:a?b=1&amp;c=2 with "
                   "error &lt;script&gt;alert(1)&lt;/script&gt; (-302).</h2></body></html>"_s);
}

void tst_ClientHandler::mainWindow()
{
    QCOMPARE(m_window->size(), QSize(800, 600));
    QCOMPARE(m_window->minimumSize(), QSize(800, 600));
    QCOMPARE(m_window->windowTitle(), u"Taviro gaming keyboard"_s);
    QCOMPARE(m_window->objectName(), u"vornClass"_s);
    QVERIFY(m_window->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(m_window->webView()->size(), m_window->size());
    QCOMPARE(handler()->mainWindow(), m_window.get());
    QCOMPARE(QUrl(handler()->startupUrl()), vorn::startPageUrl());

    // Closing only hides the window; its page lives on.
    QPointer<QWebEnginePage> shownPage = page();
    QVERIFY(!m_window->close());
    QVERIFY(!m_window->isVisible());
    m_window->onshowWidget();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(page(), shownPage.data());
    QCOMPARE(
        evaluateJavaScriptSync(page(), u"document.getElementById('page').textContent"_s).toString(),
        u"start page"_s);
}

void tst_ClientHandler::secondaryWindowToggles()
{
    m_window->showMouseConf();
    QPointer<vorn::PopWidget> first = m_window->popWidget();
    QVERIFY(first && first->isVisible());
    QCOMPARE(first->parentWidget(), m_window.get());
    QCOMPARE(handler()->listener(), static_cast<vorn::ClientHandler::Listener *>(first->webView()));

    m_window->showMouseConf();
    QVERIFY(!m_window->popWidget());
    VERIFY_SOON(first.isNull());
    QCOMPARE(handler()->listener(),
             static_cast<vorn::ClientHandler::Listener *>(m_window->webView()));

    m_window->showMouseConf();
    QVERIFY(m_window->popWidget() && m_window->popWidget()->isVisible());
    m_window->showMouseConf();
    QVERIFY(!m_window->popWidget());
}

void tst_ClientHandler::errorPages_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("failedAddress");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown scheme")
        << u"location.href = 'foo:item?a=&lt;b&gt;&c=1'"_s << u"foo:item?a=&lt;b&gt;&c=1"_s
        << u"Failed to load URL foo:item?a=&lt;b&gt;&c=1 with error "
           "net::ERR_UNKNOWN_URL_SCHEME (-302)."_s;
    const QString missing = QUrl::fromLocalFile(vorn::viewFolderPath() + u"/missing.html"_s)
                                .toString(QUrl::FullyEncoded);
    QTest::newRow("missing file") << u"location.href = 'missing.html'"_s << missing
                                  << u"Failed to load URL "_s + missing +
                                         u" with error net::ERR_FILE_NOT_FOUND (-6)."_s;
}

void tst_ClientHandler::errorPages()
{
    QFETCH(QString, script);
    QFETCH(QString, failedAddress);
    QFETCH(QString, text);

    QSignalSpy loaded(page(), &QWebEnginePage::loadFinished);
    evaluateJavaScriptSync(page(), script);
    VERIFY_SOON(page()->url() == QUrl(failedAddress) && !loaded.isEmpty() &&
                loaded.last().first().toBool());
    VERIFY_SOON(evaluateJavaScriptSync(page(), u"document.body ? document.body.innerText : ''"_s)
                    .toString() == text);
    QCOMPARE(evaluateJavaScriptSync(page(), u"document.body.getAttribute('bgcolor')"_s).toString(),
             u"white"_s);
    QCOMPARE(evaluateJavaScriptSync(page(), u"document.querySelectorAll('h2').length"_s).toInt(),
             1);
}

void tst_ClientHandler::spotifyGoesToTheSystem()
{
    SchemeReceiver receiver;
    QDesktopServices::setUrlHandler(u"spotify"_s, &receiver, "open");
    evaluateJavaScriptSync(page(), u"location.href = 'spotify:track:4uLU6hMCjMI75M1A2tKUQC'"_s);
    VERIFY_SOON(!receiver.opened.isEmpty());
    QDesktopServices::unsetUrlHandler(u"spotify"_s);
    QCOMPARE(receiver.opened, QList<QUrl>{QUrl(u"spotify:track:4uLU6hMCjMI75M1A2tKUQC"_s)});
    spin(300);
    QCOMPARE(page()->url(), vorn::startPageUrl());
    QCOMPARE(
        evaluateJavaScriptSync(page(), u"document.getElementById('page').textContent"_s).toString(),
        u"start page"_s);
}

void tst_ClientHandler::renderProcessEnd_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("endsTwice");
    QTest::newRow("another page") << u"other.html"_s << false;
    QTest::newRow("the start page") << u"index.html"_s << false;
    QTest::newRow("again right after the reload") << u"other.html"_s << true;
}

void tst_ClientHandler::renderProcessEnd()
{
    QFETCH(QString, shown);
    QFETCH(bool, endsTwice);
    const QUrl shownUrl = QUrl::fromLocalFile(vorn::viewFolderPath() + u'/' + shown);
    QVERIFY(loadAndWaitForBridge(page(), shownUrl));

    QPointer<QWebEnginePage> ended = page();
    QVERIFY(ended->renderProcessPid() > 0);
    QCOMPARE(::kill(pid_t(ended->renderProcessPid()), SIGKILL), 0);
    // The view shows the start page again, in a page that works and receives the events.
    VERIFY_SOON(ended.isNull());
    vorn::VornWebPage *recovered = m_window->webView()->webPage();
    VERIFY_SOON(recovered->url() == vorn::startPageUrl() && recovered->isBridgeReady());
    QCOMPARE(handler()->FirstBrowser(), recovered);
    QCOMPARE(waitForAnswer(page(), ask(page(), uR"({"funcname":"getDevicesList"})"_s)).toObject(),
             (QJsonObject{{u"ok"_s, true}, {u"text"_s, u"[]"_s}}));

    if (endsTwice) {
        // A page whose process ends again right after such a reload is left as it is.
        handler()->setRecoveryInterval(60000);
        QSignalSpy endedAgain(page(), &QWebEnginePage::renderProcessTerminated);
        QCOMPARE(::kill(pid_t(page()->renderProcessPid()), SIGKILL), 0);
        VERIFY_SOON(!endedAgain.isEmpty());
        spin(500);
        QCOMPARE(m_window->webView()->webPage(), recovered);
        handler()->setRecoveryInterval(0);
        QVERIFY(loadAndWaitForBridge(page(), vorn::startPageUrl()));
    }
}

void tst_ClientHandler::noContextMenu()
{
    QWidget *renderer = m_window->webView()->focusProxy();
    QVERIFY(renderer);
    QTest::mouseClick(renderer, Qt::RightButton, {}, QPoint(200, 300));
    spin(500);
    QVERIFY(!menuShown());

    // The same click on a view with Qt's defaults shows a menu: the click does arrive.
    QWebEngineView plain;
    plain.resize(400, 300);
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));
    QSignalSpy loaded(&plain, &QWebEngineView::loadFinished);
    plain.setHtml(u"<html><body>plain</body></html>"_s);
    VERIFY_SOON(!loaded.isEmpty());
    VERIFY_SOON(plain.focusProxy());
    QTest::mouseClick(plain.focusProxy(), Qt::RightButton, {}, QPoint(100, 100));
    VERIFY_SOON(menuShown());
    closeMenus();
}

void tst_ClientHandler::linkDragsAreRefused()
{
    QWidget *renderer = m_window->webView()->focusProxy();
    QVERIFY(renderer);
    const auto enter = [renderer](Qt::DropActions actions) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(vorn::viewFolderPath() + u"/other.html"_s)});
        QDragEnterEvent event(QPoint(100, 100), actions, &data, Qt::LeftButton, Qt::NoModifier);
        event.setAccepted(false);
        QApplication::sendEvent(renderer, &event);
        QDragLeaveEvent leave;
        QApplication::sendEvent(renderer, &leave);
        return event.isAccepted();
    };
    QVERIFY(!enter(Qt::CopyAction | Qt::LinkAction));
    QVERIFY(!enter(Qt::LinkAction));
    QVERIFY(enter(Qt::CopyAction | Qt::MoveAction));
}

void tst_ClientHandler::downloadsOfferTheDocumentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QVERIFY(documents.startsWith(qEnvironmentVariable("HOME")));
    QDir(documents).removeRecursively();

    QString offeredFolder;
    QString offeredName;
    QTimer answerDialog;
    answerDialog.setInterval(20);
    connect(&answerDialog, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answerDialog.stop();
        offeredFolder = dialog->directory().absolutePath();
        offeredName = dialog->selectedFiles().value(0);
        QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
    });
    answerDialog.start();
    evaluateJavaScriptSync(page(), u"document.getElementById('download').click()"_s);

    const QString target = documents + u"/report.txt"_s;
    VERIFY_SOON(QFile(target).size() == qint64(qstrlen("downloaded text")));
    QCOMPARE(offeredFolder, documents);
    QCOMPARE(offeredName, target);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("downloaded text"));
}

void tst_ClientHandler::popupsAreAllowedAndTracked()
{
    QCOMPARE(handler()->popupBrowsers().size(), 0);
    evaluateJavaScriptSync(page(), u"window.popup = window.open('other.html', 'popup')"_s);
    VERIFY_SOON(handler()->popupBrowsers().size() == 1);
    QWebEnginePage *popup = handler()->popupBrowsers().first();
    QCOMPARE(handler()->FirstBrowser(), page());
    QPointer<QWidget> popupWindow = qobject_cast<QWidget *>(popup->parent());
    QVERIFY(popupWindow && popupWindow->isWindow() && popupWindow->isVisible());
    QCOMPARE(popupWindow->parentWidget(), m_window.get());
    VERIFY_SOON(popup->url().fileName() == u"other.html"_s);

    // The popup's page is one of the application's: its requests are answered on it.
    VERIFY_SOON(static_cast<vorn::VornWebPage *>(popup)->isBridgeReady());
    QCOMPARE(waitForAnswer(popup, ask(popup, uR"({"funcname":"getDevicesList"})"_s))[u"text"_s],
             QJsonValue(u"[]"_s));

    evaluateJavaScriptSync(page(), u"window.popup.close()"_s);
    VERIFY_SOON(handler()->popupBrowsers().isEmpty());
    VERIFY_SOON(popupWindow.isNull());
}

void tst_ClientHandler::geolocationIsGranted()
{
    evaluateJavaScriptSync(page(), u"window.geo = null;"
                                   "navigator.geolocation.getCurrentPosition("
                                   "  function () { geo = 'position'; },"
                                   "  function (e) { geo = 'error ' + e.code; },"
                                   "  {timeout: 2000});"_s);
    QString outcome;
    VERIFY_SOON(!(outcome = evaluateJavaScriptSync(page(), u"window.geo"_s).toString()).isEmpty());
    // Code 1 would be PERMISSION_DENIED; without a position source the answer is another error.
    QVERIFY2(outcome != u"error 1"_s, qPrintable(outcome));
}

// Without "--mouse-cursor-change-disabled" the page's cursors are shown (tst_cursorswitch
// runs the same steps with the switch).
void tst_ClientHandler::pagesSetTheCursor()
{
    QWidget *renderer = m_window->webView()->focusProxy();
    QVERIFY(renderer);
    const QRect link = linkGeometry(page());
    QVERIFY(link.isValid());
    QTest::mouseMove(renderer, link.center());
    VERIFY_SOON(m_window->windowHandle()->cursor().shape() == Qt::PointingHandCursor);
    QTest::mouseMove(renderer, link.bottomRight() + QPoint(0, 200));
}

void tst_ClientHandler::loadPageOfTheApplicationFolder()
{
    m_window->loadPage(u"/view/other.html#part"_s);
    VERIFY_SOON(page()->url().fileName() == u"other.html"_s &&
                m_window->webView()->webPage()->isBridgeReady());
    QCOMPARE(page()->url().fragment(), u"part"_s);
    QCOMPARE(
        evaluateJavaScriptSync(page(), u"document.getElementById('page').textContent"_s).toString(),
        u"other page"_s);
}

VORN_BRIDGE_TEST_MAIN(tst_ClientHandler)
#include "tst_clienthandler.moc"
