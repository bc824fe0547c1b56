#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace tv {

// An ADO-style connection string: "Key=Value;Key=Value". Values that hold ';', a quote or
// edge blanks are written in double quotes (an inner '"' doubled), so no value can add or
// change a key. Keys compare without regard to case.
class AdoConnectionString {
public:
    using Pair = QPair<QString, QString>;

    // Reads the syntax back; a malformed text (an unterminated quote) gives nothing.
    static std::optional<AdoConnectionString> parse(const QString& text);

    // Appends "key=value" with the separator, quoting the value where it must be.
    void append(const QString& key, const QString& value);
    QString value(const QString& key) const;
    bool contains(const QString& key) const;
    const QList<Pair>& pairs() const { return m_pairs; }
    QString toString() const;

    // The text of one value as it is written into a connection string.
    static QString quoteValue(const QString& value);

private:
    QList<Pair> m_pairs;
};

} // namespace tv
