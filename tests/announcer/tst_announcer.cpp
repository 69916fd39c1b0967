// The announcer as the sound server hears it: which sound plays, in which format, and when it stops.

#include "announcer/Announcer.h"

#include "KorsaResources.h"
#include "support/SoundServer.h"
#include "support/TempTree.h"

#include <QAudioDevice>
#include <QDataStream>
#include <QDir>
#include <QMediaDevices>
#include <QTest>

#include <cmath>

using korsa::Announcer;
using korsa::test::OurStreams;

namespace {

// A 16-bit PCM WAVE file holding ten seconds of a quiet tone.
QByteArray Wave(int rate, int channels)
{
    const quint32 dataSize = quint32(rate * 10) * quint32(channels) * 2;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(dataSize + 36);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(channels) << quint32(rate) << quint32(rate * channels * 2)
        << quint16(channels * 2) << quint16(16);
    out.writeRawData("data", 4);
    out << dataSize;
    for (quint32 i = 0; i < dataSize / 2; ++i)
        out << qint16(3000 * std::sin(2 * M_PI * 440.0 * (i / channels) / rate));
    return bytes;
}

// How the server hears the embedded sounds and the two files the player may put in.
const QString Embedded = "s16le 1ch 22050Hz", Stereo = "s16le 2ch 44100Hz", Mono = "s16le 1ch 8000Hz";
const QByteArray StereoFile = Wave(44100, 2), MonoFile = Wave(8000, 1);

// The program folder with the player's "Track Sounds" folder in it.
struct Folder : korsa::test::TempTree {
    Folder() { QDir(path()).mkdir("Track Sounds"); }
    void Put(int section, const QByteArray &bytes) const
    {
        write(QString("Track Sounds/TrackSound %1.wav").arg(section), bytes);
    }
};

} // namespace

// What plays now, waited for: the formats of our streams that are not paused.
#define HEAR(...) QTRY_COMPARE_WITH_TIMEOUT(OurStreams(true), QStringList({__VA_ARGS__}), 5000)

class TestAnnouncer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        korsa::InitResources();
        const QString missing = !korsa::test::Pactl({"info"})                  ? "no PulseAudio daemon answers"
                                : QMediaDevices::defaultAudioOutput().isNull() ? "Qt Multimedia finds no audio output"
                                                                               : "";
        if (!missing.isEmpty() && qEnvironmentVariableIsSet("KORSA_REQUIRE_SOUND"))
            QFAIL(qPrintable(missing));
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing + " (run tests/support/pulseaudio.sh)"));
    }
    // Each case starts with no stream of ours; a stream leaves a moment after its output.
    void init() { QTRY_VERIFY_WITH_TIMEOUT(OurStreams().isEmpty(), 5000); }

    // The player's "Track Sounds/TrackSound <i>.wav" replaces section i's sound, and only its own. It
    // is looked for at every call, so the player may put it in, change it and take it away while the
    // program runs. One sound plays at a time: the one heard gives way to the next, of any section.
    // The mixer shows them under the program's name and icon. Stopping, also when nothing plays or
    // twice, and destroying the announcer silence it.
    void whatPlays()
    {
        Folder folder;
        auto announcer = std::make_unique<Announcer>(folder.path());
        announcer->StopSound();
        announcer->PlaySectionSound(3);
        HEAR(Embedded);
        const std::optional<QString> listing = korsa::test::Pactl({"list", "sink-inputs"});
        QVERIFY(listing && listing->contains(QStringLiteral("application.name = \"Korsa Sorvena Trainer\"")));
        QVERIFY(listing->contains(QStringLiteral("application.icon_name = \"com.penhallow.KorsaSorvenaTrainer\"")));
        folder.Put(3, StereoFile);
        announcer->PlaySectionSound(3);
        HEAR(Stereo);
        announcer->StopSound();
        QVERIFY(announcer->CurrentSource().isEmpty());
        HEAR();
        announcer->StopSound();
        folder.Put(3, MonoFile);
        announcer->PlaySectionSound(3);
        HEAR(Mono);
        announcer->PlaySectionSound(4);
        HEAR(Embedded);
        QTRY_COMPARE_WITH_TIMEOUT(OurStreams().size(), 1, 3000);
        QVERIFY(QFile::remove(folder.file("Track Sounds/TrackSound 3.wav")));
        announcer->PlaySectionSound(3);
        HEAR(Embedded);
        announcer.reset();
        HEAR();
    }

    // A player's file that cannot be played means silence: the embedded sound is not tried instead.
    void unplayableFileStaysSilent_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray wave = Wave(22050, 1);
        QTest::newRow("garbage") << QByteArray(8192, '\x5a');
        QTest::newRow("fewer sound bytes than announced") << wave.left(wave.size() - 1000);
    }
    void unplayableFileStaysSilent()
    {
        QFETCH(QByteArray, bytes);
        Folder folder;
        folder.Put(5, bytes);
        Announcer announcer(folder.path());
        announcer.PlaySectionSound(5);
        QVERIFY(announcer.CurrentSource().isEmpty());
        // Every embedded sound lasts over a second: one standing in would still be heard after this.
        QTest::qWait(1000);
        QCOMPARE(OurStreams(), QStringList());
        announcer.PlaySectionSound(6); // the output itself still works
        HEAR(Embedded);
    }
};

QTEST_MAIN(TestAnnouncer)
#include "tst_announcer.moc"
