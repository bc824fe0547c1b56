// Several packing benches on one embedded order database:
//   scan_benches [--db FILE] [--orders N] [--scans N] [--benches 1,2,4]
// For each bench count, that many processes of this program open the database (made once with
// the demo generator when missing; by default orders-1m.db beside this program) and start
// together, each running SCANS scans. Every tenth scan of every bench is the same waybill at the
// same moment, so the benches meet on one order; the others are each bench's own fresh waybills.
// Prints per bench count, one figure a line (name value unit): scans per second in total,
// median and 99th percentile of a scan, orders shipped twice, scans lost (an error, or an own
// waybill not shipped), shared waybills not shipped exactly once, and the transactions whose
// begin waited for another bench's write lock.
#include "bench/CountingSink.h"
#include "bench/Figures.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "shipping/Scan.h"
#include "support/TestSupport.h"
#include "tools/DemoData.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using tv::bench::percentile;
using tv::bench::print;

constexpr int kSharedEvery = 10;

// The waybills of one run, the same in every process: from base on, the fresh (not completed)
// ones; the first scans/kSharedEvery are shared, then one block of own waybills per bench.
struct Plan {
    std::vector<int> shared;
    std::vector<std::vector<int>> own;

    Plan(int base, int benches, int scans) {
        const int sharedCount = (scans + kSharedEvery - 1) / kSharedEvery;
        int w = base;
        auto next = [&] {
            while (tv::demoWaybillCompleted(w))
                ++w;
            return w++;
        };
        for (int i = 0; i < sharedCount; ++i)
            shared.push_back(next());
        own.resize(size_t(benches));
        for (auto& list : own)
            for (int i = 0; i < scans - sharedCount; ++i)
                list.push_back(next());
    }
    int last() const { return own.empty() ? shared.back() : own.back().back(); }
    // The i-th waybill that bench k scans, and whether all benches scan it then.
    std::pair<int, bool> at(int k, int i) const {
        if (i % kSharedEvery == 0)
            return {shared[size_t(i / kSharedEvery)], true};
        return {own[size_t(k)][size_t(i - i / kSharedEvery - 1)], false};
    }
};

// One bench: opens the databases, says "ready", waits for a line on stdin, then scans and
// prints "scan MS SHIPPED REFUSED SHARED" per scan, "error W TEXT" per failed scan and finally
// "waits COUNT MS".
int runBench(const QStringList& a) {
    const QString ordersPath = a[0], configPath = a[1];
    const int k = a[2].toInt(), benches = a[3].toInt(), scans = a[4].toInt(), base = a[5].toInt();
    tv::Connection orders, config;
    orders.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Data Source=sqlite:") +
                               ordersPath);
    config.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                               configPath);
    if (!orders.open() || !config.open()) {
        std::fprintf(stderr, "%s%s\n", qPrintable(orders.lastError()),
                     qPrintable(config.lastError()));
        return 1;
    }
    const Plan plan(base, benches, scans);
    std::mt19937 rng(unsigned(base * 31 + k));
    std::printf("ready\n");
    std::fflush(stdout);
    std::string go;
    std::getline(std::cin, go);

    for (int i = 0; i < scans; ++i) {
        const auto [w, shared] = plan.at(k, i);
        tv::ScanInput in;
        in.waybill = tv::demoWaybill(w);
        in.weight =
            QStringLiteral("%1.%2").arg(rng() % 6).arg(rng() % 1000, 3, 10, QLatin1Char('0'));
        in.operatorName = QStringLiteral("张三");
        in.showSummary = true;
        in.recordShipper = true;
        in.packOutMode = !tv::demoWaybillPackedOut(w);
        tv::bench::CountingSink sink;
        QElapsedTimer timer;
        timer.start();
        try {
            tv::Scan(orders, config, sink).run(in);
            std::printf("scan %.3f %d %d %d %d\n", timer.nsecsElapsed() / 1e6, sink.shipped,
                        sink.refused, shared ? 1 : 0, w);
        } catch (const tv::Error& e) {
            std::printf("error %d %s\n", w, e.what());
        }
    }
    std::printf("waits %lld %.3f\n", qlonglong(orders.lockWaitCount()), orders.lockWaitMs());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 8 && args[1] == QLatin1String("--bench"))
        return runBench(args.mid(2));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("db"), QStringLiteral("Order database file."), QStringLiteral("FILE"),
         QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("orders-1m.db"))});
    parser.addOption({QStringLiteral("orders"), QStringLiteral("Orders to generate when missing."),
                      QStringLiteral("N"), QStringLiteral("1000000")});
    parser.addOption({QStringLiteral("scans"), QStringLiteral("Scans per bench."),
                      QStringLiteral("N"), QStringLiteral("500")});
    parser.addOption({QStringLiteral("benches"), QStringLiteral("Bench counts to run."),
                      QStringLiteral("LIST"), QStringLiteral("1,2,4")});
    parser.process(app);
    const QString ordersPath = QFileInfo(parser.value(QStringLiteral("db"))).absoluteFilePath();
    const int scans = qMax(kSharedEvery, parser.value(QStringLiteral("scans")).toInt());

    try {
        QTemporaryDir temp;
        tv::DemoOptions options;
        options.methods = 10;
        options.ruleProvinces = 30;
        tv::Connection orders;
        if (!QFileInfo::exists(ordersPath)) {
            options.orders = parser.value(QStringLiteral("orders")).toInt();
            QElapsedTimer gen;
            gen.start();
            tv::test::createOrderDb(QFileInfo(ordersPath).path(), QFileInfo(ordersPath).fileName());
            tv::test::openOrders(orders, ordersPath);
            tv::fillDemoOrders(orders, options);
            print("generate_orders", gen.elapsed() / 1000.0, "s");
        } else {
            tv::test::openOrders(orders, ordersPath);
        }
        const QString configPath = tv::test::createConfigDb(temp.path());
        {
            tv::Connection config;
            tv::test::openConfig(config, configPath);
            tv::fillDemoRules(config, options);
        }
        const QList<tv::Record> count =
            tv::selectRows(orders, QStringLiteral("select count(*) as [n] from [df_Trade]"));
        const int orderCount = count.value(0).integer(QStringLiteral("n"));
        int waybills = 0;
        for (int n = 0; n < orderCount; ++waybills)
            n += tv::demoOrdersOnWaybill(waybills + 1);
        std::mt19937 rng(std::random_device{}());

        for (const QString& item : parser.value(QStringLiteral("benches")).split(u',')) {
            const int benches = qMax(1, item.toInt());
            // A random stretch of waybills, so that reruns on one file find fresh ones.
            const int need = Plan(1, benches, scans).last() + 1;
            if (need >= waybills)
                throw tv::Error(QStringLiteral("The database holds too few waybills."));
            const int base = 1 + int(rng() % unsigned(waybills - need));
            const QList<tv::Record> lastLog = tv::selectRows(
                orders, QStringLiteral("select coalesce(max([ID]), 0) as [n] from [df_TradeLog]"));
            const qint64 logsBefore = lastLog.value(0).value(QStringLiteral("n")).toLongLong();

            std::vector<std::unique_ptr<QProcess>> procs;
            for (int k = 0; k < benches; ++k) {
                auto p = std::make_unique<QProcess>();
                p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
                p->start(QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--bench"), ordersPath, configPath, QString::number(k),
                          QString::number(benches), QString::number(scans), QString::number(base)});
                if (!p->waitForStarted(30000))
                    throw tv::Error(QStringLiteral("A bench did not start."));
                procs.push_back(std::move(p));
            }
            for (auto& p : procs) {
                while (!p->canReadLine())
                    if (!p->waitForReadyRead(60000))
                        throw tv::Error(QStringLiteral("A bench did not get ready."));
                if (p->readLine().trimmed() != "ready")
                    throw tv::Error(QStringLiteral("A bench failed to open the databases."));
            }
            QElapsedTimer wall;
            wall.start();
            for (auto& p : procs) {
                p->write("go\n");
                p->waitForBytesWritten(10000);
            }
            std::vector<double> times;
            qint64 lost = 0, waits = 0;
            double waitMs = 0;
            QHash<int, int> sharedShipped; // waybill: orders shipped by all benches together
            for (auto& p : procs) {
                if (!p->waitForFinished(600000))
                    throw tv::Error(QStringLiteral("A bench did not finish."));
            }
            const double seconds = wall.nsecsElapsed() / 1e9;
            for (auto& p : procs) {
                for (const QByteArray& line : p->readAllStandardOutput().split('\n')) {
                    const QList<QByteArray> f = line.split(' ');
                    if (f[0] == "scan" && f.size() == 6) {
                        times.push_back(f[1].toDouble());
                        if (f[4] == "1")
                            sharedShipped[f[5].toInt()] += f[2].toInt();
                        else if (f[2].toInt() == 0)
                            ++lost;
                    } else if (f[0] == "error") {
                        ++lost;
                        std::fprintf(stderr, "%s\n", line.constData());
                    } else if (f[0] == "waits" && f.size() == 3) {
                        waits += f[1].toLongLong();
                        waitMs += f[2].toDouble();
                    }
                }
            }
            int sharedWrong = 0;
            for (auto it = sharedShipped.cbegin(); it != sharedShipped.cend(); ++it)
                if (it.value() != tv::demoOrdersOnWaybill(it.key()))
                    ++sharedWrong;
            const QList<tv::Record> twice = tv::selectRows(
                orders,
                QStringLiteral("select count(*) as [n] from (select [TradeID] from [df_TradeLog] "
                               "where [ID] > ? group by [TradeID] having count(*) > 1) d"),
                {logsBefore});
            if (times.empty())
                throw tv::Error(QStringLiteral("No scan finished."));

            print("benches", benches, "processes");
            print("scans", double(times.size()), "scans");
            print("scans_per_second", double(times.size()) / seconds, "scans/s");
            print("scan_median", percentile(times, 0.5), "ms");
            print("scan_p99", percentile(times, 0.99), "ms");
            print("scan_max", percentile(times, 1.0), "ms");
            print("shipped_twice", twice.value(0).integer(QStringLiteral("n")), "orders");
            print("lost_scans", double(lost), "scans");
            print("shared_waybills_not_shipped_once", sharedWrong, "waybills");
            print("busy_waits", double(waits), "transactions");
            print("busy_wait_total", waitMs, "ms");
        }
    } catch (const tv::Error& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
