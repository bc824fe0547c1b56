#include "support/ReadBack.h"

#include "platform/Error.h"
#include "report/ShipmentExport.h"
#include "xls/Workbook.h"
#include "xls/XlsWorkbook.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace tv;

namespace {

const QStringList Captions = {u"序号"_qs,     u"发货日期"_qs, u"订单编号"_qs, u"交易店铺"_qs,
                              u"物流方式"_qs, u"快递单号"_qs, u"用户ID"_qs,   u"姓名"_qs,
                              u"省"_qs,       u"市"_qs,       u"区"_qs,       u"地址"_qs,
                              u"邮编"_qs,     u"商品重量"_qs, u"包裹重量"_qs, u"重量差"_qs,
                              u"邮资"_qs,     u"发货员"_qs,   u"电话号码"_qs};

// Records what the export asks of the progress window.
class RecordingProgress : public ExportProgress {
public:
    void start(qsizetype maximum, qsizetype step) override {
        calls.append(QStringLiteral("start %1 %2").arg(maximum).arg(step));
        m_step = step;
        position = 0;
    }
    void stepIt() override {
        ++advances;
        position += m_step;
    }
    void finish() override { calls.append(QStringLiteral("finish")); }

    QStringList calls;
    int advances = 0;
    qsizetype position = 0;

private:
    qsizetype m_step = 1;
};

// A list of any length whose cells are made when read: row k, column c holds "k:c".
class GeneratedList : public ListSource {
public:
    explicit GeneratedList(qsizetype rows)
        : m_rows(rows) {}
    int columnCount() const override { return int(Captions.size()); }
    QString caption(int column) const override { return Captions[column]; }
    qsizetype rowCount() const override { return m_rows; }
    QString cell(qsizetype row, int column) const override {
        return QString::number(row) + u':' + QString::number(column);
    }

private:
    qsizetype m_rows;
};

// Counts what reaches each sheet and checks every cell against the list it came from.
class CheckingWorkbook : public WorkbookWriter {
public:
    struct Sheet {
        QStringList header;
        qsizetype quotedCells = 0;
        int lastRow = 0;
        bool fitted = false;
        QStringList errors;
    };
    explicit CheckingWorkbook(const ListSource& list)
        : m_list(list) {
        addSheet();
    }

    void addSheet() override { sheets.append(Sheet()); }
    int currentSheet() const override { return int(sheets.size()); }
    void setText(int row, int column, QStringView text) override {
        Sheet& s = sheets.last();
        if (row != 1 || column != s.header.size() + 1)
            s.errors.append(QStringLiteral("plain cell at %1,%2").arg(row).arg(column));
        s.header.append(text.toString());
    }
    void setQuotedText(int row, int column, QStringView text) override {
        Sheet& s = sheets.last();
        const qsizetype k = qsizetype(sheets.size() - 1) * ShipmentExport::RowsPerSheet + row - 2;
        if (row < 2 || row > 65001 || text != m_list.cell(k, column - 1))
            s.errors.append(QStringLiteral("cell %1,%2 of sheet %3 holds %4")
                                .arg(row)
                                .arg(column)
                                .arg(sheets.size())
                                .arg(text));
        ++s.quotedCells;
        s.lastRow = std::max(s.lastRow, row);
    }
    // The export keeps every cell as text and the sheets' own names.
    void setNumber(int row, int column, double, int) override {
        sheets.last().errors.append(QStringLiteral("number cell at %1,%2").arg(row).arg(column));
    }
    void setSheetName(QStringView name) override {
        sheets.last().errors.append(QStringLiteral("sheet named %1").arg(name));
    }
    void fitColumns() override { sheets.last().fitted = true; }
    void save(const QString& path) override { saved.append(path); }

    QList<Sheet> sheets;
    QStringList saved;

private:
    const ListSource& m_list;
};

ListTable shipmentRows(int n) {
    ListTable table(Captions);
    for (int k = 0; k < n; ++k)
        table.appendRow({QString::number(k + 1), u"2011-09-02"_qs, u"T0000%1"_qs.arg(k),
                         u"淘宝旗舰店"_qs, u"申通快递"_qs, u"0368123456%1"_qs.arg(k % 10),
                         u"buyer_%1"_qs.arg(k), u"张三"_qs, u"浙江省"_qs, u"杭州市"_qs,
                         u"西湖区"_qs, u"文三路 𠀋 %1 号"_qs.arg(k), u"012345"_qs, u"1100"_qs,
                         u"1250"_qs, u"150"_qs, u"8.5"_qs, u"Tolvane"_qs,
                         // The last columns are hidden in the list and still exported.
                         k % 3 ? u"13800000000"_qs : QString()});
    return table;
}

} // namespace

class TestShipmentExport : public QObject {
    Q_OBJECT

private slots:
    void rowsSheetsAndProgress_data();
    void rowsSheetsAndProgress();
    void workbookReadBack_data();
    void workbookReadBack();
    void failedSave();
    void doneMessage();
    void fileUnchanged_data();
    void fileUnchanged();
};

void TestShipmentExport::rowsSheetsAndProgress_data() {
    QTest::addColumn<qsizetype>("rows");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("advances");
    QTest::addColumn<qsizetype>("position");
    QTest::addColumn<QList<int>>("lastRows"); // last sheet row written, per sheet

    QTest::newRow("empty list: header only, no progress")
        << qsizetype(0) << QStringList() << 0 << qsizetype(0) << QList<int>{0};
    QTest::newRow("one row") << qsizetype(1) << QStringList{u"start 1 1"_qs, u"finish"_qs} << 1
                             << qsizetype(1) << QList<int>{2};
    QTest::newRow("19 rows step once per row")
        << qsizetype(19) << QStringList{u"start 19 1"_qs, u"finish"_qs} << 19 << qsizetype(19)
        << QList<int>{20};
    QTest::newRow("20 rows step 2") << qsizetype(20) << QStringList{u"start 20 2"_qs, u"finish"_qs}
                                    << 10 << qsizetype(20) << QList<int>{21};
    QTest::newRow("25 rows end at 24")
        << qsizetype(25) << QStringList{u"start 25 2"_qs, u"finish"_qs} << 12 << qsizetype(24)
        << QList<int>{26};
    QTest::newRow("65000 rows fill one sheet")
        << qsizetype(65000) << QStringList{u"start 65000 6500"_qs, u"finish"_qs} << 10
        << qsizetype(65000) << QList<int>{65001};
    QTest::newRow("65001 rows: second sheet")
        << qsizetype(65001) << QStringList{u"start 65001 6500"_qs, u"finish"_qs} << 10
        << qsizetype(65000) << QList<int>{65001, 2};
    // The step counter restarts on every sheet.
    QTest::newRow("100000 rows") << qsizetype(100000)
                                 << QStringList{u"start 100000 10000"_qs, u"finish"_qs} << 9
                                 << qsizetype(90000) << QList<int>{65001, 35001};
}

void TestShipmentExport::rowsSheetsAndProgress() {
    QFETCH(qsizetype, rows);
    QFETCH(QStringList, calls);
    QFETCH(int, advances);
    QFETCH(qsizetype, position);
    QFETCH(QList<int>, lastRows);

    GeneratedList list(rows);
    CheckingWorkbook book(list);
    RecordingProgress progress;
    QCOMPARE(ShipmentExport(progress).run(list, book, u"/tmp/out.xls"_qs), rows);

    QCOMPARE(progress.calls, calls);
    QCOMPARE(progress.advances, advances);
    QCOMPARE(progress.position, position);
    QCOMPARE(book.sheets.size(), lastRows.size());
    qsizetype quoted = 0;
    for (int s = 0; s < book.sheets.size(); ++s) {
        const auto& sheet = book.sheets[s];
        QCOMPARE(sheet.errors.mid(0, 3), QStringList());
        QCOMPARE(sheet.header, Captions);
        QCOMPARE(sheet.lastRow, lastRows[s]);
        QCOMPARE(sheet.fitted, s == book.sheets.size() - 1);
        quoted += sheet.quotedCells;
    }
    QCOMPARE(quoted, rows * Captions.size());
    QCOMPARE(book.saved, QStringList{u"/tmp/out.xls"_qs});
}

// The real workbook, read back by xlrd: headers, rows in order, text kept, widths on the last
// sheet only.
void TestShipmentExport::workbookReadBack_data() {
    QTest::addColumn<int>("rows");
    QTest::newRow("empty list") << 0;
    QTest::newRow("25 rows") << 25;
    QTest::newRow("65001 rows") << 65001;
}

void TestShipmentExport::workbookReadBack() {
    QFETCH(int, rows);
    const ListTable table = shipmentRows(rows);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"发货 导出.xls"_qs);
    XlsWorkbook book;
    RecordingProgress progress;
    QCOMPARE(ShipmentExport(progress).run(table, book, path), qsizetype(rows));

    const auto read = tv::test::readWithXlrd(path);
    QVERIFY2(read.ok, qPrintable(read.error));
    const int sheets = rows > 65000 ? 2 : 1;
    QCOMPARE(read.sheets.size(), sheets);
    qsizetype k = 0;
    for (int s = 0; s < sheets; ++s) {
        const auto& sheet = read.sheets[s];
        QCOMPARE(sheet.rows.value(0), Captions);
        QCOMPARE(sheet.types, QList<int>{1});
        QCOMPARE(sheet.headerPrefix, QList<bool>{false});
        QCOMPARE(sheet.dataPrefix, rows ? QList<bool>{true} : QList<bool>{});
        for (int r = 1; r < sheet.rows.size(); ++r, ++k) {
            QStringList expected;
            for (int c = 0; c < table.columnCount(); ++c)
                expected.append(table.cell(k, c));
            if (sheet.rows[r] != expected)
                QCOMPARE(sheet.rows[r], expected);
        }
        QCOMPARE(sheet.widths.isEmpty(), s != sheets - 1);
    }
    QCOMPARE(k, qsizetype(rows));
    // The address column: "文三路 𠀋 " (10 digits, 𠀋 and 文三路 wide), the row number, " 号"
    // (3 digits), one digit of margin.
    if (rows == 25)
        QCOMPARE(read.sheets.last().widths.value(11), (10 + 2 + 3 + 1) * 256);
    // So many rows take more FAT sectors than the header lists: the file has DIFAT sectors.
    if (rows == 65001) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.read(512);
        QVERIFY(qFromLittleEndian<quint32>(header.constData() + 0x48) > 0);
    }
}

void TestShipmentExport::failedSave() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"missing/out.xls"_qs);
    const ListTable table = shipmentRows(25);
    XlsWorkbook book;
    RecordingProgress progress;
    QVERIFY_THROWS_EXCEPTION(Error, ShipmentExport(progress).run(table, book, path));
    QCOMPARE(progress.calls, (QStringList{u"start 25 2"_qs, u"finish"_qs}));
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestShipmentExport::doneMessage() {
    QCOMPARE(ShipmentExport::doneMessage(25), u"共导出25条记录!"_qs);
    QCOMPARE(ShipmentExport::doneMessage(0), u"共导出0条记录!"_qs);
}

// The export's files stay byte for byte what they were before the writer learnt number cells
// and sheet names: the digests were taken from the writer without them.
void TestShipmentExport::fileUnchanged_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<QByteArray>("md5");
    QTest::newRow("header only") << 0 << QByteArray("f916769473a5bdc5d517ff333754edf9");
    QTest::newRow("25 rows") << 25 << QByteArray("7018c974e809bf82f0b7abee09eed20d");
    QTest::newRow("two sheets") << 65001 << QByteArray("3e9e4f4a209738bb459854484711ea58");
}

void TestShipmentExport::fileUnchanged() {
    QFETCH(int, rows);
    QFETCH(QByteArray, md5);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xls"));
    RecordingProgress progress;
    XlsWorkbook book;
    ShipmentExport(progress).run(shipmentRows(rows), book, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex(), md5);
}

QTEST_APPLESS_MAIN(TestShipmentExport)
#include "tst_shipmentexport.moc"
