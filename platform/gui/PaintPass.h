#pragma once

class QWidget;

namespace tv {

// Brings a widget's current look to the screen while its thread is busy with other work: a
// window shown just now is first waited for until the window system has mapped it (at most
// maxWaitMs), then the widget is painted. No input event and no timer is served meanwhile, so
// no handler can start while the caller is in the middle of its work.
void paintNow(QWidget* widget, int maxWaitMs = 1000);

} // namespace tv
