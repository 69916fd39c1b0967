#include "announcer/Announcer.h"

#include "KorsaResources.h"
#include "support/TempTree.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>
#include <QtEndian>

#include <cmath>

using korsa::Announcer;

namespace {

// One playback stream of this test process, as the sound server sees it.
struct Stream {
    QString format; // e.g. "s16le 1ch 22050Hz"
    bool corked = false;
};

QString RunPactl(const QStringList &arguments, bool *ok = nullptr)
{
    QProcess pactl;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    pactl.setProcessEnvironment(environment);
    pactl.start(QStringLiteral("pactl"), arguments);
    const bool finished = pactl.waitForStarted(5000) && pactl.waitForFinished(5000);
    if (ok)
        *ok = finished && pactl.exitStatus() == QProcess::NormalExit && pactl.exitCode() == 0;
    return QString::fromLocal8Bit(pactl.readAllStandardOutput());
}

// The line "Sample ...: s16le 1ch 22050Hz" of a stream, with its sample format.
const QRegularExpression SampleFormatLine(QStringLiteral("^Sample \\w+: (\\w+ \\d+ch \\d+Hz)$"));

// The streams this process plays, from "pactl list sink-inputs". Streams of other programs on the
// same server are left out by their process id.
QList<Stream> OurStreams()
{
    bool ok = false;
    const QString listing = RunPactl({QStringLiteral("list"), QStringLiteral("sink-inputs")}, &ok);
    if (!ok)
        qFatal("pactl list sink-inputs failed: the sound server went away during the test");
    const QString ourPid = QStringLiteral("application.process.id = \"%1\"")
                               .arg(QCoreApplication::applicationPid());

    QList<Stream> streams;
    const QStringList blocks = listing.split(QStringLiteral("Sink Input #"), Qt::SkipEmptyParts);
    for (const QString &block : blocks) {
        if (!block.contains(ourPid))
            continue;
        Stream stream;
        for (const QString &rawLine : block.split(QLatin1Char('\n'))) {
            const QString line = rawLine.trimmed();
            const QRegularExpressionMatch sampleFormat = SampleFormatLine.match(line);
            if (sampleFormat.hasMatch())
                stream.format = sampleFormat.captured(1);
            else if (line.startsWith(QStringLiteral("Corked:")))
                stream.corked = line.section(QLatin1Char(':'), 1).trimmed() == QStringLiteral("yes");
        }
        streams.append(stream);
    }
    return streams;
}

QList<Stream> Playing()
{
    QList<Stream> playing;
    for (const Stream &stream : OurStreams()) {
        if (!stream.corked)
            playing.append(stream);
    }
    return playing;
}

// The sample format of the one stream playing, or a description of what plays instead.
QString PlayingFormat()
{
    const QList<Stream> playing = Playing();
    if (playing.size() == 1)
        return playing.first().format;
    return QStringLiteral("%1 streams playing").arg(playing.size());
}

void PutLe16(QByteArray &bytes, int value)
{
    char out[2];
    qToLittleEndian<quint16>(static_cast<quint16>(value), out);
    bytes.append(out, 2);
}

void PutLe32(QByteArray &bytes, quint32 value)
{
    char out[4];
    qToLittleEndian<quint32>(value, out);
    bytes.append(out, 4);
}

// A 16-bit PCM WAVE file holding a quiet tone. With extendedFormat the format chunk has 18 bytes
// and a fact chunk follows, the way the embedded announcements are stored.
QByteArray Wave(int rate, int channels, double seconds, bool extendedFormat = false)
{
    const int frames = static_cast<int>(rate * seconds);
    QByteArray samples;
    samples.reserve(frames * channels * 2);
    for (int f = 0; f < frames; ++f) {
        const int value = static_cast<int>(3000 * std::sin(2 * M_PI * 440.0 * f / rate));
        for (int c = 0; c < channels; ++c)
            PutLe16(samples, value);
    }

    QByteArray body("WAVE");
    body.append("fmt ");
    PutLe32(body, extendedFormat ? 18 : 16);
    PutLe16(body, 1); // PCM
    PutLe16(body, channels);
    PutLe32(body, static_cast<quint32>(rate));
    PutLe32(body, static_cast<quint32>(rate * channels * 2));
    PutLe16(body, channels * 2);
    PutLe16(body, 16);
    if (extendedFormat) {
        PutLe16(body, 0);
        body.append("fact");
        PutLe32(body, 4);
        PutLe32(body, static_cast<quint32>(frames));
    }
    body.append("data");
    PutLe32(body, static_cast<quint32>(samples.size()));
    body.append(samples);

    QByteArray file("RIFF");
    PutLe32(file, static_cast<quint32>(body.size()));
    return file + body;
}

QByteArray Garbage()
{
    QByteArray bytes;
    for (int i = 0; i < 8192; ++i)
        bytes.append(static_cast<char>((i * 53 + 7) % 256));
    return bytes;
}

QString EmbeddedUrl(int section)
{
    return QStringLiteral("qrc:/SOUND/%1.wav").arg(300 + section);
}

const QString EmbeddedFormat = QStringLiteral("s16le 1ch 22050Hz");

// A folder with "Track Sounds" in it, where a test puts the player's own announcements.
class ProgramFolder
{
public:
    ProgramFolder() { QDir(tree_.path()).mkdir(QStringLiteral("Track Sounds")); }
    QString path() const { return tree_.path(); }
    QString put(const QString &name, const QByteArray &bytes) const
    {
        return tree_.write(QStringLiteral("Track Sounds/") + name, bytes);
    }
    QString sounds() const { return tree_.file(QStringLiteral("Track Sounds")); }

private:
    korsa::test::TempTree tree_;
};

} // namespace

// Sound cases skip when no sound server can be reached, unless KORSA_REQUIRE_SOUND is set: then
// a missing server is a failure, so a test run that is meant to hear sounds cannot pass silently.
#define REQUIRE_SOUND()                                                                            \
    do {                                                                                           \
        if (!noSoundReason_.isEmpty()) {                                                           \
            if (qEnvironmentVariableIsSet("KORSA_REQUIRE_SOUND"))                                  \
                QFAIL(qPrintable(noSoundReason_ + QStringLiteral(" (KORSA_REQUIRE_SOUND is set)"))); \
            QSKIP(qPrintable(noSoundReason_ + QStringLiteral(" (run tests/support/pulseaudio.sh)"))); \
        }                                                                                          \
    } while (false)

class TestAnnouncer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void soundFilePath_data();
    void soundFilePath();

    void playsEmbeddedSound_data();
    void playsEmbeddedSound();
    void stopEndsSound_data();
    void stopEndsSound();
    void newSoundReplacesPlayingOne_data();
    void newSoundReplacesPlayingOne();
    void playerFileUsedWhenNamedRight_data();
    void playerFileUsedWhenNamedRight();
    void unplayableFileStaysSilent_data();
    void unplayableFileStaysSilent();
    void fileLookedUpAtEveryCall();
    void destroyingAnnouncerEndsSound();

private:
    QString noSoundReason_;
};

void TestAnnouncer::initTestCase()
{
    korsa::InitResources();

    bool ok = false;
    RunPactl({QStringLiteral("info")}, &ok);
    if (!ok)
        noSoundReason_ = QStringLiteral("no PulseAudio daemon answers \"pactl info\"");
    else if (QMediaDevices::defaultAudioOutput().isNull())
        noSoundReason_ = QStringLiteral("Qt Multimedia finds no audio output");
}

void TestAnnouncer::init()
{
    // Each case starts with nothing of ours on the server: a stream leaves the server a moment
    // after the output that played it is gone.
    if (noSoundReason_.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(OurStreams().isEmpty(), 5000);
}

void TestAnnouncer::soundFilePath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("section");
    QTest::addColumn<QString>("path");

    QTest::newRow("first section") << "/opt/korsa" << 0 << "/opt/korsa/Track Sounds/TrackSound 0.wav";
    QTest::newRow("last section") << "/opt/korsa" << 8 << "/opt/korsa/Track Sounds/TrackSound 8.wav";
    QTest::newRow("folder with blanks") << "/home/me/Korsa Trainer" << 3
                                        << "/home/me/Korsa Trainer/Track Sounds/TrackSound 3.wav";
    QTest::newRow("backslash folder") << "C:\\Korsa" << 5 << "C:\\Korsa/Track Sounds/TrackSound 5.wav";
}

void TestAnnouncer::soundFilePath()
{
    QFETCH(QString, folder);
    QFETCH(int, section);
    QFETCH(QString, path);
    QCOMPARE(Announcer(folder).SoundFilePath(section), path);
}

void TestAnnouncer::playsEmbeddedSound_data()
{
    QTest::addColumn<int>("section");
    for (int i = 0; i < 9; ++i)
        QTest::addRow("section %d", i) << i;
}

void TestAnnouncer::playsEmbeddedSound()
{
    REQUIRE_SOUND();
    QFETCH(int, section);

    ProgramFolder folder; // holds no sound files
    Announcer announcer(folder.path());
    announcer.PlaySectionSound(section);
    QCOMPARE(announcer.CurrentSource(), QUrl(EmbeddedUrl(section)));
    QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), EmbeddedFormat, 5000);
}

void TestAnnouncer::stopEndsSound_data()
{
    QTest::addColumn<bool>("ownFile"); // a ten-second file, so the sound cannot end by itself
    QTest::addColumn<bool>("play");

    QTest::newRow("embedded sound") << false << true;
    QTest::newRow("long player file") << true << true;
    QTest::newRow("nothing playing") << false << false;
}

void TestAnnouncer::stopEndsSound()
{
    REQUIRE_SOUND();
    QFETCH(bool, ownFile);
    QFETCH(bool, play);

    ProgramFolder folder;
    if (ownFile)
        folder.put(QStringLiteral("TrackSound 2.wav"), Wave(44100, 2, 10.0));
    Announcer announcer(folder.path());
    if (play) {
        announcer.PlaySectionSound(2);
        QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), ownFile ? "s16le 2ch 44100Hz" : EmbeddedFormat, 5000);
    }

    announcer.StopSound();
    QVERIFY(announcer.CurrentSource().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(Playing().isEmpty(), 3000);
    announcer.StopSound(); // again: nothing to stop
    QVERIFY(Playing().isEmpty());
}

void TestAnnouncer::newSoundReplacesPlayingOne_data()
{
    QTest::addColumn<bool>("ownFiles");
    QTest::addColumn<bool>("waitForFirst");
    QTest::addColumn<int>("second"); // the section announced after section 3
    QTest::addColumn<QString>("secondFormat");

    // With the player's files the announcements differ in sample format, so the server shows
    // which one is playing.
    QTest::newRow("embedded, at once") << false << false << 4 << EmbeddedFormat;
    QTest::newRow("embedded, first audible") << false << true << 4 << EmbeddedFormat;
    QTest::newRow("files, at once") << true << false << 4 << "s16le 1ch 8000Hz";
    QTest::newRow("files, first audible") << true << true << 4 << "s16le 1ch 8000Hz";
    QTest::newRow("embedded, same section again") << false << true << 3 << EmbeddedFormat;
    QTest::newRow("file, same section again") << true << true << 3 << "s16le 2ch 44100Hz";
}

void TestAnnouncer::newSoundReplacesPlayingOne()
{
    REQUIRE_SOUND();
    QFETCH(bool, ownFiles);
    QFETCH(bool, waitForFirst);
    QFETCH(int, second);
    QFETCH(QString, secondFormat);

    ProgramFolder folder;
    if (ownFiles) {
        folder.put(QStringLiteral("TrackSound 3.wav"), Wave(44100, 2, 10.0));
        folder.put(QStringLiteral("TrackSound 4.wav"), Wave(8000, 1, 10.0));
    }
    Announcer announcer(folder.path());
    announcer.PlaySectionSound(3);
    if (waitForFirst)
        QTRY_COMPARE_WITH_TIMEOUT(Playing().size(), 1, 5000);
    announcer.PlaySectionSound(second);

    const QUrl secondSource = ownFiles ? QUrl::fromLocalFile(announcer.SoundFilePath(second))
                                       : QUrl(EmbeddedUrl(second));
    QCOMPARE(announcer.CurrentSource(), secondSource);
    QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), secondFormat, 5000);
    // The first one is gone from the server, not merely paused.
    QTRY_COMPARE_WITH_TIMEOUT(OurStreams().size(), 1, 3000);
}

void TestAnnouncer::playerFileUsedWhenNamedRight_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("used");
    QTest::addColumn<QString>("format");

    const QByteArray stereo = Wave(44100, 2, 3.0);
    QTest::newRow("TrackSound 3.wav") << "TrackSound 3.wav" << stereo << true << "s16le 2ch 44100Hz";
    QTest::newRow("format like the embedded ones")
        << "TrackSound 3.wav" << Wave(11025, 1, 3.0, true) << true << "s16le 1ch 11025Hz";
    QTest::newRow("TrackSound3.wav, no blank") << "TrackSound3.wav" << stereo << false << EmbeddedFormat;
    QTest::newRow("another section's file") << "TrackSound 2.wav" << stereo << false << EmbeddedFormat;
}

void TestAnnouncer::playerFileUsedWhenNamedRight()
{
    REQUIRE_SOUND();
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, used);
    QFETCH(QString, format);

    ProgramFolder folder;
    const QString file = folder.put(fileName, bytes);
    Announcer announcer(folder.path());
    announcer.PlaySectionSound(3);
    QCOMPARE(announcer.CurrentSource(), used ? QUrl::fromLocalFile(file) : QUrl(EmbeddedUrl(3)));
    QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), format, 5000);
}

void TestAnnouncer::unplayableFileStaysSilent_data()
{
    QTest::addColumn<QByteArray>("bytes"); // null: a folder of that name

    const QByteArray wave = Wave(22050, 1, 1.0);
    QByteArray oddByte = wave + QByteArray(1, '\0');
    qToLittleEndian<quint32>(quint32(wave.size() - 44 + 1), oddByte.data() + 40); // data size
    QByteArray eightBits = Wave(22050, 1, 1.0);
    qToLittleEndian<quint16>(quint16(12), eightBits.data() + 34); // 12 bits per sample

    QTest::newRow("garbage bytes") << Garbage();
    QTest::newRow("empty file") << QByteArray("");
    QTest::newRow("RIFF header only") << wave.left(12);
    QTest::newRow("format chunk cut short") << wave.left(30);
    QTest::newRow("no sound bytes") << wave.left(44);
    QTest::newRow("fewer sound bytes than announced") << wave.left(wave.size() - 1000);
    QTest::newRow("odd byte of 16-bit sound") << oddByte;
    QTest::newRow("unsupported sample size") << eightBits;
    QTest::newRow("folder of that name") << QByteArray();
}

void TestAnnouncer::unplayableFileStaysSilent()
{
    REQUIRE_SOUND();
    QFETCH(QByteArray, bytes);

    ProgramFolder folder;
    const QString name = QStringLiteral("TrackSound 5.wav");
    if (bytes.isNull())
        QVERIFY(QDir(folder.sounds()).mkdir(name));
    else
        folder.put(name, bytes);

    Announcer announcer(folder.path());
    announcer.PlaySectionSound(5);

    // The embedded sound would be on the server well within this time if it stood in.
    const QDeadlineTimer quietFor(1500);
    while (!quietFor.hasExpired()) {
        QVERIFY2(OurStreams().isEmpty(), "a sound plays for an unplayable file");
        QTest::qWait(50);
    }

    // Silence came from the file, not from a broken output: another section still plays, and
    // replacing and ending it does not get stuck.
    announcer.PlaySectionSound(6);
    QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), EmbeddedFormat, 5000);
    announcer.PlaySectionSound(7);
    QTRY_COMPARE_WITH_TIMEOUT(announcer.CurrentSource(), QUrl(EmbeddedUrl(7)), 5000);
    announcer.StopSound();
    QTRY_VERIFY_WITH_TIMEOUT(OurStreams().isEmpty(), 3000);
}

void TestAnnouncer::fileLookedUpAtEveryCall()
{
    REQUIRE_SOUND();

    ProgramFolder folder;
    Announcer announcer(folder.path());
    announcer.PlaySectionSound(3);
    QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), EmbeddedFormat, 5000);

    // A file put in place while the program runs is used from the next announcement on.
    const QString file = folder.put(QStringLiteral("TrackSound 3.wav"), Wave(44100, 2, 3.0));
    announcer.PlaySectionSound(3);
    QCOMPARE(announcer.CurrentSource(), QUrl::fromLocalFile(file));
    QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), QStringLiteral("s16le 2ch 44100Hz"), 5000);

    // A file changed in place is played with its new contents.
    folder.put(QStringLiteral("TrackSound 3.wav"), Wave(8000, 1, 3.0));
    announcer.PlaySectionSound(3);
    QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), QStringLiteral("s16le 1ch 8000Hz"), 5000);

    // And once removed, the embedded sound is back.
    QVERIFY(QFile::remove(file));
    announcer.PlaySectionSound(3);
    QCOMPARE(announcer.CurrentSource(), QUrl(EmbeddedUrl(3)));
    QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), EmbeddedFormat, 5000);
}

void TestAnnouncer::destroyingAnnouncerEndsSound()
{
    REQUIRE_SOUND();

    ProgramFolder folder;
    folder.put(QStringLiteral("TrackSound 1.wav"), Wave(44100, 2, 10.0));
    {
        Announcer announcer(folder.path());
        announcer.PlaySectionSound(1);
        QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), QStringLiteral("s16le 2ch 44100Hz"), 5000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(OurStreams().isEmpty(), 3000);
}

QTEST_MAIN(TestAnnouncer)
#include "tst_announcer.moc"
