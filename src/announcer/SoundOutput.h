#pragma once

#include <QByteArray>

namespace korsa {

// How the samples of a sound are laid out: little-endian PCM, interleaved by channel.
struct SoundFormat {
    enum class Sample { UInt8, Int16, Int32 };
    int sampleRate = 0;
    int channels = 0;
    Sample sample = Sample::Int16;

    int BytesPerSample() const { return sample == Sample::UInt8 ? 1 : sample == Sample::Int16 ? 2 : 4; }
    int BytesPerFrame() const { return BytesPerSample() * channels; }
    bool operator==(const SoundFormat &) const = default;
};

// The system's sound output. On Linux it lives in a module of its own, loaded with the sound
// libraries only once a sound is wanted, so that a program that never plays one never maps them; on
// Windows it is the system's PlaySound, always at hand.
class SoundOutput
{
public:
    virtual ~SoundOutput() = default;

    // Finds the sound server and its default output, the slow part of a first sound.
    virtual void Prepare() = 0;
    // Stops the sound playing and starts this one, its samples handed to the server at once.
    // False when no output can play it.
    virtual bool Play(const SoundFormat &format, const QByteArray &samples) = 0;
    // Stops the sound playing, if any; the output stays ready for the next.
    virtual void Stop() = 0;
    // True from Play until Stop or the sound's end.
    virtual bool IsPlaying() const = 0;
};

// A new output, owned by the caller; null where there is none (the sound module cannot be loaded).
SoundOutput *NewSoundOutput();

// The sound module's one entry point: a new output, owned by the caller.
using CreateSoundOutputFunction = SoundOutput *();
inline constexpr char CreateSoundOutputName[] = "korsa_CreateSoundOutput";

} // namespace korsa
