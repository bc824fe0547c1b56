// The scale's cable pulled and pushed back: time from the pull to the weight field saying the
// scale is gone, and from the push-back (the device's link there again) to the first reading in
// the field, over CYCLES cycles (default 20), with the reader's real 2 s reopen interval.
// Usage: scale_unplug_bench [cycles]
// Prints one figure a line: name value unit.

#include "platform/TextTarget.h"
#include "scale/ComThd.h"
#include "scale/ScaleEvents.h"
#include "support/PtyPair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const QString kNotConnected = QStringLiteral("电子秤未连接");

// The weight field with the time of its last change.
class TimedField : public tv::TextTarget {
public:
    QString text() const override { return m_text; }
    void setText(const QString& text) override {
        m_text = text;
        m_changedMs = TComThread::clockMs();
    }
    qint64 changedMs() const { return m_changedMs; }

private:
    QString m_text;
    qint64 m_changedMs = 0;
};

// What the main window does on a loss: the field says the scale is gone.
class FieldEvents : public tv::ScaleEvents {
public:
    explicit FieldEvents(TimedField& field)
        : m_field(field) {}
    void portUnavailable(const QString&) override {}
    void commError(const QString&) override { ++boxes; }
    void scaleLost() override { m_field.setText(kNotConnected); }
    int boxes = 0;

private:
    TimedField& m_field;
};

// Runs the event loop (the UI thread's hand-overs) until done() or timeoutMs.
template <class Pred> bool runUntil(Pred done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

void report(const char* name, std::vector<qint64> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? double(values[n / 2]) : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    std::printf("%s_median %.0f ms\n", name, median);
    std::printf("%s_max %lld ms\n", name, static_cast<long long>(values.back()));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    tv::test::PtyPair pty;
    if (!pty.ready()) {
        std::fprintf(stderr, "scale_unplug_bench: socat pseudo-terminal not available\n");
        return 1;
    }
    TComThread::setDeviceFolder(pty.folder());
    TimedField field;
    FieldEvents events(field);
    TComThread reader(&field, 0, 1, 9600, 'N', 8, 1, false, &events);

    std::vector<qint64> lossMs;
    std::vector<qint64> backMs;
    int n = 0;
    // A scale sends about ten lines a second.
    const auto sendUntilShown = [&](const QString& expected) {
        qint64 lastSent = 0;
        const QByteArray line = QStringLiteral("ST,GS,+  %1kg\r\n").arg(expected).toLatin1();
        return runUntil(
            [&] {
                if (TComThread::clockMs() - lastSent >= 100) {
                    pty.write(line);
                    lastSent = TComThread::clockMs();
                }
                return field.text() == expected;
            },
            20000);
    };
    if (!sendUntilShown(QStringLiteral("1.000")))
        return 1;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const qint64 pulled = TComThread::clockMs();
        pty.unplug();
        if (!runUntil([&] { return field.text() == kNotConnected; }, 20000)) {
            std::fprintf(stderr, "cycle %d: the loss was not shown\n", cycle);
            return 1;
        }
        lossMs.push_back(field.changedMs() - pulled);
        // Pushed back at a random point of the reader's 2 s wait, as a hand would.
        const int pause = 200 + std::rand() % 2000;
        runUntil([] { return false; }, pause);
        if (!pty.plugIn())
            return 1;
        const qint64 back = TComThread::clockMs();
        const QString expected = QStringLiteral("1.%1").arg(cycle, 3, 10, QLatin1Char('0'));
        if (!sendUntilShown(expected)) {
            std::fprintf(stderr, "cycle %d: no reading after the plug-back\n", cycle);
            return 1;
        }
        backMs.push_back(field.changedMs() - back);
        ++n;
    }
    std::printf("cycles %d cycles\n", n);
    report("loss_to_not_connected", lossMs);
    report("plug_back_to_first_reading", backMs);
    std::printf("error_boxes %d boxes\n", events.boxes);
    TComThread::setDeviceFolder(QString());
    return 0;
}
