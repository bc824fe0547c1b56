#include "platform/Error.h"
#include "shipping/DecimalText.h"

#include <QTest>

using namespace tv;

class TestDecimalText : public QObject {
    Q_OBJECT
private slots:
    void grams_data();
    void grams();
    void number_data();
    void number();
    void generalForm_data();
    void generalForm();
    void kilograms_data();
    void kilograms();
};

void TestDecimalText::grams_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("grams");

    QTest::newRow("whole kilograms") << "2" << true << 2000;
    QTest::newRow("three decimals") << "1.250" << true << 1250;
    QTest::newRow("1.005 exact, no binary rounding") << "1.005" << true << 1005;
    QTest::newRow("fraction of a gram dropped") << "1.2345" << true << 1234;
    QTest::newRow("negative truncated toward zero") << "-0.0005" << true << 0;
    QTest::newRow("negative") << "-0.5" << true << -500;
    QTest::newRow("plus sign") << "+0.25" << true << 250;
    QTest::newRow("trailing point") << "1." << true << 1000;
    QTest::newRow("leading point") << ".5" << true << 500;
    QTest::newRow("blanks around") << "  0.75 " << true << 750;
    QTest::newRow("exponent") << "1e-3" << true << 1;
    QTest::newRow("exponent upper case with sign") << "2.5E+1" << true << 25000;
    QTest::newRow("huge negative exponent") << "7e-99999999999" << true << 0;
    QTest::newRow("zero with huge exponent") << "0e99999999999" << true << 0;
    QTest::newRow("many leading zeros") << "000000000000001.5" << true << 1500;
    QTest::newRow("largest") << "2147483.647" << true << 2147483647;
    QTest::newRow("smallest") << "-2147483.648" << true << int(-2147483648LL);
    QTest::newRow("one above largest") << "2147483.648" << false << 0;
    QTest::newRow("far out of range") << "1e12" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blank") << "   " << false << 0;
    QTest::newRow("lone point") << "." << false << 0;
    QTest::newRow("lone minus") << "-" << false << 0;
    QTest::newRow("sign and point") << "-." << false << 0;
    QTest::newRow("two points") << "1.2.3" << false << 0;
    QTest::newRow("two signs") << "--1" << false << 0;
    QTest::newRow("blank after sign") << "- 1" << false << 0;
    QTest::newRow("exponent without digits") << "1e" << false << 0;
    QTest::newRow("exponent without mantissa") << "e3" << false << 0;
    QTest::newRow("comma separator") << "1,5" << false << 0;
    QTest::newRow("unit after number") << "1.2kg" << false << 0;
    QTest::newRow("full-width digits") << "１.２" << false << 0;
    QTest::newRow("scale not connected") << "电子秤未连接" << false << 0;
    QTest::newRow("negative warning") << "警告：重量为负!" << false << 0;
    QTest::newRow("unit warning") << "警告：单位错误!" << false << 0;
    QTest::newRow("hex") << "0x10" << false << 0;
    QTest::newRow("infinity") << "inf" << false << 0;
}

void TestDecimalText::grams() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, grams);
    if (valid) {
        QCOMPARE(kilogramTextToGrams(text), grams);
        return;
    }
    try {
        kilogramTextToGrams(text);
        QFAIL("accepted a text that is not a number");
    } catch (const Error& e) {
        QCOMPARE(e.message(), QStringLiteral("\"%1\" is not a valid number.").arg(text));
    }
}

void TestDecimalText::number_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");

    QTest::newRow("decimal") << "7.5" << true << 7.5;
    QTest::newRow("leading point") << ".25" << true << 0.25;
    QTest::newRow("trailing point") << "12." << true << 12.0;
    QTest::newRow("negative with blanks") << " -3 " << true << -3.0;
    QTest::newRow("exponent") << "1.5e2" << true << 150.0;
    QTest::newRow("one tenth as the nearest double") << "0.1" << true << 0.1;
    QTest::newRow("overflow") << "1e400" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("lone point") << "." << false << 0.0;
    QTest::newRow("word") << "免邮" << false << 0.0;
}

void TestDecimalText::number() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    if (valid) {
        QCOMPARE(decimalTextToDouble(text), value);
        return;
    }
    QVERIFY_THROWS_EXCEPTION(Error, decimalTextToDouble(text));
}

void TestDecimalText::generalForm_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("fraction") << 12.5 << "12.5";
    QTest::newRow("whole") << 100.0 << "100";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("negative") << -7.25 << "-7.25";
    QTest::newRow("15 significant digits") << 0.1 + 0.2 << "0.3";
    QTest::newRow("difference of money") << 100.0 - 80.0 - 7.5 << "12.5";
}

void TestDecimalText::generalForm() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(generalNumber(value), text);
}

void TestDecimalText::kilograms_data() {
    QTest::addColumn<qint64>("grams");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0.000";
    QTest::newRow("grams only") << qint64(50) << "0.050";
    QTest::newRow("kilograms") << qint64(1250) << "1.250";
    QTest::newRow("negative below one kilogram") << qint64(-500) << "-0.500";
    QTest::newRow("negative") << qint64(-1234) << "-1.234";
    QTest::newRow("beyond 32 bits") << qint64(-4294967295LL) << "-4294967.295";
}

void TestDecimalText::kilograms() {
    QFETCH(qint64, grams);
    QFETCH(QString, text);
    QCOMPARE(gramsAsKilograms(grams), text);
}

QTEST_APPLESS_MAIN(TestDecimalText)
#include "tst_decimaltext.moc"
