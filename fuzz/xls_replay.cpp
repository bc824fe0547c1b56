// xls_replay DIR...: writes one workbook per corpus file and reads them all back with xlrd
// (Debian's /usr/bin/python3), comparing every cell with the text given. Exit 0 when all match.
#include "platform/Error.h"
#include "xls/XlsWorkbook.h"

#include "XlsCells.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir out;
    int files = 0;
    for (const QString& dir : app.arguments().mid(1)) {
        QDirIterator it(dir, QDir::Files);
        while (it.hasNext()) {
            QFile in(it.next());
            if (!in.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = in.readAll();
            const QStringList cells = tv::fuzz::xlsCells(
                reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            tv::XlsWorkbook book;
            QJsonArray expected;
            // Copied and kept texts in turn (cells lives until the save is done).
            for (qsizetype r = 0; r < cells.size(); ++r) {
                if (r % 2)
                    book.setQuotedTextKept(int(r + 1), 1, cells[r]);
                else
                    book.setText(int(r + 1), 1, cells[r]);
                expected.append(tv::fuzz::storedText(cells[r]));
            }
            const QString base = out.filePath(QString::number(files++));
            try {
                book.save(base + QStringLiteral(".xls"));
            } catch (const tv::Error& e) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(it.filePath()), e.what());
                return 1;
            }
            QFile json(base + QStringLiteral(".json"));
            if (!json.open(QIODevice::WriteOnly))
                return 1;
            json.write(QJsonDocument(expected).toJson(QJsonDocument::Compact));
        }
    }
    QProcess check;
    check.setProcessChannelMode(QProcess::ForwardedChannels);
    check.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(TOLVANE_XLS_CHECK), out.path()});
    if (!check.waitForFinished(-1))
        return 1;
    std::printf("xls_replay: %d workbooks read back with xlrd\n", files);
    return check.exitCode();
}
