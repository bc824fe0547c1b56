#include "platform/gui/DialogChrome.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

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

QVBoxLayout* placeBevelAndButtons(QDialog& dialog, QWidget* bevel, const DialogButtons& buttons,
                                  std::initializer_list<QPushButton*> leading) {
    auto* row = new QHBoxLayout;
    for (QPushButton* b : leading)
        row->addWidget(b);
    row->addStretch();
    row->addWidget(buttons.ok);
    if (buttons.cancel)
        row->addWidget(buttons.cancel);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(bevel, 1);
    layout->addLayout(row);
    return layout;
}

} // namespace tv
