#pragma once

#include "platform/TextTarget.h"

namespace tv {

// A plain in-memory target, for tests and benchmarks.
class StringTarget : public TextTarget {
public:
    QString text() const override { return m_text; }
    void setText(const QString& text) override {
        m_text = text;
        ++m_writes;
    }
    int writes() const { return m_writes; }

private:
    QString m_text;
    int m_writes = 0;
};

} // namespace tv
