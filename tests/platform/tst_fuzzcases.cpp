// Inputs the fuzz targets found, kept as cases: each one once crashed a target or broke the
// property it checks.
#include "platform/Error.h"
#include "platform/OdbcConnectionString.h"
#include "platform/TextTarget.h"
#include "scale/ScaleDecoder.h"
#include "support/StringTarget.h"
#include "xls/XlsWorkbook.h"

#include "support/ReadBack.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tv;

class TestFuzzCases : public QObject {
    Q_OBJECT

private slots:
    void odbcValueThatWouldCutTheString_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("expectedError");
        // The driver reads the string as a C string: a NUL ends it, and the keys after it go.
        QTest::newRow("NUL in the user name")
            << "db1" << QStringLiteral("s") + QChar(0) + QStringLiteral("a")
            << "The user name contains a NUL character, which cannot be passed to the ODBC "
               "driver; please choose another one.";
        QTest::newRow("NUL after the port digits")
            << QStringLiteral("db1,1433") + QChar(0) + QStringLiteral("d") << "sa"
            << QStringLiteral("The server \"db1,1433") + QChar(0) +
                   QStringLiteral("d\" names no valid port.");
        QTest::newRow("sign before the port") << "db1,+1433"
                                              << "sa"
                                              << "The server \"db1,+1433\" names no valid port.";
    }
    void odbcValueThatWouldCutTheString() {
        QFETCH(QString, server);
        QFETCH(QString, user);
        QFETCH(QString, expectedError);
        for (OdbcFlavour flavour : {OdbcFlavour::FreeTds, OdbcFlavour::Microsoft}) {
            OdbcOptions options;
            options.flavour = flavour;
            try {
                sqlServerOdbcString({server, QStringLiteral("Tolvane"), user, QStringLiteral("pw")},
                                    options);
                QFAIL("the login was accepted");
            } catch (const Error& e) {
                QCOMPARE(e.message(), expectedError);
            }
        }
    }

    // Empty cells once handed memcpy a null pointer; they must read back empty beside others.
    void emptyCellsReadBack() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("empty.xls"));
        XlsWorkbook book;
        book.setText(1, 1, QString());
        book.setQuotedText(2, 1, QStringLiteral("a"));
        book.setText(3, 1, QStringView());
        book.setQuotedText(4, 1, QString());
        book.save(path);
        const test::ReadResult r = test::readWithXlrd(path);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(
            r.sheets.value(0).rows,
            (QList<QStringList>{{QString()}, {QStringLiteral("a")}, {QString()}, {QString()}}));
    }

    // A stream that never sends a line feed: the gathered text stops at the field's limit.
    void lineWithoutLineFeedStaysBounded() {
        ScaleDecoderState state;
        StringTarget target;
        for (int i = 0; i < 100000; ++i)
            decodeScaleByte('7', 0, 1, state, &target);
        decodeScaleByte('\r', 0, 1, state, &target);
        QCOMPARE(state.ScaleText.size(), kMaxScaleText);
        QCOMPARE(target.text(), QString(kMaxScaleText, u'7'));
        decodeScaleByte('\n', 0, 1, state, &target);
        for (char c : QByteArray("1.25\r"))
            decodeScaleByte(c, 0, 1, state, &target);
        QCOMPARE(target.text(), QStringLiteral("1.25"));
    }
};

QTEST_GUILESS_MAIN(TestFuzzCases)
#include "tst_fuzzcases.moc"
