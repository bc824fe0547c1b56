// scan_driver ORDERS_DB CONFIG_DB FIRST LAST [--ask] [--start FILE]: scans the demo waybills
// FIRST..LAST one after another, each in the mode its orders need (completing when packed out,
// pack-out otherwise), and prints "result N S C F" (lines of waybill N: shipped, refused as
// changed meanwhile, no order found) and "done N" once waybill N's scan has returned. Killing
// it at any moment must leave every order fully shipped or untouched. --ask answers Yes to the
// question before each order; --start waits, with both databases open, until FILE exists, so
// that several copies start scanning together.
#include "bench/CountingSink.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "shipping/Scan.h"
#include "tools/DemoData.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ask = false;
    QString startFile;
    bool usable = args.size() >= 5;
    for (int i = 5; usable && i < args.size(); ++i) {
        if (args[i] == QLatin1String("--ask"))
            ask = true;
        else if (args[i] == QLatin1String("--start") && i + 1 < args.size())
            startFile = args[++i];
        else
            usable = false;
    }
    if (!usable) {
        std::fprintf(stderr,
                     "usage: scan_driver ORDERS_DB CONFIG_DB FIRST LAST [--ask] [--start FILE]\n");
        return 2;
    }
    tv::Connection orders;
    orders.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Data Source=sqlite:") +
                               QFileInfo(args[1]).absoluteFilePath());
    tv::Connection config;
    config.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                               QFileInfo(args[2]).absoluteFilePath());
    if (!orders.open() || !config.open()) {
        std::fprintf(stderr, "scan_driver: %s%s\n", qPrintable(orders.lastError()),
                     qPrintable(config.lastError()));
        return 1;
    }
    if (!startFile.isEmpty()) {
        std::printf("ready\n");
        std::fflush(stdout);
        while (!QFileInfo::exists(startFile))
            QThread::usleep(200);
    }
    for (int w = args[3].toInt(); w <= args[4].toInt(); ++w) {
        tv::bench::CountingSink sink;
        tv::ScanInput in;
        in.waybill = tv::demoWaybill(w);
        in.weight = QStringLiteral("1.%1").arg(w % 1000, 3, 10, QLatin1Char('0'));
        in.operatorName = QStringLiteral("张三");
        in.recordShipper = true;
        in.packOutMode = !tv::demoWaybillPackedOut(w);
        in.askBeforeFinishing = ask;
        try {
            tv::Scan(orders, config, sink).run(in);
            std::printf("result %d %d %d %d\ndone %d\n", w, sink.shipped, sink.changed,
                        sink.notFound, w);
        } catch (const tv::Error& e) {
            std::printf("error %d %s\n", w, e.what());
        }
        std::fflush(stdout);
    }
    return 0;
}
