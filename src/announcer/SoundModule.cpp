// The sound output of Linux and other POSIX systems: a module of its own (QtSoundOutput.cpp), loaded
// with the sound libraries only once a sound is wanted.

#include "Version.h"
#include "announcer/SoundOutput.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

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

SoundOutput *NewSoundOutput()
{
    static CreateSoundOutputFunction *const create = LoadSoundModule();
    return create ? create() : nullptr;
}

} // namespace korsa
