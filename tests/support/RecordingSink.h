#pragma once

#include "shipping/Scan.h"

#include <QDateTime>
#include <QStringList>
#include <functional>

namespace tv::test {

// Records what the window would show; answers the Yes/No box from a queue (Yes when empty).
class RecordingSink : public ScanSink {
public:
    void reportScanResult(const QString& line, bool success) override {
        lines.append(line);
        successes.append(success);
        if (afterResult)
            afterResult(int(lines.size()));
    }
    void clearDetails() override {
        ++clears;
        notes.clear();
        goods.clear();
    }
    void addNote(const QString& line) override { notes.append(line); }
    void addGoods(const QString& name, const QString& spec, const QString& count) override {
        goods.append(name + u'|' + spec + u'|' + count);
    }
    void showPostage(const QString& text) override { postages.append(text); }
    bool askYesNo(const QString& text) override {
        questions.append(text);
        if (whileAsking)
            whileAsking();
        return answers.isEmpty() ? true : answers.takeFirst();
    }
    void playFailureCue() override { ++failureCues; }
    // Kept with the result lines, marked so that a test tells them apart.
    void addResultLine(const QString& line) override { lines.append(QStringLiteral("+ ") + line); }
    QDateTime currentDateTime() override { return QDateTime(QDate(2024, 3, 5), QTime(14, 5, 9)); }

    QStringList lines;
    QList<bool> successes;
    QStringList notes;
    QStringList goods;
    QStringList postages;
    QStringList questions;
    QList<bool> answers;
    int clears = 0;
    int failureCues = 0; // cues played apart from result lines
    // Runs while a question is open: what may happen meanwhile (a new reading).
    std::function<void()> whileAsking;
    // Runs after each result line: the moment between two orders of one waybill.
    std::function<void(int)> afterResult;
};

} // namespace tv::test
