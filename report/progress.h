#pragma once

#include "report/ShipmentExport.h"

#include <QDialog>

class QProgressBar;

// The export's progress window: borderless, no caption, one bar, centred on its parent.
class TFormProgress : public QDialog, public tv::ExportProgress {
    Q_OBJECT
public:
    explicit TFormProgress(QWidget* parent = nullptr);

    void start(qsizetype maximum, qsizetype step) override;
    void stepIt() override;
    void finish() override;

    QProgressBar* ProgressBar1;

private:
    int m_step = 1;
};
