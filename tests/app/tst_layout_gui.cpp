// The main window as a packer reads it: the designed fonts and sizes, fields that show their
// texts whole, the goods list's column widths.
#include "FormBench.h"

#include "app/main.h"
#include "platform/SoundPlayer.h"
#include "platform/gui/Appearance.h"
#include "support/RecordingMessageBoxes.h"
#include "support/RecordingSoundPlayer.h"

#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyleOptionFrame>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>

using namespace tv;

namespace {

// The width a line edit has for its text: inside its frame, text margins and the 2 pixels
// QLineEdit keeps on each side.
int textRoom(QLineEdit* edit) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->hasFrame()
                           ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                           : 0;
    QRect r = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    r = r.marginsRemoved(edit->textMargins());
    return r.width() - 2 * 2;
}

// The window's controls by their names.
QWidget* control(TForm1& f, const QString& name) {
    const QHash<QString, QWidget*> controls = {
        {u"Edit1"_qs, f.Edit1},
        {u"Edit2"_qs, f.Edit2},
        {u"Edit3"_qs, f.Edit3},
        {u"Memo1"_qs, f.Memo1},
        {u"Memo2"_qs, f.Memo2},
        {u"Label1"_qs, f.Label1},
        {u"Label8"_qs, f.Label8},
        {u"ListViewDetail"_qs, f.ListViewDetail},
        {u"ListViewDetail/header"_qs, f.ListViewDetail->header()},
        {u"ListView1"_qs, f.ListView1},
        {u"ListView1/header"_qs, f.ListView1->horizontalHeader()}};
    return controls.value(name);
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        loadDesignedFonts();
        setSoundPlayer(&m_sounds);
    }

    void init() {
        m_bench = std::make_unique<test::FormBench>();
        m_form = m_bench->start();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void cleanup() {
        m_form.reset();
        m_bench.reset();
    }

    void fieldsShowTheirTextWhole_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("demo waybill") << u"Edit1"_qs << u"880000000001"_qs;
        QTest::newRow("15-character waybill") << u"Edit1"_qs << u"YT1234567890123"_qs;
        QTest::newRow("15 wide letters and digits") << u"Edit1"_qs << u"WM8888888888888"_qs;
        QTest::newRow("scale not connected") << u"Edit2"_qs << u"电子秤未连接"_qs;
        QTest::newRow("negative weight by hand") << u"Edit2"_qs << u"-123.456"_qs;
        QTest::newRow("postage") << u"Edit3"_qs << u"1234.56"_qs;
    }
    void fieldsShowTheirTextWhole() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        auto* edit = qobject_cast<QLineEdit*>(control(*m_form, field));
        QVERIFY(edit);
        const int needed = QFontMetrics(edit->font()).horizontalAdvance(text);
        QVERIFY2(needed <= textRoom(edit), qPrintable(QStringLiteral("%1 needs %2 px, has %3")
                                                          .arg(text)
                                                          .arg(needed)
                                                          .arg(textRoom(edit))));
    }

    void windowFitsItsClientArea() {
        // Nothing is pushed past the designed 792 x 594 client area.
        QVERIFY2(m_form->minimumSizeHint().width() <= 792,
                 qPrintable(QString::number(m_form->minimumSizeHint().width())));
        QCOMPARE(m_form->size(), QSize(792, 594));
    }

    void fontsAsDesigned_data() {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("bold");
        const QString tahoma = u"Tahoma"_qs;
        QTest::newRow("message area") << u"Memo1"_qs << tahoma << 19 << false;
        QTest::newRow("notes area") << u"Memo2"_qs << tahoma << 19 << false;
        QTest::newRow("goods list") << u"ListViewDetail"_qs << tahoma << 19 << false;
        QTest::newRow("goods list header") << u"ListViewDetail/header"_qs << tahoma << 19 << false;
        QTest::newRow("result list") << u"ListView1"_qs << tahoma << 19 << false;
        QTest::newRow("result list header") << u"ListView1/header"_qs << tahoma << 19 << false;
        QTest::newRow("waybill") << u"Edit1"_qs << tahoma << 27 << true;
        QTest::newRow("weight") << u"Edit2"_qs << tahoma << 27 << true;
        QTest::newRow("postage") << u"Edit3"_qs << tahoma << 27 << true;
        QTest::newRow("weight label") << u"Label1"_qs << u"WenQuanYi Micro Hei"_qs << 20 << false;
        QTest::newRow("operator label") << u"Label8"_qs << tahoma << 19 << false;
    }
    void fontsAsDesigned() {
        QFETCH(QString, widget);
        QFETCH(QString, family);
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        QWidget* w = control(*m_form, widget);
        QVERIFY(w);
        const QFontInfo info(w->font());
        QCOMPARE(info.family(), family);
        QCOMPARE(info.pixelSize(), pixels);
        QCOMPARE(info.bold(), bold);
    }

    void goodsColumns_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<int>>("columns");
        QTest::newRow("298 wide") << 298 << QList<int>{176, 74, 37};
        QTest::newRow("290 wide") << 290 << QList<int>{160, 75, 45};
        QTest::newRow("400 wide") << 400 << QList<int>{240, 100, 50};
    }
    void goodsColumns() {
        QFETCH(int, width);
        QFETCH(QList<int>, columns);
        QTreeWidget* list = m_form->ListViewDetail;
        // Laid out by the window, the list is resized directly here.
        list->setMinimumWidth(0);
        list->setMaximumWidth(width);
        list->setFixedWidth(width);
        QTRY_COMPARE(list->width(), width);
        // The header shows what the handler gave: the last section does not stretch.
        QList<int> shown;
        for (int c = 0; c < 3; ++c)
            shown.append(list->header()->sectionSize(c));
        QCOMPARE(shown, columns);
    }

private:
    RecordingSoundPlayer m_sounds;
    ScopedRecordingBoxes m_boxes;
    std::unique_ptr<test::FormBench> m_bench;
    std::unique_ptr<TForm1> m_form;
};

QTEST_MAIN(TestLayout)
#include "tst_layout_gui.moc"
