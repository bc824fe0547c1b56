#include "xls/CompoundFile.h"

#include "platform/Error.h"

#include <QIODevice>

namespace tv {

namespace {

constexpr quint32 SectorSize = 512;
constexpr quint32 IdsPerSector = SectorSize / 4;
constexpr quint32 HeaderDifatSlots = 109;
constexpr quint32 MiniStreamCutoff = 4096;

constexpr quint32 FreeSect = 0xFFFFFFFF;
constexpr quint32 EndOfChain = 0xFFFFFFFE;
constexpr quint32 FatSect = 0xFFFFFFFD;
constexpr quint32 DifSect = 0xFFFFFFFC;
constexpr quint32 NoStream = 0xFFFFFFFF;

quint32 sectorsFor(quint64 bytes, quint32 per) {
    return quint32((bytes + per - 1) / per);
}

void putDirectoryEntry(ByteSink& out, QStringView name, quint8 type, quint32 child, quint32 start,
                       quint64 size) {
    // Name: UTF-16, at most 31 characters and a NUL; its length field counts bytes with the NUL.
    const qsizetype chars = std::min<qsizetype>(name.size(), 31);
    for (qsizetype i = 0; i < chars; ++i)
        out.put16(name[i].unicode());
    out.putZeros(64 - chars * 2);
    out.put16(type == 0 ? 0 : quint16((chars + 1) * 2));
    out.put8(type);
    out.put8(type == 0 ? 0 : 1); // black: a tree of one entry per level needs no red nodes
    out.put32(NoStream);         // left sibling
    out.put32(NoStream);         // right sibling
    out.put32(child);
    out.putZeros(16 + 4 + 8 + 8); // CLSID, state bits, creation and modification times
    out.put32(start);
    out.put32(quint32(size));
    out.put32(0); // high half of the size, zero in version 3
}

} // namespace

ByteSink::ByteSink(QIODevice* device)
    : m_device(device)
    , m_buffer(device ? new char[BufferSize] : nullptr)
    , m_capacity(device ? BufferSize : 0) {}

void ByteSink::putLarge(const char* data, qsizetype size) {
    if (!m_device)
        return;
    drain();
    if (size >= BufferSize / 2) {
        if (m_device->write(data, size) != size)
            throw Error(m_device->errorString());
        return;
    }
    std::memcpy(m_buffer.get(), data, size_t(size));
    m_used = size;
}

void ByteSink::putZeros(qint64 count) {
    static const char zeros[4096] = {};
    while (count > 0) {
        const qint64 n = std::min<qint64>(count, sizeof zeros);
        putBytes(zeros, n);
        count -= n;
    }
}

void ByteSink::drain() {
    if (m_device && m_used > 0 && m_device->write(m_buffer.get(), m_used) != m_used)
        throw Error(m_device->errorString());
    m_used = 0;
}

void ByteSink::flush() {
    drain();
}

void writeCompoundFile(ByteSink& out, QStringView streamName, quint64 streamSize,
                       const std::function<void(ByteSink&)>& writeStream) {
    const quint64 declaredSize = std::max<quint64>(streamSize, MiniStreamCutoff);
    if (declaredSize > 0xFFFFFFFFull)
        throw Error(QStringLiteral("文件过大，无法写入。"));

    // Layout: the stream's sectors from 0, then one directory sector, the FAT sectors, and the
    // DIFAT sectors; FAT and DIFAT must also cover themselves, hence the fixed point.
    const quint32 streamSectors = sectorsFor(declaredSize, SectorSize);
    const quint32 directorySector = streamSectors;
    quint32 fatSectors = 0;
    quint32 difatSectors = 0;
    for (;;) {
        const quint32 total = streamSectors + 1 + fatSectors + difatSectors;
        const quint32 fat = sectorsFor(total, IdsPerSector);
        const quint32 difat =
            fat > HeaderDifatSlots ? sectorsFor(fat - HeaderDifatSlots, IdsPerSector - 1) : 0;
        if (fat == fatSectors && difat == difatSectors)
            break;
        fatSectors = fat;
        difatSectors = difat;
    }
    const quint32 firstFat = directorySector + 1;
    const quint32 firstDifat = firstFat + fatSectors;

    // Header.
    static const char signature[8] = {char(0xD0), char(0xCF), 0x11, char(0xE0),
                                      char(0xA1), char(0xB1), 0x1A, char(0xE1)};
    out.putBytes(signature, 8);
    out.putZeros(16); // CLSID
    out.put16(0x003E);
    out.put16(3);
    out.put16(0xFFFE); // little-endian byte order mark
    out.put16(9);      // sector shift: 512 bytes
    out.put16(6);      // mini sector shift: 64 bytes
    out.putZeros(6);
    out.put32(0); // directory sector count: always 0 in version 3
    out.put32(fatSectors);
    out.put32(directorySector);
    out.put32(0); // transaction signature
    out.put32(MiniStreamCutoff);
    out.put32(EndOfChain); // no mini FAT
    out.put32(0);
    out.put32(difatSectors ? firstDifat : EndOfChain);
    out.put32(difatSectors);
    for (quint32 i = 0; i < HeaderDifatSlots; ++i)
        out.put32(i < fatSectors ? firstFat + i : FreeSect);

    // The stream, padded to whole sectors.
    const quint64 before = out.position();
    writeStream(out);
    if (out.position() - before != streamSize)
        throw Error(QStringLiteral("compound file: stream size mismatch"));
    out.putZeros(qint64(quint64(streamSectors) * SectorSize - streamSize));

    // Directory: the root storage and the stream; the rest of the sector is unused entries.
    putDirectoryEntry(out, u"Root Entry", 5, 1, EndOfChain, 0);
    putDirectoryEntry(out, streamName, 2, NoStream, 0, declaredSize);
    putDirectoryEntry(out, {}, 0, NoStream, 0, 0);
    putDirectoryEntry(out, {}, 0, NoStream, 0, 0);

    // FAT: the stream is one contiguous chain.
    const quint32 fatEntries = fatSectors * IdsPerSector;
    for (quint32 s = 0; s < fatEntries; ++s) {
        quint32 v = FreeSect;
        if (s + 1 < streamSectors)
            v = s + 1;
        else if (s + 1 == streamSectors || s == directorySector)
            v = EndOfChain;
        else if (s >= firstFat && s < firstDifat)
            v = FatSect;
        else if (s >= firstDifat && s < firstDifat + difatSectors)
            v = DifSect;
        out.put32(v);
    }

    // DIFAT: 127 FAT sector numbers each, then the next DIFAT sector.
    for (quint32 d = 0; d < difatSectors; ++d) {
        for (quint32 i = 0; i < IdsPerSector - 1; ++i) {
            const quint32 fat = HeaderDifatSlots + d * (IdsPerSector - 1) + i;
            out.put32(fat < fatSectors ? firstFat + fat : FreeSect);
        }
        out.put32(d + 1 < difatSectors ? firstDifat + d + 1 : EndOfChain);
    }
}

} // namespace tv
