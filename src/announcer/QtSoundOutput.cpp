// The sound output on Qt Multimedia, built as a module of its own: the announcer loads it, and with
// it the sound libraries, only once a sound is wanted.

#include "announcer/SoundOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>

#include <memory>
#include <type_traits>

namespace korsa {

namespace {

QAudioFormat ToAudioFormat(const SoundFormat &sound)
{
    QAudioFormat format;
    format.setSampleRate(sound.sampleRate);
    format.setChannelCount(sound.channels);
    format.setSampleFormat(sound.sample == SoundFormat::Sample::UInt8   ? QAudioFormat::UInt8
                           : sound.sample == SoundFormat::Sample::Int16 ? QAudioFormat::Int16
                                                                        : QAudioFormat::Int32);
    return format;
}

class QtSoundOutput final : public QObject, public SoundOutput
{
public:
    QtSoundOutput()
    {
        feeder_.setInterval(50);
        connect(&feeder_, &QTimer::timeout, this, &QtSoundOutput::Feed);
    }
    ~QtSoundOutput() override
    {
        Stop();
        if (sink_)
            sink_->disconnect(this);
    }

    void Prepare() override { QMediaDevices::defaultAudioOutput(); }

    bool Play(const SoundFormat &sound, const QByteArray &samples) override
    {
        Stop();
        // One output is kept from one sound to the next; only another format or another default
        // device needs a new one.
        const QAudioFormat format = ToAudioFormat(sound);
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (sink_ && (sink_->format() != format || sinkDevice_ != device)) {
            sink_->disconnect(this);
            // Its stream is closed already; the object itself goes once control is back in the
            // event loop, as deleting an output processes events.
            sink_.release()->deleteLater();
        }
        if (!sink_) {
            sink_ = std::make_unique<QAudioSink>(device, format);
            sinkDevice_ = device;
            connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
                // Played to its end: the stream is closed so that the server no longer plays it;
                // the output stays for the next sound.
                if (state == QAudio::IdleState && sink_ && sink_->state() == QAudio::IdleState && !samples_.isEmpty() &&
                    written_ == samples_.size())
                    Stop();
            });
        }

        // The server starts playing once it holds a whole buffer: no larger than the sound, so the
        // samples handed over at once start it.
        samples_ = samples;
        written_ = 0;
        const qsizetype twoSeconds = format.bytesForDuration(2'000'000);
        const qsizetype frame = qMax(1, format.bytesPerFrame());
        sink_->setBufferSize(qMax(frame, qMin(samples_.size(), twoSeconds) / frame * frame));
        output_ = sink_->start();
        if (!output_ || sink_->error() != QAudio::NoError) {
            Stop();
            return false;
        }
        Feed();
        return true;
    }

    void Stop() override
    {
        feeder_.stop();
        output_ = nullptr;
        samples_.clear();
        written_ = 0;
        if (sink_ && sink_->state() != QAudio::StoppedState)
            sink_->stop();
    }

    bool IsPlaying() const override { return output_ != nullptr; }

private:
    void Feed()
    {
        if (!sink_ || !output_)
            return;
        // All of a sound is handed over at once; only a very long one goes in parts as the server
        // makes room.
        constexpr qsizetype FirstPart = 1 << 20;
        const qsizetype room = written_ == 0 ? FirstPart : sink_->bytesFree();
        const qsizetype part = qMin(room, samples_.size() - written_);
        if (part > 0) {
            const qint64 done = output_->write(samples_.constData() + written_, part);
            if (done > 0)
                written_ += done;
        }
        if (written_ < samples_.size()) {
            if (!feeder_.isActive())
                feeder_.start();
        } else {
            feeder_.stop();
        }
    }

    // The output, kept between sounds, and the device it plays on.
    std::unique_ptr<QAudioSink> sink_;
    QAudioDevice sinkDevice_;
    // The sound playing: the stream it is written to, its samples and how many of them the server has.
    QIODevice *output_ = nullptr;
    QByteArray samples_;
    qsizetype written_ = 0;
    QTimer feeder_;
};

} // namespace

} // namespace korsa

extern "C" Q_DECL_EXPORT korsa::SoundOutput *korsa_CreateSoundOutput() { return new korsa::QtSoundOutput; }
static_assert(std::is_same_v<decltype(korsa_CreateSoundOutput), korsa::CreateSoundOutputFunction>);
