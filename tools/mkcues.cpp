// Writes the three sound cues of the demo folder as short tones of our own:
//   mkcues FOLDER   -> FOLDER/Welcome.wav, True.wav, False.wav (16-bit PCM, mono, 22050 Hz)
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 22050;

struct Tone {
    double hz;
    double seconds;
};

QByteArray wav(const std::vector<Tone>& tones) {
    QByteArray pcm;
    for (const Tone& t : tones) {
        const int n = int(t.seconds * kRate);
        for (int i = 0; i < n; ++i) {
            // A short fade at both ends keeps the tone free of clicks.
            const double fade = std::min({1.0, i / 200.0, (n - i) / 200.0});
            const double v = t.hz > 0 ? std::sin(2 * M_PI * t.hz * i / kRate) * 0.4 * fade : 0;
            const qint16 s = qint16(v * 32767);
            pcm.append(char(s & 0xff)).append(char((s >> 8) & 0xff));
        }
    }
    QByteArray out;
    auto u32 = [&](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    auto u16 = [&](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    };
    out.append("RIFF");
    u32(36 + quint32(pcm.size()));
    out.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(kRate);
    u32(kRate * 2);
    u16(2);
    u16(16);
    out.append("data");
    u32(quint32(pcm.size()));
    out.append(pcm);
    return out;
}

bool write(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkcues FOLDER\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const bool ok = write(dir.filePath(QStringLiteral("Welcome.wav")),
                          wav({{523.25, 0.15}, {659.25, 0.15}, {783.99, 0.3}})) &&
                    write(dir.filePath(QStringLiteral("True.wav")), wav({{1318.5, 0.12}})) &&
                    write(dir.filePath(QStringLiteral("False.wav")),
                          wav({{220, 0.18}, {0, 0.06}, {220, 0.25}}));
    if (!ok) {
        std::fprintf(stderr, "mkcues: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
