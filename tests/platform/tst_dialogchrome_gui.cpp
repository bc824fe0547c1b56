// The frame the settings dialogs share.
#include "platform/gui/DialogChrome.h"

#include <QDialog>
#include <QPushButton>
#include <QTest>

using namespace tv;

Q_DECLARE_METATYPE(tv::DialogButtonSet)

class TestDialogChrome : public QObject {
    Q_OBJECT

private slots:
    void frame_data() {
        QTest::addColumn<DialogButtonSet>("set");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QSize>("size");
        QTest::newRow("OK and Cancel")
            << DialogButtonSet::OkCancel << "登陆设置" << QSize(384, 266);
        QTest::newRow("OK alone") << DialogButtonSet::OkOnly << "运费设置" << QSize(660, 469);
    }
    void frame() {
        QFETCH(DialogButtonSet, set);
        QFETCH(QString, title);
        QFETCH(QSize, size);
        QDialog d;
        d.setWindowFlags(d.windowFlags() | Qt::WindowContextHelpButtonHint);
        const DialogButtons b = setUpDialog(d, title, size, set);
        d.show();
        QCOMPARE(d.windowTitle(), title);
        QCOMPARE(d.size(), size);
        QCOMPARE(d.minimumSize(), size);
        QCOMPARE(d.maximumSize(), size);
        QVERIFY(!(d.windowFlags() & Qt::WindowContextHelpButtonHint));
        QVERIFY(b.ok);
        QCOMPARE(b.ok->text(), QStringLiteral("OK"));
        QCOMPARE(b.ok->parent(), &d);
        QVERIFY(b.ok->isDefault());
        QCOMPARE(bool(b.cancel), set == DialogButtonSet::OkCancel);
        QCOMPARE(d.findChildren<QPushButton*>().size(), b.cancel ? 2 : 1);
        b.ok->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!d.isVisible());
        if (b.cancel) {
            QCOMPARE(b.cancel->text(), QStringLiteral("Cancel"));
            QVERIFY(!b.cancel->isDefault());
            d.show();
            b.cancel->click();
            QCOMPARE(d.result(), int(QDialog::Rejected));
            QVERIFY(!d.isVisible());
        }
    }
};

QTEST_MAIN(TestDialogChrome)
#include "tst_dialogchrome_gui.moc"
