#include "platform/Database.h"
#include "platform/Error.h"
#include "postage/Postage.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tv;

namespace {

const QString kMethod = QStringLiteral("圆通速递");

// One rule row; B = 1000, F0 = 10, D = 500, F1 = 5 unless given.
void addRule(Connection& c, const QString& method, const QString& province, int start, int end,
             double firstFee = 10, int detaWeight = 500) {
    insertRow(c, QStringLiteral("rule"),
              {{QStringLiteral("Express"), method},
               {QStringLiteral("Province"), province},
               {QStringLiteral("RuleIndex"), QStringLiteral("2024-01-01-08-00-00")},
               {QStringLiteral("StartWeight"), start},
               {QStringLiteral("EndWeight"), end},
               {QStringLiteral("BeginChargeWeight"), 1000},
               {QStringLiteral("BeginChargeFee"), firstFee},
               {QStringLiteral("DetaWeight"), detaWeight},
               {QStringLiteral("DetaFee"), 5.0}});
}

} // namespace

class TestPostage : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void formula_data();
    void formula();
    void lookup_data();
    void lookup();
    void noAdditionalStep();

private:
    QTemporaryDir* m_dir = nullptr;
    Connection* m_config = nullptr;
};

void TestPostage::init() {
    m_dir = new QTemporaryDir;
    m_config = new Connection;
    test::openConfig(*m_config, test::createConfigDb(m_dir->path()));
}

void TestPostage::cleanup() {
    delete m_config;
    delete m_dir;
}

void TestPostage::formula_data() {
    QTest::addColumn<int>("grams");
    QTest::addColumn<double>("postage");
    QTest::newRow("first weight exactly") << 1000 << 10.0;
    QTest::newRow("one gram above: a started step") << 1001 << 15.0;
    QTest::newRow("one whole step") << 1500 << 15.0;
    QTest::newRow("a second started step") << 1501 << 20.0;
    QTest::newRow("2400 g") << 2400 << 25.0;
    QTest::newRow("one gram") << 1 << 10.0;
}

void TestPostage::formula() {
    QFETCH(int, grams);
    QFETCH(double, postage);
    addRule(*m_config, kMethod, QStringLiteral("浙江省"), 0, 50000);
    QCOMPARE(ComputePostage(*m_config, kMethod, QStringLiteral("浙江省"), grams), postage);
}

void TestPostage::lookup_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("province");
    QTest::addColumn<int>("grams");
    QTest::addColumn<double>("postage");

    // Rows: 浙江省 (0,1000] F0 10 and (1000,3000] F0 20; provinces holding pattern characters
    // and a method holding a quote, all (0,1000]. F0 tells the matched row apart.
    QTest::newRow("equal to EndWeight of one row and StartWeight of the next: the lower")
        << kMethod << "浙江省" << 1000 << 10.0;
    QTest::newRow("above StartWeight: the upper row") << kMethod << "浙江省" << 1001 << 25.0;
    QTest::newRow("equal to the last EndWeight") << kMethod << "浙江省" << 3000 << 40.0;
    QTest::newRow("above every interval") << kMethod << "浙江省" << 3001 << 0.0;
    QTest::newRow("zero grams finds no row") << kMethod << "浙江省" << 0 << 0.0;
    QTest::newRow("negative finds no row") << kMethod << "浙江省" << -500 << 0.0;
    QTest::newRow("prefix of the stored name") << kMethod << "浙江" << 800 << 10.0;
    QTest::newRow("longer than the stored name") << kMethod << "浙江省杭州市" << 800 << 0.0;
    QTest::newRow("empty province matches any") << kMethod << "" << 2000 << 30.0;
    QTest::newRow("method without a rule") << "顺丰速运"
                                           << "浙江省" << 800 << 0.0;
    QTest::newRow("method case-insensitive") << "ems"
                                             << "北京" << 800 << 30.0;
    QTest::newRow("percent is plain") << kMethod << "%江省" << 800 << 0.0;
    QTest::newRow("underscore is plain") << kMethod << "_江省" << 800 << 0.0;
    QTest::newRow("stored percent found") << kMethod << "5%" << 800 << 11.0;
    QTest::newRow("stored underscore found") << kMethod << "a_" << 800 << 12.0;
    QTest::newRow("bracket is plain") << kMethod << "[浙]" << 800 << 13.0;
    QTest::newRow("bracket not a class") << kMethod << "[浙]江省" << 800 << 0.0;
    QTest::newRow("backslash is plain") << kMethod << "x\\y" << 800 << 14.0;
    QTest::newRow("quote in province") << kMethod << "o'b" << 800 << 15.0;
    QTest::newRow("quote in method") << "O'Neil快递"
                                     << "上海" << 800 << 16.0;
    QTest::newRow("injection finds nothing") << "' or '1'='1"
                                             << "" << 800 << 0.0;
}

void TestPostage::lookup() {
    QFETCH(QString, method);
    QFETCH(QString, province);
    QFETCH(int, grams);
    QFETCH(double, postage);
    Transaction rows(*m_config); // one disk sync for the fixture rows
    addRule(*m_config, kMethod, QStringLiteral("浙江省"), 0, 1000, 10);
    addRule(*m_config, kMethod, QStringLiteral("浙江省"), 1000, 3000, 20);
    addRule(*m_config, kMethod, QStringLiteral("5%省"), 0, 1000, 11);
    addRule(*m_config, kMethod, QStringLiteral("a_b"), 0, 1000, 12);
    addRule(*m_config, kMethod, QStringLiteral("[浙]"), 0, 1000, 13);
    addRule(*m_config, kMethod, QStringLiteral("x\\y省"), 0, 1000, 14);
    addRule(*m_config, kMethod, QStringLiteral("o'b"), 0, 1000, 15);
    addRule(*m_config, QStringLiteral("O'Neil快递"), QStringLiteral("上海"), 0, 1000, 16);
    addRule(*m_config, QStringLiteral("EMS"), QStringLiteral("北京"), 0, 1000, 30);
    rows.commit();
    QCOMPARE(ComputePostage(*m_config, method, province, grams), postage);
}

void TestPostage::noAdditionalStep() {
    addRule(*m_config, kMethod, QStringLiteral("浙江省"), 0, 5000, 10, 0);
    QCOMPARE(ComputePostage(*m_config, kMethod, QStringLiteral("浙江省"), 1000), 10.0);
    try {
        ComputePostage(*m_config, kMethod, QStringLiteral("浙江省"), 1001);
        QFAIL("priced a weight above the first weight without a step");
    } catch (const Error& e) {
        QCOMPARE(e.message(),
                 QStringLiteral("The postage rule of \"圆通速递\" for \"浙江省\" has an additional "
                                "weight of 0 g and cannot price 1001 g above its first weight "
                                "of 1000 g."));
    }
}

QTEST_APPLESS_MAIN(TestPostage)
#include "tst_postage.moc"
