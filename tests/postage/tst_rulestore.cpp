#include "platform/Database.h"
#include "platform/Error.h"
#include "postage/RuleStore.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tv;

namespace {

const QString kM = QStringLiteral("圆通速递");
const QString kN = QStringLiteral("申通快递");
const QString kBeijing = QStringLiteral("北京");
const QString kShanghai = QStringLiteral("上海");

// Intervals ending at the given weights, each starting where the one before ends.
QList<RuleInterval> intervals(const QList<int>& ends) {
    QList<RuleInterval> out;
    int start = 0;
    for (int end : ends) {
        out.append({QString::number(start), QString::number(end), QStringLiteral("1000"),
                    QStringLiteral("10"), QStringLiteral("500"), QStringLiteral("5")});
        start = end;
    }
    return out;
}

// Every row as "Express|Province|RuleIndex|Start|End|B|F0|D|F1", in the order written.
QStringList table(Connection& c) {
    QStringList out;
    for (const Record& r : selectRows(c, QStringLiteral("select * from [rule] order by [ID]"))) {
        QStringList f;
        for (const char* col : {"Express", "Province", "RuleIndex", "StartWeight", "EndWeight",
                                "BeginChargeWeight", "BeginChargeFee", "DetaWeight", "DetaFee"})
            f.append(r.text(QLatin1String(col)));
        out.append(f.join(u'|'));
    }
    return out;
}

QDateTime at(const QString& time) {
    return QDateTime(QDate(2012, 3, 7), QTime::fromString(time, QStringLiteral("hh:mm:ss")));
}

} // namespace

class TestRuleStore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void stampFormat();
    void saveTwoProvinces();
    void resaveTakesPairFromOlderRule();
    void otherMethodLeavesFirstUntouched();
    void gapEndsTheIntervals();
    void check_data();
    void check();
    void failureMidSaveLeavesTable_data();
    void failureMidSaveLeavesTable();
    void sameSecondSavesStayApart();
    void quoteInMethod();
    void readers();
    void groupRuleLines_data();
    void groupRuleLines();
    void draftRoundTrip();
    void draftRefused_data();
    void draftRefused();
    void draftLoadLimits();

private:
    void setClock(const QString& time) {
        const QDateTime t = at(time);
        setRuleClock([t] { return t; });
    }

    QTemporaryDir* m_dir = nullptr;
    Connection* m_config = nullptr;
};

void TestRuleStore::init() {
    m_dir = new QTemporaryDir;
    m_config = new Connection;
    test::openConfig(*m_config, test::createConfigDb(m_dir->path()));
    setClock(QStringLiteral("14:05:09"));
}

void TestRuleStore::cleanup() {
    setRuleClock({});
    delete m_config;
    delete m_dir;
}

void TestRuleStore::stampFormat() {
    QCOMPARE(MakeRuleIndex(QDateTime(QDate(2012, 3, 7), QTime(14, 5, 9))),
             QStringLiteral("2012-03-07-14-05-09"));
    QCOMPARE(MakeRuleIndex(QDateTime(QDate(987, 12, 31), QTime(0, 0, 0))),
             QStringLiteral("0987-12-31-00-00-00"));
    QCOMPARE(MakeRuleIndex(), QStringLiteral("2012-03-07-14-05-09"));
}

void TestRuleStore::saveTwoProvinces() {
    QVERIFY(SaveRule(*m_config, kM, {kBeijing, kShanghai}, intervals({500, 1000, 2000})));
    const QString s = QStringLiteral("2012-03-07-14-05-09");
    QCOMPARE(table(*m_config), QStringList({kM + "|北京|" + s + "|0|500|1000|10|500|5",
                                            kM + "|北京|" + s + "|500|1000|1000|10|500|5",
                                            kM + "|北京|" + s + "|1000|2000|1000|10|500|5",
                                            kM + "|上海|" + s + "|0|500|1000|10|500|5",
                                            kM + "|上海|" + s + "|500|1000|1000|10|500|5",
                                            kM + "|上海|" + s + "|1000|2000|1000|10|500|5"}));
}

void TestRuleStore::resaveTakesPairFromOlderRule() {
    QVERIFY(SaveRule(*m_config, kM, {kBeijing, kShanghai}, intervals({500, 1000, 2000})));
    setClock(QStringLiteral("15:00:00"));
    QVERIFY(SaveRule(*m_config, kM, {kShanghai}, intervals({3000})));
    const QString old = QStringLiteral("2012-03-07-14-05-09");
    const QString now = QStringLiteral("2012-03-07-15-00-00");
    QCOMPARE(table(*m_config), QStringList({kM + "|北京|" + old + "|0|500|1000|10|500|5",
                                            kM + "|北京|" + old + "|500|1000|1000|10|500|5",
                                            kM + "|北京|" + old + "|1000|2000|1000|10|500|5",
                                            kM + "|上海|" + now + "|0|3000|1000|10|500|5"}));
    QCOMPARE(FindRuleIndex(*m_config, kM, kBeijing), old);
}

void TestRuleStore::otherMethodLeavesFirstUntouched() {
    QVERIFY(SaveRule(*m_config, kM, {kBeijing, kShanghai}, intervals({500, 1000})));
    const QStringList before = table(*m_config);
    setClock(QStringLiteral("15:00:00"));
    QVERIFY(SaveRule(*m_config, kN, {kShanghai}, intervals({800})));
    const QStringList after = table(*m_config);
    QCOMPARE(after.mid(0, before.size()), before);
    QCOMPARE(after.mid(before.size()),
             QStringList({kN + "|上海|2012-03-07-15-00-00|0|800|1000|10|500|5"}));
}

void TestRuleStore::gapEndsTheIntervals() {
    // The editor's rows 1, 2 and 4 are complete; row 3 lacks its step fee.
    QList<RuleInterval> rows = intervals({500, 1000, 2000, 3000});
    rows[2].DetaFee.clear();
    for (int n = 4; n < 9; ++n)
        rows.append({QStringLiteral("3000"), {}, {}, {}, {}, {}});
    const QList<RuleInterval> written = completeIntervals(rows);
    QCOMPARE(written.size(), 2);
    QVERIFY(SaveRule(*m_config, kM, {kBeijing, kShanghai}, written));
    const QStringList t = table(*m_config);
    QCOMPARE(t.size(), 4);
    QVERIFY(t[1].contains(QStringLiteral("|500|1000|")));
    QVERIFY(t[3].contains(QStringLiteral("上海|2012-03-07-14-05-09|500|1000|")));
}

void TestRuleStore::check_data() {
    QTest::addColumn<int>("field"); // 0..5 as in RuleInterval
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("stored"); // the column read back as text

    QTest::newRow("zero weights as typed") << 2 << "0" << true << "0";
    QTest::newRow("six zeros") << 4 << "000000" << true << "0";
    QTest::newRow("zero fee") << 3 << "0" << true << "0";
    QTest::newRow("zero fee with point") << 5 << "0.0" << true << "0";
    QTest::newRow("fee with point first") << 3 << ".5" << true << "0.5";
    QTest::newRow("fee with point last") << 5 << "5." << true << "5";
    QTest::newRow("fee 12.5") << 3 << "12.5" << true << "12.5";
    QTest::newRow("lone point fee") << 3 << "." << false << "";
    QTest::newRow("two points") << 5 << "1.2.3" << false << "";
    QTest::newRow("empty fee") << 5 << "" << false << "";
    QTest::newRow("letter in fee") << 3 << "1e5" << false << "";
    QTest::newRow("seven digits") << 1 << "1234567" << false << "";
    QTest::newRow("weight with point") << 2 << "1.5" << false << "";
    QTest::newRow("negative weight") << 4 << "-5" << false << "";
    QTest::newRow("empty start weight") << 0 << "" << false << "";
    QTest::newRow("full-width digit") << 1 << "５００" << false << "";
}

void TestRuleStore::check() {
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(bool, saved);
    QFETCH(QString, stored);

    // An older rule of the same pair must survive a refused save.
    QVERIFY(SaveRule(*m_config, kM, {kBeijing, kShanghai}, intervals({500})));
    const QStringList before = table(*m_config);

    QList<RuleInterval> rows = intervals({400, 900});
    QString* fields[] = {&rows[1].StartWeight,    &rows[1].EndWeight,  &rows[1].BeginChargeWeight,
                         &rows[1].BeginChargeFee, &rows[1].DetaWeight, &rows[1].DetaFee};
    *fields[field] = text;
    setClock(QStringLiteral("15:00:00"));
    QCOMPARE(SaveRule(*m_config, kM, {kBeijing, kShanghai}, rows), saved);
    if (!saved) {
        QCOMPARE(table(*m_config), before);
        return;
    }
    const QStringList t = table(*m_config);
    QCOMPARE(t.size(), 4);
    QCOMPARE(t[1].split(u'|')[3 + field], stored);
}

void TestRuleStore::failureMidSaveLeavesTable_data() {
    QTest::addColumn<QString>("trigger");
    QTest::newRow("insert of the second province fails")
        << "create trigger [fail] before insert on [rule] when new.[Province] = '上海' "
           "begin select raise(abort, 'disk full'); end";
    QTest::newRow("delete of the second pair fails")
        << "create trigger [fail] before delete on [rule] when old.[Province] = '上海' "
           "begin select raise(abort, 'disk full'); end";
    QTest::newRow("last row of the save fails")
        << "create trigger [fail] before insert on [rule] when new.[Province] = '上海' "
           "and new.[EndWeight] = 900 begin select raise(abort, 'disk full'); end";
}

void TestRuleStore::failureMidSaveLeavesTable() {
    QFETCH(QString, trigger);
    QVERIFY(SaveRule(*m_config, kM, {kBeijing, kShanghai}, intervals({500, 1000})));
    const QStringList before = table(*m_config);
    execute(*m_config, trigger);

    setClock(QStringLiteral("15:00:00"));
    QVERIFY_THROWS_EXCEPTION(Error,
                             SaveRule(*m_config, kM, {kBeijing, kShanghai}, intervals({700, 900})));
    QVERIFY(!m_config->inTransaction());
    QCOMPARE(table(*m_config), before);
}

void TestRuleStore::sameSecondSavesStayApart() {
    setClock(QStringLiteral("10:00:00"));
    for (const QString& p : {kBeijing, kShanghai, QStringLiteral("天津")})
        QVERIFY(SaveRule(*m_config, kM, {p}, intervals({500})));
    QStringList stamps;
    for (const RuleRow& r : ListRuleRows(*m_config))
        stamps.append(r.RuleIndex + u' ' + r.Province);
    QCOMPARE(stamps, QStringList({"2012-03-07-10-00-00 北京", "2012-03-07-10-00-01 上海",
                                  "2012-03-07-10-00-02 天津"}));

    // A save one second later follows the ones already ahead of the clock.
    setClock(QStringLiteral("10:00:01"));
    QVERIFY(SaveRule(*m_config, kN, {kBeijing}, intervals({500})));
    QCOMPARE(FindRuleIndex(*m_config, kN, kBeijing), QStringLiteral("2012-03-07-10-00-03"));

    // Deleting one rule removes only its own rows.
    DeleteRule(*m_config, QStringLiteral("2012-03-07-10-00-01"));
    QCOMPARE(table(*m_config).size(), 3);
    QCOMPARE(FindRuleIndex(*m_config, kM, kShanghai), QString());

    // Across midnight the stamp still grows as text.
    setClock(QStringLiteral("23:59:59"));
    QVERIFY(SaveRule(*m_config, kM, {kBeijing}, intervals({1})));
    QVERIFY(SaveRule(*m_config, kM, {kShanghai}, intervals({1})));
    QCOMPARE(FindRuleIndex(*m_config, kM, kShanghai), QStringLiteral("2012-03-08-00-00-00"));
}

void TestRuleStore::quoteInMethod() {
    const QString odd = QStringLiteral("O'Brien \"速递\" [x] %_");
    const QString injection = QStringLiteral("x' or '1'='1");
    QVERIFY(SaveRule(*m_config, kM, {kBeijing}, intervals({500})));
    setClock(QStringLiteral("15:00:00"));
    QVERIFY(SaveRule(*m_config, odd, {kBeijing}, intervals({500, 900})));

    QCOMPARE(FindRuleIndex(*m_config, odd, kBeijing), QStringLiteral("2012-03-07-15-00-00"));
    QCOMPARE(LoadPairIntervals(*m_config, odd, kBeijing).size(), 2);
    QCOMPARE(LoadRuleRows(*m_config, QStringLiteral("2012-03-07-15-00-00")).first().text("Express"),
             odd);

    DeletePairRows(*m_config, injection, kBeijing);
    DeleteRule(*m_config, injection);
    QCOMPARE(table(*m_config).size(), 3);
    DeletePairRows(*m_config, odd, kBeijing);
    QCOMPARE(table(*m_config).size(), 1);
}

void TestRuleStore::readers() {
    // Rows put in out of order, as an outside change could leave them.
    const auto add = [&](const QString& method, const QString& province, const QString& stamp,
                         int start, int end) {
        insertRow(*m_config, QStringLiteral("rule"),
                  {{"Express", method},
                   {"Province", province},
                   {"RuleIndex", stamp},
                   {"StartWeight", start},
                   {"EndWeight", end},
                   {"BeginChargeWeight", 1000},
                   {"BeginChargeFee", 10.5},
                   {"DetaWeight", 500},
                   {"DetaFee", 5}});
    };
    const QString s1 = QStringLiteral("2012-03-07-10-00-00");
    const QString s2 = QStringLiteral("2011-01-01-00-00-00");
    add(kM, kShanghai, s1, 1000, 2000);
    add(kM, kShanghai, s1, 0, 1000);
    add(kM, kBeijing, s1, 1000, 2000);
    add(kM, kBeijing, s1, 0, 1000);
    add(kN, kBeijing, s2, 0, 700);

    QStringList pair;
    for (const Record& r : LoadPairIntervals(*m_config, kM, kShanghai))
        pair.append(r.text("StartWeight"));
    QCOMPARE(pair, QStringList({"0", "1000"}));

    QStringList rule;
    for (const Record& r : LoadRuleRows(*m_config, s1))
        rule.append(r.text("Province"));
    // Text order of the stored UTF-8: 上海 sorts before 北京.
    QCOMPARE(rule, QStringList({kShanghai, kShanghai, kBeijing, kBeijing}));

    QStringList all;
    for (const RuleRow& r : ListRuleRows(*m_config))
        all.append(r.RuleIndex.left(4) + u' ' + r.Province + u' ' + QString::number(r.EndWeight) +
                   u' ' + QString::number(r.BeginChargeFee));
    QCOMPARE(all, QStringList({"2011 北京 700 10.5", "2012 上海 1000 10.5", "2012 上海 2000 10.5",
                               "2012 北京 1000 10.5", "2012 北京 2000 10.5"}));

    QCOMPARE(LoadPairIntervals(*m_config, kN, kShanghai).size(), 0);
    QCOMPARE(FindRuleIndex(*m_config, kN, kShanghai), QString());
    DeleteRule(*m_config, QString());
    QCOMPARE(table(*m_config).size(), 5);
    QCOMPARE(LoadPairIntervals(*m_config, kM, kBeijing).first().text("BeginChargeFee"),
             QStringLiteral("10.5"));
}

void TestRuleStore::groupRuleLines_data() {
    QTest::addColumn<QStringList>("rows");  // "stamp|method|province|end", in list order
    QTest::addColumn<QStringList>("lines"); // "method|provinces|largest end"
    QTest::newRow("no rows") << QStringList() << QStringList();
    QTest::newRow("one rule, two provinces")
        << QStringList{"s1|M|北京|500", "s1|M|北京|1000", "s1|M|上海|500", "s1|M|上海|1000"}
        << QStringList{"M|北京;上海;|1000"};
    QTest::newRow("one line per stamp")
        << QStringList{"s1|M|北京|500", "s2|N|北京|700", "s3|M|上海|900"}
        << QStringList{"M|北京;|500", "N|北京;|700", "M|上海;|900"};
    QTest::newRow("largest end, not the last row")
        << QStringList{"s1|M|北京|9000", "s1|M|上海|200"} << QStringList{"M|北京;上海;|9000"};
    QTest::newRow("a province again after another: twice")
        << QStringList{"s1|M|北京|500", "s1|N|上海|500", "s1|N|北京|500"}
        << QStringList{"N|北京;上海;北京;|500"};
    QTest::newRow("a run restarts with a new stamp")
        << QStringList{"s1|M|北京|500", "s2|M|北京|600"}
        << QStringList{"M|北京;|500", "M|北京;|600"};
    QTest::newRow("rows without a stamp join the first rule")
        << QStringList{"|M|西藏|100", "s1|M|北京|500", "s2|M|上海|600"}
        << QStringList{"M|西藏;北京;|500", "M|上海;|600"};
}

void TestRuleStore::groupRuleLines() {
    QFETCH(QStringList, rows);
    QFETCH(QStringList, lines);
    QList<RuleRow> in;
    for (const QString& r : rows) {
        const QStringList f = r.split(u'|');
        RuleRow row;
        row.RuleIndex = f[0];
        row.Express = f[1];
        row.Province = f[2];
        row.EndWeight = f[3].toInt();
        in.append(row);
    }
    QStringList out;
    for (const RuleLine& l : GroupRuleLines(in))
        out.append(l.method + u'|' + l.provinces + u'|' + QString::number(l.largestEnd));
    QCOMPARE(out, lines);
}

void TestRuleStore::draftRoundTrip() {
    RuleDraft d;
    d.method = kM;
    d.provinceText = QStringLiteral("北京;上海;");
    d.provinces = {kBeijing, kShanghai};
    d.rows = intervals({500, 1000});
    d.rows[1].BeginChargeFee = QStringLiteral("12.5");
    // The editor always hands over nine rows; the empty ones are not written.
    for (int n = 2; n < 9; ++n)
        d.rows.append({QStringLiteral("1000"), {}, {}, {}, {}, {}});
    QVERIFY(SaveRuleDraft(*m_config, d));
    QCOMPARE(table(*m_config).size(), 4);

    const RuleDraft back = LoadRuleDraft(*m_config, kM, kShanghai);
    QCOMPARE(back.method, kM);
    // The rule's provinces in stored text order, each once.
    QCOMPARE(back.provinces, QStringList({kShanghai, kBeijing}));
    QCOMPARE(back.provinceText, QStringLiteral("上海;北京;"));
    QCOMPARE(back.rows.size(), 2);
    for (int k = 0; k < 2; ++k) {
        const RuleInterval& a = d.rows[k];
        const RuleInterval& b = back.rows[k];
        QCOMPARE(QStringList({b.StartWeight, b.EndWeight, b.BeginChargeWeight, b.BeginChargeFee,
                              b.DetaWeight, b.DetaFee}),
                 QStringList({a.StartWeight, a.EndWeight, a.BeginChargeWeight, a.BeginChargeFee,
                              a.DetaWeight, a.DetaFee}));
    }

    // Saving the loaded draft again under a later stamp gives the same rows.
    setClock(QStringLiteral("15:00:00"));
    const QStringList before = table(*m_config);
    QVERIFY(SaveRuleDraft(*m_config, back));
    QStringList after = table(*m_config);
    after.replaceInStrings(QStringLiteral("2012-03-07-15-00-00"),
                           QStringLiteral("2012-03-07-14-05-09"));
    after.sort();
    QStringList expected = before;
    expected.sort();
    QCOMPARE(after, expected);
}

void TestRuleStore::draftRefused_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QStringList>("provinces"); // written, when saved
    QTest::newRow("as typed") << ""
                              << "" << true << QStringList{kBeijing};
    QTest::newRow("no method") << "method"
                               << "" << false << QStringList();
    QTest::newRow("no province text") << "provinceText"
                                      << "" << false << QStringList();
    QTest::newRow("province text without a check") << "provinces"
                                                   << "" << false << QStringList();
    QTest::newRow("the checks decide, not the text") << "provinceText"
                                                     << "西藏;" << true << QStringList{kBeijing};
    QTest::newRow("first end weight empty") << "EndWeight"
                                            << "" << false << QStringList();
    QTest::newRow("first step fee empty") << "DetaFee"
                                          << "" << false << QStringList();
    QTest::newRow("first fee not a number") << "BeginChargeFee"
                                            << "1.2.3" << false << QStringList();
    QTest::newRow("no rows") << "rows"
                             << "" << false << QStringList();
}

void TestRuleStore::draftRefused() {
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(bool, saved);
    QFETCH(QStringList, provinces);
    RuleDraft d;
    d.method = kM;
    d.provinceText = QStringLiteral("北京;");
    d.provinces = {kBeijing};
    d.rows = intervals({500});
    if (field == "method")
        d.method = value;
    else if (field == "provinceText")
        d.provinceText = value;
    else if (field == "provinces")
        d.provinces.clear();
    else if (field == "EndWeight")
        d.rows[0].EndWeight = value;
    else if (field == "DetaFee")
        d.rows[0].DetaFee = value;
    else if (field == "BeginChargeFee")
        d.rows[0].BeginChargeFee = value;
    else if (field == "rows")
        d.rows.clear();
    QCOMPARE(SaveRuleDraft(*m_config, d), saved);
    QStringList written;
    for (const QString& row : table(*m_config))
        written.append(row.section(u'|', 1, 1));
    written.removeDuplicates();
    QCOMPARE(written, provinces);
}

void TestRuleStore::draftLoadLimits() {
    // Eleven rows in one pair, as only an outside change leaves them: the editor has nine.
    Transaction t(*m_config);
    for (int k = 0; k < 11; ++k)
        insertRow(*m_config, QStringLiteral("rule"),
                  {{"Express", kM},
                   {"Province", kBeijing},
                   {"RuleIndex", QStringLiteral("2012-01-01-00-00-00")},
                   {"StartWeight", k * 100},
                   {"EndWeight", k * 100 + 100},
                   {"BeginChargeWeight", 1},
                   {"BeginChargeFee", 1},
                   {"DetaWeight", 1},
                   {"DetaFee", 1}});
    t.commit();
    const RuleDraft d = LoadRuleDraft(*m_config, kM, kBeijing);
    QCOMPARE(d.rows.size(), 9);
    QCOMPARE(d.rows.first().EndWeight, QStringLiteral("100"));
    QCOMPARE(d.rows.last().EndWeight, QStringLiteral("900"));
    QCOMPARE(d.provinces, QStringList{kBeijing});

    const RuleDraft none = LoadRuleDraft(*m_config, kN, kBeijing);
    QCOMPARE(none.method, kN);
    QVERIFY(none.rows.isEmpty());
    QVERIFY(none.provinces.isEmpty());
    QVERIFY(none.provinceText.isEmpty());
}

QTEST_GUILESS_MAIN(TestRuleStore)
#include "tst_rulestore.moc"
