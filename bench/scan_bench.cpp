// Scan speed against a large embedded order database:
//   scan_bench [--folder DIR] [--orders N] [--scans N]
// The order database (DIR/scan_bench_orders.db, made once with the demo generator when missing;
// a temporary folder without --folder) holds N orders; the rules cover 30 provinces × 10
// methods × 9 intervals. Each scan takes a fresh waybill with one or two orders, in the mode
// that finds them, with the goods list and the shipper on: every statement of a scan runs.
// --guards switches every check of the scan on: stable weight only (from a stable reading of
// the scanned weight), both difference limits (wide, so that no scan is asked) and the refusal's
// reason. Prints one figure a line: name value unit.
#include "bench/CountingSink.h"
#include "bench/Figures.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "shipping/DecimalText.h"
#include "shipping/Scan.h"
#include "support/TestSupport.h"
#include "tools/DemoData.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <random>
#include <time.h>
#include <vector>

namespace {

using tv::bench::percentile;
using tv::bench::print;
using tv::bench::threadCpuMs;

// A scale whose last reading is stable, fresh and the scanned weight.
class SteadyScale : public tv::WeightSource {
public:
    tv::ScaleReading lastReading() const override { return reading; }
    tv::ScaleReading reading;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("folder"), QStringLiteral("Folder of the order database."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("orders"), QStringLiteral("Orders to generate."),
                      QStringLiteral("N"), QStringLiteral("1000000")});
    parser.addOption({QStringLiteral("scans"), QStringLiteral("Scans to time."),
                      QStringLiteral("N"), QStringLiteral("2000")});
    parser.addOption({QStringLiteral("guards"), QStringLiteral("Every check of the scan on.")});
    parser.process(app);
    const int orderCount = parser.value(QStringLiteral("orders")).toInt();
    const int scans = parser.value(QStringLiteral("scans")).toInt();
    const bool guards = parser.isSet(QStringLiteral("guards"));

    try {
        QTemporaryDir temp;
        const QString folder = parser.isSet(QStringLiteral("folder"))
                                   ? parser.value(QStringLiteral("folder"))
                                   : temp.path();
        QDir().mkpath(folder);
        const QString ordersPath = QDir(folder).filePath(QStringLiteral("scan_bench_orders.db"));
        tv::DemoOptions options;
        options.orders = orderCount;
        options.methods = 10;
        options.ruleProvinces = 30;

        tv::Connection orders;
        if (!QFileInfo::exists(ordersPath)) {
            QElapsedTimer gen;
            gen.start();
            tv::test::createOrderDb(folder, QFileInfo(ordersPath).fileName());
            tv::test::openOrders(orders, ordersPath);
            tv::fillDemoOrders(orders, options);
            print("generate_orders", gen.elapsed() / 1000.0, "s");
        } else {
            tv::test::openOrders(orders, ordersPath);
        }
        tv::Connection config;
        tv::test::openConfig(config, tv::test::createConfigDb(temp.path()));
        tv::fillDemoRules(config, options);

        // Waybills in sequence from a random start, so that reruns on one file find fresh ones;
        // completed waybills and ones an earlier run used give no order and are not timed.
        int waybills = 0;
        for (int n = 0; n < orderCount; ++waybills)
            n += tv::demoOrdersOnWaybill(waybills + 1);
        std::mt19937 rng(std::random_device{}());
        const int span = std::max(1, waybills - 3 * scans);
        int w = 1 + int(rng() % unsigned(span));

        std::vector<double> times;
        std::vector<double> cpuTimes;
        times.reserve(scans);
        cpuTimes.reserve(scans);
        qint64 shippedOrders = 0;
        qint64 questions = 0;
        qint64 orderStatements = 0;
        qint64 configStatements = 0;
        qint64 transactionStatements = 0;
        const int warmUp = 50;
        for (int done = -warmUp; done < scans && w <= waybills; ++w) {
            if (tv::demoWaybillCompleted(w))
                continue;
            tv::ScanInput in;
            in.waybill = tv::demoWaybill(w);
            in.weight =
                QStringLiteral("%1.%2").arg(rng() % 6).arg(rng() % 1000, 3, 10, QLatin1Char('0'));
            in.operatorName = QStringLiteral("张三");
            in.showSummary = true;
            in.recordShipper = true;
            in.packOutMode = !tv::demoWaybillPackedOut(w);
            SteadyScale scale;
            if (guards) {
                in.checks = tv::ScanCheck{true, 1000000, 100000, true};
                scale.reading.present = scale.reading.hasWeight = scale.reading.stable = true;
                scale.reading.ageMs = 100;
                scale.reading.grams = tv::kilogramTextToGrams(in.weight);
            }

            tv::bench::CountingSink sink;
            const qint64 s0 = orders.statementCount();
            const qint64 c0 = config.statementCount();
            const qint64 t0 = orders.transactionStatementCount();
            const double cpu0 = threadCpuMs();
            QElapsedTimer timer;
            timer.start();
            tv::Scan(orders, config, sink, guards ? &scale : nullptr).run(in);
            const double ms = timer.nsecsElapsed() / 1e6;
            const double cpuMs = threadCpuMs() - cpu0;
            if (sink.shipped == 0)
                continue; // used by an earlier run
            if (done++ < 0)
                continue;
            times.push_back(ms);
            cpuTimes.push_back(cpuMs);
            shippedOrders += sink.shipped;
            questions += sink.asked;
            orderStatements += orders.statementCount() - s0;
            configStatements += config.statementCount() - c0;
            transactionStatements += orders.transactionStatementCount() - t0;
        }
        if (times.empty())
            throw tv::Error(QStringLiteral("No waybill left to scan; remove %1.").arg(ordersPath));

        print("scan_median", percentile(times, 0.5), "ms");
        print("scan_p99", percentile(times, 0.99), "ms");
        print("scan_p90", percentile(times, 0.9), "ms");
        print("scan_max", percentile(times, 1.0), "ms");
        print("scan_cpu_median", percentile(cpuTimes, 0.5), "ms");
        print("scan_cpu_p99", percentile(cpuTimes, 0.99), "ms");
        print("scans", double(times.size()), "scans");
        print("questions_per_order", double(questions) / double(shippedOrders), "questions");
        print("orders_per_scan", double(shippedOrders) / double(times.size()), "orders");
        print("order_db_statements_per_order", double(orderStatements) / double(shippedOrders),
              "statements");
        print("config_db_statements_per_order", double(configStatements) / double(shippedOrders),
              "statements");
        print("transaction_statements_per_order",
              double(transactionStatements) / double(shippedOrders), "statements");
    } catch (const tv::Error& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
