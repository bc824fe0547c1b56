#include "platform/Messages.h"

#include <QDebug>

namespace tv {

namespace {

// Used before the GUI installs its boxes (and by tools without windows): prints the text.
class ConsoleMessageBoxes : public MessageBoxes {
public:
    void information(const QString& text) override { qWarning().noquote() << text; }
    bool question(const QString& text) override {
        qWarning().noquote() << text;
        return true;
    }
    void error(const QString& text) override { qWarning().noquote() << text; }
    void applicationError(const QString& text) override { qWarning().noquote() << text; }
};

ConsoleMessageBoxes g_console;
MessageBoxes* g_boxes = &g_console;

} // namespace

MessageBoxes& messageBoxes() {
    return *g_boxes;
}

void setMessageBoxes(MessageBoxes* boxes) {
    g_boxes = boxes ? boxes : &g_console;
}

} // namespace tv
