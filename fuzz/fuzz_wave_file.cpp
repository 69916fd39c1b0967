// Feeds arbitrary bytes to the WAVE reader. What it accepts is a whole number of frames of 8, 16 or
// 32-bit samples, one to eight channels, in a format the sound server can open, taken unchanged
// from the input.

#include "announcer/WaveFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto sound = korsa::ReadWave(bytes);
    if (!sound)
        return 0;
    const korsa::SoundFormat &f = sound->format;
    if (f.channels < 1 || f.channels > 8 || f.sampleRate < 1 || sound->samples.isEmpty() ||
        sound->samples.size() % f.BytesPerFrame() != 0 || !bytes.contains(sound->samples))
        __builtin_trap();
    return 0;
}
