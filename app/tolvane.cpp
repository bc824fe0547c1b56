// Entry: one copy at a time, the main window and its dialogs, the message loop.
#include "app/main.h"
#include "platform/Error.h"
#include "platform/InstanceLock.h"
#include "platform/gui/Appearance.h"
#include "platform/gui/GuiMessageBoxes.h"
#include "platform/gui/GuiSoundPlayer.h"

#include <QApplication>
#include <QLineEdit>
#include <exception>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(tv::kApplicationTitle);
    QApplication::setApplicationDisplayName(QString());

    // A second copy ends at once: no window, no message.
    tv::InstanceLock lock(QStringLiteral("Dorsk"));
    if (!lock.acquired())
        return 0;

    tv::loadDesignedFonts();
    tv::loadQtTranslations();

    tv::GuiMessageBoxes boxes;
    tv::setMessageBoxes(&boxes);
    tv::GuiSoundPlayer sound;
    tv::setSoundPlayer(&sound);

    int code = 0;
    try {
        TForm1 form;
        form.createDialogs();
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
