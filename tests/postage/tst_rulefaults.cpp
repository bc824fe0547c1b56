// Rule saves meeting another process on the configuration file: its write lock (waited for when
// short, an error when long), and a reader that keeps the save from committing. No old rule is
// lost and no new one half written. Method and province names full of quotes and pattern
// characters are stored and found exactly.
#include "platform/Database.h"
#include "platform/Error.h"
#include "postage/Postage.h"
#include "postage/RuleStore.h"
#include "support/SqliteLock.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tv;
using test::LockTimes;
using test::SqliteLock;

namespace {

QList<RuleInterval> intervals(const QString& firstFee) {
    return {{QStringLiteral("0"), QStringLiteral("1000"), QStringLiteral("1000"), firstFee,
             QStringLiteral("500"), QStringLiteral("5")},
            {QStringLiteral("1000"), QStringLiteral("5000"), QStringLiteral("1000"), firstFee,
             QStringLiteral("500"), QStringLiteral("5")}};
}

QStringList table(Connection& c) {
    QStringList out;
    for (const Record& r : selectRows(c, QStringLiteral("select * from [rule] order by [ID]"))) {
        QStringList f;
        for (const char* col :
             {"Express", "Province", "RuleIndex", "StartWeight", "EndWeight", "BeginChargeFee"})
            f.append(r.text(QLatin1String(col)));
        out.append(f.join(u'|'));
    }
    return out;
}

} // namespace

class TestRuleFaults : public QObject {
    Q_OBJECT

    test::ScopedBusyTimeout m_busyTimeout; // before any connection opens
    QTemporaryDir m_dir;
    QString m_path;
    Connection m_config;

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_path = test::createConfigDb(m_dir.path());
        test::openConfig(m_config, m_path);
        QVERIFY(SaveRule(m_config, QStringLiteral("圆通速递"),
                         {QStringLiteral("北京"), QStringLiteral("上海")},
                         intervals(QStringLiteral("10"))));
    }
    void cleanup() {
        m_config.close();
        QFile::remove(m_path);
    }

    void saveAgainstAnotherProcess_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<bool>("saved");
        QTest::newRow("short write lock")
            << int(SqliteLock::Kind::Write) << LockTimes::ShortHoldMs << true;
        QTest::newRow("long write lock")
            << int(SqliteLock::Kind::Write) << LockTimes::LongHoldMs << false;
        QTest::newRow("long read before the commit")
            << int(SqliteLock::Kind::Read) << LockTimes::LongHoldMs << false;
    }
    void saveAgainstAnotherProcess() {
        QFETCH(int, kind);
        QFETCH(int, holdMs);
        QFETCH(bool, saved);
        const QStringList before = table(m_config);
        SqliteLock lock(m_path, SqliteLock::Kind(kind), holdMs);
        QVERIFY(lock.held());
        bool ok = false;
        QString error;
        try {
            ok = SaveRule(m_config, QStringLiteral("圆通速递"),
                          {QStringLiteral("北京"), QStringLiteral("上海")},
                          intervals(QStringLiteral("12")));
        } catch (const Error& e) {
            error = e.message();
        }
        lock.release();
        QCOMPARE(ok, saved);
        if (saved) {
            QVERIFY(error.isEmpty());
            QCOMPARE(
                ComputePostage(m_config, QStringLiteral("圆通速递"), QStringLiteral("上海"), 900),
                12.0);
            QCOMPARE(table(m_config).size(), 4);
        } else {
            QVERIFY2(error.contains(QStringLiteral("locked")), qPrintable(error));
            QCOMPARE(table(m_config), before);
            // The connection is usable again: the next save goes through.
            QVERIFY(SaveRule(m_config, QStringLiteral("圆通速递"), {QStringLiteral("北京")},
                             intervals(QStringLiteral("12"))));
        }
    }

    void namesWithQuotesAndPatterns_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("province");
        QTest::newRow("quotes") << QStringLiteral("O'Neil \"快递\"") << QStringLiteral("北'京");
        QTest::newRow("statement") << QStringLiteral("x'; delete from rule; --")
                                   << QStringLiteral("'); drop table rule; --");
        QTest::newRow("patterns") << QStringLiteral("%") << QStringLiteral("_");
        QTest::newRow("escapes") << QStringLiteral("a\\b[c]") << QStringLiteral("\\%[");
        QTest::newRow("4-byte and long")
            << QStringLiteral("😀").repeated(3000) << QStringLiteral("𠀀;{}").repeated(2000);
    }
    void namesWithQuotesAndPatterns() {
        QFETCH(QString, method);
        QFETCH(QString, province);
        // Neighbours a widened match would find first.
        QVERIFY(SaveRule(m_config, method + QStringLiteral("x"), {province},
                         intervals(QStringLiteral("90"))));
        QVERIFY(SaveRule(m_config, method, {QStringLiteral("X") + province},
                         intervals(QStringLiteral("80"))));
        QVERIFY(SaveRule(m_config, method, {province + QStringLiteral("省")},
                         intervals(QStringLiteral("7"))));
        QCOMPARE(ComputePostage(m_config, method, province, 900), 7.0);
        QCOMPARE(ComputePostage(m_config, method, province + QStringLiteral("省"), 900), 7.0);
        // A pattern character in the order's province is a character, not a wildcard.
        QCOMPARE(ComputePostage(m_config, method, u'%' + province.mid(2), 900), 0.0);
        if (!province.contains(u'_'))
            QCOMPARE(ComputePostage(m_config, method, QString(province.size(), u'_'), 900), 0.0);
        QVERIFY(!FindRuleIndex(m_config, method, province + QStringLiteral("省")).isEmpty());
        QVERIFY(FindRuleIndex(m_config, method, province).isEmpty());
        // The original rule is still there and the names come back unchanged.
        QCOMPARE(ComputePostage(m_config, QStringLiteral("圆通速递"), QStringLiteral("北京"), 900),
                 10.0);
        const QList<Record> rows =
            LoadPairIntervals(m_config, method, province + QStringLiteral("省"));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].text(QStringLiteral("Express")), method);
        QCOMPARE(rows[0].text(QStringLiteral("Province")), province + QStringLiteral("省"));
    }
};

QTEST_GUILESS_MAIN(TestRuleFaults)
#include "tst_rulefaults.moc"
