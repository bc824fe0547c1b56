#include "report/progress.h"

#include "platform/gui/PaintPass.h"

#include <QProgressBar>

TFormProgress::TFormProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , ProgressBar1(new QProgressBar(this)) {
    setObjectName(QStringLiteral("FormProgress"));
    setFixedSize(261, 55);
    setModal(false);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 18, 244, 19);
    ProgressBar1->setTextVisible(false);
}

void TFormProgress::start(qsizetype maximum, qsizetype step) {
    m_step = int(step);
    ProgressBar1->setRange(0, int(maximum));
    ProgressBar1->setValue(0);
    if (QWidget* owner = parentWidget()) {
        const QRect frame = owner->frameGeometry();
        move(frame.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    // The export runs on this thread without serving events: one paint pass now and at each
    // step is what the user sees of it.
    tv::paintNow(this);
}

void TFormProgress::stepIt() {
    ProgressBar1->setValue(std::min(ProgressBar1->value() + m_step, ProgressBar1->maximum()));
    tv::paintNow(ProgressBar1);
}

void TFormProgress::finish() {
    hide();
}
