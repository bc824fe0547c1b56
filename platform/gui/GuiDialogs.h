#pragma once

#include <QString>
#include <functional>

class QDialog;
class QFileDialog;
class QWidget;

namespace tv {

// Shows a dialog modally and returns its result. Tests replace the runner so that no test
// blocks on a real modal dialog: theirs fills the fields and returns Accepted or Rejected.
int showModal(QDialog& dialog);
using ModalRunner = std::function<int(QDialog&)>;
void setModalRunner(ModalRunner runner);

// The save dialog: returns the chosen file name, empty when cancelled. Tests set the answer.
struct SaveFileRequest {
    QString caption;
    QString fileName; // proposed name
    QString filter;
    QString defaultSuffix;
};
QString askSaveFileName(QWidget* parent, const SaveFileRequest& request);
// Sets a save dialog up for a request, as askSaveFileName shows it.
void prepareSaveDialog(QFileDialog& dialog, const SaveFileRequest& request);
using SaveFileRunner = std::function<QString(const SaveFileRequest&)>;
void setSaveFileRunner(SaveFileRunner runner);

} // namespace tv
