#include "platform/gui/GuiMessageBoxes.h"

#include <QApplication>
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
    // No owner and not modal: the main window stays usable, and nobody waits for the box.
    if (!m_applicationError) {
        m_applicationError = new QMessageBox(
            QMessageBox::Critical, QStringLiteral("Application Error"), text, QMessageBox::Ok);
        m_applicationError->setWindowModality(Qt::NonModal);
        m_applicationError->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        m_applicationError->setText(text);
    }
    m_applicationError->show();
    m_applicationError->raise();
}

GuiMessageBoxes::~GuiMessageBoxes() {
    delete m_applicationError.data();
}

} // namespace tv
