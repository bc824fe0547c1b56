#pragma once

#include <QByteArray>
#include <QStringView>
#include <functional>

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
        if (m_buffer.size() >= BufferSize)
            drain();
        m_buffer.append(char(v));
        ++m_position;
    }
    void put16(quint16 v) {
        const char b[2] = {char(v), char(v >> 8)};
        putBytes(b, 2);
    }
    void put32(quint32 v) {
        const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        putBytes(b, 4);
    }
    void putBytes(const char* data, qsizetype size);
    void putZeros(qint64 count);
    // Bytes put so far.
    quint64 position() const { return m_position; }
    // Hands everything buffered to the device.
    void flush();

private:
    static constexpr qsizetype BufferSize = 1 << 20;
    void drain();

    QIODevice* m_device = nullptr;
    QByteArray m_buffer;
    quint64 m_position = 0;
};

// Writes a compound file (version 3, 512-byte sectors) holding a single stream of streamSize
// bytes, which writeStream puts into the sink. A stream shorter than the mini-stream cutoff is
// padded with zeros to 4096 bytes so that no mini stream is needed. Files of any size are
// supported: FAT sectors past the 109 of the header are listed in DIFAT sectors.
void writeCompoundFile(ByteSink& out, QStringView streamName, quint64 streamSize,
                       const std::function<void(ByteSink&)>& writeStream);

} // namespace tv
