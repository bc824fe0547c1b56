// Prints every statement text Tolvane sends to SQL Server, one a line, each after its number
// of parameters ("?") and a tab, in the order they first go out. It runs the real code: the
// main window's start-up, the scan in every mode, the Yes/No path, the batch pass and the
// shipment query with every filter, on an order connection whose driver records instead of
// sending. Anyone with a real server can run the texts (values in place of "?") with sqlcmd
// or tsql, and a grammar checker can read them.
//
//   tsql-statements [--values]     --values: also print each statement's parameter types
#include "app/main.h"
#include "platform/Database.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/OdbcDriver.h"
#include "platform/SoundPlayer.h"
#include "platform/SqliteFile.h"
#include "report/ListTable.h"
#include "report/ShipmentQuery.h"
#include "shipping/BatchPackOut.h"
#include "shipping/Scan.h"

#include <QApplication>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Sent {
    QString text;
    QStringList types;
};

QList<Sent> g_sent;

void recordSent(const QString& text, const QVariantList& values) {
    QStringList types;
    for (const QVariant& v : values)
        types << QString::fromLatin1(v.metaType().name());
    g_sent.append({text, types});
}

// The column names of a select list: "select [A], [B] as [C] from ..." gives A and C.
QStringList selectedColumns(const QString& sql) {
    QString list = sql.section(QStringLiteral(" from "), 0, 0).mid(7).trimmed();
    for (const char* top : {"top 1 ", "top (1) "})
        if (list.startsWith(QLatin1String(top)))
            list = list.mid(int(qstrlen(top)));
    QStringList names;
    for (QString c : list.split(QStringLiteral(", "))) {
        c = c.section(QStringLiteral(" as "), -1).trimmed();
        if (c.startsWith(u'[') && c.endsWith(u']'))
            c = c.mid(1, c.size() - 2);
        names << c;
    }
    return names;
}

// Answers a select with one row of "1" in every column (it reads as text, number, bit and
// trade number alike) and any other statement with one row changed.
class RecordingResult : public QSqlResult {
public:
    explicit RecordingResult(const QSqlDriver* driver)
        : QSqlResult(driver) {}

protected:
    bool prepare(const QString& query) override {
        m_sql = query;
        return true;
    }
    bool exec() override { return run(boundValues()); }
    bool reset(const QString& query) override {
        m_sql = query;
        return run({});
    }
    QVariant data(int) override { return QStringLiteral("1"); }
    bool isNull(int) override { return false; }
    bool fetch(int i) override { return i == 0 && fetchNext(); }
    bool fetchNext() override {
        if (!isSelect() || m_rowRead)
            return false;
        m_rowRead = true;
        setAt(0);
        return true;
    }
    bool fetchFirst() override { return fetchNext(); }
    bool fetchLast() override { return fetchNext(); }
    int size() override { return -1; }
    int numRowsAffected() override { return isSelect() ? -1 : 1; }
    QSqlRecord record() const override { return m_record; }

private:
    bool run(const QVariantList& values) {
        recordSent(m_sql, values);
        m_rowRead = false;
        m_record.clear();
        const bool select = tv::isSelect(m_sql);
        if (select)
            for (const QString& name : selectedColumns(m_sql))
                m_record.append(QSqlField(name, QMetaType(QMetaType::QString)));
        setSelect(select);
        setActive(true);
        setAt(QSql::BeforeFirstRow);
        return true;
    }

    QString m_sql;
    QSqlRecord m_record;
    bool m_rowRead = false;
};

class RecordingDriver : public QSqlDriver {
public:
    bool hasFeature(DriverFeature f) const override {
        return f == Transactions || f == PreparedQueries || f == PositionalPlaceholders ||
               f == Unicode || f == FinishQuery;
    }
    bool open(const QString&, const QString&, const QString&, const QString&, int,
              const QString&) override {
        setOpen(true);
        setOpenError(false);
        return true;
    }
    void close() override { setOpen(false); }
    QSqlResult* createResult() const override { return new RecordingResult(this); }
    bool beginTransaction() override { return sent(tv::OdbcDriver::beginText()); }
    bool commitTransaction() override { return sent(tv::OdbcDriver::commitText()); }
    bool rollbackTransaction() override { return sent(tv::OdbcDriver::rollbackText()); }

private:
    static bool sent(const QString& text) {
        recordSent(text, {});
        return true;
    }
};

class Quiet : public tv::MessageBoxes, public tv::SoundPlayer {
public:
    void information(const QString& text) override { warn(text); }
    bool question(const QString&) override { return true; }
    void error(const QString& text) override { warn(text); }
    void applicationError(const QString& text) override { warn(text); }
    void play(const QString&) override {}

private:
    static void warn(const QString& text) {
        std::fprintf(stderr, "tsql-statements: %s\n", qPrintable(text));
    }
};

class Sink : public tv::ScanSink {
public:
    void reportScanResult(const QString&, bool) override {}
    void clearDetails() override {}
    void addNote(const QString&) override {}
    void addGoods(const QString&, const QString&, const QString&) override {}
    void showPostage(const QString&) override {}
    bool askYesNo(const QString&) override { return answer; }
    bool answer = true;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool withTypes = app.arguments().contains(QStringLiteral("--values"));
    Quiet quiet;
    tv::setMessageBoxes(&quiet);
    tv::setSoundPlayer(&quiet);
    tv::Connection::setSqlServerDriverFactory([] { return new RecordingDriver; });

    try {
        QTemporaryDir dir;
        const QString configPath = dir.filePath(QStringLiteral("db.mdb"));
        tv::createSqliteFile(configPath, QStringLiteral(TOLVANE_DATA_DIR "/config.sql"));
        {
            tv::Connection config;
            config.setConnectionString(
                QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + configPath);
            if (!config.open())
                throw tv::Error(config.lastError());
            tv::execute(config,
                        QStringLiteral("update [pwd] set [IPAddress] = ?, [User] = ?, "
                                       "[Password] = ?, [DataBase] = ?"),
                        {QStringLiteral("sqlserver"), QStringLiteral("sa"), QStringLiteral("pw"),
                         QStringLiteral("Shop")});
        }

        TForm1::Environment env;
        env.folder = dir.path() + u'/';
        env.startScaleReader = false;
        TForm1 form(env);
        tv::Connection& orders = form.ADOConnectionSQL;
        tv::Connection& config = form.ADOConnectionAccess;
        if (!orders.isOpen())
            throw tv::Error(QStringLiteral("the recording order connection did not open"));

        Sink sink;
        for (const bool packOut : {false, true}) {
            for (const bool recordShipper : {false, true}) {
                tv::ScanInput in;
                in.waybill = QStringLiteral("YT1001");
                in.weight = QStringLiteral("1.25");
                in.operatorName = QStringLiteral("Tolvane");
                in.showSummary = true;
                in.recordShipper = recordShipper;
                in.packOutMode = packOut;
                in.askBeforeFinishing = true;
                for (const bool yes : {true, false}) {
                    sink.answer = yes;
                    tv::Scan(orders, config, sink).run(in);
                }
            }
        }
        tv::BatchPackOut(orders).run();
        for (int filters = 0; filters < 8; ++filters) {
            tv::ShipmentFilter f;
            f.from = QDate(2024, 3, 1);
            f.to = QDate(2024, 3, 31);
            if (filters & 1)
                f.shop = QStringLiteral("S");
            if (filters & 2)
                f.sndStyle = QStringLiteral("L");
            if (filters & 4)
                f.sndOperator = QStringLiteral("O");
            tv::ShipmentQuery query(orders, f);
            tv::ListTable rows(QStringList(tv::ShipmentQuery::CellCount));
            while (query.fetch(rows, 1000)) {
            }
        }
        // A transaction that fails ends with this.
        orders.begin();
        orders.rollback();
    } catch (const tv::Error& e) {
        std::fprintf(stderr, "tsql-statements: %s\n", e.what());
        return 1;
    }

    QSet<QString> seen;
    for (const Sent& s : g_sent) {
        const QString key = withTypes ? s.text + s.types.join(u',') : s.text;
        if (seen.contains(key))
            continue;
        seen.insert(key);
        QString line = QString::number(s.types.size()) + u'\t' + s.text;
        if (withTypes && !s.types.isEmpty())
            line += QStringLiteral("\t-- ") + s.types.join(QStringLiteral(", "));
        std::printf("%s\n", line.toUtf8().constData());
    }
    return 0;
}
