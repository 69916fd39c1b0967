#include "announcer/Announcer.h"

#include "track_file/RegularFile.h"

#include <QFile>
#include <QAudioSink>
#include <QMediaDevices>
#include <QtEndian>

#include <optional>

namespace korsa {

namespace {

struct Sound {
    QAudioFormat format;
    QByteArray samples;
};

quint32 ReadSize(const char *bytes, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint32>(bytes) : qFromLittleEndian<quint32>(bytes);
}

quint16 ReadShort(const char *bytes, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint16>(bytes) : qFromLittleEndian<quint16>(bytes);
}

// The sound of a complete PCM WAVE image: its format and its sample bytes. Anything else, or a
// file that ends before its sound does, gives nothing, so the section stays silent.
std::optional<Sound> ReadWave(const QByteArray &bytes)
{
    const qint64 size = bytes.size();
    if (size < 12)
        return std::nullopt;
    const char *data = bytes.constData();
    const bool bigEndian = qstrncmp(data, "RIFX", 4) == 0;
    if ((!bigEndian && qstrncmp(data, "RIFF", 4) != 0) || qstrncmp(data + 8, "WAVE", 4) != 0)
        return std::nullopt;
    // The format chunk first, then the sound bytes after it; other chunks are skipped.
    QAudioFormat format;
    int bytesPerSample = 0;
    qint64 at = 12;
    while (at + 8 <= size) {
        const qint64 chunkSize = ReadSize(data + at + 4, bigEndian);
        const qint64 body = at + 8;
        if (bytesPerSample == 0 && qstrncmp(data + at, "fmt ", 4) == 0) {
            if (chunkSize < 16 || chunkSize % 2 != 0 || body + chunkSize > size)
                return std::nullopt;
            const quint16 encoding = ReadShort(data + body, bigEndian);
            const quint16 channels = ReadShort(data + body + 2, bigEndian);
            const quint32 rate = ReadSize(data + body + 4, bigEndian);
            const quint16 bits = ReadShort(data + body + 14, bigEndian);
            if ((encoding != 0 && encoding != 1) || channels == 0 || channels > 8 || rate == 0 || rate > 384000)
                return std::nullopt;
            if (bits == 8)
                format.setSampleFormat(QAudioFormat::UInt8);
            else if (bits == 16)
                format.setSampleFormat(QAudioFormat::Int16);
            else if (bits == 32)
                format.setSampleFormat(QAudioFormat::Int32);
            else
                return std::nullopt;
            // The sound server takes little-endian samples only.
            if (bigEndian && bits != 8)
                return std::nullopt;
            format.setChannelCount(channels);
            format.setSampleRate(static_cast<int>(rate));
            bytesPerSample = bits / 8;
            at = body + chunkSize;
            continue;
        }
        if (bytesPerSample != 0 && qstrncmp(data + at, "data", 4) == 0) {
            if (chunkSize <= 0 || body + chunkSize > size || chunkSize % bytesPerSample != 0)
                return std::nullopt;
            return Sound{format, bytes.mid(body, chunkSize)};
        }
        at = body + chunkSize + (chunkSize & 1);
    }
    return std::nullopt;
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
    const std::optional<Sound> sound = ReadWave(*bytes);
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
