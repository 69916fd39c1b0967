// Feeds arbitrary bytes to the WAVE reader. Whatever it accepts must be a whole number of frames
// in a format the sound server can open, taken unchanged from a "data" chunk of the input; and
// written out again as a plain WAVE image, the same sound must read back.

#include "announcer/WaveFile.h"

#include <QDataStream>
#include <QIODevice>

#include <cstddef>
#include <cstdint>

namespace {

using namespace korsa;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// The sample bytes stand in the input right after a "data" chunk header that gives their size.
bool TakenFromDataChunk(const QByteArray &bytes, const QByteArray &samples)
{
    for (qsizetype at = bytes.indexOf("data"); at >= 0; at = bytes.indexOf("data", at + 1)) {
        if (at + 8 + samples.size() > bytes.size())
            break;
        const auto *size = reinterpret_cast<const unsigned char *>(bytes.constData() + at + 4);
        const quint32 little = size[0] | size[1] << 8 | size[2] << 16 | quint32(size[3]) << 24;
        const quint32 big = size[3] | size[2] << 8 | size[1] << 16 | quint32(size[0]) << 24;
        const bool sizeMatches = little == quint32(samples.size()) || big == quint32(samples.size());
        if (sizeMatches && bytes.mid(at + 8, samples.size()) == samples)
            return true;
    }
    return false;
}

// The canonical 44-byte header: RIFF, a 16-byte PCM format chunk, then the samples.
QByteArray PlainWave(const WaveSound &sound)
{
    const QAudioFormat &f = sound.format;
    const auto frame = quint16(f.bytesPerFrame());
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + sound.samples.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(f.channelCount()) << quint32(f.sampleRate())
        << quint32(f.sampleRate()) * frame << frame << quint16(f.bytesPerSample() * 8);
    out.writeRawData("data", 4);
    out << quint32(sound.samples.size());
    out.writeRawData(sound.samples.constData(), int(sound.samples.size()));
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto sound = ReadWave(bytes);
    if (!sound)
        return 0;
    const QAudioFormat &f = sound->format;
    Check(f.isValid());
    Check(f.channelCount() >= 1 && f.channelCount() <= 8);
    Check(f.sampleRate() >= 1 && f.sampleRate() <= 384000);
    Check(!sound->samples.isEmpty() && sound->samples.size() % f.bytesPerFrame() == 0);
    Check(TakenFromDataChunk(bytes, sound->samples));

    const auto again = ReadWave(PlainWave(*sound));
    Check(again.has_value());
    Check(again->format == f);
    Check(again->samples == sound->samples);
    return 0;
}
