#include "platform/gui/PaintPass.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <QWindow>

namespace tv {

void paintNow(QWidget* widget, int maxWaitMs) {
    if (!widget || !widget->isVisible())
        return;
    constexpr auto kWindowSystemOnly = QEventLoop::ExcludeUserInputEvents |
                                       QEventLoop::ExcludeSocketNotifiers |
                                       QEventLoop::X11ExcludeTimers;
    const QWindow* handle = widget->window()->windowHandle();
    QElapsedTimer waited;
    waited.start();
    // Until it is mapped a window cannot show anything: a paint before that is lost.
    while (handle && !handle->isExposed() && waited.elapsed() < maxWaitMs) {
        QCoreApplication::processEvents(kWindowSystemOnly);
        if (!handle->isExposed())
            QThread::msleep(1);
    }
    widget->repaint();
}

} // namespace tv
