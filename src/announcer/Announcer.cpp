#include "announcer/Announcer.h"

#include "Version.h"
#include "announcer/WaveFile.h"
#include "track_file/TrackIniFileReader.h"

#include <QFile>
#include <QAudioSink>
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

Announcer::Announcer(const QString &programFolder, QObject *parent)
    : QObject(parent)
    , programFolder_(programFolder)
{
}

Announcer::~Announcer()
{
    StopSound();
}

QString Announcer::SoundFilePath(int i) const
{
    return programFolder_ + QStringLiteral("/Track Sounds/TrackSound ") + QString::number(i)
        + QStringLiteral(".wav");
}

void Announcer::PlaySectionSound(int i)
{
    StopSound();
    const QString file = SoundFilePath(i);
    QUrl source(QStringLiteral("qrc:/SOUND/%1.wav").arg(300 + i));
    QString path = QStringLiteral(":/SOUND/%1.wav").arg(300 + i);
    if (FileExists(file)) {
        // The player's own file, or silence when it cannot be played: never the embedded sound.
        source = QUrl::fromLocalFile(file);
        path = file;
    }
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return;
    const std::optional<WaveSound> sound = ReadWave(in.readAll());
    if (!sound)
        return;

    // The sound is played from memory by an output of our own, so that stopping it is immediate
    // and certain, whatever state the sound server is in.
    samples_.close();
    samples_.setData(sound->samples);
    if (!samples_.open(QIODevice::ReadOnly))
        return;
    sink_ = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), sound->format);
    QAudioSink *sink = sink_.get();
    connect(sink, &QAudioSink::stateChanged, this, [this, sink](QAudio::State state) {
        // Played to its end: the output is let go once control is back in the event loop.
        if (state == QAudio::IdleState && sink_.get() == sink)
            QMetaObject::invokeMethod(this, [this, sink] {
                if (sink_.get() == sink)
                    StopSound();
            }, Qt::QueuedConnection);
    });
    sink->start(&samples_);
    if (sink->error() != QAudio::NoError) {
        sink_.reset();
        return;
    }
    source_ = source;
}

void Announcer::StopSound()
{
    source_.clear();
    if (!sink_)
        return;
    std::unique_ptr<QAudioSink> sink = std::move(sink_);
    sink->disconnect(this);
    sink->stop();
    sink.reset();
    samples_.close();
}

QUrl Announcer::CurrentSource() const
{
    return source_;
}

} // namespace korsa
