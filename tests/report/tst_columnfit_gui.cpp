// The widest cell of each column, found from estimates and a few exact measurements, against
// measuring every cell.
#include "platform/gui/Appearance.h"
#include "report/ColumnFit.h"

#include <QFontMetrics>
#include <QRandomGenerator>
#include <QtTest>

using namespace tv;

namespace {

// Texts whose widths do not follow their lengths: narrow and wide letters, digits, CJK,
// punctuation that kerns.
QString randomText(QRandomGenerator& g) {
    static const QString pieces[] = {u"i"_qs,  u"l"_qs,  u"W"_qs,  u"M"_qs, u"0"_qs,
                                     u"7"_qs,  u"AV"_qs, u"Te"_qs, u"."_qs, u"新"_qs,
                                     u"疆"_qs, u"，"_qs, u" "_qs,  u"-"_qs, u"😀"_qs};
    QString t;
    const int n = int(g.bounded(1, 24));
    for (int i = 0; i < n; ++i)
        t += pieces[g.bounded(int(std::size(pieces)))];
    return t;
}

} // namespace

class TestColumnFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { loadDesignedFonts(); }

    void widestMatchesMeasuringEveryCell_data() {
        QTest::addColumn<int>("pixels");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("batch");
        QTest::newRow("19 px, 3000 rows in batches of 256") << 19 << 3000 << 256;
        QTest::newRow("12 px, 500 rows at once") << 12 << 500 << 500;
        QTest::newRow("27 px, 1000 rows one by one") << 27 << 1000 << 1;
    }
    void widestMatchesMeasuringEveryCell() {
        QFETCH(int, pixels);
        QFETCH(int, rows);
        QFETCH(int, batch);
        const QFont font = designedFont(u"Tahoma"_qs, pixels);
        QRandomGenerator g(quint32(pixels * 1000 + rows));
        ListTable table({u"a"_qs, u"b"_qs, u"c"_qs});
        for (int r = 0; r < rows; ++r) {
            table.appendCell(randomText(g));
            // Many equal texts, as a date column has, with one wider text late in the list.
            table.appendCell(r == rows - 7 ? u"2011-09-05 13:45:10"_qs : u"2011-09-05"_qs);
            table.appendCell(QString());
        }
        ColumnFit fit(font, table.columnCount());
        for (int from = 0; from < rows; from += batch)
            fit.addRows(table, from, std::min(rows, from + batch));

        const QFontMetrics fm(font);
        for (int c = 0; c < table.columnCount(); ++c) {
            int exact = 0;
            for (int r = 0; r < rows; ++r)
                exact = std::max(exact, fm.horizontalAdvance(table.cell(r, c)));
            const int found = fit.widest(table, c);
            // Never narrower than a cell (it would be cut), and at most a pixel or two wider.
            QVERIFY2(found >= exact && found <= exact + 2,
                     qPrintable(QStringLiteral("column %1: %2 px, every cell %3 px")
                                    .arg(c)
                                    .arg(found)
                                    .arg(exact)));
        }
    }
};

QTEST_MAIN(TestColumnFit)
#include "tst_columnfit_gui.moc"
