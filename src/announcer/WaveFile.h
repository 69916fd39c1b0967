#pragma once

#include "announcer/SoundOutput.h"

#include <QByteArray>

#include <optional>

namespace korsa {

// The sound held by a WAVE image: how its samples are laid out, and the sample bytes.
struct WaveSound {
    SoundFormat format;
    QByteArray samples;
};

// The sound of a complete PCM WAVE image (RIFF, or RIFX with 8-bit samples), 8, 16 or 32 bits,
// one to eight channels. Anything else, or an image that ends before its sound does, gives
// nothing, so the section stays silent.
std::optional<WaveSound> ReadWave(const QByteArray &bytes);

} // namespace korsa
