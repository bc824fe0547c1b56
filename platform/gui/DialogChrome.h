#pragma once

#include <QSize>
#include <QString>

#include <initializer_list>

class QDialog;
class QPushButton;
class QVBoxLayout;
class QWidget;

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

// Lays a settings dialog out: the bevel on top, taking the spare height, and a row of buttons
// below it, the leading ones at the left and OK and Cancel at the right. Returns the layout.
QVBoxLayout* placeBevelAndButtons(QDialog& dialog, QWidget* bevel, const DialogButtons& buttons,
                                  std::initializer_list<QPushButton*> leading = {});

} // namespace tv
