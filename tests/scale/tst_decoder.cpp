#include "scale/ScaleDecoder.h"
#include "support/HistoryTarget.h"

#include <QtTest>

namespace {

const QString Negative = QStringLiteral("警告：重量为负!");
const QString WrongUnit = QStringLiteral("警告：单位错误!");

} // namespace

class TestDecoder : public QObject {
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
};

void TestDecoder::decode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("scaleType");
    QTest::addColumn<int>("portNo");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("pending"); // ScaleText after the last byte

    const QStringList none;
    QTest::newRow("digits and unit")
        << QByteArray("1.235kg\r\n") << 0 << 1 << QStringList{"1.235"} << "";
    QTest::newRow("letters, commas, blanks, plus dropped; zeros kept")
        << QByteArray("N,+  01.235kg\r\n") << 0 << 1 << QStringList{"01.235"} << "";
    QTest::newRow("stable line") << QByteArray("ST,GS,+  1.235kg\r\n") << 0 << 1
                                 << QStringList{"1.235"} << "";
    QTest::newRow("unstable line")
        << QByteArray("US,GS,+  0.998kg\r\n") << 1 << 1 << QStringList{"0.998"} << "";
    QTest::newRow("negative line")
        << QByteArray("ST,GS,-  0.005kg\r\n") << 0 << 1 << QStringList{Negative} << "";
    QTest::newRow("blank-separated line")
        << QByteArray("S S      1.235 kg\r\n") << 1 << 3 << QStringList{"1.235"} << "";
    QTest::newRow("pounds") << QByteArray("  2.50 lb\r\n") << 0 << 1 << QStringList{WrongUnit}
                            << "";
    QTest::newRow("p marks a wrong unit")
        << QByteArray("3.1 dwt p\r\n") << 0 << 1 << QStringList{WrongUnit} << "";
    QTest::newRow("minus after unit wins")
        << QByteArray("2.5lb-\r\n") << 0 << 1 << QStringList{Negative} << "";
    QTest::newRow("unit after minus wins")
        << QByteArray("-2.5lb\r\n") << 0 << 1 << QStringList{WrongUnit} << "";
    QTest::newRow("upper-case B and P are no unit")
        << QByteArray("1.0 LB P\r\n") << 0 << 1 << QStringList{"1.0"} << "";
    QTest::newRow("control and high bytes ignored") << QByteArray("\x02"
                                                                  "1.2\t3\x03\xb0\xff\r\n")
                                                    << 0 << 1 << QStringList{"1.23"} << "";
    QTest::newRow("empty line empties the field")
        << QByteArray("\r\n") << 0 << 1 << QStringList{""} << "";
    QTest::newRow("line without CR shows nothing")
        << QByteArray("1.235kg\n") << 0 << 1 << none << "";
    QTest::newRow("CR-only lines pile up") << QByteArray("1.235\r1.235\r") << 0 << 1
                                           << QStringList{"1.235", "1.2351.235"} << "1.2351.235";
    QTest::newRow("warning stays until a line feed")
        << QByteArray("-1\r2\r\n3\r\n") << 0 << 1 << QStringList{Negative, Negative, "3"} << "";
    QTest::newRow("LF first") << QByteArray("\n1.235\r") << 0 << 1 << QStringList{"1.235"}
                              << "1.235";
    QTest::newRow("clean line after a warning")
        << QByteArray("-1\r\n2\r\n") << 0 << 1 << QStringList{Negative, "2"} << "";
    QTest::newRow("port 0 never writes") << QByteArray("1.235\r\n") << 0 << 0 << none << "";
    QTest::newRow("scale type 2 never writes") << QByteArray("1.235\r\n") << 2 << 1 << none << "";
    QTest::newRow("scale type -1 never writes") << QByteArray("1.2") << -1 << 1 << none << "";
}

void TestDecoder::decode() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, scaleType);
    QFETCH(int, portNo);
    QFETCH(QStringList, shown);
    QFETCH(QString, pending);

    tv::ScaleDecoderState state;
    HistoryTarget target;
    for (char c : bytes)
        tv::decodeScaleByte(c, scaleType, portNo, state, &target);
    QCOMPARE(target.shown, shown);
    QCOMPARE(state.ScaleText, pending);
}

QTEST_APPLESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
