#include "announcer/WaveFile.h"

#include <QtEndian>

namespace korsa {

namespace {

quint32 ReadSize(const char *bytes, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint32>(bytes) : qFromLittleEndian<quint32>(bytes);
}

quint16 ReadShort(const char *bytes, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint16>(bytes) : qFromLittleEndian<quint16>(bytes);
}

} // namespace

std::optional<WaveSound> ReadWave(const QByteArray &bytes)
{
    const qint64 size = bytes.size();
    if (size < 12)
        return std::nullopt;
    const char *data = bytes.constData();
    const bool bigEndian = qstrncmp(data, "RIFX", 4) == 0;
    if ((!bigEndian && qstrncmp(data, "RIFF", 4) != 0) || qstrncmp(data + 8, "WAVE", 4) != 0)
        return std::nullopt;
    // The format chunk first, then the sound bytes after it; other chunks are skipped.
    SoundFormat format;
    int bytesPerFrame = 0;
    qint64 at = 12;
    while (at + 8 <= size) {
        const qint64 chunkSize = ReadSize(data + at + 4, bigEndian);
        const qint64 body = at + 8;
        if (bytesPerFrame == 0 && qstrncmp(data + at, "fmt ", 4) == 0) {
            if (chunkSize < 16 || chunkSize % 2 != 0 || body + chunkSize > size)
                return std::nullopt;
            const quint16 encoding = ReadShort(data + body, bigEndian);
            const quint16 channels = ReadShort(data + body + 2, bigEndian);
            const quint32 rate = ReadSize(data + body + 4, bigEndian);
            const quint16 bits = ReadShort(data + body + 14, bigEndian);
            if ((encoding != 0 && encoding != 1) || channels == 0 || channels > 8 || rate == 0 || rate > 384000)
                return std::nullopt;
            if (bits == 8)
                format.sample = SoundFormat::Sample::UInt8;
            else if (bits == 16)
                format.sample = SoundFormat::Sample::Int16;
            else if (bits == 32)
                format.sample = SoundFormat::Sample::Int32;
            else
                return std::nullopt;
            // The sound server takes little-endian samples only.
            if (bigEndian && bits != 8)
                return std::nullopt;
            format.channels = channels;
            format.sampleRate = static_cast<int>(rate);
            bytesPerFrame = bits / 8 * channels;
            at = body + chunkSize;
            continue;
        }
        if (bytesPerFrame != 0 && qstrncmp(data + at, "data", 4) == 0) {
            // A last frame cut short would leave the output mid-frame.
            if (chunkSize <= 0 || body + chunkSize > size || chunkSize % bytesPerFrame != 0)
                return std::nullopt;
            return WaveSound{format, bytes.mid(body, chunkSize)};
        }
        at = body + chunkSize + (chunkSize & 1);
    }
    return std::nullopt;
}

} // namespace korsa
