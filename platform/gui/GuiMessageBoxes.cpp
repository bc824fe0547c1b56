#include "platform/gui/GuiMessageBoxes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMessageBox>

namespace tv {

namespace {

QWidget* activeParent() {
    return QApplication::activeWindow();
}

// A Yes/No box must be answered: Esc and the window's close box do nothing.
class YesNoBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

} // namespace

void GuiMessageBoxes::information(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, activeParent());
    box.exec();
}

bool GuiMessageBoxes::question(const QString& text) {
    YesNoBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Yes | QMessageBox::No,
                 activeParent());
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
