// The announcer as the sound server hears it: which sound plays, in which format, and when it stops.

#include "announcer/Announcer.h"

#include "KorsaResources.h"
#include "support/TempTree.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDataStream>
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

const QString Embedded = QStringLiteral("s16le 1ch 22050Hz");
const QString Stereo44k = QStringLiteral("s16le 2ch 44100Hz");
const QString Mono8k = QStringLiteral("s16le 1ch 8000Hz");

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

// The sample formats ("s16le 1ch 22050Hz") of this process's streams on the server; with
// playingOnly, corked (paused) streams are left out.
QStringList Streams(bool playingOnly = false)
{
    bool ok = false;
    const QString listing = RunPactl({QStringLiteral("list"), QStringLiteral("sink-inputs")}, &ok);
    if (!ok)
        qFatal("pactl list sink-inputs failed: the sound server went away during the test");
    static const QRegularExpression sample(QStringLiteral("^\\s*Sample \\w+: (\\w+ \\d+ch \\d+Hz)$"),
                                           QRegularExpression::MultilineOption);
    const QString ourPid = QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid());
    QStringList formats;
    for (const QString &block : listing.split(QStringLiteral("Sink Input #"), Qt::SkipEmptyParts)) {
        if (block.contains(ourPid) && !(playingOnly && block.contains(QStringLiteral("Corked: yes"))))
            formats << sample.match(block).captured(1);
    }
    return formats;
}

// The format of the one stream playing, or how many play instead.
QString PlayingFormat()
{
    const QStringList playing = Streams(true);
    return playing.size() == 1 ? playing.first() : QStringLiteral("%1 streams playing").arg(playing.size());
}

// A 16-bit PCM WAVE file holding a quiet tone. With extendedFormat the format chunk has 18 bytes
// and a fact chunk follows, the way the embedded announcements are stored.
QByteArray Wave(int rate, int channels, double seconds, bool extendedFormat = false)
{
    const quint32 frames = quint32(rate * seconds);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 dataSize = frames * quint32(channels) * 2;
    out.writeRawData("RIFF", 4);
    out << quint32(dataSize + (extendedFormat ? 50 : 36));
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(extendedFormat ? 18 : 16) << quint16(1) << quint16(channels) << quint32(rate)
        << quint32(rate * channels * 2) << quint16(channels * 2) << quint16(16);
    if (extendedFormat) {
        out << quint16(0);
        out.writeRawData("fact", 4);
        out << quint32(4) << frames;
    }
    out.writeRawData("data", 4);
    out << dataSize;
    for (quint32 f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            out << qint16(3000 * std::sin(2 * M_PI * 440.0 * f / rate));
    return bytes;
}

QUrl EmbeddedUrl(int section)
{
    return QUrl(QStringLiteral("qrc:/SOUND/%1.wav").arg(300 + section));
}

// A program folder with "Track Sounds" in it, where a test puts the player's own announcements.
class ProgramFolder
{
public:
    ProgramFolder() { QDir(tree_.path()).mkdir(QStringLiteral("Track Sounds")); }
    QString path() const { return tree_.path(); }
    QString put(const QString &name, const QByteArray &bytes) const
    {
        return tree_.write(QStringLiteral("Track Sounds/") + name, bytes);
    }

private:
    korsa::test::TempTree tree_;
};

} // namespace

class TestAnnouncer : public QObject
{
    Q_OBJECT
    QString noSoundReason_;

private slots:
    void initTestCase()
    {
        korsa::InitResources();
        bool ok = false;
        RunPactl({QStringLiteral("info")}, &ok);
        if (!ok)
            noSoundReason_ = QStringLiteral("no PulseAudio daemon answers \"pactl info\"");
        else if (QMediaDevices::defaultAudioOutput().isNull())
            noSoundReason_ = QStringLiteral("Qt Multimedia finds no audio output");
    }

    // Sound cases skip without a server, unless KORSA_REQUIRE_SOUND is set: then they fail, so a run
    // meant to hear sounds cannot pass silently. Each starts with nothing of ours on the server.
    void init()
    {
        if (qstrcmp(QTest::currentTestFunction(), "soundFilePath") == 0)
            return;
        if (!noSoundReason_.isEmpty() && qEnvironmentVariableIsSet("KORSA_REQUIRE_SOUND"))
            QFAIL(qPrintable(noSoundReason_ + QStringLiteral(" (KORSA_REQUIRE_SOUND is set)")));
        if (!noSoundReason_.isEmpty())
            QSKIP(qPrintable(noSoundReason_ + QStringLiteral(" (run tests/support/pulseaudio.sh)")));
        QTRY_VERIFY_WITH_TIMEOUT(Streams().isEmpty(), 5000); // a stream leaves a moment after its output
    }

    void soundFilePath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("section");
        QTest::addColumn<QString>("path");
        QTest::newRow("first") << "/opt/korsa" << 0 << "/opt/korsa/Track Sounds/TrackSound 0.wav";
        QTest::newRow("last, blanks") << "/home/me/Korsa Trainer" << 8
                                      << "/home/me/Korsa Trainer/Track Sounds/TrackSound 8.wav";
        QTest::newRow("backslash folder") << "C:\\Korsa" << 5 << "C:\\Korsa/Track Sounds/TrackSound 5.wav";
    }
    void soundFilePath()
    {
        QFETCH(QString, folder);
        QFETCH(int, section);
        QFETCH(QString, path);
        QCOMPARE(Announcer(folder).SoundFilePath(section), path);
    }

    // The embedded sound plays unless the player's file of exactly the right name stands in.
    void whichSoundPlays_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<QString>("fileName"); // empty: no file
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("used");
        QTest::addColumn<QString>("format");
        const QByteArray stereo = Wave(44100, 2, 3.0);
        QTest::newRow("embedded 0") << 0 << QString() << QByteArray() << false << Embedded;
        QTest::newRow("embedded 8") << 8 << QString() << QByteArray() << false << Embedded;
        QTest::newRow("own file") << 3 << "TrackSound 3.wav" << stereo << true << Stereo44k;
        QTest::newRow("own file stored like the embedded ones")
            << 3 << "TrackSound 3.wav" << Wave(11025, 1, 3.0, true) << true << "s16le 1ch 11025Hz";
        QTest::newRow("no blank in the name") << 3 << "TrackSound3.wav" << stereo << false << Embedded;
        QTest::newRow("another section's file") << 3 << "TrackSound 2.wav" << stereo << false << Embedded;
    }
    void whichSoundPlays()
    {
        QFETCH(int, section);
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, used);
        QFETCH(QString, format);
        ProgramFolder folder;
        const QString file = fileName.isEmpty() ? QString() : folder.put(fileName, bytes);
        Announcer announcer(folder.path());
        announcer.PlaySectionSound(section);
        QCOMPARE(announcer.CurrentSource(), used ? QUrl::fromLocalFile(file) : EmbeddedUrl(section));
        QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), format, 5000);
    }

    void stopEndsSound_data()
    {
        QTest::addColumn<bool>("ownFile"); // ten seconds long, so it cannot end by itself
        QTest::addColumn<bool>("play");
        QTest::newRow("embedded sound") << false << true;
        QTest::newRow("long player file") << true << true;
        QTest::newRow("nothing playing") << false << false;
    }
    void stopEndsSound()
    {
        QFETCH(bool, ownFile);
        QFETCH(bool, play);
        ProgramFolder folder;
        if (ownFile)
            folder.put(QStringLiteral("TrackSound 2.wav"), Wave(44100, 2, 10.0));
        Announcer announcer(folder.path());
        if (play) {
            announcer.PlaySectionSound(2);
            QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), ownFile ? Stereo44k : Embedded, 5000);
        }
        announcer.StopSound();
        QVERIFY(announcer.CurrentSource().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(Streams(true).isEmpty(), 3000);
        announcer.StopSound(); // again: nothing to stop
        QVERIFY(Streams(true).isEmpty());
    }

    // A second announcement replaces the first: one stream left on the server, of the second.
    void newSoundReplacesPlayingOne_data()
    {
        QTest::addColumn<bool>("waitForFirst");
        QTest::addColumn<int>("second"); // announced after section 3
        QTest::addColumn<QString>("secondFormat");
        QTest::newRow("at once") << false << 4 << Mono8k;
        QTest::newRow("first audible") << true << 4 << Mono8k;
        QTest::newRow("same section again") << true << 3 << Stereo44k;
    }
    void newSoundReplacesPlayingOne()
    {
        QFETCH(bool, waitForFirst);
        QFETCH(int, second);
        QFETCH(QString, secondFormat);
        ProgramFolder folder;
        folder.put(QStringLiteral("TrackSound 3.wav"), Wave(44100, 2, 10.0));
        folder.put(QStringLiteral("TrackSound 4.wav"), Wave(8000, 1, 10.0));
        Announcer announcer(folder.path());
        announcer.PlaySectionSound(3);
        if (waitForFirst)
            QTRY_COMPARE_WITH_TIMEOUT(Streams(true).size(), 1, 5000);
        announcer.PlaySectionSound(second);
        QCOMPARE(announcer.CurrentSource(), QUrl::fromLocalFile(announcer.SoundFilePath(second)));
        QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), secondFormat, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(Streams().size(), 1, 3000); // the first is gone, not merely paused
    }

    // A player's file that cannot be played means silence: the embedded sound is not tried instead.
    void unplayableFileStaysSilent_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray wave = Wave(22050, 1, 1.0);
        QByteArray oddByte = wave + '\0';
        qToLittleEndian<quint32>(quint32(wave.size() - 44 + 1), oddByte.data() + 40); // data size
        QByteArray garbage;
        for (int i = 0; i < 8192; ++i)
            garbage.append(char((i * 53 + 7) % 256));
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("garbage") << garbage;
        QTest::newRow("format chunk cut short") << wave.left(30);
        QTest::newRow("fewer sound bytes than announced") << wave.left(wave.size() - 1000);
        QTest::newRow("odd byte of 16-bit sound") << oddByte;
    }
    void unplayableFileStaysSilent()
    {
        QFETCH(QByteArray, bytes);
        ProgramFolder folder;
        folder.put(QStringLiteral("TrackSound 5.wav"), bytes);
        Announcer announcer(folder.path());
        announcer.PlaySectionSound(5);
        // The embedded sound would be on the server well within this time if it stood in.
        for (const QDeadlineTimer quiet(1500); !quiet.hasExpired(); QTest::qWait(50))
            QVERIFY2(Streams().isEmpty(), "a sound plays for an unplayable file");
        // The output itself is not broken: the next section still plays.
        announcer.PlaySectionSound(6);
        QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), Embedded, 5000);
    }

    // The player's file is looked up afresh at every announcement: added, changed, removed.
    void fileLookedUpAtEveryCall()
    {
        ProgramFolder folder;
        Announcer announcer(folder.path());
        announcer.PlaySectionSound(3);
        QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), Embedded, 5000);
        const QString file = folder.put(QStringLiteral("TrackSound 3.wav"), Wave(44100, 2, 3.0));
        announcer.PlaySectionSound(3);
        QCOMPARE(announcer.CurrentSource(), QUrl::fromLocalFile(file));
        QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), Stereo44k, 5000);
        folder.put(QStringLiteral("TrackSound 3.wav"), Wave(8000, 1, 3.0));
        announcer.PlaySectionSound(3);
        QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), Mono8k, 5000);
        QVERIFY(QFile::remove(file));
        announcer.PlaySectionSound(3);
        QCOMPARE(announcer.CurrentSource(), EmbeddedUrl(3));
        QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), Embedded, 5000);
    }

    void destroyingAnnouncerEndsSound()
    {
        ProgramFolder folder;
        folder.put(QStringLiteral("TrackSound 1.wav"), Wave(44100, 2, 10.0));
        {
            Announcer announcer(folder.path());
            announcer.PlaySectionSound(1);
            QTRY_COMPARE_WITH_TIMEOUT(PlayingFormat(), Stereo44k, 5000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(Streams().isEmpty(), 3000);
    }
};

QTEST_MAIN(TestAnnouncer)
#include "tst_announcer.moc"
