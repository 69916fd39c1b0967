#include "announcer/Announcer.h"

#include "track_file/TrackIniFileReader.h"

#include <QFile>
#include <QAudioDevice>
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
    if (sink_)
        sink_->disconnect(this);
    sink_.reset();
}

QString Announcer::SoundFilePath(int i) const
{
    return programFolder_ + QStringLiteral("/Track Sounds/TrackSound ") + QString::number(i)
        + QStringLiteral(".wav");
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
    if (FileExists(file)) {
        // The player's own file, or silence when it cannot be played: never the embedded sound.
        source = QUrl::fromLocalFile(file);
        path = file;
    }
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return;
    const std::optional<Sound> sound = ReadWave(in.readAll());
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

QUrl Announcer::CurrentSource() const
{
    return source_;
}

} // namespace korsa
