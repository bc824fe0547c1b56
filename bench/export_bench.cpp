// Export benchmark: fills the result list with ROWS synthetic shipment rows, as the query button
// does, and runs the same export as the export button into FILE. With CSVFILE it also writes the
// rows as CSV, for the comparison with LibreOffice (export_vs_soffice.sh).
//
// Prints one figure a line: name value unit.

#include "platform/Error.h"
#include "report/ShipmentExport.h"
#include "report/ShipmentListModel.h"
#include "xls/XlsWorkbook.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

const QStringList& Captions = tv::ShipmentListModel::captions();

const char16_t* const Shops[] = {u"韩都衣舍旗舰店", u"小米官方旗舰店", u"三只松鼠旗舰店",
                                 u"良品铺子官方店", u"南极人家居专营店"};
const char16_t* const Methods[] = {u"申通快递", u"圆通速递", u"中通快递",
                                   u"韵达快递", u"顺丰速运", u"EMS"};
const char16_t* const Surnames[] = {u"王", u"李", u"张", u"刘", u"陈", u"杨",   u"黄",
                                    u"赵", u"吴", u"周", u"徐", u"孙", u"欧阳", u"司马"};
const char16_t* const Given[] = {u"伟", u"芳", u"娜", u"秀英", u"敏", u"静", u"丽",   u"强",
                                 u"磊", u"军", u"洋", u"勇",   u"艳", u"杰", u"晓明", u"婷婷"};
struct Place {
    const char16_t* province;
    const char16_t* city;
    const char16_t* district;
    const char16_t* zip;
};
const Place Places[] = {
    {u"浙江省", u"杭州市", u"西湖区", u"310012"}, {u"广东省", u"深圳市", u"南山区", u"518057"},
    {u"北京", u"北京市", u"朝阳区", u"100020"},   {u"上海", u"上海市", u"浦东新区", u"200120"},
    {u"江苏省", u"南京市", u"鼓楼区", u"210008"}, {u"四川省", u"成都市", u"武侯区", u"610041"},
    {u"天津", u"天津市", u"和平区", u"300041"},   {u"辽宁省", u"沈阳市", u"和平区", u"110001"},
    {u"湖北省", u"武汉市", u"洪山区", u"430074"}, {u"福建省", u"厦门市", u"思明区", u"361001"},
    {u"吉林省", u"长春市", u"朝阳区", u"130012"}, {u"河南省", u"郑州市", u"金水区", u"450003"},
};
const char16_t* const Streets[] = {u"文三路",   u"建国路",   u"中山北路", u"科技园南区高新南一道",
                                   u"人民大道", u"解放东路", u"学院路",   u"长江路"};
const char16_t* const Operators[] = {u"Tolvane", u"小王", u"李师傅", u"张敏"};

// Deterministic so that runs compare.
quint64 g_state = 0x9E3779B97F4A7C15ull;
quint32 next(quint32 n) {
    g_state ^= g_state << 13;
    g_state ^= g_state >> 7;
    g_state ^= g_state << 17;
    return quint32(g_state % n);
}
template <size_t N> QString pick(const char16_t* const (&a)[N]) {
    return QString::fromUtf16(a[next(N)]);
}

QStringList makeRow(qsizetype k) {
    const Place& p = Places[next(std::size(Places))];
    const int weight = 200 + int(next(5000));
    const int parcel = weight + 50 + int(next(300));
    QStringList r;
    r.reserve(19);
    r << QString::number(k + 1)
      << QStringLiteral("2011-09-%1").arg(1 + next(30), 2, 10, QLatin1Char('0'))
      << QStringLiteral("T201109%1").arg(k + 10000000, 9, 10, QLatin1Char('0')) << pick(Shops)
      << pick(Methods) << QStringLiteral("%1").arg(368000000000ll + k * 7919 % 1000000000ll)
      << QStringLiteral("tb_%1%2").arg(pick(Surnames)).arg(next(1000000))
      << pick(Surnames) + pick(Given) << QString::fromUtf16(p.province)
      << QString::fromUtf16(p.city) << QString::fromUtf16(p.district)
      << QString::fromUtf16(p.district) + pick(Streets) + QString::number(1 + next(999)) +
             QStringLiteral("号") + QString::number(1 + next(30)) + QStringLiteral("幢") +
             QString::number(101 + next(2000)) + QStringLiteral("室")
      << QString::fromUtf16(p.zip) << QString::number(weight) << QString::number(parcel)
      << QString::number(parcel - weight) << QString::number(5 + next(20) / 2.0) << pick(Operators)
      << QStringLiteral("1%1").arg(3000000000ll + next(999999999), 10, 10, QLatin1Char('0'));
    return r;
}

// Notes when the cells are all in and saving begins, to split the figure in two.
class TimedWorkbook : public tv::XlsWorkbook {
public:
    explicit TimedWorkbook(const QElapsedTimer& timer)
        : m_timer(timer) {}
    void save(const QString& path) override {
        cellsNs = m_timer.nsecsElapsed();
        tv::XlsWorkbook::save(path);
    }
    qint64 cellsNs = 0;

private:
    const QElapsedTimer& m_timer;
};

class NoProgress : public tv::ExportProgress {
public:
    void start(qsizetype, qsizetype) override {}
    void stepIt() override {}
    void finish() override {}
};

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

long peakRssKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

QString csvField(const QString& s) {
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) &&
        !s.contains(QLatin1Char('\n')))
        return s;
    return QLatin1Char('"') + QString(s).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

void writeCsv(const tv::ListTable& table, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    QStringList fields;
    for (int c = 0; c < table.columnCount(); ++c)
        fields.append(csvField(table.caption(c)));
    out << fields.join(QLatin1Char(',')) << '\n';
    for (qsizetype k = 0; k < table.rowCount(); ++k) {
        fields.clear();
        for (int c = 0; c < table.columnCount(); ++c)
            fields.append(csvField(table.cell(k, c)));
        out << fields.join(QLatin1Char(',')) << '\n';
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: export_bench ROWS FILE [CSVFILE]\n");
        return 2;
    }
    const qsizetype rows = std::atoll(argv[1]);
    const QString path = QString::fromLocal8Bit(argv[2]);

    tv::ShipmentListModel model;
    {
        tv::ListTable fetched(Captions);
        for (qsizetype k = 0; k < rows; ++k)
            fetched.appendRow(makeRow(k));
        model.takeRows(std::move(fetched));
        while (model.showMore(2000) > 0) {
        }
    }
    const tv::ListTable& table = model.table();
    const long listRssKb = peakRssKb();

    NoProgress progress;
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = cpuSeconds();
    qsizetype exported = 0;
    qint64 cellsNs = 0;
    try {
        TimedWorkbook workbook(timer);
        exported = tv::ShipmentExport(progress).run(table, workbook, path);
        cellsNs = workbook.cellsNs;
    } catch (const tv::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const qint64 elapsedUs = timer.nsecsElapsed() / 1000;
    const double cpu = cpuSeconds() - cpuBefore;

    std::printf("rows %lld rows\n", static_cast<long long>(exported));
    std::printf("export_time %.1f ms\n", double(elapsedUs) / 1000.0);
    std::printf("export_cells_time %.1f ms\n", double(cellsNs) / 1e6);
    std::printf("export_save_time %.1f ms\n", double(elapsedUs) / 1000.0 - double(cellsNs) / 1e6);
    // CPU time tells the export's own cost when other work shares the machine.
    std::printf("export_cpu_time %.1f ms\n", cpu * 1000.0);
    std::printf("file_size %lld bytes\n", static_cast<long long>(QFileInfo(path).size()));
    std::printf("peak_rss_before_export %.1f MB\n", double(listRssKb) / 1024.0);
    std::printf("peak_rss %.1f MB\n", double(peakRssKb()) / 1024.0);
    if (argc > 3)
        writeCsv(table, QString::fromLocal8Bit(argv[3]));
    return 0;
}
