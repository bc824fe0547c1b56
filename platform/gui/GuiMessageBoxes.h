#pragma once

#include "platform/Messages.h"

#include <QPointer>

class QMessageBox;

namespace tv {

// The application title, caption of every message box of the program.
inline const QString kApplicationTitle = QStringLiteral("TolvaneV1.0");

// The real boxes, shown with QMessageBox.
class GuiMessageBoxes : public MessageBoxes {
public:
    void information(const QString& text) override;
    bool question(const QString& text) override;
    void error(const QString& text) override;
    void applicationError(const QString& text) override;
    ~GuiMessageBoxes() override;

private:
    QPointer<QMessageBox> m_applicationError;
};

} // namespace tv
