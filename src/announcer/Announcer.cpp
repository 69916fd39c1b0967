#include "announcer/Announcer.h"

#include "Version.h"
#include "announcer/SoundOutput.h"
#include "announcer/WaveFile.h"
#include "platform/RegularFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

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

// The sound module is looked for where the program's install puts it, relative to the running
// program, then where it was built; the first one that loads is kept for the life of the process.
CreateSoundOutputFunction *LoadSoundModule()
{
    QStringList places;
    if (QCoreApplication::instance())
        places << QCoreApplication::applicationDirPath() + QStringLiteral("/" KORSA_SOUND_MODULE_FROM_BINDIR);
    places << QStringLiteral(KORSA_SOUND_MODULE_BUILT);
    for (const QString &place : std::as_const(places)) {
        if (!QFileInfo(place).isFile())
            continue;
        QLibrary module(place);
        // The outputs it made may still be deleted late: it is never unloaded.
        module.setLoadHints(QLibrary::PreventUnloadHint);
        if (auto *create = reinterpret_cast<CreateSoundOutputFunction *>(module.resolve(CreateSoundOutputName)))
            return create;
    }
    return nullptr;
}

} // namespace

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
        static CreateSoundOutputFunction *const create = LoadSoundModule();
        if (create)
            output_.reset(create());
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
