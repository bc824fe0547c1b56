// The scan over SQL Server's wire: the scripted TDS server answers every request after a
// simulated round trip; the real scan (one order, goods list on, bMonth, one trade) runs
// through the order connection and FreeTDS.
//   tds_scan_bench [--scans N] [--delay-ms D] [--qodbc]
// --qodbc: through Qt's own ODBC driver instead of ours, for comparison (Chinese catalog: it
// cannot send Chinese text to a Latin one).
// Prints one figure a line: name value unit. Requests are counted on the server, from the
// order selection to the commit; transaction requests (begin, commit, rollback) apart.
#include "bench/CountingSink.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "shipping/Scan.h"
#include "support/TdsServer.h"
#include "support/TestSupport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QSqlDriverPlugin>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QJsonObject column(const char* name, const char* type) {
    return {{QStringLiteral("name"), QLatin1String(name)},
            {QStringLiteral("type"), QLatin1String(type)}};
}

QJsonObject rowsAnswer(const char* contains, const QJsonArray& columns, const QJsonArray& row) {
    QJsonArray rows;
    rows.append(row);
    return {{QStringLiteral("contains"), QLatin1String(contains)},
            {QStringLiteral("columns"), columns},
            {QStringLiteral("rows"), rows}};
}

QJsonObject countAnswer(const char* contains) {
    return {{QStringLiteral("contains"), QLatin1String(contains)}, {QStringLiteral("count"), 1}};
}

QJsonArray answers() {
    return {
        rowsAnswer(
            "from [df_Trade] where [PostID]",
            {column("ID", "int"), column("sndStyle", "nvarchar"), column("Province", "nvarchar"),
             column("CustomerNeeds", "nvarchar"), column("Remark", "nvarchar"),
             column("Adr", "nvarchar"), column("PostID", "varchar"), column("sTradeNO", "varchar"),
             column("weight", "int"), column("RcvValue", "money"), column("goodsCost", "money"),
             column("otherFee", "money")},
            {1, QStringLiteral("圆通速递"), QStringLiteral("浙江省"), QStringLiteral("请尽快发货"),
             QStringLiteral("送小礼品"), QStringLiteral("文三路1号"), QStringLiteral("YT1001"),
             QStringLiteral("T1"), 1200, "100", "80", "0"}),
        rowsAnswer(
            "from [df_TradeGoods]",
            {column("GoodsName", "nvarchar"), column("Spec", "nvarchar"), column("Count", "int")},
            {QStringLiteral("羊毛衫"), QStringLiteral("红色 XL"), 2}),
        rowsAnswer("from [df_SndStyle]", {column("bMonth", "bit")}, {true}),
        countAnswer("update [df_Trade]"),
        countAnswer("insert into [df_PostageCharge]"),
        countAnswer("insert into [df_TradeLog]"),
        countAnswer("update f set [PostStatus] = 2"),
    };
}

bool isTransaction(const QJsonObject& r) {
    return r.contains(QLatin1String("xact")) ||
           r.value(QLatin1String("kind")).toString() == QLatin1String("tm");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser args;
    args.addOption({QStringLiteral("scans"), QStringLiteral("scans to time"), QStringLiteral("N"),
                    QStringLiteral("200")});
    args.addOption({QStringLiteral("delay-ms"), QStringLiteral("simulated round trip"),
                    QStringLiteral("D"), QStringLiteral("1")});
    args.addOption({QStringLiteral("qodbc"), QStringLiteral("use Qt's ODBC driver")});
    args.process(app);
    const int scans = args.value(QStringLiteral("scans")).toInt();
    const bool qodbc = args.isSet(QStringLiteral("qodbc"));

    QPluginLoader plugin(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/sqldrivers/libqsqlodbc.so"));
    if (qodbc) {
        auto* factory = qobject_cast<QSqlDriverPlugin*>(plugin.instance());
        if (!factory) {
            std::fprintf(stderr, "Qt's ODBC driver: %s\n", qPrintable(plugin.errorString()));
            return 1;
        }
        tv::Connection::setSqlServerDriverFactory(
            [factory] { return factory->create(QStringLiteral("QODBC")); });
    }

    try {
        QTemporaryDir dir;
        tv::Connection config;
        tv::test::openConfig(config, tv::test::createConfigDb(dir.path()));
        tv::insertRow(config, QStringLiteral("rule"),
                      {{QStringLiteral("Express"), QStringLiteral("圆通速递")},
                       {QStringLiteral("Province"), QStringLiteral("浙江省")},
                       {QStringLiteral("RuleIndex"), QStringLiteral("2024-01-01-08-00-00")},
                       {QStringLiteral("StartWeight"), 0},
                       {QStringLiteral("EndWeight"), 100000},
                       {QStringLiteral("BeginChargeWeight"), 1000},
                       {QStringLiteral("BeginChargeFee"), 8},
                       {QStringLiteral("DetaWeight"), 500},
                       {QStringLiteral("DetaFee"), 2}});

        tv::test::TdsServer server;
        QJsonObject script =
            tv::test::TdsServer::script(QStringLiteral("Chinese_PRC_CI_AS"), answers());
        script.insert(QStringLiteral("delay_ms"), args.value(QStringLiteral("delay-ms")).toInt());
        if (!server.start(script))
            throw tv::Error(server.errorText());
        tv::Connection orders;
        orders.setConnectionString(server.connectionString());
        QElapsedTimer openTime;
        openTime.start();
        if (!orders.open())
            throw tv::Error(orders.lastError());
        const double openMs = openTime.nsecsElapsed() / 1e6;
        const qsizetype afterOpen = server.requests().size();

        tv::bench::CountingSink sink;
        tv::ScanInput in;
        in.waybill = QStringLiteral("YT1001");
        in.weight = QStringLiteral("1.25");
        in.operatorName = QStringLiteral("张三");
        in.showSummary = true;
        in.recordShipper = true;
        std::vector<double> times;
        for (int i = 0; i < scans + 5; ++i) {
            QElapsedTimer t;
            t.start();
            tv::Scan(orders, config, sink).run(in);
            if (i >= 5) // the first scans warm the caches
                times.push_back(t.nsecsElapsed() / 1e6);
        }
        const QList<QJsonObject> requests = server.requests().mid(afterOpen);
        qint64 statements = 0;
        qint64 transactions = 0;
        for (const QJsonObject& r : requests)
            (isTransaction(r) ? transactions : statements) += 1;
        qint64 attentions = 0;
        for (const QJsonObject& r : server.records())
            attentions += r.value(QLatin1String("kind")).toString() == QLatin1String("attention");
        std::sort(times.begin(), times.end());
        const double orderCount = scans + 5;
        std::printf("driver %s\n", qodbc ? "qodbc" : "ours");
        std::printf("round_trip %s ms\n", qPrintable(args.value(QStringLiteral("delay-ms"))));
        std::printf("open_requests %lld\n", static_cast<long long>(afterOpen));
        std::printf("open_time %.2f ms\n", openMs);
        std::printf("scan_median %.2f ms\n", times[times.size() / 2]);
        std::printf("scan_p99 %.2f ms\n", times[times.size() * 99 / 100]);
        std::printf("requests_per_order %.2f\n", statements / orderCount);
        std::printf("transaction_requests_per_order %.2f\n", transactions / orderCount);
        std::printf("attentions %lld\n", static_cast<long long>(attentions));
        std::printf("shipped %d of %d\n", sink.shipped, scans + 5);
    } catch (const tv::Error& e) {
        std::fprintf(stderr, "tds_scan_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
