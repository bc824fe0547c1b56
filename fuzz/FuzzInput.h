#pragma once

// Turns fuzzer bytes into the texts a target feeds in: pieces split at 0xFF, each read as
// UTF-8 (an invalid sequence becomes U+FFFD, so every text is valid Unicode).

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace tv::fuzz {

inline QList<QByteArray> pieces(const uint8_t* data, size_t size, int maxPieces = 64) {
    QList<QByteArray> out;
    QByteArray current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && out.size() + 1 < maxPieces) {
            out.append(current);
            current.clear();
        } else {
            current.append(char(data[i]));
        }
    }
    out.append(current);
    return out;
}

inline QString text(const QByteArray& bytes) {
    return QString::fromUtf8(bytes);
}

} // namespace tv::fuzz
