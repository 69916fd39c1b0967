#include "announcer/Announcer.h"

#include "track_file/TrackIniFileReader.h"

#include <QFile>
#include <QSoundEffect>
#include <QtEndian>

namespace korsa {

namespace {

quint32 ReadSize(const char *bytes, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint32>(bytes) : qFromLittleEndian<quint32>(bytes);
}

quint16 ReadShort(const char *bytes, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint16>(bytes) : qFromLittleEndian<quint16>(bytes);
}

// True when the file is a complete PCM WAVE file the sound effect can load to the end.
//
// The sound effect's loader waits for more bytes whenever a file ends early (an empty file, a
// header cut short, fewer sound bytes than the header announces, an odd byte left over), and
// the next effect that is deleted then blocks forever waiting for that load: the program hangs.
// Such files are therefore refused here, and their section stays silent.
bool IsCompleteWave(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();

    char riff[12];
    if (file.read(riff, 12) != 12)
        return false;
    const bool bigEndian = qstrncmp(riff, "RIFX", 4) == 0;
    if ((!bigEndian && qstrncmp(riff, "RIFF", 4) != 0) || qstrncmp(riff + 8, "WAVE", 4) != 0)
        return false;

    // The format chunk first, then the sound bytes after it; other chunks are skipped.
    int bytesPerSample = 0;
    qint64 at = 12;
    while (at + 8 <= size) {
        char header[8];
        if (!file.seek(at) || file.read(header, 8) != 8)
            return false;
        const qint64 chunkSize = ReadSize(header + 4, bigEndian);
        const qint64 body = at + 8;

        if (bytesPerSample == 0 && qstrncmp(header, "fmt ", 4) == 0) {
            if (chunkSize < 16 || chunkSize % 2 != 0 || body + chunkSize > size)
                return false;
            char format[16];
            if (file.read(format, 16) != 16)
                return false;
            const quint16 encoding = ReadShort(format, bigEndian);
            const quint16 channels = ReadShort(format + 2, bigEndian);
            const quint32 rate = ReadSize(format + 4, bigEndian);
            const quint16 bits = ReadShort(format + 14, bigEndian);
            if ((encoding != 0 && encoding != 1) || channels == 0 || rate == 0)
                return false;
            if (bits != 8 && bits != 16 && bits != 32)
                return false;
            bytesPerSample = bits / 8;
            at = body + chunkSize;
            continue;
        }
        if (bytesPerSample != 0 && qstrncmp(header, "data", 4) == 0)
            return chunkSize > 0 && body + chunkSize <= size && chunkSize % bytesPerSample == 0;

        at = body + chunkSize + (chunkSize & 1);
    }
    return false;
}

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
    if (FileExists(file)) {
        // The player's own file, or silence when it cannot be played: never the embedded sound.
        if (!IsCompleteWave(file))
            return;
        source = QUrl::fromLocalFile(file);
    }

    // A fresh effect per announcement: it loads in the background and starts as soon as the
    // sound is ready, because play() is asked for right away. One that fails to load stays silent.
    auto *effect = new QSoundEffect(this);
    effect->setSource(source);
    effect->play();
    effect_ = effect;
}

void Announcer::StopSound()
{
    if (!effect_)
        return;
    QSoundEffect *effect = effect_;
    effect_ = nullptr;
    effect->stop();
    // Deleted now rather than later: the sound effects share loaded sounds by file name while any
    // effect still holds one, so a file the player changed in place would otherwise be played
    // with its old contents by the next announcement. Nothing of ours listens to the effect, so
    // it is never deleted from inside one of its own signals.
    delete effect;
}

QUrl Announcer::CurrentSource() const
{
    return effect_ ? effect_->source() : QUrl();
}

} // namespace korsa
