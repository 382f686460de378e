#include "bridge/windowcommands.h"

#include <QWidget>

namespace vorn {

void moveWindowBy(QWidget *window, int dx, int dy, int width, int height)
{
    if (!window)
        return;
    QWidget *top = window->window();
    const QPoint at = top->pos();
    if (top->isMinimized() || top->isMaximized()) {
        top->setWindowState(top->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        top->move(at);
        top->resize(width, height);
        top->show();
        return;
    }
    top->move(at + QPoint(dx, dy));
    top->resize(width, height);
}

void toggleMinimized(QWidget *window)
{
    if (!window)
        return;
    QWidget *top = window->window();
    if (top->isMinimized()) {
        top->setWindowState((top->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        top->show();
    } else {
        top->showMinimized();
    }
}

} // namespace vorn
