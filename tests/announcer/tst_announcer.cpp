// The announcer as the sound server hears it: which sound plays, in which format, and when it stops.

#include "announcer/Announcer.h"

#include "KorsaResources.h"
#include "support/TempTree.h"

#include <QAudioDevice>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QMediaDevices>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

using korsa::Announcer;

namespace {

bool Pactl(const QStringList &arguments, QString *output = nullptr)
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), arguments);
    const bool ok = pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit && !pactl.exitCode();
    if (output)
        *output = QString::fromLocal8Bit(pactl.readAllStandardOutput());
    return ok;
}

// The sample formats ("s16le 1ch 22050Hz") of this process's streams; playingOnly leaves out corked ones.
QStringList Streams(bool playingOnly = false)
{
    QString listing;
    if (!Pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")}, &listing))
        qFatal("pactl list sink-inputs failed: the sound server went away during the test");
    static const QRegularExpression sample(QStringLiteral("Sample \\w+: (\\w+ \\d+ch \\d+Hz)"));
    const QString ours = QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid());
    QStringList formats;
    for (const QString &block : listing.split(QStringLiteral("Sink Input #")))
        if (block.contains(ours) && !(playingOnly && block.contains(QStringLiteral("Corked: yes"))))
            formats << sample.match(block).captured(1);
    return formats;
}

// A 16-bit PCM WAVE file holding a quiet tone.
QByteArray Wave(int rate, int channels, double seconds)
{
    const quint32 dataSize = quint32(rate * seconds) * quint32(channels) * 2;
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

// Stream formats: E the embedded sounds, S and M the player's files made by "put".
const QMap<QString, QString> Formats = {
    {"E", "s16le 1ch 22050Hz"}, {"S", "s16le 2ch 44100Hz"}, {"M", "s16le 1ch 8000Hz"}};

} // namespace

class TestAnnouncer : public QObject
{
    Q_OBJECT
    QString noSoundReason_;

private slots:
    void initTestCase()
    {
        korsa::InitResources();
        qputenv("LC_ALL", "C"); // pactl's labels in English
        if (!Pactl({QStringLiteral("info")}))
            noSoundReason_ = QStringLiteral("no PulseAudio daemon answers \"pactl info\"");
        else if (QMediaDevices::defaultAudioOutput().isNull())
            noSoundReason_ = QStringLiteral("Qt Multimedia finds no audio output");
    }

    // Without a server sound cases skip, or fail under KORSA_REQUIRE_SOUND; each starts with no stream of ours.
    void init()
    {
        if (qstrcmp(QTest::currentTestFunction(), "soundFilePath") == 0)
            return;
        if (!noSoundReason_.isEmpty() && qEnvironmentVariableIsSet("KORSA_REQUIRE_SOUND"))
            QFAIL(qPrintable(noSoundReason_));
        if (!noSoundReason_.isEmpty())
            QSKIP(qPrintable(noSoundReason_ + QStringLiteral(" (run it under tests/support/pulseaudio.sh)")));
        QTRY_VERIFY_WITH_TIMEOUT(Streams().isEmpty(), 5000); // a stream leaves a moment after its output
    }

    void soundFilePath()
    {
        QCOMPARE(Announcer("/opt/korsa").SoundFilePath(0), "/opt/korsa/Track Sounds/TrackSound 0.wav");
        QCOMPARE(Announcer("/home/me/K T").SoundFilePath(8), "/home/me/K T/Track Sounds/TrackSound 8.wav");
    }

    // Steps: "put N S|M" writes the player's ten-second file for section N (or a file of that literal
    // name), "rm N" removes it, "play N", "stop", "hear F" waits for the one stream playing in format F
    // ("-": none), "streams N" for N of ours on the server, paused ones included; "quit" destroys the announcer.
    void scenario_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("embedded 0") << "play 0, hear E";
        QTest::newRow("embedded 8") << "play 8, hear E";
        QTest::newRow("own file") << "put 3 S, play 3, hear S";
        QTest::newRow("no blank in the name") << "put TrackSound3.wav S, play 3, hear E";
        QTest::newRow("another section's file") << "put 2 S, play 3, hear E";
        QTest::newRow("stop embedded") << "play 2, hear E, stop, hear -, stop, hear -";
        QTest::newRow("stop own file") << "put 2 S, play 2, hear S, stop, hear -";
        QTest::newRow("stop, nothing playing") << "stop, hear -";
        QTest::newRow("replaced at once") << "put 3 S, put 4 M, play 3, play 4, hear M, streams 1";
        QTest::newRow("replaced once audible") << "put 3 S, put 4 M, play 3, hear S, play 4, hear M, streams 1";
        QTest::newRow("same section again") << "put 3 S, play 3, hear S, play 3, hear S, streams 1";
        QTest::newRow("destroying ends it") << "put 1 S, play 1, hear S, quit, hear -";
        QTest::newRow("looked up at every call")
            << "play 3, hear E, put 3 S, play 3, hear S, put 3 M, play 3, hear M, rm 3, play 3, hear E";
    }
    void scenario()
    {
        QFETCH(QString, steps);
        korsa::test::TempTree folder;
        QDir(folder.path()).mkdir(QStringLiteral("Track Sounds"));
        auto announcer = std::make_unique<Announcer>(folder.path());
        for (const QString &step : steps.split(QStringLiteral(", "))) {
            const QStringList w = step.split(QLatin1Char(' '));
            const QString file = w.value(1).endsWith(QStringLiteral(".wav"))
                                     ? folder.file(QStringLiteral("Track Sounds/") + w[1])
                                     : announcer->SoundFilePath(w.value(1).toInt());
            if (w[0] == QStringLiteral("put")) {
                folder.write(QDir(folder.path()).relativeFilePath(file),
                             w[2] == QStringLiteral("S") ? Wave(44100, 2, 10.0) : Wave(8000, 1, 10.0));
            } else if (w[0] == QStringLiteral("rm")) {
                QVERIFY(QFile::remove(file));
            } else if (w[0] == QStringLiteral("play")) {
                announcer->PlaySectionSound(w[1].toInt());
                QCOMPARE(announcer->CurrentSource(), QFile::exists(file) ? QUrl::fromLocalFile(file)
                                                    : QUrl(QStringLiteral("qrc:/SOUND/%1.wav").arg(300 + w[1].toInt())));
            } else if (w[0] == QStringLiteral("stop")) {
                announcer->StopSound();
                QVERIFY(announcer->CurrentSource().isEmpty());
            } else if (w[0] == QStringLiteral("quit")) {
                announcer = std::make_unique<Announcer>(folder.path()); // the old one is destroyed
            } else if (w[0] == QStringLiteral("hear")) {
                const QStringList expected = w[1] == QStringLiteral("-") ? QStringList() : QStringList{Formats[w[1]]};
                QTRY_COMPARE_WITH_TIMEOUT(Streams(true), expected, 5000);
            } else {
                QTRY_COMPARE_WITH_TIMEOUT(Streams().size(), w[1].toInt(), 3000); // the replaced one gone, not paused
            }
        }
    }

    // The mixer shows the announcements under the program's name and icon.
    void streamNamesTheProgram()
    {
        Announcer announcer(QString{});
        announcer.PlaySectionSound(0);
        const QString ours =
            QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid());
        QString listing;
        QTRY_VERIFY_WITH_TIMEOUT(Pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")}, &listing) &&
                                     listing.contains(ours),
                                 5000);
        QVERIFY(listing.contains(QStringLiteral("application.name = \"Korsa Sorvena Trainer\"")));
        QVERIFY(listing.contains(
            QStringLiteral("application.icon_name = \"com.penhallow.KorsaSorvenaTrainer\"")));
    }

    // A player's file that cannot be played means silence: the embedded sound is not tried instead.
    void unplayableFileStaysSilent_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray wave = Wave(22050, 1, 1.0);
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("garbage") << QByteArray(8192, '\x5a');
        QTest::newRow("format chunk cut short") << wave.left(30);
        QTest::newRow("fewer sound bytes than announced") << wave.left(wave.size() - 1000);
    }
    void unplayableFileStaysSilent()
    {
        QFETCH(QByteArray, bytes);
        korsa::test::TempTree folder;
        QDir(folder.path()).mkdir(QStringLiteral("Track Sounds"));
        folder.write(QStringLiteral("Track Sounds/TrackSound 5.wav"), bytes);
        Announcer announcer(folder.path());
        announcer.PlaySectionSound(5);
        // The embedded sound would be on the server well within this time if it stood in.
        for (const QDeadlineTimer quiet(1500); !quiet.hasExpired(); QTest::qWait(50))
            QVERIFY2(Streams().isEmpty(), "a sound plays for an unplayable file");
        announcer.PlaySectionSound(6); // the output itself still works
        QTRY_COMPARE_WITH_TIMEOUT(Streams(true), QStringList{Formats["E"]}, 5000);
    }
};

QTEST_MAIN(TestAnnouncer)
#include "tst_announcer.moc"
