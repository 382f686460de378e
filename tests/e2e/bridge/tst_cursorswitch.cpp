// The command-line switches of the client handler: "--mouse-cursor-change-disabled" (the page
// never changes the mouse cursor; a single dash works too) and "--url"; "--" ends them.

#include "bridgetesting.h"

#include "bridge/vorn.h"

using namespace bridgetest;
using namespace Qt::StringLiterals;

class tst_CursorSwitch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cursorStaysTheArrow();
};

void tst_CursorSwitch::cursorStaysTheArrow()
{
    AppFolder folder;
    QVERIFY(vorn::sharedClientHandler()->mouseCursorChangeDisabled());
    // "--url" gives the start address until the main window gives its own.
    QCOMPARE(vorn::sharedClientHandler()->startupUrl(), u"file:///start/here.html"_s);
    vorn::vorn window{vorn::CommandContext{}};
    QSignalSpy ready(window.webView()->webPage(), &vorn::VornWebPage::bridgeReady);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(waitForBridge(window.webView()->page(), ready));

    QWidget *renderer = window.webView()->focusProxy();
    QVERIFY(renderer);
    const QRect link = linkGeometry(window.webView()->page());
    QVERIFY(link.isValid());
    QTest::mouseMove(renderer, link.center());
    // The pointer is over the link, where the page shows the pointing hand (tst_clienthandler
    // shows that it does without the switch).
    VERIFY_SOON(evaluateJavaScriptSync(window.webView()->page(),
                                       u"document.querySelector('#link:hover') !== null"_s)
                    .toBool());
    spin(500);
    QCOMPARE(window.windowHandle()->cursor().shape(), Qt::ArrowCursor);
}

VORN_BRIDGE_TEST_MAIN(tst_CursorSwitch, QStringLiteral("--url=file:///start/here.html"),
                      QStringLiteral("-mouse-cursor-change-disabled"), QStringLiteral("--"),
                      QStringLiteral("--url=file:///after/the/end.html"))
#include "tst_cursorswitch.moc"
