// Faults a packing bench meets during a scan: another process holding the order database's
// write lock, a table renamed away before or between the orders of a waybill, and texts full of
// quotes, pattern characters, braces and 4-byte characters in every field. Each case checks
// what the tables hold afterwards.
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/gui/HandlerGuard.h"
#include "postage/Postage.h"
#include "shipping/Scan.h"
#include "support/RecordingMessageBoxes.h"

#include "OrderFixture.h"
#include "support/RecordingSink.h"
#include "support/SqliteLock.h"

#include <QTest>
#include <functional>

using namespace tv;
using test::LockTimes;
using test::OrderFixture;
using test::SqliteLock;

namespace {

using Sink = test::RecordingSink;

ScanInput input(const QString& waybill = QStringLiteral("YT1001")) {
    ScanInput in;
    in.waybill = waybill;
    in.weight = QStringLiteral("1.25");
    in.operatorName = QStringLiteral("张三");
    return in;
}

// The scan as the window runs it: an error ends it in the error box.
bool scanGuarded(OrderFixture& f, Sink& sink, const ScanInput& in) {
    return guarded([&] { Scan(f.orders, f.config, sink).run(in); });
}

QString ordersFile(OrderFixture& f) {
    return f.orders.database().databaseName().section(u'?', 0, 0).mid(5);
}

bool shipped(OrderFixture& f, int id) {
    const Record t = f.trade(id);
    return t.text(QStringLiteral("TradeStatus")) == QStringLiteral("交易完成") &&
           !t.isNull(QStringLiteral("weight2")) &&
           selectRows(f.orders, QStringLiteral("select 1 from [df_TradeLog] where [TradeID] = ?"),
                      {id})
                   .size() == 1;
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void writeLockOfAnotherProcess_data() {
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<bool>("completes");
        // A short lock is waited for, a long one ends the scan.
        QTest::newRow("shorter than the busy timeout") << LockTimes::ShortHoldMs << true;
        QTest::newRow("longer than the busy timeout") << LockTimes::LongHoldMs << false;
    }
    void writeLockOfAnotherProcess() {
        QFETCH(int, holdMs);
        QFETCH(bool, completes);
        test::ScopedBusyTimeout busyTimeout;
        ScopedRecordingBoxes boxes;
        OrderFixture f;
        f.addStyle(QStringLiteral("圆通速递"), true);
        const int id = f.addTrade();
        f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
        const QStringList before = f.snapshot();

        SqliteLock lock(ordersFile(f), SqliteLock::Kind::Write, holdMs);
        QVERIFY(lock.held());
        Sink sink;
        QCOMPARE(scanGuarded(f, sink, input()), completes);
        lock.release();

        if (completes) {
            QVERIFY(boxes.texts().isEmpty());
            QCOMPARE(sink.successes, QList<bool>{true});
            QVERIFY(shipped(f, id));
            QCOMPARE(f.rows(QStringLiteral("df_PostageCharge")).size(), 1);
            QCOMPARE(f.esStates(), QList<int>{2});
        } else {
            QCOMPARE(boxes.shown().size(), 1);
            QCOMPARE(boxes.shown()[0].kind, RecordingMessageBoxes::Kind::Error);
            QVERIFY2(boxes.texts()[0].contains(QStringLiteral("locked")),
                     qPrintable(boxes.texts()[0]));
            QVERIFY(sink.lines.isEmpty());
            QCOMPARE(f.snapshot(), before);
            // The bench goes on: the same waybill ships once the lock is gone.
            QVERIFY(scanGuarded(f, sink, input()));
            QVERIFY(shipped(f, id));
        }
    }

    void tableRenamedAway_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("betweenOrders");
        for (const char* t : {"df_Trade", "df_TradeLog", "df_PostageCharge", "es_TradeLog"}) {
            QTest::addRow("%s before the scan", t) << QString::fromLatin1(t) << false;
            QTest::addRow("%s between the orders", t) << QString::fromLatin1(t) << true;
        }
        QTest::newRow("df_SndStyle before the scan") << QStringLiteral("df_SndStyle") << false;
    }
    void tableRenamedAway() {
        QFETCH(QString, table);
        QFETCH(bool, betweenOrders);
        ScopedRecordingBoxes boxes;
        OrderFixture f;
        f.addStyle(QStringLiteral("圆通速递"), true);
        const int first = f.addTrade({{QStringLiteral("sTradeNO"), QStringLiteral("T1")}});
        const int second = f.addTrade({{QStringLiteral("sTradeNO"), QStringLiteral("T2")}});
        f.addEs(QStringLiteral("T1"), QStringLiteral("YT1001"), 1);
        f.addEs(QStringLiteral("T2"), QStringLiteral("YT1001"), 1);
        const Record secondBefore = f.trade(second);

        const QString file = ordersFile(f);
        const QString away = QStringLiteral("alter table [%1] rename to [gone]").arg(table);
        Sink sink;
        if (betweenOrders)
            sink.afterResult = [&](int n) {
                if (n == 1)
                    QVERIFY(test::runInOtherProcess(file, away));
            };
        else
            QVERIFY(test::runInOtherProcess(file, away));
        QVERIFY(!scanGuarded(f, sink, input()));
        QCOMPARE(boxes.shown().size(), 1);
        QVERIFY2(boxes.texts()[0].contains(QStringLiteral("no such table")),
                 qPrintable(boxes.texts()[0]));
        QCOMPARE(sink.lines.size(), betweenOrders ? 1 : 0);
        execute(f.orders, QStringLiteral("alter table [gone] rename to ") + ident(table));

        // The order in hand stays as it was; the one finished before it stays finished.
        QCOMPARE(f.trade(second).sqlRecord(), secondBefore.sqlRecord());
        const auto count = [&](const QString& t, int id) {
            return selectRows(f.orders,
                              QStringLiteral("select 1 from ") + ident(t) +
                                  QStringLiteral(" where [TradeID] = ?"),
                              {id})
                .size();
        };
        QCOMPARE(count(QStringLiteral("df_TradeLog"), second), 0);
        QCOMPARE(count(QStringLiteral("df_PostageCharge"), second), 0);
        QCOMPARE(f.esStates().value(1), 1);
        QCOMPARE(shipped(f, first), betweenOrders);
        QCOMPARE(count(QStringLiteral("df_PostageCharge"), first), betweenOrders ? 1 : 0);
        QCOMPARE(f.esStates().value(0), betweenOrders ? 2 : 1);
    }

    void hostileTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("quotes") << QStringLiteral("O'Brien \"x\" '' ; --");
        QTest::newRow("statement") << QStringLiteral("x'; delete from df_Trade; --");
        QTest::newRow("percent") << QStringLiteral("%");
        QTest::newRow("underscore") << QStringLiteral("浙_省");
        QTest::newRow("pattern escapes") << QStringLiteral("a\\%[_]^");
        QTest::newRow("semicolons and braces") << QStringLiteral("{a};b}};c=d");
        QTest::newRow("4-byte characters") << QStringLiteral("😀𠀀𝄞");
        QTest::newRow("long") << QStringLiteral("长😀'%_").repeated(8000);
    }
    // Every text the user or the order database gives: the waybill, operator, method, province,
    // notes, goods and trade number. Nothing breaks, no match widens, rows come back unchanged.
    void hostileTexts() {
        QFETCH(QString, text);
        ScopedRecordingBoxes boxes;
        OrderFixture f;
        f.addStyle(text, true);
        const int id = f.addTrade({{QStringLiteral("PostID"), text},
                                   {QStringLiteral("sndStyle"), text},
                                   {QStringLiteral("Province"), text},
                                   {QStringLiteral("Adr"), text},
                                   {QStringLiteral("CustomerNeeds"), text},
                                   {QStringLiteral("Remark"), text},
                                   {QStringLiteral("sTradeNO"), text}});
        f.addGoods(id, text, text, QStringLiteral("1"));
        f.addEs(text, text, 1);
        // Decoys that a pattern or a broken statement would reach.
        const QString other = QStringLiteral("A") + text + QStringLiteral("Z");
        const int decoy =
            f.addTrade({{QStringLiteral("PostID"), other}, {QStringLiteral("sTradeNO"), other}});
        f.addEs(other, other, 1);
        f.addRule(other, text + QStringLiteral("省"), 0, 50000, 1000, 99, 500, 1);
        f.addRule(text, other, 0, 50000, 1000, 55, 500, 1);
        f.addRule(text, text + QStringLiteral("省"), 0, 50000, 1000, 7, 500, 1);
        const Record decoyBefore = f.trade(decoy);

        ScanInput in = input(text);
        in.operatorName = text;
        in.recordShipper = true;
        in.showSummary = true;
        Sink sink;
        QVERIFY(scanGuarded(f, sink, in));
        QVERIFY(boxes.texts().isEmpty());
        QCOMPARE(sink.successes, QList<bool>{true});
        QVERIFY(sink.lines[0].contains(text));
        QCOMPARE(sink.postages, QStringList{QStringLiteral("8")});
        QCOMPARE(sink.notes, (QStringList{QStringLiteral("客户备注：") + text,
                                          QStringLiteral("卖家备注：") + text}));
        QCOMPARE(sink.goods, QStringList{text + u'|' + text + QStringLiteral("|1")});

        const Record t = f.trade(id);
        QCOMPARE(t.text(QStringLiteral("sndOperator")), text);
        QCOMPARE(t.text(QStringLiteral("PostID")), text);
        QCOMPARE(t.text(QStringLiteral("TradeStatus")), QStringLiteral("交易完成"));
        const QList<Record> charge = f.rows(QStringLiteral("df_PostageCharge"));
        QCOMPARE(charge.size(), 1);
        for (const char* column : {"PackageBill", "FreightCorp", "Remark", "SndTo", "Operator"})
            QCOMPARE(charge[0].text(QString::fromLatin1(column)), text);
        const QList<Record> log = f.rows(QStringLiteral("df_TradeLog"));
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].text(QStringLiteral("User")), text);
        QCOMPARE(f.esStates(), (QList<int>{2, 1}));
        QCOMPARE(f.trade(decoy).sqlRecord(), decoyBefore.sqlRecord());

        // A waybill that only a pattern would match finds nothing.
        Sink none;
        QVERIFY(scanGuarded(f, none, input(text.left(text.size() / 2) + QStringLiteral("%"))));
        QCOMPARE(none.successes, QList<bool>{false});
        QCOMPARE(f.trade(decoy).sqlRecord(), decoyBefore.sqlRecord());
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
