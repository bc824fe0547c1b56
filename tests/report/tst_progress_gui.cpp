#include "report/progress.h"

#include <QProgressBar>
#include <QtTest>

class TestProgress : public QObject {
    Q_OBJECT

private slots:
    void showsAdvancesAndHides();
};

void TestProgress::showsAdvancesAndHides() {
    QWidget owner;
    owner.setGeometry(100, 120, 800, 600);
    owner.show();
    TFormProgress form(&owner);
    QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(form.size(), QSize(261, 55));
    QCOMPARE(form.ProgressBar1->geometry(), QRect(8, 18, 244, 19));
    QVERIFY(form.isHidden());

    tv::ExportProgress& progress = form;
    progress.start(25, 2);
    QVERIFY(form.isVisible());
    QVERIFY(!form.isModal());
    QCOMPARE(form.frameGeometry().center(), owner.frameGeometry().center());
    QCOMPARE(form.ProgressBar1->maximum(), 25);
    QCOMPARE(form.ProgressBar1->value(), 0);
    for (int i = 0; i < 12; ++i)
        progress.stepIt();
    QCOMPARE(form.ProgressBar1->value(), 24);
    progress.finish();
    QVERIFY(form.isHidden());

    // Shown again for the next export, from 0.
    progress.start(5, 1);
    QCOMPARE(form.ProgressBar1->value(), 0);
    progress.finish();
}

QTEST_MAIN(TestProgress)
#include "tst_progress_gui.moc"
