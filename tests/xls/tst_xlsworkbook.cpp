#include "support/ReadBack.h"

#include "platform/Error.h"
#include "xls/CompoundFile.h"
#include "xls/XlsWorkbook.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

using namespace tv;
using tv::test::ReadResult;

namespace {

struct TextCase {
    const char* name;
    QString input;
    QString expected;
};

QString repeat(QStringView s, int n) {
    return s.toString().repeated(n);
}

// Texts written as cells, with what a reader must see.
const QList<TextCase>& textCases() {
    static const QList<TextCase> cases = {
        {"leading zeros", u"012345"_qs, u"012345"_qs},
        {"date", u"2011-09-02"_qs, u"2011-09-02"_qs},
        {"decimal with trailing zero", u"1.50"_qs, u"1.50"_qs},
        {"empty stays empty text", QString(), QString()},
        {"apostrophe of its own", u"'abc"_qs, u"'abc"_qs},
        {"chinese", u"北京市朝阳区建国路88号 张三"_qs, u"北京市朝阳区建国路88号 张三"_qs},
        {"4-byte characters", u"𠀋😀x"_qs, u"𠀋😀x"_qs},
        {"line break and tab", u"a\nb\tc"_qs, u"a\nb\tc"_qs},
        {"16-bit text over one record", repeat(u"中", 5000), repeat(u"中", 5000)},
        {"8-bit text over one record", repeat(u"a", 9000), repeat(u"a", 9000)},
        {"40000 characters cut at 32767", repeat(u"地址1", 40000 / 3 + 1).left(40000),
         repeat(u"地址1", 40000 / 3 + 1).left(32767)},
        {"cut keeps a surrogate pair whole", repeat(u"a", 32766) + u"😀b"_qs, repeat(u"a", 32766)},
    };
    return cases;
}

// Many distinct strings so that the string table spans dozens of CONTINUE records, with
// one-character strings, 8-bit and 16-bit runs and surrogate pairs meeting the record ends.
QStringList manyStrings() {
    QStringList out;
    for (int j = 0; j < 900; ++j) {
        switch (j % 4) {
        case 0:
            out.append(repeat(u"x", j % 5) + repeat(u"😀", 40 + j % 13));
            break;
        case 1:
            out.append(QString::number(j));
            break;
        case 2:
            out.append(repeat(u"z", 200 + j));
            break;
        default:
            out.append(QStringLiteral("店") + QString::number(j) + repeat(u"𠀋中", j % 7));
        }
    }
    return out;
}

struct WidthCase {
    const char* name;
    QStringList texts; // one column, one text a row
    int digits;
};

const QList<WidthCase>& widthCases() {
    static const QList<WidthCase> cases = {
        {"widest text plus one", {u"ab"_qs, u"abc"_qs, u"a"_qs}, 4},
        {"chinese counts two", {u"中文"_qs}, 5},
        {"empty texts only", {QString(), QString()}, 1},
        {"4-byte wide characters count two", {u"😀𠀋"_qs}, 5},
        {"at most 255", {repeat(u"a", 300)}, 255},
        {"at most 255 for wide text", {repeat(u"中", 200)}, 255},
    };
    return cases;
}

} // namespace

class TestXlsWorkbook : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void texts_data();
    void texts();
    void stringTableAcrossRecords();
    void formatsAndSheets();
    void fittedWidths_data();
    void fittedWidths();
    void libreOfficeReadsTheSame();
    void distinctTexts_data();
    void distinctTexts();
    void compoundFileSizes_data();
    void compoundFileSizes();
    void failedSave_data();
    void failedSave();
    void replacesExistingFile();
    void numbers_data();
    void numbers();
    void numbersAmongTexts();
    void refusedNumbersAndNames_data();
    void refusedNumbersAndNames();

private:
    QTemporaryDir m_dir;
    QString m_path;
    ReadResult m_read;
};

// One workbook holds every case: sheet 1 the texts and many strings, sheet 2 the widths.
void TestXlsWorkbook::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath(QStringLiteral("cases.xls"));
    XlsWorkbook book;
    book.setText(1, 1, u"case");
    for (int i = 0; i < textCases().size(); ++i)
        book.setQuotedText(i + 2, 1, textCases()[i].input);
    const QStringList strings = manyStrings();
    for (int i = 0; i < strings.size(); ++i) {
        book.setQuotedText(i + 2, 2, strings[i]);
        book.setQuotedText(i + 2, 3, strings[i]); // the same text again shares its entry
    }
    book.addSheet();
    QCOMPARE(book.currentSheet(), 2);
    for (int c = 0; c < widthCases().size(); ++c) {
        const QStringList& texts = widthCases()[c].texts;
        for (int r = 0; r < texts.size(); ++r)
            book.setQuotedText(r + 1, c + 1, texts[r]);
    }
    book.fitColumns();
    book.save(m_path);
    m_read = tv::test::readWithXlrd(m_path);
    QVERIFY2(m_read.ok, qPrintable(m_read.error));
    QCOMPARE(m_read.sheets.size(), 2);
}

void TestXlsWorkbook::texts_data() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < textCases().size(); ++i)
        QTest::newRow(textCases()[i].name) << i;
}

void TestXlsWorkbook::texts() {
    QFETCH(int, index);
    const QStringList& row = m_read.sheets[0].rows.at(index + 1);
    QVERIFY(!row.isEmpty());
    QCOMPARE(row[0], textCases()[index].expected);
}

void TestXlsWorkbook::stringTableAcrossRecords() {
    const QStringList strings = manyStrings();
    const auto& rows = m_read.sheets[0].rows;
    for (int i = 0; i < strings.size(); ++i) {
        QCOMPARE(rows.at(i + 1).value(1), strings[i]);
        QCOMPARE(rows.at(i + 1).value(2), strings[i]);
    }
}

void TestXlsWorkbook::formatsAndSheets() {
    const auto& first = m_read.sheets[0];
    const auto& second = m_read.sheets[1];
    QCOMPARE(first.name, QStringLiteral("Sheet1"));
    QCOMPARE(second.name, QStringLiteral("Sheet2"));
    // Only text cells (type 1) and the empty padding (type 0) of short rows.
    QCOMPARE(first.types, (QList<int>{0, 1}));
    // Plain text in the header, quoted text in the rows below it.
    QCOMPARE(first.headerPrefix, QList<bool>{false});
    QCOMPARE(first.dataPrefix, QList<bool>{true});
    // The sheet added last is the one shown when the file opens.
    QVERIFY(!first.shown);
    QVERIFY(second.shown);
    QVERIFY(first.widths.isEmpty());
}

void TestXlsWorkbook::fittedWidths_data() {
    QTest::addColumn<int>("column");
    for (int c = 0; c < widthCases().size(); ++c)
        QTest::newRow(widthCases()[c].name) << c;
}

void TestXlsWorkbook::fittedWidths() {
    QFETCH(int, column);
    QCOMPARE(m_read.sheets[1].widths.value(column, -1), widthCases()[column].digits * 256);
}

void TestXlsWorkbook::libreOfficeReadsTheSame() {
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        QSKIP("LibreOffice (libreoffice-calc-nogui) is not installed");
    const ReadResult office = tv::test::readWithLibreOffice(m_path, m_dir.path(), 2);
    QVERIFY2(office.ok, qPrintable(office.error));
    QCOMPARE(office.sheets.size(), 2);
    for (int s = 0; s < 2; ++s) {
        const auto expected = tv::test::trimmed(m_read.sheets[s].rows);
        const auto actual = tv::test::trimmed(office.sheets[s].rows);
        QCOMPARE(actual.size(), expected.size());
        for (int r = 0; r < expected.size(); ++r)
            QCOMPARE(actual[r], expected[r]);
    }
}

quint32 sameHash(QStringView) {
    return 7;
}

quint32 firstCharacterHash(QStringView text) {
    return text.isEmpty() ? 0 : quint32(text[0].unicode()) << 24;
}

// The string table holds each distinct text once and every cell its own text, whatever the
// hash: texts of one hash and length that differ, repeats far apart, more than one part. Most
// rows are handed over as kept texts lying end to end in one buffer, every third row as copies,
// so the texts sit in many runs.
void TestXlsWorkbook::distinctTexts_data() {
    QTest::addColumn<quintptr>("hash");
    QTest::addColumn<int>("rows");
    QTest::newRow("default hash") << quintptr(0) << 40000;
    QTest::newRow("one hash for all") << quintptr(&sameHash) << 3000;
    QTest::newRow("first character only") << quintptr(&firstCharacterHash) << 40000;
}

void TestXlsWorkbook::distinctTexts() {
    QFETCH(quintptr, hash);
    QFETCH(int, rows);
    QList<QStringList> expected;
    QSet<QString> distinct;
    QString buffer;
    for (int r = 0; r < rows; ++r) {
        const QStringList row = {QString::number(r % 1000), QStringLiteral("店%1").arg(r % 7),
                                 QString::number(r * 7919 % 100000), QString(),
                                 QString::number(r % 1000 + 1)};
        for (const QString& text : row) {
            buffer += text;
            distinct.insert(text);
        }
        expected.append(row);
    }
    XlsWorkbook book(reinterpret_cast<XlsSharedStrings::Hash>(hash));
    qsizetype at = 0;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < expected[r].size(); ++c) {
            const QStringView text = QStringView(buffer).sliced(at, expected[r][c].size());
            if (r % 3 == 0)
                book.setQuotedText(r + 1, c + 1, text.toString());
            else
                book.setQuotedTextKept(r + 1, c + 1, text);
            at += text.size();
        }
    }
    const QString path = m_dir.filePath(QStringLiteral("distinct.xls"));
    book.save(path);
    const ReadResult read = tv::test::readWithXlrd(path);
    QVERIFY2(read.ok, qPrintable(read.error));
    const QList<QStringList>& actual = read.sheets.value(0).rows;
    QCOMPARE(actual.size(), expected.size());
    for (int r = 0; r < rows; ++r)
        QCOMPARE(actual[r], expected[r]);
    QCOMPARE(read.json.value(QLatin1String("strings")).toInt(), distinct.size());
    QCOMPARE(read.json.value(QLatin1String("distinct_strings")).toInt(), distinct.size());
}

// A compound file of each size class: padded to the mini-stream cutoff, one sector past it, the
// largest file the header's 109 FAT sectors cover, and files that need one and two DIFAT sectors.
void TestXlsWorkbook::compoundFileSizes_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("expectedSize");
    QTest::newRow("empty") << qint64(0) << qint64(4096);
    QTest::newRow("short") << qint64(100) << qint64(4096);
    QTest::newRow("one past the cutoff") << qint64(4097) << qint64(4097);
    QTest::newRow("109 FAT sectors") << qint64(13842) * 512 << qint64(13842) * 512;
    QTest::newRow("first DIFAT sector") << qint64(13842) * 512 + 1 << qint64(13842) * 512 + 1;
    QTest::newRow("second DIFAT sector") << qint64(30000) * 512 << qint64(30000) * 512;
}

void TestXlsWorkbook::compoundFileSizes() {
    QFETCH(qint64, size);
    QFETCH(qint64, expectedSize);
    QByteArray stream(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        stream[i] = char((i * 7 + i / 511) & 0xFF);
    QByteArray expected = stream;
    expected.append(QByteArray(expectedSize - size, '\0'));

    const QString path = m_dir.filePath(QStringLiteral("stream.cfb"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    ByteSink out(&file);
    writeCompoundFile(out, u"Workbook", quint64(size),
                      [&](ByteSink& s) { s.putBytes(stream.constData(), stream.size()); });
    out.flush();
    file.close();
    QCOMPARE(file.size() % 512, 0);

    const ReadResult read = tv::test::runHelper({QStringLiteral("stream"), path, u"Workbook"_qs});
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.json.value(QLatin1String("size")).toInteger(), expectedSize);
    QCOMPARE(
        read.json.value(QLatin1String("md5")).toString(),
        QString::fromLatin1(QCryptographicHash::hash(expected, QCryptographicHash::Md5).toHex()));
}

void TestXlsWorkbook::failedSave_data() {
    QTest::addColumn<QString>("target"); // relative to a fresh folder
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("missing folder") << u"missing/out.xls"_qs << false;
    QTest::newRow("name of a folder") << u"folder"_qs << false;
    QTest::newRow("unwritable folder") << u"out.xls"_qs << true;
}

void TestXlsWorkbook::failedSave() {
    QFETCH(QString, target);
    QFETCH(bool, readOnlyFolder);
    if (readOnlyFolder && geteuid() == 0)
        QSKIP("root writes into any folder");
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    if (readOnlyFolder)
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    const QString path = dir.filePath(target);

    XlsWorkbook book;
    book.setQuotedText(1, 1, u"012345");
    try {
        book.save(path);
        QFAIL("save did not fail");
    } catch (const Error& e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("无法保存文件 ") +
                                        QDir::toNativeSeparators(path) + QStringLiteral("：")),
                 qPrintable(e.message()));
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
             QStringList{u"folder"_qs});
    QVERIFY(QDir(dir.filePath(u"folder"_qs)).isEmpty());
}

void TestXlsWorkbook::replacesExistingFile() {
    const QString path = m_dir.filePath(QStringLiteral("existing.xls"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("not a workbook");
    old.close();
    XlsWorkbook book;
    book.setQuotedText(1, 1, u"新");
    book.save(path);
    const ReadResult read = tv::test::readWithXlrd(path);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.sheets.value(0).rows, QList<QStringList>{{u"新"_qs}});
}

struct NumberCase {
    const char* name;
    double value;
    int decimals;
    const char* format; // as a reader reports the cell's number format
};

// Values that fit an RK record and values that need a NUMBER record, on either side of the
// 30-bit limits, with each kind of format.
const QList<NumberCase>& numberCases() {
    static const QList<NumberCase> cases = {
        {"integer", 42, 0, "0"},
        {"negative integer", -17, -1, "General"},
        {"zero", 0, 2, "0.00"},
        {"hundredths", 1.1, 2, "0.00"},
        {"negative hundredths", -36.55, 2, "0.00"},
        {"thousandths need a full double", 4.123, 3, "0.000"},
        {"largest RK integer", 536870911, 0, "0"},
        {"one past the RK integers", 536870912, 0, "0"},
        {"smallest RK integer", -536870912, -1, "General"},
        {"hundredths past the RK range", 5368709.12, 2, "0.00"},
        {"large", 1e15, -1, "General"},
        {"tiny", 1e-9, -1, "General"},
        {"a third", 1.0 / 3, 1, "0.0"},
    };
    return cases;
}

void TestXlsWorkbook::numbers_data() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < numberCases().size(); ++i)
        QTest::newRow(numberCases()[i].name) << i;
}

// Every value comes back as a number, bit for bit, with its format; all cases share one file.
void TestXlsWorkbook::numbers() {
    QFETCH(int, index);
    static ReadResult read;
    if (!read.ok) {
        XlsWorkbook book;
        book.setSheetName(u"数字");
        for (int i = 0; i < numberCases().size(); ++i)
            book.setNumber(i + 1, 1, numberCases()[i].value, numberCases()[i].decimals);
        const QString path = m_dir.filePath(QStringLiteral("numbers.xls"));
        book.save(path);
        read = tv::test::readWithXlrd(path);
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.sheets.value(0).name, QStringLiteral("数字"));
        QCOMPARE(read.sheets.value(0).types, QList<int>{2});
    }
    const NumberCase& c = numberCases()[index];
    const QJsonArray values = read.json[u"sheets"_qs][0][u"values"_qs].toArray();
    const QJsonValue v = values.at(index).toArray().at(0);
    QVERIFY(v.isDouble());
    QCOMPARE(v.toDouble(), c.value);
    // Each format of the file, once.
    const QJsonArray formats = read.json[u"sheets"_qs][0][u"number_formats"_qs].toArray();
    QVERIFY2(formats.contains(QString::fromLatin1(c.format)), c.format);
}

// Numbers and texts mixed in rows, written in any order, read back in place; the fitted width
// counts a number as shown.
void TestXlsWorkbook::numbersAmongTexts() {
    XlsWorkbook book;
    book.setText(1, 1, u"名称");
    book.setText(1, 2, u"数量");
    book.setText(1, 3, u"金额");
    book.setNumber(2, 3, 12345.5, 2); // before the row's texts
    book.setText(2, 1, u"甲");
    book.setNumber(2, 2, 3, 0);
    book.setNumber(3, 2, 7, 0);
    book.setText(3, 1, u"乙");
    book.setText(3, 3, u"无");
    book.setNumber(5, 1, -1, -1); // a row of its own after the last text
    book.fitColumns();
    book.addSheet();
    book.setSheetName(u"Second sheet");
    book.setNumber(1, 1, 2.5);
    const QString path = m_dir.filePath(QStringLiteral("mixed.xls"));
    book.save(path);
    const ReadResult read = tv::test::readWithXlrd(path);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.sheets.size(), 2);
    const QJsonArray values = read.json[u"sheets"_qs][0][u"values"_qs].toArray();
    const QJsonArray expected = QJsonDocument::fromJson(R"([["名称", "数量", "金额"],
        ["甲", 3, 12345.5], ["乙", 7, "无"], [null, null, null], [-1, null, null]])")
                                    .array();
    QCOMPARE(values, expected);
    QCOMPARE(read.sheets[0].name, QStringLiteral("Sheet1"));
    QCOMPARE(read.sheets[1].name, QStringLiteral("Second sheet"));
    QCOMPARE(read.sheets[0].widths.value(2), (8 + 1) * 256); // "12345.50" is the widest
    const QJsonArray second = read.json[u"sheets"_qs][1][u"values"_qs].toArray();
    QCOMPARE(second, QJsonDocument::fromJson("[[2.5]]").array());
}

void TestXlsWorkbook::refusedNumbersAndNames_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("not a number") << nan << QString() << u"单元格 (1, 1) 的数值无效。"_qs;
    QTest::newRow("infinity") << inf << QString() << u"单元格 (1, 1) 的数值无效。"_qs;
    QTest::newRow("empty name") << 1.0 << u""_qs << u"工作表名称无效："_qs;
    QTest::newRow("name of 32 characters")
        << 1.0 << repeat(u"表", 32) << u"工作表名称无效："_qs + repeat(u"表", 32);
    QTest::newRow("slash in a name") << 1.0 << u"1/2"_qs << u"工作表名称无效：1/2"_qs;
    QTest::newRow("bracket in a name") << 1.0 << u"[a]"_qs << u"工作表名称无效：[a]"_qs;
}

void TestXlsWorkbook::refusedNumbersAndNames() {
    QFETCH(double, value);
    QFETCH(QString, name);
    QFETCH(QString, message);
    XlsWorkbook book;
    try {
        if (name.isNull())
            book.setNumber(1, 1, value);
        else
            book.setSheetName(name);
        QFAIL("not refused");
    } catch (const Error& e) {
        QCOMPARE(e.message(), message);
    }
    // What was refused left nothing behind: the workbook still saves with an empty sheet.
    const QString path = m_dir.filePath(QStringLiteral("refused.xls"));
    book.save(path);
    const ReadResult read = tv::test::readWithXlrd(path);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.sheets.value(0).name, QStringLiteral("Sheet1"));
    QVERIFY(read.sheets.value(0).rows.isEmpty());
}

QTEST_APPLESS_MAIN(TestXlsWorkbook)
#include "tst_xlsworkbook.moc"
