// Rules list: LoadRuleList over a rule table of ROWS rows (default 10000), in two shapes:
// rules of 5 provinces x 2 intervals, and rules of one row each (one list line per row).
// Usage: QT_QPA_PLATFORM=offscreen rules_bench [rows]
// Prints one figure a line: name value unit.

#include "platform/Database.h"
#include "platform/Messages.h"
#include "platform/SqliteFile.h"
#include "postage/Provinces.h"
#include "postage/RuleStore.h"
#include "postage/yfsz.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Silent boxes: a benchmark never waits on a dialog.
class QuietBoxes : public tv::MessageBoxes {
public:
    void information(const QString&) override {}
    bool question(const QString&) override { return true; }
    void error(const QString& text) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    void applicationError(const QString& text) override { error(text); }
};

void fillTable(tv::Connection& c, int rows, int provincesPerRule, int intervalsPerRule) {
    tv::Transaction t(c);
    const QStringList& provinces = tv::provinceNames();
    int written = 0;
    for (int rule = 0; written < rows; ++rule) {
        const QString stamp = QDateTime(QDate(2012, 1, 1), QTime(0, 0))
                                  .addSecs(rule)
                                  .toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss"));
        for (int p = 0; p < provincesPerRule && written < rows; ++p) {
            for (int k = 0; k < intervalsPerRule && written < rows; ++k, ++written) {
                tv::insertRow(
                    c, QStringLiteral("rule"),
                    {{QStringLiteral("Express"), QStringLiteral("圆通速递")},
                     {QStringLiteral("Province"), provinces[(rule + p) % provinces.size()]},
                     {QStringLiteral("RuleIndex"), stamp},
                     {QStringLiteral("StartWeight"), k * 1000},
                     {QStringLiteral("EndWeight"), (k + 1) * 1000},
                     {QStringLiteral("BeginChargeWeight"), 1000},
                     {QStringLiteral("BeginChargeFee"), 10.5},
                     {QStringLiteral("DetaWeight"), 500},
                     {QStringLiteral("DetaFee"), 5.0}});
            }
        }
    }
    t.commit();
}

void print(const QString& name, double value, const char* unit) {
    std::printf("%s %.2f %s\n", qPrintable(name), value, unit);
}

void run(const QString& dataDir, const QString& shape, int rows, int provinces, int intervals) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("db.mdb"));
    tv::createSqliteFile(path, dataDir + QStringLiteral("/config.sql"));
    tv::Connection config;
    config.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                               path);
    if (!config.open()) {
        std::fprintf(stderr, "open failed: %s\n", qPrintable(config.lastError()));
        std::exit(1);
    }
    fillTable(config, rows, provinces, intervals);

    TYfszDlg dialog(nullptr, &config);
    dialog.show();
    QCoreApplication::processEvents();

    // A timer that fires at every event pass shows how long the window went without one.
    QElapsedTimer clock;
    clock.start();
    qint64 lastPass = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastPass);
        lastPass = now;
    });
    ticker.start();

    constexpr int kRuns = 9;
    std::vector<double> times;
    qint64 statements = 0;
    for (int i = 0; i < kRuns; ++i) {
        const qint64 before = config.statementCount();
        lastPass = clock.nsecsElapsed();
        const qint64 start = lastPass;
        dialog.LoadRuleList();
        const qint64 end = clock.nsecsElapsed();
        longestGap = std::max(longestGap, end - lastPass);
        times.push_back(double(end - start) / 1e6);
        statements = config.statementCount() - before;
        QCoreApplication::processEvents();
    }
    ticker.stop();
    std::sort(times.begin(), times.end());

    // The read alone, the part of a load without an event pass.
    std::vector<double> reads;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        const qsizetype n = tv::ListRuleRows(config).size();
        reads.push_back(double(t.nsecsElapsed()) / 1e6);
        if (n != rows)
            std::exit(1);
    }
    std::sort(reads.begin(), reads.end());
    const QString prefix = QStringLiteral("rule_list_%1_").arg(shape);
    print(prefix + QStringLiteral("rows"), rows, "rows");
    print(prefix + QStringLiteral("lines"), dialog.ListView1->topLevelItemCount(), "lines");
    print(prefix + QStringLiteral("load_median"), times[kRuns / 2], "ms");
    print(prefix + QStringLiteral("load_max"), times.back(), "ms");
    print(prefix + QStringLiteral("read_median"), reads[kRuns / 2], "ms");
    print(prefix + QStringLiteral("longest_without_event_pass"), double(longestGap) / 1e6, "ms");
    print(prefix + QStringLiteral("statements_per_load"), double(statements), "count");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QuietBoxes boxes;
    tv::setMessageBoxes(&boxes);
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const QString dataDir = QStringLiteral(TOLVANE_DATA_DIR);
    run(dataDir, QStringLiteral("5x2"), rows, 5, 2);
    run(dataDir, QStringLiteral("1x1"), rows, 1, 1);
    tv::setMessageBoxes(nullptr);
    return 0;
}
