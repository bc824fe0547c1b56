#include "scale/ScaleDecoder.h"
#include "scale/ScaleSteadiness.h"
#include "support/HistoryTarget.h"

#include <QtTest>

namespace {

// Bytes as one read delivers them, and when.
struct Chunk {
    qint64 atMs;
    QByteArray bytes;
};
using Chunks = QList<Chunk>;

// Lines without a marker, each whole in its own read, at the given times.
Chunks plain(std::initializer_list<std::pair<qint64, const char*>> lines) {
    Chunks out;
    for (const auto& [at, kg] : lines)
        out.append({at, QByteArray(kg) + "\r\n"});
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Chunks)

class TestSteadiness : public QObject {
    Q_OBJECT
private slots:
    void reading_data();
    void reading();
    void resetForgetsEverything();
};

void TestSteadiness::reading_data() {
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<qint64>("askedAtMs");
    QTest::addColumn<bool>("present");
    QTest::addColumn<bool>("hasWeight");
    QTest::addColumn<int>("grams");
    QTest::addColumn<bool>("stable");
    QTest::addColumn<qint64>("ageMs");

    // Markers.
    QTest::newRow("ST at the start: stable")
        << Chunks{{0, "ST,GS,+  1.234kg\r\n"}} << 100LL << true << true << 1234 << true << 100LL;
    QTest::newRow("US at the start: unsteady")
        << Chunks{{0, "US,GS,+  1.234kg\r\n"}} << 0LL << true << true << 1234 << false << 0LL;
    QTest::newRow("S S: stable") << Chunks{{0, "S S     1.234 kg\r\n"}} << 0LL << true << true
                                 << 1234 << true << 0LL;
    QTest::newRow("S D: dynamic") << Chunks{{0, "S D     1.234 kg\r\n"}} << 0LL << true << true
                                  << 1234 << false << 0LL;
    QTest::newRow("trailing ?: unsteady")
        << Chunks{{0, "  1.234 kg ?\r\n"}} << 0LL << true << true << 1234 << false << 0LL;
    QTest::newRow("a stream that used ? is steady without it")
        << Chunks{{0, "  1.230 kg ?\r\n"}, {100, "  1.234 kg\r\n"}} << 100LL << true << true << 1234
        << true << 0LL;
    QTest::newRow("control byte before ST")
        << Chunks{{0, "\x02ST,GS,+  1.234kg\r\n"}} << 0LL << true << true << 1234 << true << 0LL;
    QTest::newRow("ST not at the start is no marker")
        << Chunks{{0, "GS,ST,+  1.234kg\r\n"}} << 0LL << true << true << 1234 << false << 0LL;
    QTest::newRow("STABLE is no marker")
        << Chunks{{0, "STABLE 1.234kg\r\n"}} << 0LL << true << true << 1234 << false << 0LL;
    QTest::newRow("negative weight is no weight")
        << Chunks{{0, "ST,GS,-  0.005kg\r\n"}} << 0LL << true << false << 0 << false << 0LL;
    QTest::newRow("wrong unit is no weight")
        << Chunks{{0, "ST,GS,+  2.50lb\r\n"}} << 0LL << true << false << 0 << false << 0LL;
    QTest::newRow("empty line is no weight")
        << Chunks{{0, "\r\n"}} << 0LL << true << false << 0 << false << 0LL;
    QTest::newRow("lines piled up without LF are no weight")
        << Chunks{{0, "ST 1.235\r"}, {100, "ST 1.235\r"}} << 100LL << true << false << 0 << false
        << 0LL;
    QTest::newRow("nothing yet") << Chunks{} << 500LL << false << false << 0 << false << -1LL;
    QTest::newRow("a line without CR commits nothing")
        << Chunks{{0, "ST,GS,+  1.234kg\n"}} << 0LL << false << false << 0 << false << -1LL;

    // Scales without markers: stable once the readings have stayed within ±2 g for 0.8 s.
    QTest::newRow("one reading is not yet stable")
        << plain({{0, "1.000"}}) << 0LL << true << true << 1000 << false << 0LL;
    QTest::newRow("held 0.8 s within 2 g") << plain({{0, "1.000"}, {400, "1.002"}, {800, "1.001"}})
                                           << 800LL << true << true << 1001 << true << 0LL;
    QTest::newRow("held 0.79 s") << plain({{0, "1.000"}, {400, "1.001"}, {790, "1.000"}}) << 790LL
                                 << true << true << 1000 << false << 0LL;
    QTest::newRow("3 g off restarts the hold")
        << plain({{0, "1.000"}, {400, "1.003"}, {900, "1.003"}}) << 900LL << true << true << 1003
        << false << 0LL;
    QTest::newRow("a swing restarts the hold")
        << plain({{0, "1.000"}, {300, "1.010"}, {600, "1.000"}, {1000, "1.000"}}) << 1000LL << true
        << true << 1000 << false << 0LL;
    QTest::newRow("held 0.8 s after a swing")
        << plain({{0, "1.000"}, {300, "1.010"}, {600, "1.000"}, {1000, "1.000"}, {1400, "1.001"}})
        << 1400LL << true << true << 1001 << true << 0LL;
    QTest::newRow("a warning line restarts the hold")
        << plain({{0, "1.000"}, {400, "-1.000"}, {900, "1.000"}}) << 900LL << true << true << 1000
        << false << 0LL;
    Chunks steady;
    for (qint64 t = 0; t <= 3000; t += 100)
        steady.append({t, "  1.500kg\r\n"});
    steady.append({3100, "  1.503kg\r\n"});
    QTest::newRow("a long hold, then 3 g off")
        << steady << 3100LL << true << true << 1503 << false << 0LL;
    steady.removeLast();
    QTest::newRow("a long hold stays stable")
        << steady << 3500LL << true << true << 1500 << true << 500LL;

    // Lines split across reads: the marker is the line's, the time the CR's.
    QTest::newRow("marker line split")
        << Chunks{{0, "S"}, {30, "T,GS,+  1.2"}, {60, "34kg\r"}, {70, "\n"}} << 100LL << true
        << true << 1234 << true << 40LL;
    QTest::newRow("S S split between the letters") << Chunks{{0, "S "}, {10, "S  1.234 kg\r\n"}}
                                                   << 10LL << true << true << 1234 << true << 0LL;
    QTest::newRow("? in a read of its own") << Chunks{{0, "  1.234 kg "}, {20, "?"}, {40, "\r\n"}}
                                            << 40LL << true << true << 1234 << false << 0LL;
    QTest::newRow("plain lines split, the CRs' times count")
        << Chunks{{0, "1.00"}, {10, "0\r\n1.0"}, {500, "01\r"}, {810, "\n1.000\r\n"}} << 810LL
        << true << true << 1000 << true << 0LL;
    QTest::newRow("plain lines split, 0.79 s between CRs")
        << Chunks{{0, "1.00"}, {20, "0\r\n1.0"}, {500, "01\r"}, {810, "\n1.000\r\n"}} << 810LL
        << true << true << 1000 << false << 0LL;
}

void TestSteadiness::reading() {
    QFETCH(Chunks, chunks);
    QFETCH(qint64, askedAtMs);

    tv::ScaleSteadiness steadiness;
    tv::ScaleDecoderState state;
    HistoryTarget field;
    tv::ScaleDecoderState plainState;
    HistoryTarget plainField;
    for (const Chunk& chunk : chunks) {
        for (char c : chunk.bytes) {
            tv::decodeScaleByte(c, chunk.atMs, 0, 1, state, &field, steadiness);
            tv::decodeScaleByte(c, 0, 1, plainState, &plainField);
        }
    }
    // Following steadiness leaves the field's texts as the decoder alone gives them.
    QCOMPARE(field.shown, plainField.shown);

    const tv::ScaleReading r = steadiness.reading(askedAtMs);
    QTEST(r.present, "present");
    QTEST(r.hasWeight, "hasWeight");
    if (r.hasWeight)
        QTEST(int(r.grams), "grams");
    QTEST(r.stable, "stable");
    QTEST(r.ageMs, "ageMs");
}

// After a loss nothing of the old stream counts: no reading, no hold, no "?" habit.
void TestSteadiness::resetForgetsEverything() {
    tv::ScaleSteadiness steadiness;
    tv::ScaleDecoderState state;
    HistoryTarget field;
    const auto feed = [&](qint64 at, const QByteArray& bytes) {
        for (char c : bytes)
            tv::decodeScaleByte(c, at, 0, 1, state, &field, steadiness);
    };
    feed(0, "  1.000 ?\r\n");
    for (qint64 t = 100; t <= 1000; t += 100)
        feed(t, "  1.000\r\n");
    QVERIFY(steadiness.reading(1000).stable);

    steadiness.reset();
    QVERIFY(!steadiness.reading(1000).present);
    QCOMPARE(steadiness.reading(1000).ageMs, qint64(-1));
    feed(1100, "  1.000\r\n");
    const tv::ScaleReading r = steadiness.reading(1100);
    QVERIFY(r.present);
    QCOMPARE(r.grams, 1000);
    QVERIFY(!r.stable);
}

QTEST_APPLESS_MAIN(TestSteadiness)
#include "tst_steadiness.moc"
