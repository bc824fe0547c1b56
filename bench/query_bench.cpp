// Query tab: a query of ROWS completed orders filled into the result list by the code the
// query button runs, on the offscreen platform.
// Usage: query_bench [rows] [runs]   (defaults 100000 and 5)
// Prints one figure a line: name value unit.

#include "app/main.h"
#include "bench/Figures.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "platform/SoundPlayer.h"
#include "platform/SqliteFile.h"
#include "report/ListTable.h"
#include "report/ShipmentListModel.h"
#include "report/ShipmentQuery.h"
#include "support/RecordingSoundPlayer.h"

#include <QApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QSqlError>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using tv::bench::threadCpuMs;

void fillOrders(const QString& path, int rows) {
    tv::Connection c;
    c.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Data Source=sqlite:") + path);
    if (!c.open())
        throw tv::Error(c.lastError());
    tv::Transaction tx(c);
    tv::Query insert(
        c, QStringLiteral("insert into [df_Trade] ([TradeNO], [Shop], [PostID], [TradeStatus], "
                          "[bSnd], [sndStyle], [Province], [City], [Area], [Adr], [Zip], "
                          "[phone], [CustomerID], [CustomerName], [weight], [weight2], "
                          "[PostFee2], [overtime], [sndOperator]) values (?, ?, ?, ?, ?, ?, ?, "
                          "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    QSqlQuery& q = insert.sqlQuery();
    for (int i = 0; i < rows; ++i) {
        const QVariantList values = {
            QStringLiteral("2011%1").arg(i, 10, 10, QLatin1Char('0')),
            i % 3 ? QStringLiteral("旗舰店") : QStringLiteral("二店"),
            QStringLiteral("YT%1").arg(100000000 + i), QStringLiteral("交易完成"), 1,
            QStringLiteral("圆通"), QStringLiteral("浙江省"), QStringLiteral("杭州市"),
            QStringLiteral("西湖区"),
            QStringLiteral("文三路 %1 号 %2 室").arg(i % 500).arg(i % 1000),
            QStringLiteral("310012"), QStringLiteral("138%1").arg(i, 8, 10, QLatin1Char('0')),
            QStringLiteral("buyer_%1").arg(i), QStringLiteral("王五"), 1000 + i % 900,
            1100 + i % 700, 8 + (i % 5) * 0.5,
            // Completion dates rise with the rows, as orders are completed in turn.
            QStringLiteral("2011-09-%1 00:00:00")
                .arg(1 + int(qint64(i) * 28 / rows), 2, 10, QLatin1Char('0')),
            QStringLiteral("张三")};
        for (int v = 0; v < values.size(); ++v)
            q.bindValue(v, values[v]);
        if (!q.exec())
            throw tv::Error(q.lastError().text());
    }
    tx.commit();
}

double peakRssMb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    tv::RecordingSoundPlayer sounds;
    tv::setSoundPlayer(&sounds);
    QTemporaryDir dir;
    try {
        tv::createSqliteFile(dir.filePath(QStringLiteral("db.mdb")),
                             QStringLiteral(TOLVANE_DATA_DIR "/config.sql"));
        tv::createSqliteFile(dir.filePath(QStringLiteral("orders.db")),
                             QStringLiteral(TOLVANE_DATA_DIR "/orders.sql"));
        fillOrders(dir.filePath(QStringLiteral("orders.db")), rows);
    } catch (const tv::Error& e) {
        std::fprintf(stderr, "setup failed: %s\n", qPrintable(e.message()));
        return 1;
    }

    TForm1::Environment env;
    env.folder = dir.path() + u'/';
    env.startScaleReader = false;
    TForm1 form(env);
    form.DateTimePickerFrom->setDate(QDate(2011, 9, 1));
    form.DateTimePickerTo->setDate(QDate(2011, 9, 30));
    form.resize(1000, 700);
    form.show();
    form.PageControl1->setCurrentIndex(1);
    app.processEvents();

    // The longest stretch without an event pass: a zero timer ticks at every pass.
    QElapsedTimer sincePass;
    qint64 longestGap = 0;
    // Rows listed when the longest gap ended: tells the statement's start from the fill.
    int rowsAtLongestGap = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (sincePass.elapsed() > longestGap) {
            longestGap = sincePass.elapsed();
            rowsAtLongestGap = form.ListView1Model->rowCount();
        }
        sincePass.restart();
    });

    std::vector<double> fillMs, fillCpuMs;
    for (int r = 0; r < runs; ++r) {
        ticker.start();
        sincePass.start();
        QElapsedTimer t;
        t.start();
        const double cpu = threadCpuMs();
        form.ButtonSearchClick();
        fillMs.push_back(double(t.nsecsElapsed()) / 1e6);
        fillCpuMs.push_back(threadCpuMs() - cpu);
        if (sincePass.elapsed() > longestGap) {
            longestGap = sincePass.elapsed();
            rowsAtLongestGap = form.ListView1Model->rowCount();
        }
        ticker.stop();
        if (form.ListView1Model->rowCount() != rows) {
            std::fprintf(stderr, "listed %d rows, expected %d (%s)\n",
                         form.ListView1Model->rowCount(), rows,
                         qPrintable(form.StatusBar1Panel0->text()));
            return 1;
        }
    }

    // The statement and its conversion to cells alone, without the list.
    std::vector<double> readMs;
    {
        tv::ShipmentFilter filter;
        filter.from = QDate(2011, 9, 1);
        filter.to = QDate(2011, 9, 30);
        for (int r = 0; r < runs; ++r) {
            QElapsedTimer t;
            t.start();
            tv::ShipmentQuery query(form.ADOConnectionSQL, filter);
            tv::ListTable cells(QStringList(tv::ShipmentQuery::CellCount));
            while (query.fetch(cells, 1000)) {
            }
            const qsizetype n = cells.rowCount();
            readMs.push_back(double(t.nsecsElapsed()) / 1e6);
            if (n != rows)
                return 1;
        }
    }

    std::sort(fillMs.begin(), fillMs.end());
    std::sort(readMs.begin(), readMs.end());
    std::sort(fillCpuMs.begin(), fillCpuMs.end());
    std::printf("query_rows %d rows\n", rows);
    std::printf("query_fill_median %.1f ms\n", fillMs[fillMs.size() / 2]);
    std::printf("query_fill_best %.1f ms\n", fillMs.front());
    std::printf("query_fill_worst %.1f ms\n", fillMs.back());
    std::printf("query_fill_cpu_median %.1f ms\n", fillCpuMs[fillCpuMs.size() / 2]);
    std::printf("query_read_median %.1f ms\n", readMs[readMs.size() / 2]);
    std::printf("query_longest_event_gap %lld ms\n", static_cast<long long>(longestGap));
    std::printf("query_rows_listed_at_longest_gap %d rows\n", rowsAtLongestGap);
    std::printf("query_peak_rss %.1f MB\n", peakRssMb());
    return 0;
}
