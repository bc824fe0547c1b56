#pragma once

#include <QMutex>
#include <QString>
#include <QtGlobal>

#include <deque>

namespace tv {

class TextTarget;
struct ScaleDecoderState;

// What the scale said last: the weight in grams, whether it called it stable, and how long ago.
struct ScaleReading {
    bool present = false;   // a line was committed since the start or the last loss
    bool hasWeight = false; // the committed text is a weight (no warning, a number)
    qint32 grams = 0;       // the committed text read as the scan reads the weight field
    bool stable = false;
    qint64 ageMs = -1; // since the line was committed; -1 without a reading
};

// Follows what the stream says about steadiness, beside the decoder that writes the weight field.
// A line may carry a marker: "ST"/"US" at its start ("ST,GS,+  1.234kg"), "S S"/"S D" (stable,
// dynamic), or a trailing "?" for unsteady (a stream that has used "?" is steady without it).
// A line without a marker is stable once the readings have stayed within ±2 g of it for 0.8 s.
// Thread-safe: the decoder feeds it on the UI thread, any thread may ask for the reading.
class ScaleSteadiness {
public:
    static constexpr qint64 kHoldMs = 800;
    static constexpr qint32 kToleranceGrams = 2;

    // One byte of the stream, before the decoder sees it.
    void byte(char c);
    // The decoder has shown text for the line that just ended, at nowMs (a monotonic clock).
    void committed(const QString& text, qint64 nowMs);
    // The device went away: no reading and no history any more.
    void reset();
    ScaleReading reading(qint64 nowMs) const;

private:
    enum class Marker { None, Stable, Unsteady };
    mutable QMutex m_mutex;
    Marker lineMarker() const;

    // Of the current line: its first bytes after leading blanks and control bytes, and its
    // last byte that is not a blank or control byte.
    QByteArray m_head;
    char m_last = 0;
    bool m_questionStream = false;

    struct Sample {
        qint64 ms;
        qint32 grams;
    };
    std::deque<Sample> m_run; // readings without a marker, all within tolerance of the newest
    ScaleReading m_reading;
    qint64 m_committedMs = 0;
};

// Decodes one byte for the weight field (the decoder, unchanged) and follows its steadiness:
// every text the decoder shows is also committed to steadiness at nowMs.
void decodeScaleByte(char c, qint64 nowMs, int scaleType, int portNo, ScaleDecoderState& state,
                     TextTarget* target, ScaleSteadiness& steadiness);

} // namespace tv
