#include "platform/ConnectionString.h"

namespace tv {

namespace {

bool needsQuotes(const QString& value) {
    if (value.isEmpty())
        return false;
    if (value.front().isSpace() || value.back().isSpace())
        return true;
    return value.contains(u';') || value.contains(u'"') || value.contains(u'\'');
}

} // namespace

QString AdoConnectionString::quoteValue(const QString& value) {
    if (!needsQuotes(value))
        return value;
    QString out = value;
    out.replace(u'"', QStringLiteral("\"\""));
    return u'"' + out + u'"';
}

void AdoConnectionString::append(const QString& key, const QString& value) {
    m_pairs.append({key, value});
}

QString AdoConnectionString::value(const QString& key) const {
    // The last occurrence of a key wins, as in ADO.
    for (auto it = m_pairs.crbegin(); it != m_pairs.crend(); ++it) {
        if (it->first.compare(key, Qt::CaseInsensitive) == 0)
            return it->second;
    }
    return {};
}

bool AdoConnectionString::contains(const QString& key) const {
    for (const auto& p : m_pairs) {
        if (p.first.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString AdoConnectionString::toString() const {
    QString out;
    for (const auto& p : m_pairs) {
        if (!out.isEmpty())
            out += u';';
        out += p.first + u'=' + quoteValue(p.second);
    }
    return out;
}

std::optional<AdoConnectionString> AdoConnectionString::parse(const QString& text) {
    AdoConnectionString result;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        // Key: up to '='; blanks around it do not count.
        const qsizetype eq = text.indexOf(u'=', i);
        const qsizetype semi = text.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // A piece without '=' (or an empty piece between two ';') carries no pair.
            if (!text.mid(i, (semi < 0 ? n : semi) - i).trimmed().isEmpty())
                return std::nullopt;
            if (semi < 0)
                break;
            i = semi + 1;
            continue;
        }
        const QString key = text.mid(i, eq - i).trimmed();
        i = eq + 1;
        while (i < n && text[i].isSpace() && text[i] != u';')
            ++i;
        QString value;
        if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
            const QChar quote = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            if (!closed)
                return std::nullopt;
            while (i < n && text[i].isSpace())
                ++i;
            if (i < n && text[i] != u';')
                return std::nullopt;
        } else {
            const qsizetype end = text.indexOf(u';', i);
            value = text.mid(i, (end < 0 ? n : end) - i).trimmed();
            i = end < 0 ? n : end;
        }
        if (i < n && text[i] == u';')
            ++i;
        if (key.isEmpty())
            return std::nullopt;
        result.append(key, value);
    }
    return result;
}

} // namespace tv
