#pragma once

#include <QWidget>

namespace vorn {

class VornWebView;

// The secondary window: frameless, 1000 x 670, showing the application's start page in a
// view of its own. While it is in front its view receives the page requests.
class PopWidget : public QWidget
{
public:
    explicit PopWidget(QWidget *parent);

    VornWebView *webView() const { return m_webView; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    VornWebView *m_webView;
};

} // namespace vorn
