// A scan sink for the benches: counts the lines of each kind and answers Yes to every question.
#pragma once

#include "shipping/Scan.h"

#include <QString>

namespace tv::bench {

class CountingSink : public ScanSink {
public:
    // Refused lines split into "changed meanwhile" and the rest (no order found).
    void reportScanResult(const QString& line, bool success) override {
        if (success) {
            ++shipped;
            return;
        }
        ++refused;
        if (line.endsWith(QStringLiteral("订单状态已改变,未发货")))
            ++changed;
        else
            ++notFound;
    }
    void clearDetails() override {}
    void addNote(const QString&) override {}
    void addGoods(const QString&, const QString&, const QString&) override {}
    void showPostage(const QString&) override {}
    bool askYesNo(const QString&) override {
        ++asked;
        return true;
    }

    int asked = 0;
    int shipped = 0;
    int refused = 0;
    int changed = 0;
    int notFound = 0;
};

} // namespace tv::bench
