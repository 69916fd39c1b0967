#include "announcer/Announcer.h"

#include "Version.h"
#include "announcer/WaveFile.h"
#include "track_file/RegularFile.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QFile>
#include <QMediaDevices>

#include <optional>

namespace korsa {

namespace {

// The sound mixer lists the announcements under the program's name and icon. Qt names its
// PulseAudio client "QtPulseAudio:<pid>"; PulseAudio lets the environment override that, but only
// before the client connects, so this runs as the program loads. A value the user set stays.
void NameTheSoundClient()
{
    if (!qEnvironmentVariableIsSet("PULSE_PROP_OVERRIDE_application.name"))
        qputenv("PULSE_PROP_OVERRIDE_application.name", version::ProgramTitle);
    if (!qEnvironmentVariableIsSet("PULSE_PROP_OVERRIDE_application.icon_name"))
        qputenv("PULSE_PROP_OVERRIDE_application.icon_name", version::ApplicationId);
}
Q_CONSTRUCTOR_FUNCTION(NameTheSoundClient)

} // namespace

Announcer::Announcer(const QString &programFolder, QObject *parent) : QObject(parent), programFolder_(programFolder) {}

Announcer::~Announcer()
{
    StopSound();
    if (sink_)
        sink_->disconnect(this);
    sink_.reset();
}

QString Announcer::SoundFilePath(int i) const
{
    return programFolder_ + QStringLiteral("/Track Sounds/TrackSound ") + QString::number(i) + QStringLiteral(".wav");
}

void Announcer::PrepareOutput()
{
    // Finding the sound server and its default output is the slow part of a first announcement.
    QMediaDevices::defaultAudioOutput();
}

void Announcer::PlaySectionSound(int i)
{
    StopSound();
    const QString file = SoundFilePath(i);
    QUrl source(QStringLiteral("qrc:/SOUND/%1.wav").arg(300 + i));
    QString path = QStringLiteral(":/SOUND/%1.wav").arg(300 + i);
    // Only a regular file of sane size counts as the player's own: anything else there (a pipe, a
    // link to a device) is passed over as if absent, so it can never freeze the window.
    std::optional<QByteArray> bytes = ReadRegularFile(file, 32 * 1024 * 1024);
    if (bytes) {
        // The player's own file, or silence when it cannot be played: never the embedded sound.
        source = QUrl::fromLocalFile(file);
        path = file;
    } else if (QFile in(path); in.open(QIODevice::ReadOnly)) {
        bytes = in.readAll();
    }
    if (!bytes)
        return;
    const std::optional<WaveSound> sound = ReadWave(*bytes);
    if (!sound)
        return;

    // One output is kept from one announcement to the next; only another format or another
    // default device needs a new one.
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (sink_ && (sink_->format() != sound->format || sinkDevice_ != device)) {
        sink_->disconnect(this);
        // Its stream is closed already; the object itself goes once control is back in the
        // event loop, as deleting an output processes events.
        sink_.release()->deleteLater();
    }
    if (!sink_) {
        sink_ = std::make_unique<QAudioSink>(device, sound->format);
        sinkDevice_ = device;
        connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
            // Played to its end: the stream is closed so that the server no longer plays it; the
            // output stays for the next announcement.
            if (state == QAudio::IdleState && sink_ && sink_->state() == QAudio::IdleState && !samples_.isEmpty() &&
                written_ == samples_.size())
                StopSound();
        });
    }

    // The server starts playing once it holds a whole buffer: no larger than the sound, so the
    // samples handed over at once start it.
    samples_ = sound->samples;
    written_ = 0;
    const qsizetype twoSeconds = sound->format.bytesForDuration(2'000'000);
    const qsizetype frame = qMax(1, sound->format.bytesPerFrame());
    sink_->setBufferSize(qMax(frame, qMin(samples_.size(), twoSeconds) / frame * frame));
    output_ = sink_->start();
    if (!output_ || sink_->error() != QAudio::NoError) {
        StopSound();
        return;
    }
    source_ = source;
    Feed();
}

void Announcer::Feed()
{
    if (!sink_ || !output_)
        return;
    // All of an announcement is handed over at once; only a very long file goes in parts as the
    // server makes room.
    constexpr qsizetype FirstPart = 1 << 20;
    const qsizetype room = written_ == 0 ? FirstPart : sink_->bytesFree();
    const qsizetype part = qMin(room, samples_.size() - written_);
    if (part > 0) {
        const qint64 done = output_->write(samples_.constData() + written_, part);
        if (done > 0)
            written_ += done;
    }
    if (written_ < samples_.size()) {
        if (!feeder_.isActive()) {
            feeder_.setInterval(50);
            connect(&feeder_, &QTimer::timeout, this, &Announcer::Feed, Qt::UniqueConnection);
            feeder_.start();
        }
    } else {
        feeder_.stop();
    }
}

void Announcer::StopSound()
{
    source_.clear();
    feeder_.stop();
    output_ = nullptr;
    samples_.clear();
    written_ = 0;
    if (sink_ && sink_->state() != QAudio::StoppedState)
        sink_->stop();
}

QUrl Announcer::CurrentSource() const { return source_; }

} // namespace korsa
