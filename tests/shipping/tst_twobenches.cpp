// Two packing benches on one embedded order database: two scan_driver processes, started
// together, scan the same 200 demo waybills in the same order. Every order is shipped exactly
// once: one log row, at most one postage-charge row, its trades moved once; every single-order
// waybill is reported shipped by one bench and refused by the other.
#include "platform/Database.h"
#include "support/TestSupport.h"
#include "tools/DemoData.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace tv;

namespace {

constexpr int kWaybills = 200;

struct Lines {
    int shipped = 0;
    int changed = 0; // refused: the order changed after the bench selected it
    int notFound = 0;
};

} // namespace

class TestTwoBenches : public QObject {
    Q_OBJECT
private slots:
    void sameWaybillsAtOnce_data();
    void sameWaybillsAtOnce();
};

void TestTwoBenches::sameWaybillsAtOnce_data() {
    QTest::addColumn<bool>("ask");
    QTest::newRow("shipping at once") << false;
    QTest::newRow("asking before each order, answered Yes") << true;
}

void TestTwoBenches::sameWaybillsAtOnce() {
    QFETCH(bool, ask);
    QTemporaryDir dir;
    const QString ordersPath = test::createOrderDb(dir.path());
    const QString configPath = test::createConfigDb(dir.path());
    const QString originalPath = dir.filePath(QStringLiteral("original.db"));
    DemoOptions demo;
    demo.orders = 220; // a few more waybills than are scanned
    {
        Connection orders, config;
        test::openOrders(orders, ordersPath);
        test::openConfig(config, configPath);
        fillDemoOrders(orders, demo);
        fillDemoRules(config, demo);
    }
    QVERIFY(QFile::copy(ordersPath, originalPath));

    const QString go = dir.filePath(QStringLiteral("go"));
    QStringList args{ordersPath,
                     configPath,
                     QStringLiteral("1"),
                     QString::number(kWaybills),
                     QStringLiteral("--start"),
                     go};
    if (ask)
        args << QStringLiteral("--ask");
    std::unique_ptr<QProcess> benches[2];
    for (auto& bench : benches) {
        bench = std::make_unique<QProcess>();
        bench->start(QStringLiteral(TOLVANE_SCAN_DRIVER), args);
        QVERIFY(bench->waitForStarted(30000));
    }
    for (auto& bench : benches) {
        while (!bench->canReadLine())
            QVERIFY2(bench->waitForReadyRead(30000), bench->readAllStandardError().constData());
        QCOMPARE(bench->readLine().trimmed(), QByteArray("ready"));
    }
    QFile(go).open(QIODevice::WriteOnly); // both start scanning now

    QHash<int, Lines> reports[2];
    for (int b = 0; b < 2; ++b) {
        QProcess& bench = *benches[b];
        QVERIFY(bench.waitForFinished(120000));
        QVERIFY2(bench.exitStatus() == QProcess::NormalExit && bench.exitCode() == 0,
                 bench.readAllStandardError().constData());
        for (const QByteArray& line : bench.readAllStandardOutput().split('\n')) {
            QVERIFY2(!line.startsWith("error"), line.constData());
            const QList<QByteArray> f = line.split(' ');
            if (f.value(0) == "result" && f.size() == 5)
                reports[b][f[1].toInt()] = {f[2].toInt(), f[3].toInt(), f[4].toInt()};
        }
        QCOMPARE(reports[b].size(), qsizetype(kWaybills));
    }

    int raced = 0; // refusals of an order the bench had found: the two really met
    for (int w = 1; w <= kWaybills; ++w) {
        const Lines& a = reports[0][w];
        const Lines& b = reports[1][w];
        const QByteArray what = demoWaybill(w).toLatin1();
        raced += a.changed + b.changed;
        if (demoWaybillCompleted(w)) {
            QVERIFY2(a.shipped == 0 && b.shipped == 0, what);
            continue;
        }
        QVERIFY2(a.shipped + b.shipped == demoOrdersOnWaybill(w), what);
        if (demoOrdersOnWaybill(w) == 1) {
            // Shipped by one bench, refused by the other (found changed, or not found at all).
            const Lines& refused = a.shipped ? b : a;
            QVERIFY2(refused.shipped == 0 && refused.changed + refused.notFound == 1, what);
        }
    }

    Connection db;
    test::openOrders(db, ordersPath);
    execute(db, QStringLiteral("attach database ? as [original]"), {originalPath});
    const QList<Record> perOrder = selectRows(
        db, QStringLiteral(
                "select t.[ID], t.[PostID], o.[TradeStatus] as [was], t.[TradeStatus], "
                "o.[bSnd] as [wasPacked], t.[bSnd], (select count(*) from [df_TradeLog] l "
                "where l.[TradeID] = t.[ID]) as [logs], (select count(*) from "
                "[df_PostageCharge] c where c.[TradeID] = t.[ID]) as [charges] from [df_Trade] t "
                "join [original].[df_Trade] o on o.[ID] = t.[ID] order by t.[ID]"));
    QHash<QString, int> waybillOf;
    for (int w = 1; w <= kWaybills; ++w)
        waybillOf[demoWaybill(w)] = w;
    int shipped = 0;
    for (const Record& r : perOrder) {
        const QByteArray what = r.text(QStringLiteral("ID")).toLatin1();
        const bool open = r.text(QStringLiteral("was")) == QStringLiteral("收款发货");
        const bool scanned = open && waybillOf.contains(r.text(QStringLiteral("PostID")));
        const bool done =
            open && (r.bit(QStringLiteral("wasPacked"))
                         ? r.text(QStringLiteral("TradeStatus")) == QStringLiteral("交易完成")
                         : r.bit(QStringLiteral("bSnd")));
        QVERIFY2(done == scanned, what);
        QVERIFY2(r.integer(QStringLiteral("logs")) == (scanned ? 1 : 0), what);
        QVERIFY2(r.integer(QStringLiteral("charges")) <= (scanned ? 1 : 0), what);
        shipped += scanned ? 1 : 0;
    }
    // A trade's row moves from 1 to 2 once; rows in other states stay.
    const QList<Record> es = selectRows(
        db, QStringLiteral("select e.[PostStatus], o.[PostStatus] as [was], e.[SndID] from "
                           "[es_TradeLog] e join [original].[es_TradeLog] o on o.[ID] = e.[ID]"));
    for (const Record& r : es) {
        const int was = r.integer(QStringLiteral("was"));
        const int w = waybillOf.value(r.text(QStringLiteral("SndID")));
        const bool moves = w > 0 && !demoWaybillCompleted(w) && was == 1;
        QCOMPARE(r.integer(QStringLiteral("PostStatus")), moves ? 2 : was);
    }
    qInfo("%d orders shipped once; %d refusals of an order changed after its selection", shipped,
          raced);
    // The start file makes them meet at the first waybill at least; a machine busy enough to
    // hold one back for a whole scan can prevent even that, which is no fault of the scan.
    if (raced == 0)
        qWarning("the two benches never met on one order in this run");
}

QTEST_GUILESS_MAIN(TestTwoBenches)
#include "tst_twobenches.moc"
