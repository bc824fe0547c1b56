// scan_driver ORDERS_DB CONFIG_DB FIRST LAST: scans the demo waybills FIRST..LAST one after
// another, each in the mode its orders need (completing when packed out, pack-out otherwise),
// and prints "done N" once waybill N's scan has returned. Killing it at any moment must leave
// every order fully shipped or untouched.
#include "platform/Database.h"
#include "platform/Error.h"
#include "shipping/Scan.h"
#include "tools/DemoData.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace {

class QuietSink : public tv::ScanSink {
public:
    void reportScanResult(const QString&, bool) override {}
    void clearDetails() override {}
    void addNote(const QString&) override {}
    void addGoods(const QString&, const QString&, const QString&) override {}
    void showPostage(const QString&) override {}
    bool askYesNo(const QString&) override { return true; }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: scan_driver ORDERS_DB CONFIG_DB FIRST LAST\n");
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
    QuietSink sink;
    for (int w = args[3].toInt(); w <= args[4].toInt(); ++w) {
        tv::ScanInput in;
        in.waybill = tv::demoWaybill(w);
        in.weight = QStringLiteral("1.%1").arg(w % 1000, 3, 10, QLatin1Char('0'));
        in.operatorName = QStringLiteral("张三");
        in.recordShipper = true;
        in.packOutMode = !tv::demoWaybillPackedOut(w);
        try {
            tv::Scan(orders, config, sink).run(in);
            std::printf("done %d\n", w);
        } catch (const tv::Error& e) {
            std::printf("error %d %s\n", w, e.what());
        }
        std::fflush(stdout);
    }
    return 0;
}
