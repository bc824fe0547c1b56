#pragma once

#include <QSize>
#include <QString>

class QDialog;
class QPushButton;

namespace tv {

// The OK and Cancel buttons of a dialog; cancel is null for a dialog with OK alone.
struct DialogButtons {
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};

enum class DialogButtonSet { OkCancel, OkOnly };

// The frame the settings dialogs share: the caption, a fixed size, no help button, and the
// buttons "OK" (the default button, accepts) and "Cancel" (rejects). The dialog places them.
DialogButtons setUpDialog(QDialog& dialog, const QString& title, QSize size,
                          DialogButtonSet buttons = DialogButtonSet::OkCancel);

} // namespace tv
