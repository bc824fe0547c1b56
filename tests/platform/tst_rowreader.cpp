// The row reader: both of its paths hand out the same values on the embedded database, the
// direct one is taken there, and a failure after the first row is an error, not an end.
#include "platform/Database.h"
#include "platform/Error.h"
#include "platform/RowReader.h"
#include "support/Databases.h"

#include <QtTest>

using namespace tv;

Q_DECLARE_METATYPE(tv::RowReader::Path)

class TestRowReader : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void values_data();
    void values();
    void directOnTheEmbeddedDatabase();
    void failureAfterTheFirstRowThrows_data();
    void failureAfterTheFirstRowThrows();

private:
    std::unique_ptr<test::DbFolder> m_db;
};

void TestRowReader::init() {
    m_db = std::make_unique<test::DbFolder>();
    execute(m_db->orders, QStringLiteral("create table [t] ([k] integer primary key, [i] int, "
                                         "[r] money, [s] varchar(20), [d] datetime)"));
    // Row 1: plain values and a text that is no number; 2: nulls; 3: a number in a text column.
    execute(m_db->orders,
            QStringLiteral("insert into [t] values (1, -7, 12.5, '快递单W1', '2011-09-01 "
                           "08:00:00'), (2, null, null, null, null), (3, 2, 3.25, '42', "
                           "'2011-09-02 23:59:59')"));
}

void TestRowReader::cleanup() {
    m_db.reset();
}

void TestRowReader::values_data() {
    QTest::addColumn<RowReader::Path>("path");
    QTest::addColumn<qint64>("from"); // the rows with k >= from
    QTest::newRow("direct, all rows") << RowReader::Path::Direct << qint64(1);
    QTest::newRow("values, all rows") << RowReader::Path::Values << qint64(1);
    QTest::newRow("direct, last row only") << RowReader::Path::Direct << qint64(3);
    QTest::newRow("values, last row only") << RowReader::Path::Values << qint64(3);
    QTest::newRow("direct, no row") << RowReader::Path::Direct << qint64(4);
    QTest::newRow("values, no row") << RowReader::Path::Values << qint64(4);
}

void TestRowReader::values() {
    QFETCH(RowReader::Path, path);
    QFETCH(qint64, from);
    Query q(m_db->orders, QStringLiteral("select [k], [i], [r], [s], [d] from [t] where [k] >= ? "
                                         "order by [k]"));
    q.bind(from).exec();
    RowReader rows(q, path);

    struct Expected {
        qint64 i;
        bool iNumber;
        double r;
        QByteArray s;
        QByteArray d;
        bool nulls;
        qint64 sNumber; // the text read as a whole number, 0 when it is none
    };
    const QList<Expected> all = {
        {-7, true, 12.5, "快递单W1", "2011-09-01 08:00:00", false, 0},
        {0, false, 0, "", "", true, 0},
        {2, true, 3.25, "42", "2011-09-02 23:59:59", false, 42},
    };
    QList<Expected> expected = all.mid(qsizetype(std::min<qint64>(from - 1, all.size())));
    qsizetype n = 0;
    while (rows.next()) {
        QVERIFY(n < expected.size());
        const Expected& e = expected[n];
        QCOMPARE(rows.integer(0), from + n);
        bool ok = !e.iNumber;
        QCOMPARE(rows.integer(1, &ok), e.i);
        QCOMPARE(ok, e.iNumber);
        QCOMPARE(rows.real(2), e.r);
        QCOMPARE(rows.text(3).toByteArray(), e.s);
        QCOMPARE(rows.text(4).toByteArray(), e.d);
        QCOMPARE(rows.isNull(1), e.nulls);
        QCOMPARE(rows.isNull(3), e.nulls);
        QCOMPARE(rows.integer(3, &ok), e.sNumber);
        QCOMPARE(ok, e.sNumber != 0);
        QCOMPARE(rows.text(3).toByteArray(), e.s); // read again after the number, the same
        ++n;
    }
    QCOMPARE(n, expected.size());
    QVERIFY(!rows.next());
}

void TestRowReader::directOnTheEmbeddedDatabase() {
    // A quiet fall-back would cost the statistics tab most of its speed.
    Query q(m_db->orders, QStringLiteral("select [k] from [t]"));
    q.exec();
    QCOMPARE(RowReader(q).path(), RowReader::Path::Direct);
    Query v(m_db->orders, QStringLiteral("select [k] from [t]"));
    v.exec();
    QCOMPARE(RowReader(v, RowReader::Path::Values).path(), RowReader::Path::Values);
}

void TestRowReader::failureAfterTheFirstRowThrows_data() {
    QTest::addColumn<RowReader::Path>("path");
    QTest::newRow("direct") << RowReader::Path::Direct;
    QTest::newRow("values") << RowReader::Path::Values;
}

void TestRowReader::failureAfterTheFirstRowThrows() {
    QFETCH(RowReader::Path, path);
    // The second row's value overflows while it is stepped to.
    Query q(m_db->orders, QStringLiteral("select abs([x]) from (select 1 as [x] union all select "
                                         "-9223372036854775807 - 1)"));
    q.exec();
    RowReader rows(q, path);
    QVERIFY(rows.next());
    QCOMPARE(rows.integer(0), 1);
    QVERIFY_THROWS_EXCEPTION(Error, rows.next());
}

QTEST_GUILESS_MAIN(TestRowReader)
#include "tst_rowreader.moc"
