// Fills a demo order database (and optionally postage rules in a configuration database):
//   gen-orders [--seed N] [--methods N] [--rules CONFIG_DB] [--scan-days D --scans-per-day N]
//              ORDERS_DB COUNT
// Orders come in both packed-out states with goods lines, merged trades and es_TradeLog rows
// in states 1 and 2; every 20th waybill carries two orders. With scan days, the last D * N
// waybills were scanned N a day over the last D days, with their df_TradeLog rows.
#include "platform/Database.h"
#include "platform/Error.h"
#include "platform/SqliteFile.h"
#include "tools/DemoData.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Random seed."), QStringLiteral("N"),
                      QStringLiteral("1")});
    parser.addOption({QStringLiteral("methods"), QStringLiteral("Logistics methods."),
                      QStringLiteral("N"), QStringLiteral("5")});
    parser.addOption({QStringLiteral("rules"),
                      QStringLiteral("Also write postage rules into this configuration database."),
                      QStringLiteral("CONFIG_DB")});
    parser.addOption({QStringLiteral("scan-days"),
                      QStringLiteral("Days of scans with log rows, ending today."),
                      QStringLiteral("D"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("scans-per-day"), QStringLiteral("Waybills scanned a day."),
                      QStringLiteral("N"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("schema"), QStringLiteral("Order database schema file."),
                      QStringLiteral("FILE")});
    parser.addPositionalArgument(QStringLiteral("ORDERS_DB"), QStringLiteral("File to write."));
    parser.addPositionalArgument(QStringLiteral("COUNT"), QStringLiteral("Number of orders."));
    parser.process(app);
    const QStringList pos = parser.positionalArguments();
    if (pos.size() != 2)
        parser.showHelp(2);

    tv::DemoOptions options;
    options.orders = pos[1].toInt();
    options.seed = parser.value(QStringLiteral("seed")).toUInt();
    options.methods = parser.value(QStringLiteral("methods")).toInt();
    options.scanDays = parser.value(QStringLiteral("scan-days")).toInt();
    options.scansPerDay = parser.value(QStringLiteral("scans-per-day")).toInt();
    // Installed, the schema lies in ../share/tolvane; in the build, in the project's data/.
    const QString installedSchema =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tolvane/orders.sql");
    const QString schema =
        parser.isSet(QStringLiteral("schema")) ? parser.value(QStringLiteral("schema"))
        : QFileInfo::exists(installedSchema)   ? installedSchema
                                               : QStringLiteral(TOLVANE_DATA_DIR "/orders.sql");
    try {
        QElapsedTimer timer;
        timer.start();
        if (!QFileInfo::exists(pos[0]))
            tv::createSqliteFile(pos[0], schema);
        {
            // Closed before the time is taken: the close checkpoints the write-ahead log.
            tv::Connection orders;
            orders.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Data Source=sqlite:") +
                                       QFileInfo(pos[0]).absoluteFilePath());
            if (!orders.open())
                throw tv::Error(orders.lastError());
            tv::fillDemoOrders(orders, options);
        }
        if (parser.isSet(QStringLiteral("rules"))) {
            tv::Connection config;
            config.setConnectionString(
                QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                QFileInfo(parser.value(QStringLiteral("rules"))).absoluteFilePath());
            if (!config.open())
                throw tv::Error(config.lastError());
            tv::fillDemoRules(config, options);
        }
        std::printf("gen-orders: %d orders in %.1f s\n", options.orders, timer.elapsed() / 1000.0);
    } catch (const tv::Error& e) {
        std::fprintf(stderr, "gen-orders: %s\n", e.what());
        return 1;
    }
    return 0;
}
