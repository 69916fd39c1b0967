#include "announcer/Announcer.h"

#include "announcer/SoundOutput.h"
#include "announcer/WaveFile.h"
#include "platform/RegularFile.h"

#include <QFile>

#include <optional>

namespace korsa {

Announcer::Announcer(const QString &programFolder, QObject *parent) : QObject(parent), programFolder_(programFolder) {}

Announcer::~Announcer() { StopSound(); }

QString Announcer::SoundFilePath(int i) const
{
    return programFolder_ + QStringLiteral("/Track Sounds/TrackSound ") + QString::number(i) + QStringLiteral(".wav");
}

SoundOutput *Announcer::Output()
{
    if (!outputCreated_) {
        outputCreated_ = true;
        output_.reset(NewSoundOutput());
    }
    return output_.get();
}

void Announcer::PrepareOutput()
{
    if (SoundOutput *output = Output())
        output->Prepare();
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

    SoundOutput *output = Output();
    if (output && output->Play(sound->format, sound->samples))
        source_ = source;
}

void Announcer::StopSound()
{
    source_.clear();
    if (output_)
        output_->Stop();
}

QUrl Announcer::CurrentSource() const { return output_ && output_->IsPlaying() ? source_ : QUrl(); }

} // namespace korsa
