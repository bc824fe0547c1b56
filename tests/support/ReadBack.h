#pragma once

// Reads workbooks back with independent readers: xlrd, and LibreOffice through CSV.

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace tv::test {

struct ReadSheet {
    QString name;
    QList<QStringList> rows;              // cell texts; a trailing non-text cell is left out
    QList<int> types;                     // xlrd cell types seen (1 = text)
    QList<bool> headerPrefix, dataPrefix; // quote-prefix flags seen in row 1 and below
    QMap<int, int> widths;                // column (from 0) to COLINFO width
    bool shown = false;
};

struct ReadResult {
    bool ok = false;
    QString error;
    QList<ReadSheet> sheets;
    QJsonObject json;
};

inline QString helperScript() {
    return QStringLiteral(TOLVANE_SOURCE_DIR "/tests/support/xlsdump.py");
}

inline ReadResult runHelper(const QStringList& args, int timeoutMs = 240000) {
    ReadResult result;
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{helperScript()} + args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0) {
        result.error = QStringLiteral("helper failed (%1): %2")
                           .arg(p.exitCode())
                           .arg(QString::fromUtf8(p.readAllStandardError()));
        return result;
    }
    result.json = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    for (const QJsonValue& s : result.json.value(QLatin1String("sheets")).toArray()) {
        const QJsonObject o = s.toObject();
        ReadSheet sheet;
        sheet.name = o.value(QLatin1String("name")).toString();
        for (const QJsonValue& r : o.value(QLatin1String("rows")).toArray()) {
            QStringList row;
            for (const QJsonValue& v : r.toArray())
                row.append(v.toString());
            sheet.rows.append(row);
        }
        for (const QJsonValue& v : o.value(QLatin1String("types")).toArray())
            sheet.types.append(v.toInt());
        const QJsonObject prefix = o.value(QLatin1String("prefix")).toObject();
        for (const QJsonValue& v : prefix.value(QLatin1String("header")).toArray())
            sheet.headerPrefix.append(v.toBool());
        for (const QJsonValue& v : prefix.value(QLatin1String("data")).toArray())
            sheet.dataPrefix.append(v.toBool());
        const QJsonObject widths = o.value(QLatin1String("widths")).toObject();
        for (auto it = widths.begin(); it != widths.end(); ++it)
            sheet.widths.insert(it.key().toInt(), it.value().toInt());
        sheet.shown = o.value(QLatin1String("shown")).toBool();
        result.sheets.append(sheet);
    }
    result.ok = true;
    return result;
}

inline ReadResult readWithXlrd(const QString& path) {
    return runHelper({QStringLiteral("xls"), path});
}

// Converts every sheet to CSV with LibreOffice (its own profile under workDir) and reads them.
inline ReadResult readWithLibreOffice(const QString& path, const QString& workDir, int sheetCount) {
    ReadResult result;
    const QString outDir = workDir + QStringLiteral("/csv");
    QDir().mkpath(outDir);
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.start(QStringLiteral("soffice"),
            {QStringLiteral("-env:UserInstallation=file://") + workDir + QStringLiteral("/profile"),
             QStringLiteral("--headless"), QStringLiteral("--convert-to"),
             // UTF-8, comma, double quote; the last token -1 writes every sheet to its own file.
             QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,"
                            "false,false,-1"),
             QStringLiteral("--outdir"), outDir, path});
    if (!p.waitForFinished(240000) || p.exitCode() != 0) {
        result.error = QStringLiteral("soffice failed: ") +
                       QString::fromUtf8(p.readAllStandardError() + p.readAllStandardOutput());
        return result;
    }
    const QString base = QFileInfo(path).completeBaseName();
    QStringList files;
    for (int i = 1; i <= sheetCount; ++i)
        files.append(outDir + QStringLiteral("/%1-Sheet%2.csv").arg(base).arg(i));
    return runHelper(QStringList{QStringLiteral("csv")} + files);
}

// Drops trailing empty cells of each row and trailing empty rows, which CSV cannot tell apart.
inline QList<QStringList> trimmed(QList<QStringList> rows) {
    for (QStringList& row : rows)
        while (!row.isEmpty() && row.last().isEmpty())
            row.removeLast();
    while (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

} // namespace tv::test
