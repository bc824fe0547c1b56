#pragma once

#include "shipping/ScanGuards.h"

#include <QDateTime>
#include <QString>

namespace tv {

class Connection;
class OrderDb;

// What the main window holds when a scan runs.
struct ScanInput {
    QString waybill;                 // Edit1
    QString weight;                  // Edit2, kilograms as text
    QString postage;                 // Edit3, yuan as text (read in manual postage mode only)
    QString operatorName;            // ComboBoxOpr
    bool manualPostage = false;      // CheckBox2
    bool showSummary = false;        // CheckBox4: list the goods lines
    bool recordShipper = false;      // CheckBox5: write the operator into sndOperator
    bool askBeforeFinishing = false; // CheckBox6
    bool packOutMode = false;        // CheckBox7
    bool manualWeight = false;       // CheckBox1: the weight is typed, not read from the scale
    ScanCheck checks;                // the checks switched on; all off by default
};

// The window's side of a scan: the result lines, the notes and goods, the postage field, the
// Yes/No question and the clock.
class ScanSink {
public:
    virtual ~ScanSink() = default;
    // A result line for Memo1 with the success or failure cue (ReportScanResult).
    virtual void reportScanResult(const QString& line, bool success) = 0;
    // Empties Memo2 and ListViewDetail.
    virtual void clearDetails() = 0;
    // A line for Memo2.
    virtual void addNote(const QString& line) = 0;
    // An item for ListViewDetail.
    virtual void addGoods(const QString& name, const QString& spec, const QString& count) = 0;
    // The computed postage for Edit3.
    virtual void showPostage(const QString& text) = 0;
    // The Yes/No box with the given text; true for Yes.
    virtual bool askYesNo(const QString& text) = 0;
    // The failure cue alone, for a question that warns.
    virtual void playFailureCue() {}
    // A line for Memo1 without a cue: more about the result line above it.
    virtual void addResultLine(const QString& line) { (void)line; }
    // Local date and time: the time of day of the lines, the dates and the log time written.
    virtual QDateTime currentDateTime() { return QDateTime::currentDateTime(); }
};

// The scan of one waybill: finds its orders, prices the parcel, records weight, postage,
// profit, status, operator and log rows, and reports each outcome through the sink.
// Each order's writes stand or fall together; an error ends the scan as tv::Error, leaving the
// current order as it was and the ones before it finished.
class Scan {
public:
    // scale is the reader's reading for the stable-weight check; null without a reader.
    Scan(Connection& orders, Connection& config, ScanSink& sink,
         const WeightSource* scale = nullptr)
        : m_orders(orders)
        , m_config(config)
        , m_sink(sink)
        , m_scale(scale) {}

    void run(const ScanInput& input);

private:
    QString timeOfDay();
    void explainRefusal(OrderDb& db, const ScanInput& in);

    Connection& m_orders;
    Connection& m_config;
    ScanSink& m_sink;
    const WeightSource* m_scale;
};

} // namespace tv
