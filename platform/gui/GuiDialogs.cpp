#include "platform/gui/GuiDialogs.h"

#include <QDialog>
#include <QFileDialog>

namespace tv {

namespace {
ModalRunner g_modal;
SaveFileRunner g_save;
} // namespace

int showModal(QDialog& dialog) {
    return g_modal ? g_modal(dialog) : dialog.exec();
}

void setModalRunner(ModalRunner runner) {
    g_modal = std::move(runner);
}

QString askSaveFileName(QWidget* parent, const SaveFileRequest& request) {
    if (g_save)
        return g_save(request);
    QFileDialog dialog(parent);
    prepareSaveDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

void prepareSaveDialog(QFileDialog& dialog, const SaveFileRequest& request) {
    // Without a caption of its own the dialog names itself ("另存为").
    if (!request.caption.isEmpty())
        dialog.setWindowTitle(request.caption);
    dialog.setNameFilter(request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // ".xls" and "xls" alike: the dialog wants the suffix without its point.
    QString suffix = request.defaultSuffix;
    if (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    // The program asks nothing before overwriting an existing file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.selectFile(request.fileName);
}

void setSaveFileRunner(SaveFileRunner runner) {
    g_save = std::move(runner);
}

} // namespace tv
