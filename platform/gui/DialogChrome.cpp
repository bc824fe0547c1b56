#include "platform/gui/DialogChrome.h"

#include <QDialog>
#include <QPushButton>

namespace tv {

DialogButtons setUpDialog(QDialog& dialog, const QString& title, QSize size,
                          DialogButtonSet buttons) {
    dialog.setWindowTitle(title);
    dialog.setFixedSize(size);
    dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    DialogButtons made;
    made.ok = new QPushButton(QStringLiteral("OK"), &dialog);
    made.ok->setDefault(true);
    QObject::connect(made.ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    if (buttons == DialogButtonSet::OkCancel) {
        made.cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
        QObject::connect(made.cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    }
    return made;
}

} // namespace tv
