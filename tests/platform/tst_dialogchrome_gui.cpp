// The frame the settings dialogs share.
#include "platform/gui/DialogChrome.h"

#include <QDialog>
#include <QFrame>
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

    // The bevel on top over the whole width, the leading buttons at the left in their order, OK
    // and Cancel at the right, every button below the bevel.
    void placement_data() {
        QTest::addColumn<DialogButtonSet>("set");
        QTest::addColumn<int>("leading");
        QTest::newRow("OK and Cancel") << DialogButtonSet::OkCancel << 0;
        QTest::newRow("OK alone") << DialogButtonSet::OkOnly << 0;
        QTest::newRow("two leading buttons") << DialogButtonSet::OkCancel << 2;
    }
    void placement() {
        QFETCH(DialogButtonSet, set);
        QFETCH(int, leading);
        QDialog d;
        const DialogButtons b = setUpDialog(d, QStringLiteral("设置"), {500, 300}, set);
        auto* bevel = new QFrame(&d);
        QPushButton* first = nullptr;
        QPushButton* second = nullptr;
        if (leading) {
            first = new QPushButton(QStringLiteral("全选"), &d);
            second = new QPushButton(QStringLiteral("全不选"), &d);
            placeBevelAndButtons(d, bevel, b, {first, second});
        } else {
            placeBevelAndButtons(d, bevel, b);
        }
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));

        QVERIFY(bevel->height() > d.height() / 2);
        QVERIFY(bevel->width() > d.width() * 9 / 10);
        QPushButton* last = b.cancel ? b.cancel : b.ok;
        if (b.cancel)
            QVERIFY(b.ok->geometry().right() < b.cancel->geometry().left());
        QVERIFY(last->geometry().right() > d.width() * 9 / 10);
        QVERIFY(b.ok->geometry().left() > d.width() / 2);
        for (QPushButton* button : {b.ok, b.cancel, first, second}) {
            if (button)
                QVERIFY(button->geometry().top() >= bevel->geometry().bottom());
        }
        if (leading) {
            QVERIFY(first->geometry().left() < d.width() / 10);
            QVERIFY(first->geometry().right() < second->geometry().left());
            QVERIFY(second->geometry().right() < b.ok->geometry().left());
        }
    }
};

QTEST_MAIN(TestDialogChrome)
#include "tst_dialogchrome_gui.moc"
