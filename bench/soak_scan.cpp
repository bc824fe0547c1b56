// A day at the bench: SCANS scans in a row through TForm1's Button1Click (offscreen) on an
// embedded order database, while a second process inserts and updates orders in the same
// tables as the order-management system does. Afterwards every scanned waybill's rows and every
// row of the other process are checked, and the memory at the start and the end is reported.
//   soak_scan ORDERS_DB SCANS          an existing database from gen-orders (changed in place)
//   soak_scan --short                  a small database of its own, 300 scans (the ctest run)
//   soak_scan --writer ORDERS_DB FIRST_ID STOP_FILE LOG_FILE   the other process
#include "app/main.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/SqliteFile.h"
#include "support/RecordingMessageBoxes.h"
#include "tools/DemoData.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <cstdio>

namespace {

void openOrders(tv::Connection& c, const QString& path) {
    c.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Data Source=sqlite:") +
                          QFileInfo(path).absoluteFilePath());
    if (!c.open())
        throw tv::Error(c.lastError());
}

// kB of a line of /proc/self/status.
long statusKb(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// The order-management system: new paid orders with goods and trades, and edits of columns
// the scan never writes, in short transactions of its own, until the stop file appears.
int runWriter(const QStringList& a) {
    tv::Connection db;
    openOrders(db, a[2]);
    qint64 id = a[3].toLongLong();
    const qint64 existing = id - 1;
    QFile log(a[5]);
    if (!log.open(QIODevice::WriteOnly))
        return 1;
    QTextStream out(&log);
    QRandomGenerator random(7);
    int inserted = 0, updated = 0, retried = 0;
    while (!QFileInfo::exists(a[4])) {
        try {
            tv::Transaction tx(db);
            tv::insertRow(db, QStringLiteral("df_Trade"),
                          {{QStringLiteral("ID"), id},
                           {QStringLiteral("PostID"), QStringLiteral("OMS%1").arg(id)},
                           {QStringLiteral("TradeStatus"), QStringLiteral("收款发货")},
                           {QStringLiteral("bSnd"), 0},
                           {QStringLiteral("sndStyle"), tv::demoMethod(int(id % 5))},
                           {QStringLiteral("sTradeNO"), QStringLiteral("OMS%1A").arg(id)},
                           {QStringLiteral("weight"), 500},
                           {QStringLiteral("RcvValue"), 50}});
            tv::insertRow(db, QStringLiteral("df_TradeGoods"),
                          {{QStringLiteral("TradeID"), id},
                           {QStringLiteral("GoodsName"), QStringLiteral("新品%1").arg(id)}});
            tv::insertRow(db, QStringLiteral("es_TradeLog"),
                          {{QStringLiteral("TradeNO"), QStringLiteral("OMS%1A").arg(id)},
                           {QStringLiteral("SndID"), QStringLiteral("OMS%1").arg(id)},
                           {QStringLiteral("PostStatus"), 1}});
            const qint64 target = 1 + qint64(random.bounded(quint64(existing)));
            const QString name = QStringLiteral("OMS-%1-%2").arg(target).arg(inserted);
            tv::updateRow(db, QStringLiteral("df_Trade"), QStringLiteral("ID"), target,
                          {{QStringLiteral("CustomerName"), name}});
            tx.commit();
            out << "i " << id << "\nu " << target << ' ' << name << '\n';
            ++id;
            ++inserted;
            ++updated;
        } catch (const tv::Error&) {
            ++retried; // busy beyond the timeout: the transaction rolled back, try again
        }
        QThread::msleep(2);
    }
    out.flush();
    std::printf("writer: %d orders inserted, %d orders edited, %d transactions retried\n", inserted,
                updated, retried);
    return 0;
}

struct Failure {
    int count = 0;
    void operator()(const QString& what) {
        if (++count <= 20)
            std::fprintf(stderr, "soak: %s\n", qPrintable(what));
    }
};

int runSoak(QApplication& app, const QString& ordersPath, int scans, bool shortRun) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    tv::createSqliteFile(folder + QStringLiteral("db.mdb"),
                         QStringLiteral(TOLVANE_DATA_DIR "/config.sql"));
    qint64 orderCount = 0;
    {
        tv::Connection config;
        config.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                                   folder + QStringLiteral("db.mdb"));
        if (!config.open())
            throw tv::Error(config.lastError());
        tv::DemoOptions demo;
        tv::fillDemoRules(config, demo);
        tv::execute(config, QStringLiteral("update [pwd] set [IPAddress] = ?"),
                    {QStringLiteral("sqlite:") + QFileInfo(ordersPath).absoluteFilePath()});
        tv::Connection orders;
        openOrders(orders, ordersPath);
        orderCount =
            tv::selectRows(orders, QStringLiteral("select max([ID]) as [n] from [df_Trade]"))
                .value(0)
                .integer(QStringLiteral("n"));
    }

    // The waybills to scan: packed out, not completed, each scanned once.
    QList<int> waybills;
    for (int w = 1; waybills.size() < scans; ++w) {
        if (tv::demoWaybillPackedOut(w))
            waybills.append(w);
    }

    tv::RecordingMessageBoxes boxes;
    tv::setMessageBoxes(&boxes);
    TForm1::Environment env;
    env.folder = folder;
    env.startScaleReader = false;
    TForm1 form(env);
    form.show();
    form.ComboBoxOpr->setCurrentText(QStringLiteral("张三"));
    app.processEvents();

    const QString stop = folder + QStringLiteral("stop");
    const QString writerLog = folder + QStringLiteral("writer.log");
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedChannels);
    writer.start(app.applicationFilePath(), {QStringLiteral("--writer"), ordersPath,
                                             QString::number(orderCount + 1), stop, writerLog});
    writer.waitForStarted();

    const long rssStart = statusKb("VmRSS:");
    const long hwmStart = statusKb("VmHWM:");
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < waybills.size(); ++i) {
        const int w = waybills[i];
        form.Edit1->setText(tv::demoWaybill(w));
        form.Edit2->setText(QStringLiteral("1.%1").arg(w % 1000, 3, 10, QLatin1Char('0')));
        form.Button1Click();
        app.processEvents();
    }
    const double seconds = timer.elapsed() / 1000.0;
    const long rssEnd = statusKb("VmRSS:");
    const long hwmEnd = statusKb("VmHWM:");
    QFile(stop).open(QIODevice::WriteOnly);
    writer.waitForFinished(120000);

    Failure fail;
    if (!boxes.shown().isEmpty())
        fail(QStringLiteral("%1 boxes, the first: %2")
                 .arg(boxes.shown().size())
                 .arg(boxes.shown().front().text));
    const QStringList lines = form.Memo1->toPlainText().split(u'\n');
    if (lines.size() != waybills.size())
        fail(QStringLiteral("%1 result lines for %2 scans").arg(lines.size()).arg(waybills.size()));

    tv::Connection db;
    openOrders(db, ordersPath);
    for (int w : waybills) {
        const QList<tv::Record> rows = tv::selectRows(
            db,
            QStringLiteral("select t.*, (select count(*) from [df_TradeLog] l where l.[TradeID] = "
                           "t.[ID]) as [logs] from [df_Trade] t where t.[PostID] = ? order by "
                           "t.[ID]"),
            {tv::demoWaybill(w)});
        if (rows.size() != tv::demoOrdersOnWaybill(w))
            fail(QStringLiteral("waybill %1: %2 orders").arg(w).arg(rows.size()));
        for (qsizetype k = 0; k < rows.size(); ++k) {
            const tv::Record& r = rows[k];
            const int grams = k == 0 ? 1000 + w % 1000 : 0;
            if (r.text(QStringLiteral("TradeStatus")) != QStringLiteral("交易完成") ||
                r.integer(QStringLiteral("weight2")) != grams ||
                r.integer(QStringLiteral("logs")) != 1)
                fail(QStringLiteral("waybill %1 order %2 not shipped as scanned")
                         .arg(w)
                         .arg(r.text(QStringLiteral("ID"))));
        }
    }
    QFile log(writerLog);
    log.open(QIODevice::ReadOnly);
    QHash<qint64, QString> lastName;
    int inserted = 0;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.value(0) == "i") {
            ++inserted;
            const qint64 id = f.value(1).toLongLong();
            const QList<tv::Record> r = tv::selectRows(
                db,
                QStringLiteral("select t.[PostID], (select count(*) from [df_TradeGoods] g where "
                               "g.[TradeID] = t.[ID]) as [goods], (select count(*) from "
                               "[es_TradeLog] e where e.[SndID] = t.[PostID]) as [es] from "
                               "[df_Trade] t where t.[ID] = ?"),
                {id});
            if (r.size() != 1 || r[0].integer(QStringLiteral("goods")) != 1 ||
                r[0].integer(QStringLiteral("es")) != 1)
                fail(QStringLiteral("order %1 of the other process lost").arg(id));
        } else if (f.value(0) == "u") {
            lastName[f.value(1).toLongLong()] = QString::fromUtf8(f.value(2));
        }
    }
    for (auto it = lastName.cbegin(); it != lastName.cend(); ++it) {
        const QList<tv::Record> r = tv::selectRows(
            db, QStringLiteral("select [CustomerName] from [df_Trade] where [ID] = ?"), {it.key()});
        if (r.value(0).text(QStringLiteral("CustomerName")) != it.value())
            fail(QStringLiteral("edit of order %1 lost").arg(it.key()));
    }

    const double growthMb = (rssEnd - rssStart) / 1024.0;
    std::printf("soak: %lld orders, %lld scans in %.1f s (%.2f ms a scan)\n", orderCount,
                qlonglong(waybills.size()), seconds, seconds * 1000 / waybills.size());
    std::printf("soak: other process %d orders inserted, %lld orders edited, all checked\n",
                inserted, qlonglong(lastName.size()));
    std::printf("soak: VmRSS %.1f MB -> %.1f MB (growth %.1f MB), VmHWM %.1f MB -> %.1f MB\n",
                rssStart / 1024.0, rssEnd / 1024.0, growthMb, hwmStart / 1024.0, hwmEnd / 1024.0);
    std::printf("soak: %d faults found\n", fail.count);
    tv::setMessageBoxes(nullptr);
    if (!shortRun && growthMb >= 20)
        return 1;
    return fail.count == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QStringList a;
    for (int i = 0; i < argc; ++i)
        a.append(QString::fromLocal8Bit(argv[i]));
    try {
        if (a.value(1) == QStringLiteral("--writer") && a.size() == 6) {
            QCoreApplication app(argc, argv);
            return runWriter(a);
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        if (a.value(1) == QStringLiteral("--short")) {
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("orders.db"));
            tv::createSqliteFile(path, QStringLiteral(TOLVANE_DATA_DIR "/orders.sql"));
            {
                tv::Connection orders;
                openOrders(orders, path);
                tv::DemoOptions demo;
                demo.orders = 3000;
                tv::fillDemoOrders(orders, demo);
            }
            return runSoak(app, path, 300, true);
        }
        if (a.size() != 3) {
            std::fprintf(stderr, "usage: soak_scan ORDERS_DB SCANS | --short\n");
            return 2;
        }
        return runSoak(app, a[1], a[2].toInt(), false);
    } catch (const tv::Error& e) {
        std::fprintf(stderr, "soak: %s\n", e.what());
        return 1;
    }
}
