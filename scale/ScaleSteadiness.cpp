#include "scale/ScaleSteadiness.h"

#include "platform/Error.h"
#include "platform/TextTarget.h"
#include "scale/ScaleDecoder.h"
#include "shipping/DecimalText.h"

#include <cstdlib>

namespace tv {

namespace {

constexpr qsizetype kHeadBytes = 4;

bool blankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Hands the decoder's texts to the field and to steadiness.
class CommitTap : public TextTarget {
public:
    CommitTap(TextTarget* field, ScaleSteadiness& steadiness, qint64 nowMs)
        : m_field(field)
        , m_steadiness(steadiness)
        , m_nowMs(nowMs) {}
    QString text() const override { return m_field ? m_field->text() : QString(); }
    void setText(const QString& text) override {
        m_steadiness.committed(text, m_nowMs);
        if (m_field)
            m_field->setText(text);
    }

private:
    TextTarget* m_field;
    ScaleSteadiness& m_steadiness;
    qint64 m_nowMs;
};

} // namespace

void ScaleSteadiness::byte(char c) {
    QMutexLocker lock(&m_mutex);
    if (c == '\n') {
        m_head.clear();
        m_last = 0;
        return;
    }
    if (c == '\r' || blankOrControl(c))
        return;
    m_last = c;
    if (m_head.size() < kHeadBytes)
        m_head.append(c);
}

// The head keeps no blanks, so "S S" arrives as "SS" and "S D" as "SD".
ScaleSteadiness::Marker ScaleSteadiness::lineMarker() const {
    const auto startsWithWord = [&](const char* word) {
        const qsizetype n = qsizetype(qstrlen(word));
        return m_head.startsWith(word) && (m_head.size() == n || !isLetter(m_head.at(n)));
    };
    if (startsWithWord("ST") || startsWithWord("SS"))
        return Marker::Stable;
    if (startsWithWord("US") || startsWithWord("SD"))
        return Marker::Unsteady;
    if (m_last == '?')
        return Marker::Unsteady;
    return Marker::None;
}

void ScaleSteadiness::committed(const QString& text, qint64 nowMs) {
    QMutexLocker lock(&m_mutex);
    ScaleReading r;
    r.present = true;
    try {
        r.grams = kilogramTextToGrams(text);
        r.hasWeight = true;
    } catch (const Error&) {
        // A warning, an empty line or piled-up digits: no weight.
    }
    m_committedMs = nowMs;

    Marker marker = lineMarker();
    if (m_last == '?')
        m_questionStream = true;
    else if (marker == Marker::None && m_questionStream)
        marker = Marker::Stable;

    if (!r.hasWeight) {
        m_run.clear();
    } else if (marker != Marker::None) {
        r.stable = marker == Marker::Stable;
        m_run.clear();
    } else {
        // The run ends at the newest reading that lies outside the tolerance of this one.
        for (auto it = m_run.rbegin(); it != m_run.rend(); ++it) {
            if (std::abs(qint64(it->grams) - r.grams) > kToleranceGrams) {
                m_run.erase(m_run.begin(), it.base());
                break;
            }
        }
        m_run.push_back({nowMs, r.grams});
        // Only the newest reading at least kHoldMs old is needed as the run's start.
        while (m_run.size() >= 2 && m_run[1].ms <= nowMs - kHoldMs)
            m_run.pop_front();
        r.stable = nowMs - m_run.front().ms >= kHoldMs;
    }
    m_reading = r;
}

void ScaleSteadiness::reset() {
    QMutexLocker lock(&m_mutex);
    m_head.clear();
    m_last = 0;
    m_questionStream = false;
    m_run.clear();
    m_reading = {};
}

ScaleReading ScaleSteadiness::reading(qint64 nowMs) const {
    QMutexLocker lock(&m_mutex);
    ScaleReading r = m_reading;
    if (r.present)
        r.ageMs = nowMs - m_committedMs;
    return r;
}

void decodeScaleByte(char c, qint64 nowMs, int scaleType, int portNo, ScaleDecoderState& state,
                     TextTarget* target, ScaleSteadiness& steadiness) {
    if (portNo == 0 || (scaleType != 0 && scaleType != 1))
        return;
    steadiness.byte(c);
    CommitTap tap(target, steadiness, nowMs);
    decodeScaleByte(c, scaleType, portNo, state, &tap);
}

} // namespace tv
