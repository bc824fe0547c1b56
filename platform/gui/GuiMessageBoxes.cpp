#include "platform/gui/GuiMessageBoxes.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>

namespace tv {

namespace {

QWidget* activeParent() {
    return QApplication::activeWindow();
}

} // namespace

void GuiMessageBoxes::information(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, activeParent());
    box.exec();
}

bool GuiMessageBoxes::question(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text,
                    QMessageBox::Yes | QMessageBox::No, activeParent());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void GuiMessageBoxes::error(const QString& text) {
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok,
                    activeParent());
    box.exec();
}

void GuiMessageBoxes::applicationError(const QString& text) {
    // No owner and not modal: the main window stays usable while the caller waits.
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Application Error"), text,
                    QMessageBox::Ok);
    box.setWindowModality(Qt::NonModal);
    QEventLoop loop;
    QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
    box.show();
    loop.exec();
}

} // namespace tv
