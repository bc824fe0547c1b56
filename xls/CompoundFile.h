#pragma once

#include <QStringView>
#include <cstring>
#include <functional>
#include <memory>

class QIODevice;

namespace tv {

// Buffered little-endian writer onto a device; without a device it only counts bytes, which
// sizes a part of a file before it is written. Throws tv::Error when the device fails.
class ByteSink {
public:
    ByteSink() = default;
    explicit ByteSink(QIODevice* device);
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    void put8(quint8 v) {
        const char b = char(v);
        putBytes(&b, 1);
    }
    void put16(quint16 v) {
        const char b[2] = {char(v), char(v >> 8)};
        putBytes(b, 2);
    }
    void put32(quint32 v) {
        const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        putBytes(b, 4);
    }
    // Small pieces are copied into the buffer here, inline: a workbook is millions of them.
    void putBytes(const char* data, qsizetype size) {
        m_position += quint64(size);
        if (m_used + size <= m_capacity) {
            std::memcpy(m_buffer.get() + m_used, data, size_t(size));
            m_used += size;
            return;
        }
        putLarge(data, size);
    }
    void putZeros(qint64 count);
    // Bytes put so far.
    quint64 position() const { return m_position; }
    // Hands everything buffered to the device.
    void flush();

private:
    static constexpr qsizetype BufferSize = 1 << 20;
    void putLarge(const char* data, qsizetype size);
    void drain();

    QIODevice* m_device = nullptr;
    std::unique_ptr<char[]> m_buffer;
    qsizetype m_used = 0;
    qsizetype m_capacity = 0; // 0 for a sink that only counts
    quint64 m_position = 0;
};

// Writes a compound file (version 3, 512-byte sectors) holding a single stream of streamSize
// bytes, which writeStream puts into the sink. A stream shorter than the mini-stream cutoff is
// padded with zeros to 4096 bytes so that no mini stream is needed. Files of any size are
// supported: FAT sectors past the 109 of the header are listed in DIFAT sectors.
void writeCompoundFile(ByteSink& out, QStringView streamName, quint64 streamSize,
                       const std::function<void(ByteSink&)>& writeStream);

} // namespace tv
