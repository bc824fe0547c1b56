// Statistics tab: the figures of DAYS days (default 31, ending today) over an order database
// made by gen-orders --scan-days, from the click on "统计" to the charts drawn, offscreen.
// Usage: stats_bench ORDERS_DB [days] [runs]   (defaults 31 and 5)
// Prints one figure a line: name value unit.

#include "platform/Database.h"
#include "platform/Error.h"
#include "report/Stats.h"
#include "report/tjbb.h"

#include <QApplication>
#include <QChartView>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// CPU time of the process in ms: on a loaded machine the wall time says more about the others.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: stats_bench ORDERS_DB [days] [runs]\n");
        return 2;
    }
    const int days = argc > 2 ? std::atoi(argv[2]) : 31;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    try {
        tv::Connection orders;
        orders.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Data Source=sqlite:") +
                                   QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath());
        if (!orders.open())
            throw tv::Error(orders.lastError());

        tv::StatsFilter filter;
        filter.to = QDate::currentDate();
        filter.from = filter.to.addDays(1 - days);

        std::vector<double> computeMs, clickMs, computeCpuMs, clickCpuMs;
        TTjbbForm form(orders);
        form.resize(792, 540);
        form.show();
        form.setDates(filter.from, filter.to);
        for (int r = 0; r < runs; ++r) {
            QElapsedTimer t;
            t.start();
            double cpu = cpuMs();
            const tv::StatsFigures f = tv::Stats::compute(orders, filter);
            computeMs.push_back(t.nsecsElapsed() / 1e6);
            computeCpuMs.push_back(cpuMs() - cpu);
            if (r == 0)
                std::printf("scans %d rows\nparcels_per_day_first_operator %d parcels\n"
                            "weight_differences %lld parcels\n",
                            f.scans,
                            f.operators.isEmpty() ? 0 : f.operators[0].parcelsPerDay.value(0),
                            qlonglong(f.weightDifferences.size()));

            t.restart();
            cpu = cpuMs();
            form.ButtonStat->click();
            // Drawn: the whole tab rendered, charts and tables included.
            const QPixmap shot = form.grab();
            clickMs.push_back(t.nsecsElapsed() / 1e6);
            clickCpuMs.push_back(cpuMs() - cpu);
            if (shot.isNull())
                throw tv::Error(QStringLiteral("nothing drawn"));
        }
        const auto best = [](const std::vector<double>& v) {
            return *std::min_element(v.begin(), v.end());
        };
        // The first of each is the process's first: nothing read or allocated before it.
        std::printf("figures_first %.0f ms\nclick_to_charts_drawn_first %.0f ms\n", computeMs[0],
                    clickMs[0]);
        std::printf("figures_median %.0f ms\nfigures_best %.0f ms\nfigures_cpu_best %.0f ms\n"
                    "click_to_charts_drawn_median %.0f ms\nclick_to_charts_drawn_best %.0f ms\n"
                    "click_to_charts_drawn_cpu_best %.0f ms\n",
                    median(computeMs), best(computeMs), best(computeCpuMs), median(clickMs),
                    best(clickMs), best(clickCpuMs));
    } catch (const tv::Error& e) {
        std::fprintf(stderr, "stats_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
