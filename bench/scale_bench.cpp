// Scale reader under a continuous 9600-baud stream of weight lines through a pseudo-terminal.
// Usage: scale_bench [seconds]   (default 30)
// Prints one figure a line: name value unit.

#include "platform/Messages.h"
#include "platform/TextTarget.h"
#include "scale/ComThd.h"
#include "support/RecordingMessageBoxes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

qint64 nowNs() {
    return Clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
}

qint64 threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Line number n carries the weight n/1000 kg, so the shown text names the line it came from.
QByteArray line(int n) {
    return QStringLiteral("ST,GS,+%1.%2kg\r\n")
        .arg(n / 1000, 3)
        .arg(n % 1000, 3, 10, QLatin1Char('0'))
        .toLatin1();
}

QString shownText(int n) {
    return QStringLiteral("%1.%2").arg(n / 1000).arg(n % 1000, 3, 10, QLatin1Char('0'));
}

struct Run {
    explicit Run(int lines)
        : crSentNs(size_t(lines)) {}
    std::vector<std::atomic<qint64>> crSentNs; // when the line's CR left the writer
    std::atomic<int> linesWritten{0};
    std::atomic<qint64> bytesWritten{0};
};

// Takes the delay of every line the decoder shows.
class MeasuringTarget : public tv::TextTarget {
public:
    explicit MeasuringTarget(Run& run)
        : m_run(run) {}
    QString text() const override { return m_text; }
    void setText(const QString& text) override {
        const qint64 now = nowNs();
        m_text = text;
        const int dot = text.indexOf(QLatin1Char('.'));
        bool okWhole = false, okFrac = false;
        const int n = text.left(dot).toInt(&okWhole) * 1000 + text.mid(dot + 1).toInt(&okFrac);
        if (dot < 0 || !okWhole || !okFrac || n < 1 || n >= m_run.linesWritten ||
            text != shownText(n)) {
            ++corrupt;
            return;
        }
        delaysNs.push_back(now - m_run.crSentNs[size_t(n)].load());
        ++intact;
    }
    std::vector<qint64> delaysNs;
    int intact = 0;
    int corrupt = 0;

private:
    Run& m_run;
    QString m_text;
};

// Writes line after line, one byte every 1/960 s, as a 9600-baud 8N1 line carries them.
void writeStream(int fd, Run& run, int lines, std::atomic<bool>& stop) {
    const auto byteTime = std::chrono::nanoseconds(1000000000 / 960);
    auto next = Clock::now();
    for (int n = 1; n < lines && !stop; ++n) {
        const QByteArray bytes = line(n);
        run.linesWritten = n + 1;
        for (char c : bytes) {
            std::this_thread::sleep_until(next);
            next += byteTime;
            // Stamped before the write: the reader may show the line before write() returns.
            if (c == '\r')
                run.crSentNs[size_t(n)] = nowNs();
            if (::write(fd, &c, 1) != 1)
                return;
            ++run.bytesWritten;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
    const int lineBytes = int(line(1).size());
    const int maxLines = seconds * 960 / lineBytes + 2;

    QTemporaryDir dir;
    const QString devices = dir.path() + QStringLiteral("/dosdevices");
    const QString feed = dir.path() + QStringLiteral("/feed");
    QDir().mkpath(devices);
    QProcess socat;
    socat.start(QStringLiteral("socat"),
                {QStringLiteral("pty,raw,echo=0,link=") + devices + QStringLiteral("/com1"),
                 QStringLiteral("pty,raw,echo=0,link=") + feed});
    for (int i = 0; i < 500 && !(QFileInfo::exists(feed) && QFileInfo::exists(devices + "/com1"));
         ++i)
        QThread::msleep(10);
    const int fd = ::open(QFile::encodeName(feed).constData(), O_WRONLY | O_NOCTTY);
    if (fd < 0) {
        std::fprintf(stderr, "scale_bench: socat pseudo-terminal not available\n");
        return 1;
    }
    TComThread::setDeviceFolder(devices);

    tv::RecordingMessageBoxes boxes;
    tv::setMessageBoxes(&boxes);
    Run run(maxLines);
    MeasuringTarget target(run);
    TComThread reader(&target, 0, 1, 9600, 'N', 8, 1, false);
    QThread::msleep(300); // the reader has purged and waits

    std::atomic<bool> stop{false};
    const qint64 cpuStart = threadCpuNs();
    const auto handOverStart = tv::Thread::handOverTime();
    const qint64 wallStart = nowNs();
    std::thread writer(writeStream, fd, std::ref(run), maxLines, std::ref(stop));
    QTimer::singleShot(seconds * 1000, &app, [&] { stop = true; });
    // After the stream ends, a second for the last line to arrive.
    QTimer::singleShot(seconds * 1000 + 1000, &app, &QCoreApplication::quit);
    app.exec();
    writer.join();
    const qint64 wallNs = nowNs() - wallStart;
    const qint64 cpuNs = threadCpuNs() - cpuStart;
    const qint64 handOverNs = (tv::Thread::handOverTime() - handOverStart).count();

    reader.Terminate();
    reader.WaitFor(5000);
    ::close(fd);
    socat.kill();
    socat.waitForFinished();

    std::vector<qint64> d = target.delaysNs;
    std::sort(d.begin(), d.end());
    const double median = d.empty() ? 0 : d[d.size() / 2] / 1e6;
    const double maximum = d.empty() ? 0 : d.back() / 1e6;
    const int sent = run.linesWritten - 1;
    const qint64 lost = run.bytesWritten - qint64(target.intact) * lineBytes;
    std::printf("lines_sent %d lines\n", sent);
    std::printf("lines_shown %d lines\n", target.intact);
    std::printf("delay_median %.3f ms\n", median);
    std::printf("delay_max %.3f ms\n", maximum);
    std::printf("bytes_lost %lld bytes\n", static_cast<long long>(std::max<qint64>(0, lost)));
    std::printf("lines_corrupt %d lines\n", target.corrupt);
    std::printf("ui_handover_share %.2f %%\n", 100.0 * double(handOverNs) / double(wallNs));
    std::printf("ui_thread_cpu_share %.2f %%\n", 100.0 * double(cpuNs) / double(wallNs));
    std::printf("error_boxes %lld boxes\n", static_cast<long long>(boxes.shown().size()));
    tv::setMessageBoxes(nullptr);
    return 0;
}
