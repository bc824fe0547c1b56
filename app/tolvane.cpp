// Entry: one copy at a time, the main window and its dialogs, the message loop.
#include "app/main.h"
#include "platform/AppFolders.h"
#include "platform/Error.h"
#include "platform/InstanceLock.h"
#include "platform/gui/GuiMessageBoxes.h"
#include "platform/gui/GuiSoundPlayer.h"

#include <QApplication>
#include <QLineEdit>
#include <cstdio>
#include <exception>

namespace {

// Ends the message loop once the window it watches has closed.
class QuitOnClose : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close)
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(tv::kApplicationTitle);
    QApplication::setApplicationDisplayName(QString());

    // A second copy ends at once: no window, no message. A lock that cannot be had for another
    // reason is reported, and the program runs without the guard.
    tv::InstanceLock lock(QStringLiteral("Dorsk"));
    if (lock.status() == tv::InstanceLock::Status::HeldElsewhere)
        return 0;

    // Installed: the user's data folder is filled at the first start and becomes the working
    // directory. What cannot be prepared shows later as a failed open of its database.
    tv::AppFolders::setCurrent(tv::AppFolders::locateForProcess());
    if (const QString problem = tv::AppFolders::current().enter(); !problem.isEmpty())
        std::fprintf(stderr, "tolvane: %s\n", qPrintable(problem));

    tv::GuiMessageBoxes boxes;
    tv::setMessageBoxes(&boxes);
    if (lock.status() == tv::InstanceLock::Status::Unavailable)
        boxes.information(lock.unavailableMessage());
    tv::GuiSoundPlayer sound;
    tv::setSoundPlayer(&sound);

    int code = 0;
    try {
        TForm1 form;
        form.createDialogs();
        // Closing the main window ends the program even while other windows (a reader's error
        // box) are still up; they go with it.
        QuitOnClose quitOnClose;
        form.installEventFilter(&quitOnClose);
        form.show();
        form.Edit1->setFocus();
        code = QApplication::exec();
    } catch (const tv::Error& e) {
        boxes.error(e.message());
        code = 1;
    } catch (const std::exception& e) {
        boxes.error(QString::fromLocal8Bit(e.what()));
        code = 1;
    }
    tv::setSoundPlayer(nullptr);
    tv::setMessageBoxes(nullptr);
    return code;
}
