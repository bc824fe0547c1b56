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
    QFileDialog dialog(parent, request.caption, request.fileName, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(request.defaultSuffix);
    // The program asks nothing before overwriting an existing file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

void setSaveFileRunner(SaveFileRunner runner) {
    g_save = std::move(runner);
}

} // namespace tv
