// The statement lister: each line holds a statement's parameter count and its text, the count
// matches the text's "?", every statement appears once, and the scan's and the query's
// statements are all there, in the SQL Server dialect.
#include "support/TestSupport.h"

#include <QProcess>
#include <QtTest>

class TestTsqlStatements : public QObject {
    Q_OBJECT
private slots:
    void listsEveryStatementOnce();
};

void TestTsqlStatements::listsEveryStatementOnce() {
    QProcess p;
    p.start(QDir(tv::test::binDir()).filePath(QStringLiteral("../tools/tsql-statements")), {});
    QVERIFY(p.waitForFinished(120000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    const QStringList lines =
        QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);

    QSet<QString> texts;
    for (const QString& line : lines) {
        const qsizetype tab = line.indexOf(u'\t');
        QVERIFY2(tab > 0, qPrintable(line));
        const QString text = line.mid(tab + 1);
        QCOMPARE(line.left(tab).toInt(), int(text.count(u'?')));
        QVERIFY2(!texts.contains(text), qPrintable(text));
        texts.insert(text);
        QVERIFY2(!text.contains(QLatin1String(" limit ")), qPrintable(text));
    }
    // 3 lists; the scan's 3 selects, 5 forms of the order's save, 2 inserts and the trade
    // state's move; the batch pass's 2; the query's 8 filter combinations; 3 transaction steps.
    QCOMPARE(texts.size(), 27);
    for (const char* piece :
         {"select [Name] from [df_Staff]",
          "select top 1 [bMonth] from [df_SndStyle] where [Style] = ?", "begin transaction",
          "commit transaction", "if @@trancount > 0 rollback transaction",
          "with f as (select top (1) [PostStatus] from [es_TradeLog] where [TradeNO] = ?)",
          "update [df_Trade] set [weight2] = ?, [PostFee2] = ? where [ID] = ?",
          "update [es_TradeLog] set [PostStatus] = 1 where [SndID] = ?"}) {
        bool found = false;
        for (const QString& t : texts)
            found = found || t.startsWith(QLatin1String(piece));
        QVERIFY2(found, piece);
    }
}

QTEST_GUILESS_MAIN(TestTsqlStatements)
#include "tst_tsqlstatements.moc"
