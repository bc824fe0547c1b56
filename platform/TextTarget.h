#pragma once

#include <QString>

namespace tv {

// A text a core class may read and write without knowing the control behind it
// (the window passes a small adapter around its edit).
class TextTarget {
public:
    virtual ~TextTarget() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;
};

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
