// The sound output of Windows: PlaySound plays the announcement's WAVE image from memory while the
// program goes on, and stops it when asked.

#include "announcer/SoundOutput.h"

#include <QDeadlineTimer>
#include <QtEndian>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <mmsystem.h>

namespace korsa {

namespace {

void Append32(QByteArray &bytes, quint32 value)
{
    char little[4];
    qToLittleEndian(value, little);
    bytes.append(little, 4);
}

void Append16(QByteArray &bytes, quint16 value)
{
    char little[2];
    qToLittleEndian(value, little);
    bytes.append(little, 2);
}

// A PCM WAVE image of the samples, as PlaySound reads one.
QByteArray WaveImage(const SoundFormat &format, const QByteArray &samples)
{
    const auto size = static_cast<quint32>(samples.size());
    QByteArray image;
    image.reserve(44 + samples.size() + 1);
    image.append("RIFF", 4);
    Append32(image, 36 + size + (size & 1));
    image.append("WAVEfmt ", 8);
    Append32(image, 16);
    Append16(image, 1); // PCM
    Append16(image, static_cast<quint16>(format.channels));
    Append32(image, static_cast<quint32>(format.sampleRate));
    Append32(image, static_cast<quint32>(format.sampleRate * format.BytesPerFrame()));
    Append16(image, static_cast<quint16>(format.BytesPerFrame()));
    Append16(image, static_cast<quint16>(format.BytesPerSample() * 8));
    image.append("data", 4);
    Append32(image, size);
    image.append(samples);
    if (size & 1)
        image.append('\0'); // chunks keep an even length
    return image;
}

class WindowsSoundOutput final : public SoundOutput
{
public:
    ~WindowsSoundOutput() override { Stop(); }

    // PlaySound needs nothing found ahead of it.
    void Prepare() override {}

    bool Play(const SoundFormat &format, const QByteArray &samples) override
    {
        Stop();
        const qint64 bytesPerSecond = qint64(format.sampleRate) * format.BytesPerFrame();
        if (bytesPerSecond <= 0)
            return false;
        // The image is read while it plays: it is kept until the sound is stopped or another starts.
        image_ = WaveImage(format, samples);
        if (!::PlaySoundW(reinterpret_cast<LPCWSTR>(image_.constData()), nullptr,
                          SND_MEMORY | SND_ASYNC | SND_NODEFAULT)) {
            image_.clear();
            return false;
        }
        // PlaySound tells nobody when it is done; the sound's length does.
        end_.setRemainingTime(samples.size() * 1000 / bytesPerSecond + 1);
        return true;
    }

    void Stop() override
    {
        // Returns once the sound has stopped and its image is no longer read.
        if (!image_.isEmpty())
            ::PlaySoundW(nullptr, nullptr, 0);
        image_.clear();
        end_ = QDeadlineTimer();
    }

    bool IsPlaying() const override { return !image_.isEmpty() && !end_.hasExpired(); }

private:
    QByteArray image_;
    QDeadlineTimer end_;
};

} // namespace

SoundOutput *NewSoundOutput() { return new WindowsSoundOutput; }

} // namespace korsa
